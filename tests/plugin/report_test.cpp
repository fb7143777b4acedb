// The report file: its bytes for a full state, the replaced file, failures to create and to write
// in both modes, the autosave that tries again, and the 8-bit conversion of a line.
#include <control.h>
#include <gtest/gtest.h>

#include "item_window.h"
#include "module.h"
#include "meter_state.h"
#include "report.h"
#include "support/fault_sweep.h"
#include "support/recording_user.h"
#include "support/systemtime.h"
#include "tick.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const char *const reportPath = "\\My Documents\\DurvoLog.txt";

// The state of a long day: every section of the report has something to show.
void setFullState()
{
    meterState = MeterState{};
    setDefaultSettings();
    control::setLocalTime(at(2005, 6, 13, 17, 45, 30));
    meterState.startedAt = at(2005, 6, 13, 7, 30, 0);
    meterState.onTimeMs = 19421000;   // 5:23:41
    meterState.chargeLevel = 30;
    meterState.settings.gatherAppStats = 1;
    const ChargeHistoryEntry history[] = {
        {100, 0, 600000},      {100, 600000, 40000},   // the same level again: no line of its own
        {99, 640000, 660000},  {98, 1300000, 700000},  {99, 2000000, 900000},   // a rise is a change too
        {37, 36000000, 30000}, {30, 61000000, 100000},
    };
    meterState.historyCount = sizeof history / sizeof history[0];
    for (DWORD i = 0; i < meterState.historyCount; i++) {
        meterState.history[i] = history[i];
    }
    struct App {
        const char16_t *title;
        DWORD usageMs, launchCount, running;
    } const apps[] = {
        {u"Calculator", 3900000, 2, 1},
        {u"Notes", 5000, 3, 1},   // seen at one sample only: left out
        {u"Solitaire", 5001, 1, 0},
        // Latin-1 stays, anything above U+00FF is "?" (U+0100 and U+010A would be NUL and LF).
        {u"Caf\u00e9 \u20ac\u0100\u010a", 600000, 12, 1},
    };
    meterState.appCount = sizeof apps / sizeof apps[0];
    for (DWORD i = 0; i < meterState.appCount; i++) {
        lstrcpyW(meterState.apps[i].title, apps[i].title);
        meterState.apps[i].usageMs = apps[i].usageMs;
        meterState.apps[i].launchCount = apps[i].launchCount;
        meterState.apps[i].running = apps[i].running;
    }
}

const std::string fullReport = "Durvo Meter Plugin v3.4.3\r\n"
                               "(c) 2005 Norvane. Freeware. support@norvane.example\r\n"
                               "\r\n"
                               "Report generated: 6/13/2005, 5:45 PM \r\n"
                               "Timer started 6/13/2005, 7:30 AM, 10h 15m ago \r\n"
                               "Current durvo: 5:23 \r\n"
                               "Battery charge level: 30% \r\n"
                               "\r\n"
                               "\r\n"
                               " Durvo   Charge\r\n"
                               "-----------------\r\n"
                               "  0:00     100% \r\n"
                               "  0:10      99% \r\n"
                               "  0:21      98% \r\n"
                               "  0:33      99% \r\n"
                               " 10:00      37% \r\n"
                               " 16:56      30% \r\n"
                               "\r\n"
                               "\r\n"
                               "Cnt Durvo Application\r\n"
                               "----------------------------------------------\r\n"
                               "  2  1:05 Calculator (*)\r\n"
                               "  1  0:00 Solitaire\r\n"
                               " 12  0:10 Caf\xe9 ??? (*)\r\n"
                               "\r\n";

