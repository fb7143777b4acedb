// Feeds the .reg reader arbitrary text. Text it refuses must leave the registry as it was, with
// a message. Text it accepts must survive a save and a load: the same keys, values, types and
// bytes, compared through the Win32 calls rather than through the text, so that a writer which
// loses bytes cannot hide behind a reader that reads the loss back the same way.
#include "registry_snapshot.h"

#include <string>
#include <string_view>
#include <vector>

using fuzzing::Entry;
using fuzzing::fail;
using fuzzing::snapshot;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    control::resetDevice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t length)
{
    // A registry with something in it, so that a refused text has something to leave alone.
    control::clearRegistry();
    HKEY kept = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, u"Kept", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &kept, nullptr);
    const BYTE one = 1;
    RegSetValueExW(kept, u"v", 0, REG_BINARY, &one, 1);
    RegCloseKey(kept);
    const std::vector<Entry> before = snapshot();

    const std::string_view text(reinterpret_cast<const char *>(bytes), length);
    std::string error;
    if (!control::registryFromRegText(text, &error)) {
        if (error.rfind("line ", 0) != 0) fail("a refusal without its line", error);
        if (snapshot() != before) fail("a refused text changed the registry", error);
        return 0;
    }
    const std::vector<Entry> loaded = snapshot();
    const std::string saved = control::registryToRegText();
    control::clearRegistry();
    if (!control::registryFromRegText(saved, &error))
        fail("the saved text does not load", error + "\n" + saved);
    if (snapshot() != loaded) fail("a save and a load changed the registry", saved);
    if (control::registryToRegText() != saved) fail("the second save differs from the first", saved);
    return 0;
}
