#include "desktop.h"

#include "stand_ins.h"

#include <system_error>

namespace fs = std::filesystem;

namespace host {

bool DesktopFolder::prepare(std::string *error) const
{
    std::error_code ec;
    fs::create_directories(driveC() / "Windows", ec);
    if (ec) {
        *error = "cannot create " + (driveC() / "Windows").string() + ": " + ec.message();
        return false;
    }
    fs::path editor = driveC() / "Windows" / "notepad.exe";
    return fs::exists(editor, ec) || placeStandIn(editor, StandIn::TextEditor, error);
}

DesktopSession::DesktopSession(const DesktopFolder &desktop, DeviceSide device,
                               control::ProgramLauncher launcher)
    : desktop_(desktop), device_(std::move(device)), launcher_(std::move(launcher))
{
    if (!desktop_.prepare(&error_)) return;
    std::string unwritable;
    std::string deviceRegistry = control::registryToRegText(&unwritable);
    if (!unwritable.empty()) {
        error_ = "the device's registry cannot be set aside: " + unwritable;
        return;
    }
    std::error_code ec;
    if (fs::exists(desktop_.registryFile(), ec)) {
        // A failed load changes nothing: the device's registry stays in place.
        if (!control::loadRegistry(desktop_.registryFile(), &error_)) return;
    } else {
        control::clearRegistry();
    }
    otherRegistry_ = std::move(deviceRegistry);
    deviceDpi_ = control::dpi();
    EnumWindows(
        [](HWND window, LPARAM list) {
            if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND> *>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&hidden_));
    for (HWND window : hidden_) ShowWindow(window, SW_HIDE);
    enterDesktop();
    onDesktop_ = true;
}

DesktopSession::~DesktopSession()
{
    std::string error;
    leave(&error);
}

bool DesktopSession::leave(std::string *error)
{
    if (!onDesktop_) return true;
    onDesktop_ = false;
    bool ok = true;
    std::string why;
    if (!deviceInPlace_) {
        // The desktop's registry goes to its file (beside it first, then renamed over it).
        if (!control::saveRegistry(desktop_.registryFile(), &why)) {
            *error = "cannot save the desktop's registry: " + why;
            ok = false;
        }
        if (!swapRegistries(&why)) {
            if (ok) *error = why;
            ok = false;
            deviceRegistryLost_ = true;
        }
    }
    enterDevice();
    for (HWND window : hidden_)
        if (IsWindow(window)) ShowWindow(window, SW_SHOW);
    control::pumpMessages();
    return ok;
}

bool DesktopSession::ok(std::string *error) const
{
    if (onDesktop_) return true;
    *error = error_;
    return false;
}

bool DesktopSession::onDevice(const std::function<void()> &work, std::string *error)
{
    if (!swapRegistries(error)) return false;
    enterDevice();
    work();
    // Should the desktop's registry not come back, the device's stays in place and the session
    // ends without saving the desktop's.
    bool back = swapRegistries(error);
    enterDesktop();
    return back;
}

// Either both registries trade places or nothing changes: the one in place must be writable
// as text before the other is loaded from its text.
bool DesktopSession::swapRegistries(std::string *error)
{
    const char *inPlace = deviceInPlace_ ? "device" : "desktop";
    const char *aside = deviceInPlace_ ? "desktop" : "device";
    std::string unwritable;
    std::string text = control::registryToRegText(&unwritable);
    if (!unwritable.empty()) {
        *error = std::string("the ") + inPlace + "'s registry cannot be set aside: " + unwritable;
        return false;
    }
    std::string why;
    if (!control::registryFromRegText(otherRegistry_, &why)) {
        *error = std::string("the ") + aside + "'s registry cannot be put back: " + why;
        return false;
    }
    otherRegistry_ = std::move(text);
    deviceInPlace_ = !deviceInPlace_;
    return true;
}

void DesktopSession::enterDesktop()
{
    control::setDeviceRoot({});
    control::mapDrive(u'C', desktop_.driveC());
    control::setDpi(96);
    control::setScreenSize(kDesktopWidth, kDesktopHeight);
    control::setProgramSearchPath({u"C:\\Windows\\System32", u"C:\\Windows"});
    control::setProgramLauncher(launcher_);
}

void DesktopSession::enterDevice()
{
    control::setProgramLauncher(nullptr);
    control::setProgramSearchPath({});
    control::mapDrive(u'C', {});
    control::setDeviceRoot(device_.fileSystem);
    control::setDpi(deviceDpi_);
    control::setScreenSize(0, 0);
}

}   // namespace host
