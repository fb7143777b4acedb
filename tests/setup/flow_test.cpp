// The setup's straight run: what it shows and starts, in order; where the package lands for an
// install directory with or without its trailing "\"; a run over an earlier install; programs
// that cannot be started.
#include "setup_fixture.h"

namespace setuptest {
namespace {

using SetupFlow = SetupTest;

TEST_F(SetupFlow, LicenceThenUnpackThenManagerThenEditorThenClosingBox)
{
    int comAtDialog = -1;
    bool folderAtDialog = true;
    std::vector<std::string> filesAtManager;
    std::vector<std::string> filesAtEditor;
    onDialog_ = [&](const control::DialogShown &) {
        comAtDialog = control::comInitializations();
        folderAtDialog = fs::exists(host(packageFolder()));
    };
    onExec_ = [&](const control::ProgramStart &) {
        (filesAtManager.empty() ? filesAtManager : filesAtEditor) = packageFilesOnDisk();
    };

    runSetup();

    EXPECT_EQ(events_, successfulRun());
    EXPECT_EQ(comAtDialog, 1) << "COM is initialised before the licence is shown";
    EXPECT_EQ(control::comInitializations(), 0) << "and uninitialised when the setup ends";
    EXPECT_FALSE(folderAtDialog) << "nothing is written before Install";
    EXPECT_EQ(filesAtManager, allPackageFiles()) << "the manager starts on the whole package";
    EXPECT_EQ(filesAtEditor, allPackageFiles());
    EXPECT_EQ(packageFilesOnDisk(), allPackageFiles());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].owner, nullptr);
    EXPECT_EQ(boxes_[0].type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(boxes_[0].type, 0x40u);
}

TEST_F(SetupFlow, PackageFolderIsTheDirectoryWithOneTrailingBackslash)
{
    struct Case {
        const char *proves;
        const char *installedDir;   // the registry value
        const char *packageFolder;
    };
    const Case cases[] = {
        {"a directory without a trailing \\ gets one", "C:\\Program Files\\Sync Tools",
         "C:\\Program Files\\Sync Tools\\Durvo plugin\\"},
        {"one that ends in \\ is used unchanged", "C:\\Program Files\\Sync Tools\\",
         "C:\\Program Files\\Sync Tools\\Durvo plugin\\"},
        {"the root of a drive", "C:\\", "C:\\Durvo plugin\\"},
        {"a one-letter folder", "C:\\A", "C:\\A\\Durvo plugin\\"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        fs::remove_all(root_ / "c");
        put("Windows/notepad.exe", "editor");
        events_.clear();
        installSync(c.installedDir);
        ASSERT_EQ(packageFolder(), c.packageFolder);

        runSetup();

        EXPECT_EQ(packageFilesOnDisk(), allPackageFiles());
        EXPECT_EQ(std::string(setupState.installDir).back(), '\\');
        ASSERT_EQ(events_.size(), 4u);
        EXPECT_EQ(events_[1], managerLine());
        EXPECT_EQ(events_[2], editorLine());
    }
}

// The registry value is read up to 249 characters. A path the 8-bit file calls take has at most
// MAX_PATH (260) characters, so the package's longest path ("...\Durvo plugin\Durvo.mips.CAB",
// 28 more than the value) decides where installing ends, as under Windows; a name Windows
// refuses stops the setup at its first file, never in a "successful" setup that installed nothing.
TEST_F(SetupFlow, InstallDirectoriesAtEachLimit)
{
    struct Case {
        const char *proves;
        std::string directory;      // the registry value
        const char *firstFailing;   // nullptr: installs; "": no directory
    };
    auto ofLength = [](size_t length) { return "C:\\" + std::string(length - 3, 'd'); };
    const Case cases[] = {
        {"233 characters: every path fits", ofLength(233), nullptr},
        {"234 characters: the ARM cabinet's path, the longest, is one too long", ofLength(234),
         "Durvo.arm.CAB"},
        {"249 characters: the whole directory, but not even its folder fits", ofLength(249), "Durvo.ini"},
        {"250 characters: no directory", ofLength(250), ""},
        {"a quote in the directory", "C:\\Sync \"Tools\"", "Durvo.ini"},
        {"wildcards in the directory", "C:\\Sync*?", "Durvo.ini"},
        {"a relative directory: no directory", "Sync Tools", ""},
        {"below the current drive's root: no directory", "\\Sync Tools", ""},
        {"a drive without its root: no directory", "C:Sync Tools", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        fs::remove_all(root_ / "c");
        put("Windows/notepad.exe", "editor");
        events_.clear();
        const std::string &directory = c.directory;
        installSync(directory);

        runSetup();

        if (!c.firstFailing) {
            EXPECT_EQ(packageFilesOnDisk(), allPackageFiles());
            ASSERT_EQ(events_.size(), 4u);
            EXPECT_EQ(events_[1], managerLine());
        } else if (*c.firstFailing) {
            EXPECT_EQ(events_,
                      (std::vector<std::string>{"dialog Durvo Meter plugin Setup",
                                                "box Setup not complete: Unable to extract file " + directory
                                                    + "\\Durvo plugin\\" + c.firstFailing}));
        } else {
            EXPECT_EQ(events_,
                      (std::vector<std::string>{"dialog Durvo Meter plugin Setup",
                                                std::string("box Setup not complete: ") + kNoSyncText}));
        }
    }
}

TEST_F(SetupFlow, RerunReplacesEveryFileOfAnEarlierInstall)
{
    runSetup();
    ASSERT_EQ(packageFilesOnDisk(), allPackageFiles());
    // Every file changed since: most grew past the package's, one shrank.
    for (const std::string &name : allPackageFiles())
        std::ofstream(host(packageFolder() + name), std::ios::binary) << std::string(200000, 'x');
    std::ofstream(host(packageFolder() + "Durvo.ini"), std::ios::binary) << "[x]";
    ASSERT_EQ(packageFilesOnDisk().front(), "Durvo.ini (differs)");
    events_.clear();

    runSetup();

    EXPECT_EQ(packageFilesOnDisk(), allPackageFiles());
    ASSERT_FALSE(events_.empty());
    EXPECT_EQ(events_.back(), successLine());
}

TEST_F(SetupFlow, ProgramsThatCannotStartChangeNothing)
{
    struct Case {
        const char *proves;
        bool manager;
        bool editor;
    };
    const Case cases[] = {
        {"no application manager: the read-me still opens", false, true},
        {"no editor", true, false},
        {"neither", false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        fs::remove_all(root_ / "c");
        installSync("C:\\Program Files\\Sync Tools");
        if (!c.manager) fs::remove(host("C:\\Program Files\\Sync Tools\\CEAppMgr.exe"));
        if (c.editor) put("Windows/notepad.exe", "editor");
        events_.clear();
        execResults_.clear();

        runSetup();

        EXPECT_EQ(events_, successfulRun());
        EXPECT_EQ(execResults_, (std::vector<bool>{c.manager, c.editor}));
        EXPECT_EQ(packageFilesOnDisk(), allPackageFiles());
    }
}

TEST_F(SetupFlow, ManagerPathWithSpacesCannotStartAnotherProgram)
{
    // Were the manager's path unquoted, Windows would try "C:\Program.exe" first.
    put("Program.exe", "not the manager");
    std::vector<std::string> started;
    onExec_ = [&](const control::ProgramStart &start) { started.push_back(control::toUtf8(start.program)); };

    runSetup();

    EXPECT_EQ(started,
              (std::vector<std::string>{"C:\\Program Files\\Sync Tools\\CEAppMgr.exe",
                                        "C:\\Windows\\notepad.exe"}));
}

}   // namespace
}   // namespace setuptest
