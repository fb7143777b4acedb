// Feeds the .reg reader arbitrary text. Text it refuses must leave the registry as it was, with
// a message. Text it accepts must survive a save and a load: the same keys, values, types and
// bytes, compared through the Win32 calls rather than through the text, so that a writer which
// loses bytes cannot hide behind a reader that reads the loss back the same way.
#include <control.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};

struct Entry {
    std::u16string key;    // path below its root, "" for the root
    std::u16string value;  // value name; empty with isKey for the key itself
    bool isKey = false;
    DWORD type = 0;
    std::vector<BYTE> data;
    bool operator==(const Entry &) const = default;
};

void fail(const char *what, const std::string &detail)
{
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

// Every key and value in enumeration order. Keys are opened by their path from the root, one
// at a time, so that no depth needs more than one handle.
std::vector<Entry> snapshot()
{
    std::vector<Entry> entries;
    for (HKEY root : roots) {
        std::vector<std::u16string> pending{u""};
        while (!pending.empty()) {
            std::u16string path = std::move(pending.back());
            pending.pop_back();
            HKEY key = root;
            if (!path.empty() && RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
                fail("a key that was enumerated does not open", control::toUtf8(path));
            entries.push_back({path, u"", true, 0, {}});
            std::vector<std::u16string> children;
            WCHAR name[256];
            for (DWORD i = 0;; ++i) {
                DWORD length = 256;
                LONG status = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
                if (status == ERROR_NO_MORE_ITEMS) break;
                if (status != ERROR_SUCCESS) fail("RegEnumKeyExW failed below", control::toUtf8(path));
                children.push_back(path.empty() ? std::u16string(name, length)
                                                : path + u"\\" + std::u16string(name, length));
            }
            // Depth first in enumeration order, as the text is written.
            pending.insert(pending.end(), children.rbegin(), children.rend());
            for (DWORD i = 0;; ++i) {
                DWORD nameLength = 0, size = 0;
                WCHAR probe[1];
                LONG status = RegEnumValueW(key, i, probe, &nameLength, nullptr, nullptr, nullptr, &size);
                if (status == ERROR_NO_MORE_ITEMS) break;
                // The name's length is not told; grow until it fits, as a Win32 program would.
                std::u16string valueName(64, u'\0');
                std::vector<BYTE> data(size);
                DWORD type = 0;
                for (;;) {
                    nameLength = static_cast<DWORD>(valueName.size());
                    size = static_cast<DWORD>(data.size());
                    status = RegEnumValueW(key, i, valueName.data(), &nameLength, nullptr, &type, data.data(), &size);
                    if (status != ERROR_MORE_DATA) break;
                    valueName.resize(valueName.size() * 2);
                    data.resize(size);
                }
                if (status != ERROR_SUCCESS) fail("RegEnumValueW failed in", control::toUtf8(path));
                valueName.resize(nameLength);
                data.resize(size);
                entries.push_back({path, valueName, false, type, data});
            }
            if (key != root) RegCloseKey(key);
        }
    }
    return entries;
}

}  // namespace

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
    if (!control::registryFromRegText(saved, &error)) fail("the saved text does not load", error + "\n" + saved);
    if (snapshot() != loaded) fail("a save and a load changed the registry", saved);
    if (control::registryToRegText() != saved) fail("the second save differs from the first", saved);
    return 0;
}
