// Every key and value of the registry, read through the Win32 calls, so that a fuzz target can
// compare two registries without trusting the .reg text that carried one into the other.
#ifndef DURVO_FUZZ_REGISTRY_SNAPSHOT_H
#define DURVO_FUZZ_REGISTRY_SNAPSHOT_H

#include <control.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzzing {

// RegSetValueExW as a caller's memory has it: Windows reads one unit past a string's size for a
// terminator the caller left out, so the data goes on there with the two bytes `after`.
inline LONG setValueWithMemoryAfter(HKEY key, const std::u16string &name, DWORD type, std::vector<BYTE> data,
                                    uint16_t after)
{
    const DWORD size = static_cast<DWORD>(data.size());
    data.push_back(static_cast<BYTE>(after));
    data.push_back(static_cast<BYTE>(after >> 8));
    return RegSetValueExW(key, name.c_str(), 0, type, data.data(), size);
}

inline const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};

struct Entry {
    std::u16string key;     // path below its root, "" for the root
    std::u16string value;   // value name; empty with isKey for the key itself
    bool isKey = false;
    DWORD type = 0;
    std::vector<BYTE> data;
    bool operator==(const Entry &) const = default;
};

[[noreturn]] inline void fail(const char *what, const std::string &detail)
{
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

// The subkey names of an open key, in enumeration order.
inline std::vector<std::u16string> subkeysOf(HKEY key, const std::u16string &path)
{
    std::vector<std::u16string> names;
    WCHAR name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        LONG status = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return names;
        if (status != ERROR_SUCCESS) fail("RegEnumKeyExW failed below", control::toUtf8(path));
        names.emplace_back(name, length);
    }
}

inline void addValues(HKEY key, const std::u16string &path, std::vector<Entry> *entries)
{
    entries->push_back({path, u"", true, 0, {}});
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 0, size = 0;
        WCHAR probe[1];
        LONG status = RegEnumValueW(key, i, probe, &nameLength, nullptr, nullptr, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS) return;
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
        entries->push_back({path, valueName, false, type, data});
    }
}

// Every key and value, depth first in enumeration order as the text is written. Each key is
// opened below its parent's handle: one handle a level, 512 at the deepest.
inline std::vector<Entry> snapshot()
{
    struct Level {
        HKEY key;
        std::u16string path;
        std::vector<std::u16string> subkeys;
        size_t next;
    };
    std::vector<Entry> entries;
    for (HKEY root : roots) {
        addValues(root, u"", &entries);
        std::vector<Level> stack{{root, u"", subkeysOf(root, u""), 0}};
        while (!stack.empty()) {
            Level &top = stack.back();
            if (top.next == top.subkeys.size()) {
                if (top.key != root) RegCloseKey(top.key);
                stack.pop_back();
                continue;
            }
            const std::u16string &name = top.subkeys[top.next++];
            std::u16string path = top.path.empty() ? name : top.path + u"\\" + name;
            HKEY key = nullptr;
            if (RegOpenKeyExW(top.key, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
                fail("a key that was enumerated does not open", control::toUtf8(path));
            addValues(key, path, &entries);
            std::vector<std::u16string> subkeys = subkeysOf(key, path);
            stack.push_back({key, std::move(path), std::move(subkeys), 0});
        }
    }
    return entries;
}

}   // namespace fuzzing

#endif
