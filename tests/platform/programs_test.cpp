// Programs on the desktop: how WinExec finds the program file of a command line and what it
// answers, COM initialisation counts, running a program built for the platform (runProgram), and
// the current program's resources through the 8-bit calls.
#include "conformance.h"

// Our layer only: WinExec hands its programs to our launcher, and runProgram and the program
// resources are our control surface, so nothing here can run against real Win32.
#if OUR_LAYER_ONLY

#include <control.h>
#include <windows.h>

#include "platform/testlib/testlib.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const fs::path kTestlibDir = TESTLIB_DIR;

class Programs : public ::testing::Test {
protected:
    void SetUp() override
    {
        control::resetDevice();
        root_ = fs::path(::testing::TempDir()) / ("programs_test_" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "c");
        control::mapDrive(u'C', root_ / "c");
        control::setProgramSearchPath({u"C:\\Windows\\System32", u"C:\\Windows"});
        control::setProgramLauncher([this](const control::ProgramStart &start) {
            starts_.push_back(start);
            return true;
        });
    }
    void TearDown() override
    {
        control::resetDevice();
        control::mapDrive(u'C', {});
        fs::remove_all(root_);
    }

    // A file on drive C:, given by its path below C:\ with "/" separators.
    void put(const std::string &relative) const
    {
        fs::create_directories((root_ / "c" / relative).parent_path());
        std::ofstream(root_ / "c" / relative) << "program";
    }

    fs::path root_;
    std::vector<control::ProgramStart> starts_;
};