class Report : public ::testing::Test {
protected:
    void SetUp() override
    {
        control::resetDevice();
        root_ = fs::path(::testing::TempDir()) / ("report_test_" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "My Documents");
        control::setDeviceRoot(root_);
        WNDCLASSW owner = {};
        owner.lpfnWndProc = DefWindowProcW;
        owner.lpszClassName = TEXT("ReportTestItem");
        RegisterClassW(&owner);
        itemWindow = CreateWindowExW(0, TEXT("ReportTestItem"), TEXT("Durvo"), WS_VISIBLE, 0, 0, 240, 20,
                                     NULL, NULL, NULL, NULL);
        user.install();
        setFullState();
    }
    void TearDown() override
    {
        itemWindow = NULL;
        control::resetDevice();
        control::setDeviceRoot({});
        fs::remove_all(root_);
    }

    static std::string readFile(const fs::path &path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string file() const { return readFile(root_ / "My Documents" / "DurvoLog.txt"); }
    bool fileExists() const { return fs::exists(root_ / "My Documents" / "DurvoLog.txt"); }
    std::vector<std::string> fileLines() const
    {
        std::vector<std::string> lines;
        std::string text = file();
        for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
            lines.push_back(text.substr(at, end - at));
        return lines;
    }

    RecordingUser user;
    fs::path root_;
};

TEST_F(Report, FullStateByteForByte)
{
    user.boxAnswers = {IDOK};
    writeReport(ReportMode::Interactive);
    EXPECT_EQ(file(), fullReport);
    EXPECT_EQ(control::openFileHandles(), 0);
}

TEST_F(Report, SectionsFollowTheState)
{
    struct Case {
        const char *proves;
        void (*change)();
        std::vector<std::string> expectedFrom6;   // the lines from "Battery charge level" on...
        bool toTheEnd;                            // ...to the end of the file, or the first few only
    };
    const Case cases[] = {
        {"a full charge is a number",
         [] { meterState.chargeLevel = 100; },
         {"Battery charge level: 100% ", "", "", " Durvo   Charge"},
         false},
        {"an empty battery too",
         [] { meterState.chargeLevel = 0; },
         {"Battery charge level: 0% ", "", "", " Durvo   Charge"},
         false},
        {"101 is unknown",
         [] { meterState.chargeLevel = 101; },
         {"Battery charge level: Unknown ", "", "", " Durvo   Charge"},
         false},
        {"255 (never read) is unknown",
         [] { meterState.chargeLevel = 255; },
         {"Battery charge level: Unknown ", "", "", " Durvo   Charge"},
         false},
        {"no history: the headings, then the empty lines",
         [] {
             meterState.historyCount = 0;
             meterState.settings.gatherAppStats = 0;
         },
         {"Battery charge level: 30% ", "", "", " Durvo   Charge", "-----------------", "", "",
          "No application log maintained.", "Please check plugun options page.", ""},
         true},
        {"levels 90, 90, 89 give two lines",
         [] {
             meterState.history[0] = {90, 0, 0};
             meterState.history[1] = {90, 60000, 0};
             meterState.history[2] = {89, 120000, 0};
             meterState.historyCount = 3;
             meterState.appCount = 0;
         },
         {"Battery charge level: 30% ", "", "", " Durvo   Charge", "-----------------", "  0:00      90% ",
          "  0:02      89% ", "", "", "Cnt Durvo Application",
          "----------------------------------------------", ""},
         true},
        {"levels 90, 89, 90 give three",
         [] {
             meterState.history[0] = {90, 0, 0};
             meterState.history[1] = {89, 60000, 0};
             meterState.history[2] = {90, 120000, 0};
             meterState.historyCount = 3;
             meterState.appCount = 0;
         },
         {"Battery charge level: 30% ", "", "", " Durvo   Charge", "-----------------", "  0:00      90% ",
          "  0:01      89% ", "  0:02      90% ", "", "", "Cnt Durvo Application",
          "----------------------------------------------", ""},
         true},
        {"gathering off hides rows the log still holds",
         [] {
             meterState.historyCount = 1;
             meterState.settings.gatherAppStats = 0;
         },
         {"Battery charge level: 30% ", "", "", " Durvo   Charge", "-----------------", "  0:00     100% ",
          "", "", "No application log maintained.", "Please check plugun options page.", ""},
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        setFullState();
        c.change();
        writeReport(ReportMode::Silent);
        std::vector<std::string> lines = fileLines();
        ASSERT_GE(lines.size(), 6 + c.expectedFrom6.size());
        auto end = c.toTheEnd ? lines.end() : lines.begin() + 6 + c.expectedFrom6.size();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, end), c.expectedFrom6);
    }
}

