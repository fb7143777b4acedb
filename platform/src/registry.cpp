// The registry calls: Win32's error codes and buffer behaviour over the tree of keys and values
// (registry_tree.h); its .reg text form is in reg_text.cpp.
//
// A program may open a key, rewrite its values and close it every second, so those calls
// allocate nothing once the values exist: handles come from a fixed table, names are compared in
// place and a value's storage is reused while its size does not grow.
#include <windows.h>

#include "control.h"
#include "internal.h"
#include "registry_tree.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace registry_tree;

namespace {

// ---- Handles -----------------------------------------------------------------------------------

int rootIndex(HKEY hKey)
{
    const auto value = reinterpret_cast<ULONG_PTR>(hKey);
    const auto first = reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT);
    if (value >= first && value < first + kRootCount) return static_cast<int>(value - first);
    return -1;
}

HKEY handleValue(size_t slot, WORD generation)
{
    const ULONG_PTR value = ((static_cast<ULONG_PTR>(generation) << 16) | (slot + 1)) << 2;
    return reinterpret_cast<HKEY>(value);
}

HandleSlot *slotOf(HKEY hKey)
{
    const auto value = reinterpret_cast<ULONG_PTR>(hKey);
    if (value == 0 || (value & 3) != 0) return nullptr;
    const size_t slot = ((value >> 2) & 0xFFFF) - 1;
    const auto generation = static_cast<WORD>(value >> 18);
    if (slot >= kHandleSlots) return nullptr;
    HandleSlot &entry = registry.handles[slot];
    if (entry.key == nullptr || entry.generation != generation) return nullptr;
    return &entry;
}