TEST_F(Programs, WinExecFindsTheProgramFileAsWindowsDoes)
{
    struct Case {
        const char *proves;
        std::vector<std::string> files;   // below C:\ .
        const char *commandLine;
        const char16_t *program;   // the file found; empty: none
        UINT result;
    };
    const std::string manager = "Program Files/Sync Tools/CEAppMgr.exe";
    const Case cases[] = {
        {"a quoted path with spaces names exactly that program",
         {manager, "Program.exe"},
         "\"C:\\Program Files\\Sync Tools\\CEAppMgr.exe\" \"C:\\a b\\Durvo.ini\"",
         u"C:\\Program Files\\Sync Tools\\CEAppMgr.exe",
         33},
        {"unquoted, the first blank ends the name when C:\\Program.exe exists",
         {manager, "Program.exe"},
         "C:\\Program Files\\Sync Tools\\CEAppMgr.exe \"C:\\x.ini\"",
         u"C:\\Program.exe",
         33},
        {"unquoted, each blank is tried in turn",
         {manager},
         "C:\\Program Files\\Sync Tools\\CEAppMgr.exe \"C:\\x.ini\"",
         u"C:\\Program Files\\Sync Tools\\CEAppMgr.exe",
         33},
        {"a bare name is looked for in the search folders in order",
         {"Windows/notepad.exe", "Windows/System32/notepad.exe"},
         "notepad.exe \"C:\\a b\\ReadMe.txt\"",
         u"C:\\Windows\\System32\\notepad.exe",
         33},
        {"the second search folder",
         {"Windows/notepad.exe"},
         "notepad.exe \"C:\\ReadMe.txt\"",
         u"C:\\Windows\\notepad.exe",
         33},
        {"a name without an extension gets .exe",
         {"Windows/notepad.exe"},
         "notepad x",
         u"C:\\Windows\\notepad.exe",
         33},
        {"a name with another extension gets none", {"Windows/notepad.exe"}, "notepad.com x", u"", 2},
        {"letter case is ignored",
         {manager},
         "\"c:\\PROGRAM FILES\\sync tools\\ceappmgr.exe\"",
         u"c:\\PROGRAM FILES\\sync tools\\ceappmgr.exe",
         33},
        {"leading blanks are skipped",
         {"Windows/notepad.exe"},
         "   notepad.exe",
         u"C:\\Windows\\notepad.exe",
         33},
        {"a quote that is never closed runs to the end",
         {manager},
         "\"C:\\Program Files\\Sync Tools\\CEAppMgr.exe",
         u"C:\\Program Files\\Sync Tools\\CEAppMgr.exe",
         33},
        {"a missing program", {"Windows/notepad.exe"}, "\"C:\\Nowhere\\CEAppMgr.exe\" x", u"", 2},
        {"a folder is not a program", {"Tools.exe/readme.txt"}, "C:\\Tools.exe", u"", 2},
        {"an empty command line", {}, "", u"", 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        fs::remove_all(root_ / "c");
        fs::create_directories(root_ / "c");
        for (const auto &file : c.files) put(file);
        starts_.clear();

        EXPECT_EQ(WinExec(c.commandLine, SW_SHOW), c.result);
        ASSERT_EQ(starts_.size(), 1u);
        EXPECT_EQ(control::toUtf8(starts_[0].commandLine), c.commandLine);
        EXPECT_EQ(starts_[0].showCommand, static_cast<UINT>(SW_SHOW));
        EXPECT_EQ(control::toUtf8(starts_[0].program), control::toUtf8(c.program));
        if (*c.program) {
            EXPECT_EQ(starts_[0].hostFile, control::hostPathOf(c.program));
        } else {
            EXPECT_EQ(starts_[0].hostFile, fs::path());
        }
    }
}

TEST_F(Programs, WinExecAnswersWhetherTheProgramRan)
{
    put("Windows/notepad.exe");
    struct Case {
        const char *proves;
        const char *commandLine;
        bool launcherSet;
        bool launcherRuns;
        UINT result;
    };
    const Case cases[] = {
        {"a program the launcher runs", "notepad.exe", true, true, 33},
        {"a file the launcher cannot run is a bad format", "notepad.exe", true, false, ERROR_BAD_FORMAT},
        {"without a launcher nothing runs", "notepad.exe", false, false, ERROR_BAD_FORMAT},
        {"a missing program fails whatever the launcher says", "wordpad.exe", true, true,
         ERROR_FILE_NOT_FOUND},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        if (c.launcherSet) {
            control::setProgramLauncher([&](const control::ProgramStart &) { return c.launcherRuns; });
        } else {
            control::setProgramLauncher(nullptr);
        }
        EXPECT_EQ(WinExec(c.commandLine, SW_SHOW), c.result);
    }
    EXPECT_EQ(WinExec(nullptr, SW_SHOW), static_cast<UINT>(ERROR_INVALID_PARAMETER));
}

TEST_F(Programs, WinExecWidensTheCommandLineFromTheDesktopCodePage)
{
    put("Caf\xc3\xa9/notepad.exe");                                                // UTF-8 on the host
    EXPECT_EQ(WinExec("\"C:\\Caf\xe9\\notepad.exe\" \x80", SW_SHOWNORMAL), 33u);   // Windows-1252
    ASSERT_EQ(starts_.size(), 1u);
    EXPECT_EQ(starts_[0].commandLine, u"\"C:\\Caf\u00e9\\notepad.exe\" \u20ac");
    EXPECT_EQ(starts_[0].program, u"C:\\Caf\u00e9\\notepad.exe");
}

TEST_F(Programs, ALauncherMayReplaceItselfWhileItRuns)
{
    // As a program that hands over to another machine does: the launcher it runs in goes away.
    put("Windows/notepad.exe");
    const std::string owned(200, 'x');   // state the launcher owns, on the heap
    std::string seen;
    control::setProgramLauncher([owned, &seen](const control::ProgramStart &) {
        control::setProgramLauncher(nullptr);
        seen = owned;
        return true;
    });
    EXPECT_EQ(WinExec("notepad.exe", SW_SHOW), 33u);
    EXPECT_EQ(seen, owned);
    EXPECT_EQ(WinExec("notepad.exe", SW_SHOW), static_cast<UINT>(ERROR_BAD_FORMAT)) << "the launcher is gone";
}

TEST_F(Programs, ResetForgetsTheLauncherAndTheSearchFolders)
{
    put("Windows/notepad.exe");
    put("Tools/CEAppMgr.exe");
    control::resetDevice();
    EXPECT_EQ(WinExec("notepad.exe", SW_SHOW), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(WinExec("C:\\Tools\\CEAppMgr.exe", SW_SHOW), static_cast<UINT>(ERROR_BAD_FORMAT));
    EXPECT_TRUE(starts_.empty());
}

TEST(ComInitialization, CountsCallsAsWindowsDoes)
{
    control::resetDevice();
    int dummy = 0;
    EXPECT_EQ(CoInitialize(&dummy), E_INVALIDARG);
    EXPECT_EQ(control::comInitializations(), 0);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(control::comInitializations(), 2);
    CoUninitialize();
    EXPECT_EQ(control::comInitializations(), 1);
    CoUninitialize();
    CoUninitialize();   // one too many changes nothing
    EXPECT_EQ(control::comInitializations(), 0);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    control::resetDevice();
    EXPECT_EQ(control::comInitializations(), 0);
}

// ---- runProgram --------------------------------------------------------------------------------

struct ProgramReport {
    bool sawItself = false;
    bool previousNull = false;
    int reports = 0;
};

ProgramReport takeProgramReport()
{
    ProgramReport report;
    MSG msg;
    while (PeekMessageW(&msg, reinterpret_cast<HWND>(-1), TESTPROG_MESSAGE, TESTPROG_MESSAGE, PM_REMOVE)) {
        report.sawItself = msg.wParam != 0;
        report.previousNull = msg.lParam != 0;
        ++report.reports;
    }
    return report;
}

TEST_F(Programs, RunProgramMakesTheProgramCurrentWhileItRuns)
{
    HMODULE executable = GetModuleHandleA(nullptr);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "first run" : "second run: statics start afresh");
        starts_.clear();
        std::string error;
        int exitCode = control::runProgram(kTestlibDir / "Testprog.exe", "hello world", &error);
        EXPECT_EQ(exitCode, TESTPROG_PAYLOAD_SIZE) << error;
        ProgramReport report = takeProgramReport();
        EXPECT_EQ(report.reports, 1);
        EXPECT_TRUE(report.sawItself);
        EXPECT_TRUE(report.previousNull);
        ASSERT_EQ(starts_.size(), 1u);
        EXPECT_EQ(starts_[0].commandLine, u"hello world");
    }
    // Afterwards the executable is the current program again, without the program's resources.
    EXPECT_EQ(GetModuleHandleA(nullptr), executable);
    EXPECT_EQ(FindResourceA(nullptr, "PAYLOAD", MAKEINTRESOURCEA(10)), nullptr);
}

