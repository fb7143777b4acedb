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

DesktopSession::DesktopSession(const DesktopFolder &desktop, DeviceSide device, control::ProgramLauncher launcher)
    : desktop_(desktop), device_(std::move(device)), launcher_(std::move(launcher))
{
    if (!desktop_.prepare(&error_)) return;
    std::string deviceRegistry = control::registryToRegText();
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
    if (!onDesktop_) return;
    std::string error;
    // The desktop's registry goes to its file (beside it first, then renamed over it).
    control::saveRegistry(desktop_.registryFile(), &error);
    std::string desktopRegistry = control::registryToRegText();
    control::registryFromRegText(otherRegistry_, &error);
    otherRegistry_ = std::move(desktopRegistry);
    enterDevice();
    for (HWND window : hidden_)
        if (IsWindow(window)) ShowWindow(window, SW_SHOW);
    control::pumpMessages();
}

bool DesktopSession::ok(std::string *error) const
{
    if (onDesktop_) return true;
    *error = error_;
    return false;
}

void DesktopSession::onDevice(const std::function<void()> &work)
{
    std::string error;
    std::string desktopRegistry = control::registryToRegText();
    control::registryFromRegText(otherRegistry_, &error);
    enterDevice();
    work();
    otherRegistry_ = control::registryToRegText();
    control::registryFromRegText(desktopRegistry, &error);
    enterDesktop();
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

}  // namespace host