TEST_F(Report, ASecondReportReplacesTheFile)
{
    // Whatever was there before, longer than any report, is gone.
    std::ofstream(root_ / "My Documents" / "DurvoLog.txt", std::ios::binary) << std::string(20000, 'x');
    writeReport(ReportMode::Silent);
    EXPECT_EQ(file(), fullReport);
    meterState.historyCount = 0;
    meterState.settings.gatherAppStats = 0;
    writeReport(ReportMode::Silent);
    EXPECT_EQ(file(),
              fullReport.substr(0, fullReport.find(" Durvo   Charge"))
                  + " Durvo   Charge\r\n-----------------\r\n\r\n\r\n"
                    "No application log maintained.\r\nPlease check plugun options page.\r\n\r\n");
    // Another letter case of the same name is the same file: it is replaced, not kept beside.
    fs::rename(root_ / "My Documents" / "DurvoLog.txt", root_ / "My Documents" / "durvolog.TXT");
    writeReport(ReportMode::Silent);
    EXPECT_TRUE(fileExists());
    EXPECT_FALSE(fs::exists(root_ / "My Documents" / "durvolog.TXT"));
}

const std::string cannotCreate = std::string("Unable to create file \n") + reportPath
    + "\nPlease sure this file is not opened by any program like Pocket Word";
const std::string cannotWrite
    = std::string("Unable to write file \n") + reportPath + "\nThe storage may be full.";
const std::string saved = std::string("Durvo report was successfuly saved to \n") + reportPath
    + "\nUse PocketWord to open this file.";

TEST_F(Report, FailuresAreToldOnlyWhenInteractiveAndTheAutosaveKeepsItsDue)
{
    struct Case {
        const char *proves;
        ReportMode mode;
        const char *before;    // the report file's kind beforehand: "none", "file", "editor", "fifo"
        const char *caption;   // the one box shown, or nullptr
        std::string text;
    };
    const Case cases[] = {
        {"written, interactive", ReportMode::Interactive, "none", "Successful", saved},
        {"written, silent", ReportMode::Silent, "none", nullptr, ""},
        {"replaces the last report", ReportMode::Interactive, "file", "Successful", saved},
        {"open in Pocket Word, interactive", ReportMode::Interactive, "editor", "Error", cannotCreate},
        {"open in Pocket Word, silent", ReportMode::Silent, "editor", nullptr, ""},
        // A pipe swallows the lines: that is no saved report.
        {"a FIFO in its place", ReportMode::Interactive, "fifo", "Error", cannotCreate},
    };
    const fs::path report = root_ / "My Documents" / "DurvoLog.txt";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        fs::remove(report);
        user.boxes.clear();
        user.boxAnswers = {IDOK};
        std::string before = c.before;
        HANDLE editor = INVALID_HANDLE_VALUE;
        if (before == "fifo") {
            ASSERT_EQ(mkfifo(report.c_str(), 0600), 0);
        } else if (before != "none") {
            std::ofstream(report, std::ios::binary) << "being read";
        }
        if (before == "editor") {
            editor = CreateFileW(u"\\My Documents\\DurvoLog.txt", GENERIC_READ, FILE_SHARE_READ, NULL,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
            ASSERT_NE(editor, INVALID_HANDLE_VALUE);
        }
        meterState.logElapsedMs = 777000;

        writeReport(c.mode);

        if (editor != INVALID_HANDLE_VALUE) CloseHandle(editor);
        EXPECT_EQ(control::openFileHandles(), 0);
        bool written = before == "none" || before == "file";
        EXPECT_EQ(meterState.logElapsedMs, written ? 0u : 777000u);
        if (c.caption) {
            ASSERT_EQ(user.boxes.size(), 1u);
            EXPECT_EQ(control::toUtf8(user.boxes[0].caption), c.caption);
            EXPECT_EQ(control::toUtf8(user.boxes[0].text), c.text);
            EXPECT_EQ(user.boxes[0].type, UINT(MB_OK));
            EXPECT_EQ(user.boxes[0].owner, itemWindow);
        } else {
            EXPECT_EQ(user.captions(), std::vector<std::string>{});
        }
        if (before == "fifo") {
            EXPECT_TRUE(fs::is_fifo(report));
        } else {
            EXPECT_EQ(file(), written ? fullReport : "being read");
        }
        EXPECT_FALSE(fs::exists(root_ / "My Documents" / "DurvoLog.new"));
    }
    EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>{});
}