TEST_F(Programs, RunProgramReportsAnImageItCannotRun)
{
    struct Case {
        const char *proves;
        fs::path image;
        const char *errorMentions;
    };
    const Case cases[] = {
        {"a missing file", kTestlibDir / "Missing.exe", "Missing.exe"},
        {"a library without WinMain", kTestlibDir / "Testlib.dll", "no WinMain"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        std::string error;
        EXPECT_EQ(control::runProgram(c.image, "", &error), -1);
        EXPECT_NE(error.find(c.errorMentions), std::string::npos) << error;
    }
}

// ---- The current program's resources -------------------------------------------------------------

std::vector<BYTE> readFile(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ProgramResources, FindResourceAReadsTheCurrentProgramsImage)
{
    control::resetDevice();
    std::vector<BYTE> image = readFile(kTestlibDir / "testprog.res");
    ASSERT_FALSE(image.empty());
    control::setProgramResources(image);
    HMODULE program = GetModuleHandleA(nullptr);
    EXPECT_EQ(program, GetModuleHandleW(nullptr));

    struct Case {
        const char *proves;
        HMODULE module;
        LPCSTR name;
        LPCSTR type;
        bool found;
        DWORD error;
    };
    const Case cases[] = {
        {"by its name in another case", nullptr, "payload", MAKEINTRESOURCEA(10), true, 0},
        {"through the program's handle", program, "PAYLOAD", MAKEINTRESOURCEA(10), true, 0},
        {"a missing name of a present type", nullptr, "PAYLOAD_2", MAKEINTRESOURCEA(10), false,
         ERROR_RESOURCE_NAME_NOT_FOUND},
        {"a missing type", nullptr, "PAYLOAD", MAKEINTRESOURCEA(3), false, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"a type given by a name", nullptr, "PAYLOAD", "RCDATA", false, ERROR_RESOURCE_TYPE_NOT_FOUND},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        SetLastError(0xdeadbeef);
        HRSRC resource = FindResourceA(c.module, c.name, c.type);
        EXPECT_EQ(resource != nullptr, c.found);
        if (c.found) {
            ASSERT_NE(resource, nullptr);
            EXPECT_EQ(SizeofResource(c.module, resource), static_cast<DWORD>(TESTPROG_PAYLOAD_SIZE));
            auto data = static_cast<const char *>(LockResource(LoadResource(c.module, resource)));
            ASSERT_NE(data, nullptr);
            EXPECT_EQ(std::string(data, TESTPROG_PAYLOAD_SIZE), "program");
        } else {
            EXPECT_EQ(GetLastError(), c.error);
        }
    }

    control::setProgramResources({});
    EXPECT_EQ(FindResourceA(nullptr, "PAYLOAD", MAKEINTRESOURCEA(10)), nullptr);
    control::setProgramResources(image);
    control::resetDevice();
    EXPECT_EQ(FindResourceA(nullptr, "PAYLOAD", MAKEINTRESOURCEA(10)), nullptr);
}

}   // namespace

#endif   // OUR_LAYER_ONLY
