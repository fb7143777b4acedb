#include "device.h"

#include "today_screen.h"

#include <package.h>

#include <control.h>

#include <system_error>

namespace host {
namespace {

constexpr const char16_t *kItemName = u"Durvo";
constexpr const char16_t *kStoreKey = u"SOFTWARE\\Norvane";

}   // namespace

bool DeviceFolder::prepare(std::string *error) const
{
    // The folders every Pocket PC has from the factory.
    for (const char *folder : {"Windows", "My Documents"}) {
        std::error_code ec;
        std::filesystem::create_directories(fileSystem() / folder, ec);
        if (ec) {
            *error = "cannot create " + (fileSystem() / folder).string() + ": " + ec.message();
            return false;
        }
    }
    control::setDeviceRoot(fileSystem());
    return true;
}

bool DeviceFolder::loadRegistry(std::string *error) const
{
    std::error_code ec;
    if (!std::filesystem::exists(registryFile(), ec)) return true;
    return control::loadRegistry(registryFile(), error);
}

bool DeviceFolder::saveRegistry(std::string *error) const
{
    return control::saveRegistry(registryFile(), error);
}

bool hasDurvoItem()
{
    std::u16string keyPath = std::u16string(kTodayItemsKey) + u"\\" + kItemName;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::filesystem::path builtCabinet(uint32_t processor)
{
    // The development device's cabinet is only in the development package, never shipped.
    const char *name = packageFiles[armCabinetIndex].fileName;
    std::filesystem::path folder = DURVO_PACKAGE_DIR;
    for (const package::CabinetKind &kind : package::cabinetKinds) {
        if (kind.processor != processor) continue;
        name = packageFiles[kind.file].fileName;
        if (kind.file == developmentCabinetIndex) folder = DURVO_DEVELOPMENT_PACKAGE_DIR;
    }
    std::error_code ec;
    std::filesystem::path beside = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / name;
    if (!ec && std::filesystem::exists(beside, ec)) return beside;
    return folder / name;
}

std::filesystem::path builtSetupProgram()
{
    std::error_code ec;
    std::filesystem::path beside
        = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "DurvoSetup.exe";
    if (!ec && std::filesystem::exists(beside, ec)) return beside;
    return DURVO_SETUP_PROGRAM;
}

bool writeStoreNumber(const std::string &name, DWORD value, std::string *error)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kStoreKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)
        != ERROR_SUCCESS) {
        *error = "cannot open HKLM\\SOFTWARE\\Norvane";
        return false;
    }
    std::u16string wide = control::fromUtf8(name);
    BYTE bytes[4] = {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)};
    bool ok = RegSetValueExW(key, wide.c_str(), 0, REG_BINARY, bytes, sizeof bytes) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!ok) *error = "cannot write " + name + " into HKLM\\SOFTWARE\\Norvane";
    return ok;
}

}   // namespace host
