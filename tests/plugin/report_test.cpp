// The report file: its bytes for a full state, the replaced file, failures to create and to write
// in both modes, the autosave that tries again, and the 8-bit conversion of a line.
#include <control.h>
#include <gtest/gtest.h>

#include "item_window.h"
#include "meter_state.h"
#include "report.h"
#include "support/recording_user.h"
#include "support/systemtime.h"
#include "tick.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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
        {100, 0, 600000},
        {100, 600000, 40000},   // the same level again: no line of its own
        {99, 640000, 660000},
        {98, 1300000, 700000},
        {99, 2000000, 900000},   // a rise is a change too
        {37, 36000000, 30000},
        {30, 61000000, 100000},
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
        {u"Notes", 5000, 3, 1},      // seen at one sample only: left out
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

const std::string fullReport =
    "Durvo Meter Plugin v3.4.3\r\n"
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

    std::string file() const
    {
        std::ifstream in(root_ / "My Documents" / "DurvoLog.txt", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
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
        {"a full charge is a number", [] { meterState.chargeLevel = 100; },
         {"Battery charge level: 100% ", "", "", " Durvo   Charge"}, false},
        {"an empty battery too", [] { meterState.chargeLevel = 0; },
         {"Battery charge level: 0% ", "", "", " Durvo   Charge"}, false},
        {"101 is unknown", [] { meterState.chargeLevel = 101; },
         {"Battery charge level: Unknown ", "", "", " Durvo   Charge"}, false},
        {"255 (never read) is unknown", [] { meterState.chargeLevel = 255; },
         {"Battery charge level: Unknown ", "", "", " Durvo   Charge"}, false},
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
          "  0:02      89% ", "", "", "Cnt Durvo Application", "----------------------------------------------",
          ""},
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
         {"Battery charge level: 30% ", "", "", " Durvo   Charge", "-----------------", "  0:00     100% ", "",
          "", "No application log maintained.", "Please check plugun options page.", ""},
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
              fullReport.substr(0, fullReport.find(" Durvo   Charge")) +
                  " Durvo   Charge\r\n-----------------\r\n\r\n\r\n"
                  "No application log maintained.\r\nPlease check plugun options page.\r\n\r\n");
    // Another letter case of the same name is the same file.
    fs::rename(root_ / "My Documents" / "DurvoLog.txt", root_ / "My Documents" / "durvolog.TXT");
    writeReport(ReportMode::Silent);
    EXPECT_FALSE(fileExists());
    EXPECT_TRUE(fs::exists(root_ / "My Documents" / "durvolog.TXT"));
}