// The key a handle names: a predefined root or an open handle. `status` says why there is none.
Key *keyOf(HKEY hKey, LONG *status)
{
    *status = ERROR_SUCCESS;
    const int root = rootIndex(hKey);
    if (root >= 0) return &registry.roots[root];
    HandleSlot *slot = slotOf(hKey);
    if (slot == nullptr) {
        *status = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (slot->key->deleted) {
        *status = ERROR_KEY_DELETED;
        return nullptr;
    }
    return slot->key;
}

LONG openHandle(Key *key, PHKEY result)
{
    for (size_t i = 0; i < kHandleSlots; ++i) {
        HandleSlot &slot = registry.handles[i];
        if (slot.key == nullptr) {
            slot.key = key;
            ++registry.openHandles;
            slot.generation = static_cast<WORD>((slot.generation + 1) & ((1u << kGenerationBits) - 1));
            *result = handleValue(i, slot.generation);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_NOT_ENOUGH_MEMORY;
}

// Walks up from each open handle's key; a deleted subtree's top has no parent, so the walk
// stays inside it.
bool subtreeHasOpenHandle(const Key &top)
{
    if (registry.openHandles == 0) return false;
    for (const auto &slot : registry.handles) {
        for (const Key *key = slot.key; key != nullptr; key = key->parent) {
            if (key == &top) return true;
        }
    }
    return false;
}

void markDeleted(Key &top)
{
    std::vector<Key *> pending{&top};
    while (!pending.empty()) {
        Key *key = pending.back();
        pending.pop_back();
        key->deleted = true;
        for (auto &child : key->subkeys) pending.push_back(child.get());
    }
}

void bury(std::unique_ptr<Key> key)
{
    key->parent = nullptr;
    if (registry.openHandles == 0) return;   // nothing can name it any more
    markDeleted(*key);
    if (subtreeHasOpenHandle(*key)) registry.graveyard.push_back(std::move(key));
}

void purgeGraveyard()
{
    std::erase_if(registry.graveyard, [](const auto &key) { return !subtreeHasOpenHandle(*key); });
}

// ---- Paths ---------------------------------------------------------------------------------------

// The first subkey that does not sort before `name`: where it is, or would go.
std::vector<std::unique_ptr<Key>>::iterator subkeyPosition(Key &parent, Name name)
{
    return std::lower_bound(
        parent.subkeys.begin(), parent.subkeys.end(), name,
        [](const auto &child, Name wanted) { return sortsBefore(nameOf(child->name), wanted); });
}

Key *findSubkey(Key &parent, Name name)
{
    auto position = subkeyPosition(parent, name);
    if (position == parent.subkeys.end() || !sameName(name, (*position)->name)) return nullptr;
    return position->get();
}

Key *addSubkey(Key &parent, Name name)
{
    auto key = std::make_unique<Key>();
    key->name.assign(name.text, name.length);
    key->parent = &parent;
    key->depth = parent.depth + 1;
    touch(*key);
    auto position = subkeyPosition(parent, name);
    Key *added = key.get();
    parent.subkeys.insert(position, std::move(key));
    touch(parent);
    return added;
}

// Walks a path below `start`. With `create` the missing keys are added and *created tells
// whether the last one was new; a path that would break the limits adds nothing.
LONG walkPath(Key &start, LPCWSTR path, bool create, Key **found, bool *created)
{
    *created = false;
    const KeyPath keyPath(nameOf(path));
    if (!keyPath.wellFormed()) return ERROR_BAD_PATHNAME;
    if (create && keyPath.limitBroken(start.depth) != KeyPath::Limit::None) return ERROR_INVALID_PARAMETER;
    Key *key = &start;
    const bool complete = keyPath.forEach([&](Name component) {
        Key *child = findSubkey(*key, component);
        if (child == nullptr) {
            if (!create) return false;
            child = addSubkey(*key, component);
            *created = true;
        }
        key = child;
        return true;
    });
    if (!complete) return ERROR_FILE_NOT_FOUND;
    *found = key;
    return ERROR_SUCCESS;
}

Value *findValue(Key &key, Name name)
{
    for (auto &value : key.values) {
        if (sameName(name, value.name)) return &value;
    }
    return nullptr;
}

bool isStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Windows adds a terminator after string data that lacks one when the buffer has room for it.
void terminateIfRoom(DWORD type, LPBYTE data, DWORD size, DWORD capacity, size_t unit)
{
    if (!isStringType(type) || size < unit || size + unit > capacity) return;
    bool terminated = true;
    for (size_t i = 0; i < unit; ++i) terminated = terminated && data[size - unit + i] == 0;
    if (!terminated) std::memset(data + size, 0, unit);
}

// Windows maps nothing in the lowest 64 KiB, so data there is a bad pointer, answered as the
// access fault Windows catches, never read.
bool unreadable(const BYTE *data, DWORD size)
{
    constexpr uintptr_t kUnmappedBelow = 0x10000;
    return size != 0 && reinterpret_cast<uintptr_t>(data) < kUnmappedBelow;
}

// NT counts the terminator a caller left out of a string's size: the last unit counted is not 0
// and the next one is. (It reads that one unit past the size, as Windows does.)
DWORD withLeftOutTerminator(DWORD type, const BYTE *data, DWORD size, size_t unit)
{
    if (!isStringType(type) || size < unit || size % unit != 0) return size;
    auto zeroAt = [&](size_t offset) {
        for (size_t i = 0; i < unit; ++i) {
            if (data[offset + i] != 0) return false;
        }
        return true;
    };
    return !zeroAt(size - unit) && zeroAt(size) ? size + static_cast<DWORD>(unit) : size;
}

// A query of a missing value that asks only for the size is told 0 bytes.
LONG missingValue(LPBYTE data, LPDWORD size)
{
    if (data == nullptr && size != nullptr) *size = 0;
    return ERROR_FILE_NOT_FOUND;
}

LONG setValue(HKEY hKey, Name name, DWORD type, const BYTE *data, DWORD size)
{
    LONG status;
    Key *key = keyOf(hKey, &status);
    if (key == nullptr) return status;
    if (unreadable(data, size)) return ERROR_NOACCESS;
    if (DWORD error = internal::faultAt(control::FaultPoint::RegSetValue)) return LONG(error);
    Value *value = findValue(*key, name);
    if (value == nullptr) {
        key->values.push_back(Value{std::u16string(name.text, name.length), type, {}});
        value = &key->values.back();
    }
    value->type = type;
    value->data.assign(data, data + size);   // reuses the storage when the size does not grow
    touch(*key);
    return ERROR_SUCCESS;
}

}   // namespace

namespace registry_tree {

void clearTree()
{
    for (auto &root : registry.roots) {
        std::vector<std::unique_ptr<Key>> subkeys = std::move(root.subkeys);
        root.subkeys.clear();
        for (auto &child : subkeys) bury(std::move(child));
        root.values.clear();
        touch(root);
    }
}

}   // namespace registry_tree

// ---- Win32 calls ---------------------------------------------------------------------------------

LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                            REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition)
{
    if (phkResult == nullptr) return ERROR_BADKEY;
    if (Reserved != 0) return ERROR_INVALID_PARAMETER;
    LONG status;
    Key *parent = keyOf(hKey, &status);
    if (parent == nullptr) return status;
    if (DWORD error = internal::faultAt(control::FaultPoint::RegCreateKey)) {
        *phkResult = nullptr;
        return LONG(error);
    }
    Key *key;
    bool created;
    status = walkPath(*parent, lpSubKey, true, &key, &created);
    if (status != ERROR_SUCCESS) return status;
    status = openHandle(key, phkResult);
    if (status != ERROR_SUCCESS) return status;
    if (lpdwDisposition != nullptr)
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    LONG status;
    Key *parent = keyOf(hKey, &status);
    if (parent == nullptr) {
        *phkResult = nullptr;
        return status;
    }
    if (DWORD error = internal::faultAt(control::FaultPoint::RegOpenKey)) {
        *phkResult = nullptr;
        return LONG(error);
    }
    // A predefined root opened with no subkey is answered with the root itself.
    if (rootIndex(hKey) >= 0 && (lpSubKey == nullptr || *lpSubKey == 0)) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    Key *key;
    bool created;
    status = walkPath(*parent, lpSubKey, false, &key, &created);
    if (status == ERROR_SUCCESS) status = openHandle(key, phkResult);
    if (status != ERROR_SUCCESS) *phkResult = nullptr;
    return status;
}

LONG WINAPI RegCloseKey(HKEY hKey)
{
    if (rootIndex(hKey) >= 0) return ERROR_SUCCESS;
    HandleSlot *slot = slotOf(hKey);
    if (slot == nullptr) return ERROR_INVALID_HANDLE;
    const bool wasDeleted = slot->key->deleted;
    slot->key = nullptr;
    --registry.openHandles;
    if (wasDeleted) purgeGraveyard();
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                           DWORD cbData)
{
    if (!unreadable(lpData, cbData)) cbData = withLeftOutTerminator(dwType, lpData, cbData, sizeof(WCHAR));
    return setValue(hKey, nameOf(lpValueName), dwType, lpData, cbData);
}

LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData)
{
    if ((lpData != nullptr && lpcbData == nullptr) || lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
    LONG status;
    Key *key = keyOf(hKey, &status);
    if (key == nullptr) return status;
    const Value *value = findValue(*key, nameOf(lpValueName));
    if (value == nullptr) return missingValue(lpData, lpcbData);
    const auto size = static_cast<DWORD>(value->data.size());
    status = ERROR_SUCCESS;
    if (lpData != nullptr) {
        if (size > *lpcbData) {
            status = ERROR_MORE_DATA;
        } else {
            if (size != 0) std::memcpy(lpData, value->data.data(), size);
            terminateIfRoom(value->type, lpData, size, *lpcbData, sizeof(WCHAR));
        }
    }
    if (lpType != nullptr) *lpType = value->type;
    if (lpcbData != nullptr) *lpcbData = size;
    return status;
}

LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName)
{
    LONG status;
    Key *key = keyOf(hKey, &status);
    if (key == nullptr) return status;
    const Value *value = findValue(*key, nameOf(lpValueName));
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    key->values.erase(key->values.begin() + (value - key->values.data()));
    touch(*key);
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey)
{
    if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
    LONG status;
    Key *parent = keyOf(hKey, &status);
    if (parent == nullptr) return status;
    Key *key;
    bool created;
    status = walkPath(*parent, lpSubKey, false, &key, &created);
    if (status != ERROR_SUCCESS) return status;
    // The roots cannot go, and NT deletes only keys without subkeys.
    if (key->parent == nullptr || !key->subkeys.empty()) return ERROR_ACCESS_DENIED;
    Key &owner = *key->parent;
    auto position = subkeyPosition(owner, nameOf(key->name));
    std::unique_ptr<Key> removed = std::move(*position);
    owner.subkeys.erase(position);
    touch(owner);
    bury(std::move(removed));
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                          LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    if (lpReserved != nullptr || lpName == nullptr || lpcchName == nullptr) return ERROR_INVALID_PARAMETER;
    LONG status;
    Key *key = keyOf(hKey, &status);
    if (key == nullptr) return status;
    if (dwIndex >= key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const Key &child = *key->subkeys[dwIndex];
    // Too small a buffer leaves the buffer and the count as they were.
    if (child.name.size() >= *lpcchName) return ERROR_MORE_DATA;
    if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass == 0) return ERROR_MORE_DATA;
    child.name.copy(lpName, child.name.size());
    lpName[child.name.size()] = 0;
    *lpcchName = static_cast<DWORD>(child.name.size());
    if (lpClass != nullptr && lpcchClass != nullptr) {
        lpClass[0] = 0;   // keys have no class here
        *lpcchClass = 0;
    }
    if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = child.lastWrite;
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpReserved != nullptr || lpValueName == nullptr || lpcchValueName == nullptr
        || (lpData != nullptr && lpcbData == nullptr))
        return ERROR_INVALID_PARAMETER;
    LONG status;
    Key *key = keyOf(hKey, &status);
    if (key == nullptr) return status;
    if (dwIndex >= key->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value &value = key->values[dwIndex];
    const auto size = static_cast<DWORD>(value.data.size());
    status = ERROR_SUCCESS;
    if (value.name.size() >= *lpcchValueName) {
        status = ERROR_MORE_DATA;
    } else {
        value.name.copy(lpValueName, value.name.size());
        lpValueName[value.name.size()] = 0;
        *lpcchValueName = static_cast<DWORD>(value.name.size());
        if (lpData != nullptr) {
            if (size > *lpcbData) {
                status = ERROR_MORE_DATA;
            } else {
                if (size != 0) std::memcpy(lpData, value.data.data(), size);
                terminateIfRoom(value.type, lpData, size, *lpcbData, sizeof(WCHAR));
            }
        }
    }
    if (lpType != nullptr) *lpType = value.type;
    if (lpcbData != nullptr) *lpcbData = size;
    return status;
}

