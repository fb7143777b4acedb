// The emulated device's cabinet installer: reads a cabinet, checks its setup record against
// the cabinet and the device, and carries it out — files copied into the device's folders,
// registry keys and values created. Every check comes before the first write, and a write that
// fails undoes those before it, so a refused cabinet leaves the device byte for byte as it was.
#ifndef DURVO_HOST_DEVICE_INSTALLER_H
#define DURVO_HOST_DEVICE_INSTALLER_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// What the installer knows of the device beyond what the platform reports (the OS version and
// the platform type come from GetVersionExW and SystemParametersInfoW).
struct InstallTarget {
    uint32_t processor = 0;   // a PROCESSOR_* value
};

// The processor of a `--processor` name: "arm", "mips" or "sh3".
std::optional<uint32_t> processorOfName(std::string_view name);

struct InstallOutcome {
    std::string appName;
    std::string provider;
    std::vector<std::string> files;   // device paths written
    std::vector<std::string> keys;    // "HKLM\..." created or opened
    size_t valuesWritten = 0;
    size_t valuesKept = 0;   // existing values the record asked not to overwrite
};
// "Durvo (Norvane): \Windows\Durvo.DLL; HKLM\Software\...\Durvo; 6 values written" (", 1 kept"
// when the record asked to keep a value that was there).
std::string describe(const InstallOutcome &outcome);

// The largest cabinet file the installer reads: more than any package for a Pocket PC needs,
// and what the whole cabinet may unpack into (below).
constexpr size_t kMaxCabinetFileBytes = 64u << 20;
// What the files of one cabinet may come to together, counting a member once for each file
// entry that names it: a few kilobytes of cabinet must not fill the device (or the host).
constexpr uint64_t kMaxInstallBytes = 64u << 20;
// The most file entries one cabinet may have: far more than any Pocket PC program needs, and a
// bound on the time an install takes (each new file is looked up in its folder ignoring case,
// which reads the folder).
constexpr size_t kMaxInstallFiles = 1024;
// Windows' registry limits: a key name of at most 255 characters, at most 512 levels of keys.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxKeyDepth = 512;

// Installs the cabinet in memory. False, with *error naming the defect, when it is refused or a
// write fails.
bool installCabinet(std::span<const uint8_t> cabinet, const InstallTarget &target, InstallOutcome *outcome,
                    std::string *error);
// Reads the cabinet file (of the host) and installs it.
bool installCabinetFile(const std::filesystem::path &file, const InstallTarget &target,
                        InstallOutcome *outcome, std::string *error);

}   // namespace host

#endif
