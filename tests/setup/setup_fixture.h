// What the setup tests share: a desktop with drive C: in a temporary folder, the synchronisation
// software "installed" (its registry value and its application manager file), the editor in
// C:\Windows, the program's resources from this build's setup.res, and a scripted user and a
// program launcher that write down, in order, everything the setup shows and starts (one log
// across both, unlike support/recording_user.h, so that a test sees their order).
#ifndef DURVO_TESTS_SETUP_FIXTURE_H
#define DURVO_TESTS_SETUP_FIXTURE_H

#include <control.h>
#include <windows.h>

#include <setup_flow.h>
#include <package/package_files.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace setuptest {

namespace fs = std::filesystem;

inline const fs::path kSetupRes = DURVO_SETUP_RES;
inline const fs::path kPackageDir = DURVO_PACKAGE_DIR;

inline const char *const kSyncKey = "SOFTWARE\\Microsoft\\Windows CE Services";
inline const char *const kSuccessText = "Please follow ActiveSync software setup procedure.\r\n"
                                        "Also note that you will need to restart your device on\r\n"
                                        "ActiveSync setup completion";
inline const char *const kNoSyncText = "Unable to locate ActiveSync installation.\r\n"
                                       "Please install ActiveSync and run this setup again.";

inline std::string readText(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<BYTE> readBytes(const fs::path &file)
{
    std::string text = readText(file);
    return std::vector<BYTE>(text.begin(), text.end());
}

// ---- .res images ------------------------------------------------------------------------------
// Records: DWORD DataSize, DWORD HeaderSize, TYPE, NAME (0xFFFF + ordinal, or UTF-16 text), then
// the data at HeaderSize, padded to a DWORD.

inline DWORD resDword(const std::vector<BYTE> &image, size_t at)
{
    DWORD value = 0;
    std::memcpy(&value, image.data() + at, 4);
    return value;
}

// The name or type at `at` in upper case ("#10" for an ordinal), and the offset after it.
inline std::string resKey(const std::vector<BYTE> &image, size_t at, size_t *next)
{
    WORD first = static_cast<WORD>(image[at] | image[at + 1] << 8);
    if (first == 0xFFFF) {
        *next = at + 4;
        return "#" + std::to_string(image[at + 2] | image[at + 3] << 8);
    }
    std::string text;
    while (image[at] != 0 || image[at + 1] != 0) {
        text += static_cast<char>(std::toupper(image[at]));
        at += 2;
    }
    *next = at + 2;
    return text;
}

enum class ResourceChange { Remove, Empty };

// The image with the resource called `name` (any type) taken out, or left with no data.
inline std::vector<BYTE> changedResource(const std::vector<BYTE> &image, const std::string &name,
                                         ResourceChange change)
{
    std::vector<BYTE> out;
    size_t at = 0;
    bool found = false;
    while (at + 8 <= image.size()) {
        DWORD dataSize = resDword(image, at);
        DWORD headerSize = resDword(image, at + 4);
        size_t end = at + headerSize + ((dataSize + 3) & ~3u);
        size_t afterType = 0;
        size_t afterName = 0;
        resKey(image, at + 8, &afterType);
        bool match = resKey(image, afterType, &afterName) == name;
        found = found || match;
        if (!match) {
            out.insert(out.end(), image.begin() + at, image.begin() + end);
        } else if (change == ResourceChange::Empty) {
            size_t start = out.size();
            out.insert(out.end(), image.begin() + at, image.begin() + at + headerSize);
            std::memset(out.data() + start, 0, 4);   // DataSize 0
        }
        at = end;
    }
    EXPECT_TRUE(found) << "no resource " << name << " in the image";
    return out;
}

// ---- The desktop --------------------------------------------------------------------------------

struct BoxSeen {
    HWND owner;
    std::string caption;
    std::string text;
    UINT type;
};

class SetupTest : public ::testing::Test {
protected:
    // What the user does with the licence dialog.
    enum class Licence { Install, CancelThenYes, CancelNoThenInstall, Leave };

    void SetUp() override
    {
        control::resetDevice();
        root_ = fs::path(::testing::TempDir()) / ("setup_test_" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "c");
        control::mapDrive(u'C', root_ / "c");
        control::setDeviceRoot({});
        control::setScreenSize(800, 600);
        control::setProgramResources(readBytes(kSetupRes));
        control::setProgramSearchPath({u"C:\\Windows\\System32", u"C:\\Windows"});
        control::setProgramLauncher([this](const control::ProgramStart &start) {
            events_.push_back("exec " + control::toUtf8(start.commandLine));
            execResults_.push_back(!start.program.empty());
            if (onExec_) onExec_(start);
            return true;
        });
        control::setUser({[this](const control::MessageBoxShown &box) { return answerBox(box); }, nullptr,
                          [this](const control::DialogShown &dialog) { answerDialog(dialog); }});
        installSync("C:\\Program Files\\Sync Tools");
        put("Windows/notepad.exe", "editor");
    }
    void TearDown() override
    {
        EXPECT_EQ(control::takeUnansweredPrompts(), std::vector<std::string>());
        EXPECT_EQ(control::openFileHandles(), 0);
        control::resetDevice();
        control::mapDrive(u'C', {});
        fs::remove_all(root_);
    }

    // The synchronisation software at `windowsDir` (as its registry value says it) with its
    // application manager.
    void installSync(const std::string &windowsDir)
    {
        setInstalledDir(windowsDir);
        std::string relative = windowsDir.substr(3);   // below "C:\"
        std::replace(relative.begin(), relative.end(), '\\', '/');
        put(relative + "/CEAppMgr.exe", "manager");
        syncDir_ = windowsDir;
    }
    static void setInstalledDir(const std::string &value)
    {
        setRegistryValue("InstalledDir", REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
    }
    static void setRegistryValue(const char *name, DWORD type, const void *data, DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSyncKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }

    // A file on drive C:, by its path below C:\ with "/" separators.
    void put(const std::string &relative, const std::string &content) const
    {
        fs::create_directories((root_ / "c" / relative).parent_path());
        std::ofstream(root_ / "c" / relative, std::ios::binary) << content;
    }
    fs::path host(const std::string &windowsPath) const
    {
        return control::hostPathOf(control::fromUtf8(windowsPath));
    }
    // The package folder below `dir` as a Windows path ("C:\x\Durvo plugin\").
    static std::string packageFolderOf(std::string dir)
    {
        if (dir.back() != '\\') dir += '\\';
        return dir + "Durvo plugin\\";
    }
    std::string packageFolder() const { return packageFolderOf(syncDir_); }
    // Which package files exist in the package folder, in the table's order, and whether each
    // holds exactly what the package holds.
    std::vector<std::string> packageFilesOnDisk() const
    {
        std::vector<std::string> found;
        for (const PackageFile &file : packageFiles) {
            fs::path onDisk = host(packageFolder() + file.fileName);
            if (!fs::exists(onDisk)) continue;
            bool same = readText(onDisk) == readText(kPackageDir / file.fileName);
            found.push_back(std::string(file.fileName) + (same ? "" : " (differs)"));
        }
        return found;
    }
    // The package files the setup carries, in the table's order: the texts and a cabinet for
    // each processor the build has a library for.
    static std::vector<std::string> allPackageFiles()
    {
        std::vector<std::string> names;
        for (const PackageFile &file : packageFiles)
            if (fs::exists(kPackageDir / file.fileName)) names.push_back(file.fileName);
        return names;
    }

    std::string managerLine() const
    {
        std::string dir = syncDir_.back() == '\\' ? syncDir_ : syncDir_ + "\\";
        return "exec \"" + dir + "CEAppMgr.exe\" \"" + packageFolder() + "Durvo.ini\"";
    }
    std::string editorLine() const { return "exec notepad.exe \"" + packageFolder() + "ReadMe.txt\""; }
    static std::string successLine() { return std::string("box Setup successful!: ") + kSuccessText; }
    // What a whole run records: the licence, the manager, the editor, the closing box.
    std::vector<std::string> successfulRun() const
    {
        return {"dialog Durvo Meter plugin Setup", managerLine(), editorLine(), successLine()};
    }

    int answerBox(const control::MessageBoxShown &box)
    {
        boxes_.push_back({box.owner, control::toUtf8(box.caption), control::toUtf8(box.text), box.type});
        events_.push_back("box " + boxes_.back().caption + ": " + boxes_.back().text);
        if (box.caption == u"Durvo plugin Setup") {
            int answer = abortAnswers_.empty() ? 0 : abortAnswers_.front();
            if (!abortAnswers_.empty()) abortAnswers_.erase(abortAnswers_.begin());
            return answer;
        }
        return IDOK;
    }
    void answerDialog(const control::DialogShown &dialog)
    {
        events_.push_back("dialog " + control::toUtf8(dialog.title));
        dialog_ = dialog.dialog;
        if (onDialog_) onDialog_(dialog);
        switch (licence_) {
        case Licence::Install: control::clickControl(dialog.dialog, IDOK); break;
        case Licence::CancelThenYes:
            abortAnswers_ = {IDYES};
            control::clickControl(dialog.dialog, IDCANCEL);
            break;
        case Licence::CancelNoThenInstall:
            abortAnswers_ = {IDNO};
            control::clickControl(dialog.dialog, IDCANCEL);
            stillOpenAfterNo_ = IsWindow(dialog.dialog) && IsWindowVisible(dialog.dialog);
            controlsAfterNo_ = control::dialogControls(dialog.dialog);
            control::clickControl(dialog.dialog, IDOK);
            break;
        case Licence::Leave: break;
        }
    }

    fs::path root_;
    std::string syncDir_;
    Licence licence_ = Licence::Install;
    std::vector<std::string> events_;
    std::vector<bool> execResults_;   // whether each start found its program
    std::vector<BoxSeen> boxes_;
    std::vector<int> abortAnswers_;
    HWND dialog_ = nullptr;
    bool stillOpenAfterNo_ = false;
    std::vector<control::ControlShown> controlsAfterNo_;
    std::function<void(const control::DialogShown &)> onDialog_;
    std::function<void(const control::ProgramStart &)> onExec_;
};

}   // namespace setuptest

#endif
