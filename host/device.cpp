#include "device.h"

#include "today_screen.h"

#include <control.h>

#include <system_error>

namespace host {
namespace {

constexpr const char16_t *kLibraryDevicePath = u"\\Windows\\Durvo.DLL";
constexpr const char16_t *kItemName = u"Durvo";
constexpr const char16_t *kStoreKey = u"SOFTWARE\\Norvane";

bool setDword(HKEY key, const char16_t *name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

}  // namespace

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

bool installPlugin(const std::filesystem::path &builtLibrary, std::string *error)
{
    std::filesystem::path target = control::hostPathOf(kLibraryDevicePath);
    std::error_code ec;
    std::filesystem::create_directories(target.parent_path(), ec);
    if (!ec) std::filesystem::copy_file(builtLibrary, target, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        *error = "cannot copy " + builtLibrary.string() + " to " + target.string() + ": " + ec.message();
        return false;
    }

    std::u16string keyPath = std::u16string(kTodayItemsKey) + u"\\" + kItemName;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        *error = "cannot create the Today item key HKLM\\" + control::toUtf8(keyPath);
        return false;
    }
    // The package's values in its order; "DLL" is added only when missing, as the package's
    // no-clobber flag says.
    bool ok = setDword(key, u"Flags", 0) && setDword(key, u"Enabled", 1) && setDword(key, u"Options", 1) &&
              setDword(key, u"Type", 4);
    DWORD size = 0;
    if (ok && RegQueryValueExW(key, u"DLL", nullptr, nullptr, nullptr, &size) == ERROR_FILE_NOT_FOUND) {
        std::u16string dll = kLibraryDevicePath;
        ok = RegSetValueExW(key, u"DLL", 0, REG_SZ, reinterpret_cast<const BYTE *>(dll.c_str()),
                            static_cast<DWORD>((dll.size() + 1) * sizeof(WCHAR))) == ERROR_SUCCESS;
    }
    ok = ok && setDword(key, u"Selectability", 1);
    RegCloseKey(key);
    if (!ok) *error = "cannot write the values of HKLM\\" + control::toUtf8(keyPath);
    return ok;
}

std::filesystem::path builtPluginLibrary()
{
    std::error_code ec;
    std::filesystem::path beside = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "Durvo.dll";
    if (!ec && std::filesystem::exists(beside, ec)) return beside;
    return DURVO_PLUGIN_LIBRARY;
}

bool writeStoreNumber(const std::string &name, DWORD value, std::string *error)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kStoreKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
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

}  // namespace host