// Every file call of the report failed in turn, once each: the user hears of it (when asked
// for the report), the last report keeps its bytes, nothing half-written is left, and the
// autosave stays due. Only when the last step, the rename, fails is the old report gone: the
// new one is then whole beside it.
TEST_F(Report, EachFailingFileCallIsToldAndLosesNothing)
{
    const fs::path report = root_ / "My Documents" / "DurvoLog.txt";
    const fs::path beside = root_ / "My Documents" / "DurvoLog.new";
    for (ReportMode mode : {ReportMode::Interactive, ReportMode::Silent}) {
        for (bool shortWrite : {false, true}) {
            FaultSweep sweep;
            sweep.operation = std::string("report, ")
                + (mode == ReportMode::Interactive ? "interactive" : "silent")
                + (shortWrite ? ", short writes" : "");
            sweep.shortWrite = shortWrite;
            sweep.prepare = [&] {
                fs::remove(beside);
                std::ofstream(report, std::ios::binary) << "the last report";
                user.boxes.clear();
                user.boxAnswers = {IDOK};
                meterState.logElapsedMs = 777000;
            };
            sweep.run = [&] { writeReport(mode); };
            sweep.check = [&](control::FaultPoint failed) {
                using control::FaultPoint;
                EXPECT_EQ(meterState.logElapsedMs, 777000u);
                EXPECT_EQ(control::openFileHandles(), 0);
                if (failed == FaultPoint::MoveFile) {
                    EXPECT_FALSE(fs::exists(report));
                    EXPECT_EQ(readFile(beside), fullReport);
                } else {
                    EXPECT_EQ(readFile(report), "the last report");
                    EXPECT_FALSE(fs::exists(beside));
                }
                if (mode == ReportMode::Silent) {
                    EXPECT_EQ(user.captions(), std::vector<std::string>{});
                    return;
                }
                ASSERT_EQ(user.boxes.size(), 1u);
                EXPECT_EQ(control::toUtf8(user.boxes[0].caption), "Error");
                EXPECT_EQ(control::toUtf8(user.boxes[0].text),
                          failed == FaultPoint::WriteFile ? cannotWrite : cannotCreate);
            };
            // The header lines, the history, the usage log, the rename: more than 25 calls.
            EXPECT_GT(sweepFaults(sweep), 25u);
        }
    }
    EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>{});
}

