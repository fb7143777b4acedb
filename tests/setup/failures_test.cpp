// Every way the setup fails: each ends in one "Setup not complete" box with its message, and
// leaves on disk exactly what was written before the failure.
#include "setup_fixture.h"
#include "support/fault_sweep.h"

namespace setuptest {
namespace {

struct SetupFailures : SetupTest {
    // The names of the first `count` package files, in the order they are written.
    static std::vector<std::string> firstPackageFiles(int count)
    {
        std::vector<std::string> names = allPackageFiles();
        names.resize(count);
        return names;
    }
};

const char *const kCancelled = "Setup cancelled by user";
const char *const kAbortQuestion = "Do you really want to abort installation?";

std::string failureBox(const std::string &text)
{
    return "box Setup not complete: " + text;
}

// The table entry of a package file the setup carries.
const PackageFile &packageFileNamed(const std::string &name)
{
    for (const PackageFile &file : packageFiles)
        if (name == file.fileName) return file;
    throw std::logic_error("no package file " + name);
}

// Whether a "Durvo plugin" folder exists anywhere on drive C:.
bool anyPackageFolder(const fs::path &drive)
{
    for (const auto &entry : fs::recursive_directory_iterator(drive))
        if (entry.path().filename() == "Durvo plugin") return true;
    return false;
}

TEST_F(SetupFailures, CancelConfirmedEndsBeforeAnythingIsReadOrWritten)
{
    licence_ = Licence::CancelThenYes;
    runSetup();

    EXPECT_EQ(events_,
              (std::vector<std::string>{
                  "dialog Durvo Meter plugin Setup",
                  std::string("box Durvo plugin Setup: ") + kAbortQuestion,
                  failureBox(kCancelled),
              }));
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].owner, dialog_) << "the question belongs to the dialog";
    EXPECT_EQ(boxes_[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    EXPECT_EQ(boxes_[0].type, 0x124u);
    EXPECT_EQ(boxes_[1].owner, nullptr);
    EXPECT_EQ(boxes_[1].type, 0x40u);
    EXPECT_FALSE(IsWindow(dialog_));
    EXPECT_FALSE(anyPackageFolder(root_ / "c"));
}

TEST_F(SetupFailures, LicenceDialogThatIsNotShownCountsAsCancel)
{
    struct Case {
        const char *proves;
        bool templateMissing;
    };
    const Case cases[] = {
        {"the dialog template is not among the resources", true},
        {"the dialog is closed without an answer", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        events_.clear();
        std::vector<BYTE> image = readBytes(kSetupRes);
        control::setProgramResources(
            c.templateMissing ? changedResource(image, "ABOUTDLG", ResourceChange::Remove) : image);
        licence_ = c.templateMissing ? Licence::Install : Licence::Leave;

        runSetup();

        std::vector<std::string> expected;
        if (!c.templateMissing) expected.push_back("dialog Durvo Meter plugin Setup");
        expected.push_back(failureBox(kCancelled));
        EXPECT_EQ(events_, expected);
        EXPECT_EQ(control::takeUnansweredPrompts().size(), c.templateMissing ? 0u : 1u);
        EXPECT_FALSE(anyPackageFolder(root_ / "c"));
    }
}

TEST_F(SetupFailures, NoSynchronisationSoftwareEndsBeforeAnythingIsWritten)
{
    struct Case {
        const char *proves;
        std::function<void()> registry;
    };
    const std::string tooLong(300, 'a');
    const DWORD number = 1;
    const Case cases[] = {
        {"the key is missing",
         [] { RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows CE Services"); }},
        {"the value is missing",
         [] {
             HKEY key;
             RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSyncKey, 0, KEY_ALL_ACCESS, &key);
             RegDeleteValueW(key, u"InstalledDir");
             RegCloseKey(key);
         }},
        {"the value is empty", [] { setInstalledDir(""); }},
        {"the value is no string", [&] { setRegistryValue("InstalledDir", REG_DWORD, &number, 4); }},
        {"the value is longer than the buffer", [&] { setInstalledDir("C:\\" + tooLong); }},
        {"the key cannot be opened",
         [] { control::setFaults({.points = {control::FaultPoint::RegOpenKey}}); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        events_.clear();
        installSync("C:\\Program Files\\Sync Tools");
        control::setFaults({});
        c.registry();

        runSetup();

        EXPECT_EQ(events_,
                  (std::vector<std::string>{"dialog Durvo Meter plugin Setup", failureBox(kNoSyncText)}));
        EXPECT_FALSE(anyPackageFolder(root_ / "c"));
    }
}

TEST_F(SetupFailures, MissingOrEmptyResourceLeavesTheFilesBeforeIt)
{
    const std::vector<BYTE> image = readBytes(kSetupRes);
    for (ResourceChange change : {ResourceChange::Remove, ResourceChange::Empty}) {
        const std::vector<std::string> carried = allPackageFiles();
        for (int missing = 0; missing < static_cast<int>(carried.size()); ++missing) {
            const PackageFile &file = packageFileNamed(carried[missing]);
            SCOPED_TRACE(std::string(change == ResourceChange::Remove ? "missing " : "empty ")
                         + file.resourceName);
            fs::remove_all(host(packageFolder()));
            events_.clear();
            control::setProgramResources(changedResource(image, file.resourceName, change));

            runSetup();

            // A cabinet the program does not carry is no part of its package, unless it was
            // the only one.
            int cabinets = 0;
            for (const std::string &name : carried)
                cabinets += isCabinet(static_cast<int>(&packageFileNamed(name) - packageFiles));
            const int missingIndex = static_cast<int>(&file - packageFiles);
            if (change == ResourceChange::Remove && isCabinet(missingIndex) && cabinets > 1) {
                std::vector<std::string> rest = carried;
                rest.erase(rest.begin() + missing);
                EXPECT_EQ(events_.size(), 4u)
                    << "the setup goes on to the manager, the editor and its closing box";
                EXPECT_EQ(packageFilesOnDisk(), rest);
                continue;
            }
            EXPECT_EQ(events_,
                      (std::vector<std::string>{
                          "dialog Durvo Meter plugin Setup",
                          failureBox("Unable to extract file " + packageFolder() + file.fileName),
                      }));
            EXPECT_EQ(packageFilesOnDisk(), firstPackageFiles(missing));
        }
    }
}

// Every file and registry call of the setup failed in turn, once each (and each write cut
// short): the setup ends in "Setup not complete" naming the file it could not extract (or the
// missing synchronisation software when the key cannot be opened), the files before it are
// whole, a cut-off file is not left behind, and nothing is started.
TEST_F(SetupFailures, EachFailingCallEndsTheSetupAndLeavesWholeFilesOnly)
{
    const std::vector<std::string> carried = allPackageFiles();
    for (bool shortWrite : {false, true}) {
        FaultSweep sweep;
        sweep.operation = std::string("setup's package extraction") + (shortWrite ? ", short writes" : "");
        sweep.shortWrite = shortWrite;
        sweep.prepare = [&] {
            fs::remove_all(host(packageFolder()));
            events_.clear();
        };
        sweep.run = [&] { runSetup(); };
        sweep.check = [&](control::FaultPoint failed) {
            std::vector<std::string> onDisk = packageFilesOnDisk();
            ASSERT_LT(onDisk.size(), carried.size());
            std::string message = failed == control::FaultPoint::RegOpenKey
                ? kNoSyncText
                : "Unable to extract file " + packageFolder() + carried[onDisk.size()];
            EXPECT_EQ(events_,
                      (std::vector<std::string>{"dialog Durvo Meter plugin Setup", failureBox(message)}));
            EXPECT_EQ(onDisk, firstPackageFiles(int(onDisk.size())));
        };
        // The key, the folder, and a create and a write for each package file.
        EXPECT_EQ(sweepFaults(sweep), DWORD(2 + 2 * carried.size()));
    }
}

TEST_F(SetupFailures, PackageFolderThatCannotBeCreated)
{
    // A file where the folder should be: the folder's creation fails silently, the first file's
    // extraction does not.
    put("Program Files/Sync Tools/Durvo plugin", "in the way");

    runSetup();

    EXPECT_EQ(events_,
              (std::vector<std::string>{
                  "dialog Durvo Meter plugin Setup",
                  failureBox("Unable to extract file " + packageFolder() + "Durvo.ini"),
              }));
    EXPECT_EQ(readText(root_ / "c/Program Files/Sync Tools/Durvo plugin"), "in the way");
}

}   // namespace
}   // namespace setuptest