TEST_F(Report, FailuresAreToldOnlyWhenInteractiveAndTheAutosaveKeepsItsDue)
{
    using Write = control::FileFaults::Write;
    const std::string path = reportPath;
    const std::string cannotCreate = "Unable to create file \n" + path +
                                     "\nPlease sure this file is not opened by any program like Pocket Word";
    const std::string cannotWrite = "Unable to write file \n" + path + "\nThe storage may be full.";
    const std::string saved = "Durvo report was successfuly saved to \n" + path + "\nUse PocketWord to open this file.";
    struct Case {
        const char *proves;
        ReportMode mode;
        control::FileFaults faults;
        bool openInEditor;        // another program holds the file, sharing reading only
        const char *caption;      // the one box shown, or nullptr
        std::string text;
        const char *fileAfter;    // what the file holds afterwards
    };
    const Case cases[] = {
        {"written, interactive", ReportMode::Interactive, {}, false, "Successful", saved, "full"},
        {"written, silent", ReportMode::Silent, {}, false, nullptr, "", "full"},
        {"cannot create, interactive", ReportMode::Interactive, {true, Write::Works, 0}, false, "Error",
         cannotCreate, "none"},
        {"cannot create, silent", ReportMode::Silent, {true, Write::Works, 0}, false, nullptr, "", "none"},
        {"open in Pocket Word, interactive", ReportMode::Interactive, {}, true, "Error", cannotCreate, "editor"},
        {"open in Pocket Word, silent", ReportMode::Silent, {}, true, nullptr, "", "editor"},
        {"the first line fails", ReportMode::Interactive, {false, Write::Fails, 0}, false, "Error", cannotWrite,
         "0 lines"},
        {"the fifth line fails", ReportMode::Interactive, {false, Write::Fails, 4}, false, "Error", cannotWrite,
         "4 lines"},
        {"the third line is cut short", ReportMode::Interactive, {false, Write::Short, 2}, false, "Error",
         cannotWrite, "2 lines and a half"},
        {"the fifth line fails, silent", ReportMode::Silent, {false, Write::Fails, 4}, false, nullptr, "",
         "4 lines"},
        {"the last line is cut short, silent", ReportMode::Silent, {false, Write::Short, 24}, false, nullptr, "",
         "24 lines and a half"},
    };
    // Where line n (from 0) of the full report begins.
    auto lineStart = [](int n) {
        size_t at = 0;
        for (int i = 0; i < n; i++) at = fullReport.find("\r\n", at) + 2;
        return at;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        fs::remove(root_ / "My Documents" / "DurvoLog.txt");
        user.boxes.clear();
        user.boxAnswers = {IDOK};
        HANDLE editor = INVALID_HANDLE_VALUE;
        if (c.openInEditor) {
            std::ofstream(root_ / "My Documents" / "DurvoLog.txt", std::ios::binary) << "being read";
            editor = CreateFileW(u"\\My Documents\\DurvoLog.txt", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
            ASSERT_NE(editor, INVALID_HANDLE_VALUE);
        }
        control::setFileFaults(c.faults);
        meterState.logElapsedMs = 777000;

        writeReport(c.mode);

        control::setFileFaults({});
        if (editor != INVALID_HANDLE_VALUE) CloseHandle(editor);
        EXPECT_EQ(control::openFileHandles(), 0);
        bool written = std::string(c.fileAfter) == "full";
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
        std::string after = c.fileAfter;
        if (after == "full") {
            EXPECT_EQ(file(), fullReport);
        } else if (after == "none") {
            EXPECT_FALSE(fileExists());
        } else if (after == "editor") {
            EXPECT_EQ(file(), "being read");
        } else if (after == "0 lines") {
            EXPECT_EQ(file(), "");
        } else if (after == "4 lines") {
            EXPECT_EQ(file(), fullReport.substr(0, lineStart(4)));
        } else if (after == "2 lines and a half") {
            EXPECT_EQ(file(), fullReport.substr(0, lineStart(2) + 1));   // the empty third line: half its CR LF
        } else {
            // The last line is the empty one: half of its CR LF is the CR.
            EXPECT_EQ(file(), fullReport.substr(0, fullReport.size() - 1));
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

    control::setFileFaults({true, control::FileFaults::Write::Works, 0});
    tick();
    tick();
    EXPECT_FALSE(fileExists());
    EXPECT_EQ(meterState.logElapsedMs, 302000u);

    // A disk that fills up midway leaves the report to be written again, too.
    control::setFileFaults({false, control::FileFaults::Write::Fails, 10});
    tick();
    EXPECT_EQ(meterState.logElapsedMs, 303000u);

    control::setFileFaults({});
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
        {"a surrogate pair is two characters", u"\U0001F600", "??\r\n"},
        {"253 characters", std::u16string(253, u'x'), std::string(253, 'x') + "\r\n"},
        {"254 characters, the most a line holds", std::u16string(254, u'x'), std::string(254, 'x') + "\r\n"},
        {"255 are cut to 254", std::u16string(255, u'x'), std::string(254, 'x') + "\r\n"},
        {"a long title cannot overrun the buffer", std::u16string(1000, u'y'), std::string(254, 'y') + "\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        HANDLE handle = CreateFileW(u"\\My Documents\\DurvoLog.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        control::setFileFaults({false, control::FileFaults::Write::Fails, 1});   // only one write works
        EXPECT_TRUE(writeReportLine(handle, c.line.c_str()));
        control::setFileFaults({});
        CloseHandle(handle);
        EXPECT_EQ(file(), c.bytes);
    }
}

TEST_F(Report, ALineThatIsNotWrittenWholeIsAFailure)
{
    using Write = control::FileFaults::Write;
    struct Case {
        const char *proves;
        Write write;
        bool result;
        std::string bytes;
    } const cases[] = {
        {"written", Write::Works, true, "abcd\r\n"},
        {"the write fails", Write::Fails, false, ""},
        {"three of six bytes", Write::Short, false, "abc"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        HANDLE handle = CreateFileW(u"\\My Documents\\DurvoLog.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
        control::setFileFaults({false, c.write, 0});
        EXPECT_EQ(writeReportLine(handle, u"abcd"), c.result);
        control::setFileFaults({});
        CloseHandle(handle);
        EXPECT_EQ(file(), c.bytes);
    }
}

}  // namespace
