// The device folder of durvo-today: DIR/registry.reg (the registry between runs) and DIR/fs/
// (the device's file system), and the stand-in for the install package.
#ifndef DURVO_HOST_DEVICE_H
#define DURVO_HOST_DEVICE_H

#include <windows.h>

#include <filesystem>
#include <string>

namespace host {

class DeviceFolder {
public:
    explicit DeviceFolder(std::filesystem::path dir) : dir_(std::move(dir)) {}

    std::filesystem::path registryFile() const { return dir_ / "registry.reg"; }
    std::filesystem::path fileSystem() const { return dir_ / "fs"; }

    // Creates the folders and points the platform's file system at DIR/fs.
    bool prepare(std::string *error) const;
    // Loads DIR/registry.reg when it exists; a missing file means an empty registry.
    bool loadRegistry(std::string *error) const;
    // Writes the registry beside the old file and renames it over, so that a crash or a full
    // disk leaves the previous file whole rather than a half-written one.
    bool saveRegistry(std::string *error) const;

private:
    std::filesystem::path dir_;
};

// Installs the plug-in as the device installer does from the package: the library copied to
// \Windows\Durvo.DLL and the Today item key "Durvo" with its six values ("DLL" is kept when
// present).
bool installPlugin(const std::filesystem::path &builtLibrary, std::string *error);

// The built Durvo library: beside the executable when installed so, else where the build put it.
std::filesystem::path builtPluginLibrary();

// Writes a 4-byte REG_BINARY into the meter's store.
bool writeStoreNumber(const std::string &name, DWORD value, std::string *error);

}  // namespace host

#endif