TEST_F(Report, AutosaveIsTriedAgainOnEveryTickUntilItIsWritten)
{
    // The meter as the tick finds it: 5-minute autosave, on battery, a tick due now.
    meterState.settings.logSaveMinutes = 5;
    meterState.logElapsedMs = 299000;
    control::setPowerStatus(AC_LINE_OFFLINE, BATTERY_FLAG_HIGH, 30);
    meterState.lastTickCount = GetTickCount();
    auto tick = [] {
        control::advanceClock(1000);
        meterTick();
    };

    tick();   // 300 000 ms: due only once it is exceeded
    EXPECT_FALSE(fileExists());
    EXPECT_EQ(meterState.logElapsedMs, 300000u);

    control::setFaults({.points = {control::FaultPoint::CreateFile}});
    tick();
    tick();
    EXPECT_FALSE(fileExists());
    EXPECT_EQ(meterState.logElapsedMs, 302000u);

    // A disk that fills up midway leaves the report to be written again, too.
    control::setFaults({.points = {control::FaultPoint::WriteFile}, .callsBefore = 10});
    tick();
    EXPECT_EQ(meterState.logElapsedMs, 303000u);

    control::setFaults({});
    tick();
    EXPECT_TRUE(fileExists());
    EXPECT_EQ(meterState.logElapsedMs, 0u);
    EXPECT_EQ(file().rfind("Durvo Meter Plugin v3.4.3\r\n", 0), 0u);
    tick();
    EXPECT_EQ(meterState.logElapsedMs, 1000u);
    // The silent report never asked the user anything.
    EXPECT_EQ(user.captions(), std::vector<std::string>{});
    EXPECT_EQ(control::openFileHandles(), 0);
}

TEST_F(Report, ALineIsLatin1WithCrLfInOneWrite)
{
    struct Case {
        const char *proves;
        std::u16string line;
        std::string bytes;
    };
    const Case cases[] = {
        {"ASCII", u"abc", "abc\r\n"},
        {"an empty line is the line end alone", u"", "\r\n"},
        {"Latin-1 keeps its byte", u"caf\u00e9 \u00ff", "caf\xe9 \xff\r\n"},
        {"the euro sign is no Latin-1", u"5 \u20ac", "5 ?\r\n"},
        {"U+0100 does not become a NUL", u"a\u0100b", "a?b\r\n"},
        {"U+010A does not become a line feed", u"a\u010ab", "a?b\r\n"},
        {"control characters cannot break the table", u"a\tb\nc\rd\u001f", "a?b?c?d?\r\n"},
        {"U+007F and U+0080 keep their byte", u"\u007f\u0080", "\x7f\x80\r\n"},
        {"a surrogate pair is two characters", u"\U0001F600", "??\r\n"},
        {"253 characters", std::u16string(253, u'x'), std::string(253, 'x') + "\r\n"},
        {"254 characters, the most a line holds", std::u16string(254, u'x'), std::string(254, 'x') + "\r\n"},
        {"255 are cut to 254", std::u16string(255, u'x'), std::string(254, 'x') + "\r\n"},
        {"a long title cannot overrun the buffer", std::u16string(1000, u'y'),
         std::string(254, 'y') + "\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        HANDLE handle = CreateFileW(u"\\My Documents\\DurvoLog.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        control::setFaults(
            {.points = {control::FaultPoint::WriteFile}, .callsBefore = 1});   // one write works
        EXPECT_TRUE(writeReportLine(handle, c.line.c_str()));
        control::setFaults({});
        CloseHandle(handle);
        EXPECT_EQ(file(), c.bytes);
    }
}

TEST_F(Report, ALineThatIsNotWrittenWholeIsAFailure)
{
    struct Case {
        const char *proves;
        control::Faults faults;
        bool result;
        std::string bytes;
    } const cases[] = {
        {"written", {}, true, "abcd\r\n"},
        {"the write fails", {.points = {control::FaultPoint::WriteFile}}, false, ""},
        {"three of six bytes",
         {.points = {control::FaultPoint::WriteFile}, .shortWrite = true},
         false,
         "abc"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        HANDLE handle = CreateFileW(u"\\My Documents\\DurvoLog.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
        control::setFaults(c.faults);
        EXPECT_EQ(writeReportLine(handle, u"abcd"), c.result);
        control::setFaults({});
        CloseHandle(handle);
        EXPECT_EQ(file(), c.bytes);
    }
}

}   // namespace
