// Drives the registry's Win32 calls with hostile key and value names (control characters, line
// breaks, lone surrogates, backslashes, names near the length limits) and any values, then
// saves the registry to a file and loads it back. A save either refuses, with its reason, when
// some name cannot be written, and keeps the old file; or the load gives back the same keys,
// values, types and bytes, compared through the Win32 calls.
#include "registry_snapshot.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

fs::path registryFile;
const std::string kOldFile = "the old file";

// Names drawn from units that matter to the writer and the reader.
std::u16string hostileName(FuzzedDataProvider &input)
{
    static const char16_t units[]
        = {u'a', u'Z', u' ', u'\n', u'\r',  u'\t',  0x01,   0x1F,   u'"',   u'\\', u'[',
           u']', u'=', u'@', u';',  0xD800, 0xDC00, 0xFFFF, 0x00E9, 0x20AC, 0xFEFF};
    std::u16string name;
    size_t length = input.ConsumeIntegralInRange<size_t>(0, 12);
    if (input.ConsumeBool() && input.ConsumeBool()) length = input.ConsumeIntegralInRange<size_t>(250, 260);
    for (size_t i = 0; i < length; ++i)
        name += units[input.ConsumeIntegralInRange<size_t>(0, std::size(units) - 1)];
    return name;
}

// A name the .reg file cannot hold: a control character or a lone surrogate.
bool unwritable(const std::u16string &name)
{
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t unit = name[i];
        if (unit < 0x20) return true;
        bool high = unit >= 0xD800 && unit <= 0xDBFF, low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || low) {
            return true;
        }
    }
    return false;
}

std::string fileText()
{
    std::ifstream in(registryFile, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}   // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    control::resetDevice();
    registryFile = fs::temp_directory_path() / ("durvo-registry-api-" + std::to_string(getpid()) + ".reg");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t length)
{
    FuzzedDataProvider input(bytes, length);
    control::clearRegistry();
    std::vector<HKEY> keys = {HKEY_LOCAL_MACHINE};
    for (int step = 0; step < 16 && input.remaining_bytes() > 0; ++step) {
        HKEY parent = keys[input.ConsumeIntegralInRange<size_t>(0, keys.size() - 1)];
        std::u16string name = hostileName(input);
        switch (input.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
        case 1: {
            HKEY key = nullptr;
            if (RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)
                == ERROR_SUCCESS)
                keys.push_back(key);
            break;
        }
        case 2: {
            static const DWORD types[] = {REG_BINARY, REG_SZ, REG_DWORD, REG_MULTI_SZ, REG_EXPAND_SZ, 0x1234};
            DWORD type = types[input.ConsumeIntegralInRange<size_t>(0, std::size(types) - 1)];
            std::vector<BYTE> data = input.ConsumeBytes<BYTE>(input.ConsumeIntegralInRange<size_t>(0, 64));
            fuzzing::setValueWithMemoryAfter(parent, name, type, data, input.ConsumeIntegral<uint16_t>());
            break;
        }
        default: RegDeleteValueW(parent, name.c_str()); break;
        }
    }
    for (HKEY key : keys)
        if (key != HKEY_LOCAL_MACHINE) RegCloseKey(key);

    const std::vector<fuzzing::Entry> before = fuzzing::snapshot();
    bool expressible = true;
    for (const fuzzing::Entry &entry : before) {
        if (unwritable(entry.value)) expressible = false;
        size_t start = 0;   // each component of the key's path
        for (size_t end; start <= entry.key.size(); start = end + 1) {
            end = entry.key.find(u'\\', start);
            if (end == std::u16string::npos) end = entry.key.size();
            if (unwritable(entry.key.substr(start, end - start))) expressible = false;
        }
    }

    {
        std::ofstream(registryFile, std::ios::binary) << kOldFile;
    }
    std::string error;
    if (!control::saveRegistry(registryFile, &error)) {
        if (expressible) fuzzing::fail("a registry of writable names was not saved", error);
        if (error.find("cannot hold") == std::string::npos)
            fuzzing::fail("a refusal without its reason", error);
        if (fileText() != kOldFile) fuzzing::fail("a refused save changed the file", error);
        return 0;
    }
    if (!expressible)
        fuzzing::fail("a name the .reg file cannot hold was saved", control::registryToRegText());
    control::clearRegistry();
    if (!control::loadRegistry(registryFile, &error)) fuzzing::fail("the saved file does not load", error);
    if (fuzzing::snapshot() != before)
        fuzzing::fail("a save and a load changed the registry", control::registryToRegText());
    return 0;
}