// ---- 8-bit calls: names and string data in the desktop code page ---------------------------------

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                            REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition)
{
    const std::u16string subKey = internal::ansiToWide(lpSubKey == nullptr ? "" : lpSubKey);
    return RegCreateKeyExW(hKey, subKey.c_str(), Reserved, nullptr, dwOptions, samDesired,
                           lpSecurityAttributes, phkResult, lpdwDisposition);
}

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    const std::u16string subKey = internal::ansiToWide(lpSubKey == nullptr ? "" : lpSubKey);
    return RegOpenKeyExW(hKey, lpSubKey == nullptr ? nullptr : subKey.c_str(), ulOptions, samDesired,
                         phkResult);
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                           DWORD cbData)
{
    const std::u16string name = internal::ansiToWide(lpValueName == nullptr ? "" : lpValueName);
    if (!isStringType(dwType) || unreadable(lpData, cbData) || lpData == nullptr)
        return setValue(hKey, nameOf(name.c_str()), dwType, lpData, cbData);
    cbData = withLeftOutTerminator(dwType, lpData, cbData, 1);
    const std::u16string wide
        = internal::ansiToWide(std::string_view(reinterpret_cast<const char *>(lpData), cbData));
    return setValue(hKey, nameOf(name.c_str()), dwType, reinterpret_cast<const BYTE *>(wide.data()),
                    static_cast<DWORD>(wide.size() * sizeof(WCHAR)));
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData)
{
    if ((lpData != nullptr && lpcbData == nullptr) || lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
    const std::u16string name = internal::ansiToWide(lpValueName == nullptr ? "" : lpValueName);
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG status = RegQueryValueExW(hKey, name.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return missingValue(lpData, lpcbData);
    if (status != ERROR_SUCCESS) return status;
    std::vector<BYTE> stored(size);
    RegQueryValueExW(hKey, name.c_str(), nullptr, nullptr, stored.data(), &size);
    if (isStringType(type)) {
        std::u16string wide(size / sizeof(WCHAR), u'\0');
        // An empty value has no bytes at all: memcpy is not to be given its null pointer.
        if (!wide.empty()) std::memcpy(wide.data(), stored.data(), wide.size() * sizeof(WCHAR));
        const std::string narrow = internal::wideToAnsi(wide);
        stored.assign(narrow.begin(), narrow.end());
        size = static_cast<DWORD>(stored.size());
    }
    if (lpData != nullptr) {
        if (size > *lpcbData) {
            status = ERROR_MORE_DATA;
        } else {
            if (size != 0) std::memcpy(lpData, stored.data(), size);
            terminateIfRoom(type, lpData, size, *lpcbData, 1);
        }
    }
    if (lpType != nullptr) *lpType = type;
    if (lpcbData != nullptr) *lpcbData = size;
    return status;
}

// ---- Seams and control ---------------------------------------------------------------------------

namespace internal {

void resetRegistry()
{
    for (auto &slot : registry.handles) slot.key = nullptr;
    registry.openHandles = 0;
    for (auto &root : registry.roots) {
        root.subkeys.clear();
        root.values.clear();
        root.lastWrite = localFileTime();
    }
    registry.graveyard.clear();
}

}   // namespace internal

namespace control {

void clearRegistry()
{
    clearTree();
}

}   // namespace control
