// The desktop's drive letters on host folders: where a path with a mapped drive lands, that it
// never leaves its folder, and that the 8-bit file calls work through it.
#include "conformance.h"

// Our layer only: drive letters on host folders are our control surface, so nothing here can
// run against real Win32.
#if OUR_LAYER_ONLY

#include <control.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class Drives : public ::testing::Test {
protected:
    void SetUp() override
    {
        control::resetDevice();
        root_ = fs::path(::testing::TempDir()) / ("drives_test_" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "device");
        fs::create_directories(root_ / "desktop c" / "Program Files");
        control::setDeviceRoot(root_ / "device");
        ASSERT_TRUE(control::mapDrive(u'C', root_ / "desktop c/"));
    }
    void TearDown() override
    {
        control::resetDevice();
        control::mapDrive(u'C', {});
        control::setDeviceRoot({});
        fs::remove_all(root_);
    }

    fs::path root_;
};

TEST_F(Drives, MappedDriveResolvesBelowItsFolder)
{
    struct Case {
        const char *proves;
        const char16_t *path;
        const char *host;   // below root_
    };
    const Case cases[] = {
        {"a path on the drive", u"C:\\Program Files\\x.txt", "desktop c/Program Files/x.txt"},
        {"the letter in lower case", u"c:\\Program Files\\x.txt", "desktop c/Program Files/x.txt"},
        {"a folder's letter case as on disk", u"C:\\PROGRAM FILES\\x.txt", "desktop c/Program Files/x.txt"},
        {"the drive's root", u"C:\\", "desktop c"},
        {"a drive without a separator", u"C:x.txt", "desktop c/x.txt"},
        {"a folder's one trailing dot goes", u"C:\\Program Files.\\x.txt", "desktop c/Program Files/x.txt"},
        {"the last name's trailing dots and blanks go", u"C:\\Program Files\\x.txt. .",
         "desktop c/Program Files/x.txt"},
        {"a folder's trailing blank stays", u"C:\\Program Files \\x.txt", "desktop c/Program Files /x.txt"},
        {"a name of dots alone names no folder", u"C:\\Program Files\\...\\x.txt", ""},
        {".. stops at the drive's folder", u"C:\\..\\..\\device\\secret", "desktop c/device/secret"},
        {"a path without a drive stays on the device", u"\\Windows\\x.dll", "device/Windows/x.dll"},
        {"an unmapped drive is a folder below the device root", u"D:\\x.txt", "device/D/x.txt"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(control::hostPathOf(c.path), *c.host ? root_ / c.host : fs::path());
    }
}

TEST_F(Drives, MappingChangesAndEnds)
{
    EXPECT_FALSE(control::mapDrive(u'1', root_));
    EXPECT_FALSE(control::mapDrive(u'\u00c4', root_));
    ASSERT_TRUE(control::mapDrive(u'd', root_ / "d drive"));
    EXPECT_EQ(control::hostPathOf(u"D:\\x"), root_ / "d drive" / "x");
    // The mapping is where the storage is, not machine state: a reset keeps it.
    control::resetDevice();
    EXPECT_EQ(control::hostPathOf(u"d:\\x"), root_ / "d drive" / "x");
    ASSERT_TRUE(control::mapDrive(u'D', {}));
    EXPECT_EQ(control::hostPathOf(u"D:\\x"), root_ / "device" / "D" / "x");
    // Without a device root, a mapped drive still works and anything else has no place.
    control::setDeviceRoot({});
    EXPECT_EQ(control::hostPathOf(u"C:\\x"), root_ / "desktop c" / "x");
    EXPECT_EQ(control::hostPathOf(u"\\x"), fs::path());
}

TEST_F(Drives, EightBitFileCallsWorkOnTheDrive)
{
    ASSERT_TRUE(CreateDirectoryA("C:\\Program Files\\Sync Tools", nullptr));
    ASSERT_TRUE(CreateDirectoryA("c:\\program files\\sync tools\\Durvo plugin\\", nullptr));
    HANDLE file
        = CreateFileA("C:\\Program Files\\Sync Tools\\Durvo plugin\\Durvo.ini", GENERIC_READ | GENERIC_WRITE,
                      0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "[CEAppManager]", 14, &written, nullptr));
    EXPECT_EQ(written, 14u);
    EXPECT_TRUE(CloseHandle(file));

    fs::path host = root_ / "desktop c" / "Program Files" / "Sync Tools" / "Durvo plugin" / "Durvo.ini";
    std::ifstream in(host, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "[CEAppManager]");

    EXPECT_TRUE(DeleteFileA("C:\\PROGRAM FILES\\SYNC TOOLS\\DURVO PLUGIN\\DURVO.INI"));
    EXPECT_FALSE(fs::exists(host));
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryA("C:\\Missing\\Folder", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}   // namespace

#endif   // OUR_LAYER_ONLY
