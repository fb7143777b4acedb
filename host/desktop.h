// The emulated desktop beside the device: DIR/desktop/registry.reg is its registry and
// DIR/desktop/c/ its drive C:. The platform holds one registry, one file system and one screen
// at a time, so a DesktopSession puts the desktop in place of the device for as long as it
// lives, and DesktopSession::onDevice puts the device back for a moment (the application
// manager handing a cabinet over).
#ifndef DURVO_HOST_DESKTOP_H
#define DURVO_HOST_DESKTOP_H

#include <windows.h>

#include <control.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace host {

// The desktop's screen, larger than any dialog the setup shows.
constexpr int kDesktopWidth = 800;
constexpr int kDesktopHeight = 600;

class DesktopFolder {
public:
    explicit DesktopFolder(const std::filesystem::path &deviceDir) : dir_(deviceDir / "desktop") { }

    std::filesystem::path folder() const { return dir_; }
    std::filesystem::path registryFile() const { return dir_ / "registry.reg"; }
    std::filesystem::path driveC() const { return dir_ / "c"; }

    // Creates the folders and the text editor's stand-in, C:\Windows\notepad.exe.
    bool prepare(std::string *error) const;

private:
    std::filesystem::path dir_;
};

// What the device side is when the desktop is not in place.
struct DeviceSide {
    std::filesystem::path fileSystem;   // DIR/fs
};

class DesktopSession {
public:
    // Puts the desktop in place: its registry (loaded from its file, empty when there is none),
    // drive C: and no device paths, an 800 x 600 screen at 96 dpi with the device's windows
    // hidden, "C:\Windows\System32" and "C:\Windows" as the program search path, and `launcher`
    // for the programs WinExec starts.
    DesktopSession(const DesktopFolder &desktop, DeviceSide device, control::ProgramLauncher launcher);
    // Saves the desktop's registry into its file and puts the device back as it was; false,
    // with the reason, when the save or the switch failed. The destructor leaves too, unchecked.
    bool leave(std::string *error);
    ~DesktopSession();
    DesktopSession(const DesktopSession &) = delete;
    DesktopSession &operator=(const DesktopSession &) = delete;

    // False, with the reason, when the desktop could not be put in place (the device then stays).
    bool ok(std::string *error) const;
    // Runs `work` with the device in place, then puts the desktop back. False, with the reason,
    // when a registry could not be switched: before `work`, nothing changed and it did not run.
    bool onDevice(const std::function<void()> &work, std::string *error);
    // The device's registry could not be put back on leaving: what is in place is the
    // desktop's, which must never be saved as the device's.
    bool deviceRegistryLost() const { return deviceRegistryLost_; }

private:
    bool swapRegistries(std::string *error);
    void enterDesktop();
    void enterDevice();

    DesktopFolder desktop_;
    DeviceSide device_;
    control::ProgramLauncher launcher_;
    std::string otherRegistry_;   // the .reg text of the side not in place
    int deviceDpi_ = 96;
    std::vector<HWND> hidden_;   // the device's windows, hidden while the desktop is shown
    std::string error_;
    bool onDesktop_ = false;
    bool deviceInPlace_ = false;   // during onDevice, or when the desktop could not come back
    bool deviceRegistryLost_ = false;
};

}   // namespace host

#endif
