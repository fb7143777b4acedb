// Switching between the emulated desktop and the device: a registry that cannot be switched
// changes nothing and says why, and a device registry that never came back is flagged rather
// than the desktop's saved in its place. No script reaches these states (the .reg reader and the
// installer refuse the names that cause them), so the session is driven directly.
#include <gtest/gtest.h>

#include <control.h>
#include <desktop.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

class DesktopSession : public ::testing::Test {
protected:
    void freshDevice()
    {
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "fs");
        control::resetDevice();
        control::setDeviceRoot(dir_ / "fs");
    }
    std::unique_ptr<host::DesktopSession> open()
    {
        return std::make_unique<host::DesktopSession>(host::DesktopFolder(dir_),
                                                      host::DeviceSide{dir_ / "fs"}, nullptr);
    }
    static void createKey(const WCHAR *path)
    {
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void TearDown() override
    {
        control::resetDevice();
        fs::remove_all(dir_);
    }

    fs::path dir_ = fs::temp_directory_path() / ("durvo-desktop-" + std::to_string(getpid()));
};

TEST_F(DesktopSession, ARegistrySwitchThatCannotBeMadeChangesNothingAndSaysWhy)
{
    std::string error;
    {
        // The device's registry holds a name no .reg text carries: the desktop never comes in.
        freshDevice();
        createKey(u"SOFTWARE\\a\nb");
        const std::string device = control::registryToRegText();
        auto desktop = open();
        EXPECT_FALSE(desktop->ok(&error));
        EXPECT_EQ(error.rfind("the device's registry cannot be set aside: key \"a?b\"", 0), 0u) << error;
        EXPECT_EQ(control::registryToRegText(), device);
    }
    {
        // Work on the device leaves such a name: the device stays in place and the step fails.
        freshDevice();
        createKey(u"SOFTWARE\\Durvo");
        auto desktop = open();
        ASSERT_TRUE(desktop->ok(&error)) << error;
        createKey(u"SOFTWARE\\Windows CE Services");   // the desktop's own
        EXPECT_FALSE(desktop->onDevice([] { createKey(u"SOFTWARE\\a\nb"); }, &error));
        EXPECT_EQ(error.rfind("the device's registry cannot be set aside: key \"a?b\"", 0), 0u) << error;
        std::string leaving;
        EXPECT_TRUE(desktop->leave(&leaving)) << leaving;
        EXPECT_FALSE(desktop->deviceRegistryLost());
        const std::string inPlace = control::registryToRegText();
        EXPECT_NE(inPlace.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Durvo]"), std::string::npos) << inPlace;
        EXPECT_EQ(inPlace.find("Windows CE Services"), std::string::npos) << inPlace;
    }
    {
        // The desktop's registry gets such a name: it cannot be saved, and the device's is lost.
        freshDevice();
        createKey(u"SOFTWARE\\Durvo");
        auto desktop = open();
        ASSERT_TRUE(desktop->ok(&error)) << error;
        createKey(u"SOFTWARE\\c\td");
        std::string leaving;
        EXPECT_FALSE(desktop->leave(&leaving));
        EXPECT_EQ(leaving.rfind("cannot save the desktop's registry: ", 0), 0u) << leaving;
        EXPECT_TRUE(desktop->deviceRegistryLost());
    }
}

}   // namespace
