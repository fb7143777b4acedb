// Feeds the emulated device's installer arbitrary cabinets: our header checks and libmspack read
// them, the setup-record reader judges their records, and whatever passes is carried out on a
// scratch device. An input that begins with "MSCE" is taken as a setup record and wrapped into a
// sound cabinet with a small library, so that the fuzzer reaches the record reader without
// having to forge a cabinet around it. Every refusal must name its defect and leave the device
// as it was, byte for byte; overruns are AddressSanitizer's to find.
#include <control.h>

#include "cabinet_writer.h"
#include "device_installer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <span>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path deviceRoot;

const uint8_t kLibrary[] = {'M', 'Z', 0x90, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF, 0, 0};

void freshDevice()
{
    fs::remove_all(deviceRoot);
    fs::create_directories(deviceRoot / "Windows");
    // An older library that a refused cabinet must leave byte for byte.
    std::ofstream(deviceRoot / "Windows" / "Durvo.DLL", std::ios::binary) << "an older library";
    control::clearRegistry();
}

// Every entry below the root with the bytes of each file: a refusal must leave them all.
std::map<std::string, std::string> deviceContents()
{
    std::map<std::string, std::string> contents;
    for (const auto &entry : fs::recursive_directory_iterator(deviceRoot)) {
        std::string &bytes = contents[entry.path().string()];
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    return contents;
}

}   // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    deviceRoot = fs::temp_directory_path() / ("durvo-fuzz-install-" + std::to_string(getpid()));
    control::resetDevice();
    control::setDeviceRoot(deviceRoot);
    freshDevice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t length)
{
    std::span<const uint8_t> input(bytes, length);
    std::vector<uint8_t> wrapped;
    if (length >= 4 && std::memcmp(bytes, "MSCE", 4) == 0) {
        std::string error;
        if (!package::writeCabinet({{"DURVO~1.000", input}, {"00Durvo.001", kLibrary}}, {}, &wrapped, &error))
            return 0;
        input = wrapped;
    }

    const std::string registryBefore = control::registryToRegText();
    const auto contentsBefore = deviceContents();
    host::InstallOutcome outcome;
    std::string error;
    if (host::installCabinet(input, host::InstallTarget{2577}, &outcome, &error)) {
        freshDevice();   // whatever folders the record named go, so the scratch device stays small
        return 0;
    }
    if (error.empty()) {
        std::fprintf(stderr, "a refused cabinet without a message\n");
        std::abort();
    }
    // Refusals come before the first write, and a write that fails undoes the ones before it.
    if (control::registryToRegText() != registryBefore || deviceContents() != contentsBefore) {
        std::fprintf(stderr, "a refused cabinet changed the device: %s\n", error.c_str());
        std::abort();
    }
    return 0;
}
