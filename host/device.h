// The device folder of durvo-today: DIR/registry.reg (the registry between runs) and DIR/fs/
// (the device's file system), and where the built install package is.
#ifndef DURVO_HOST_DEVICE_H
#define DURVO_HOST_DEVICE_H

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace host {

class DeviceFolder {
public:
    explicit DeviceFolder(std::filesystem::path dir) : dir_(std::move(dir)) { }

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

// Whether the Today item key "Durvo" exists: the mark of an installed plug-in.
bool hasDurvoItem();

// The built cabinet for a processor: beside the executable when installed so, else in the
// package folder of the build.
std::filesystem::path builtCabinet(uint32_t processor);

// DurvoSetup built for this platform: beside the executable when installed so, else the one
// of the build.
std::filesystem::path builtSetupProgram();

// Writes a 4-byte REG_BINARY into the meter's store.
bool writeStoreNumber(const std::string &name, DWORD value, std::string *error);

}   // namespace host

#endif
