// The registry: an in-memory tree of keys with typed values, Win32 calls with the error codes and
// buffer behaviour Windows has, and the .reg text form it is saved and loaded in.
//
// The plug-in opens a key, rewrites 17 values and closes it every second, so those calls allocate
// nothing once the values exist: handles come from a fixed table, names are compared in place
// and a value's storage is reused while its size does not grow.
#include <windows.h>

#include "control.h"
#include "internal.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// ---- The tree ------------------------------------------------------------------------------------

struct Value {
    std::u16string name;   // empty: the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::u16string name;
    Key *parent = nullptr;
    std::vector<std::unique_ptr<Key>> subkeys;   // sorted as Windows enumerates them
    std::vector<Value> values;                    // in creation order, as Windows enumerates them
    FILETIME lastWrite{};
    bool deleted = false;
};

// A counted UTF-16 name that is not necessarily terminated.
struct Name {
    const WCHAR *text;
    size_t length;
};

Name nameOf(LPCWSTR text) {
    return {text == nullptr ? u"" : text, text == nullptr ? 0 : wcslen(text)};
}

bool sameName(Name a, const std::u16string &b) {
    if (a.length != b.size()) return false;
    for (size_t i = 0; i < a.length; ++i) {
        if (internal::foldCase(a.text[i]) != internal::foldCase(b[i])) return false;
    }
    return true;
}

// Subkeys are ordered by their upper-cased names, which is the order RegEnumKeyExW reports.
bool sortsBefore(const std::u16string &a, Name b) {
    const size_t common = std::min(a.size(), b.length);
    for (size_t i = 0; i < common; ++i) {
        const WCHAR ua = internal::foldCase(a[i]);
        const WCHAR ub = internal::foldCase(b.text[i]);
        if (ua != ub) return ua < ub;
    }
    return a.size() < b.length;
}

constexpr const char *kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                      "HKEY_USERS"};
constexpr size_t kRootCount = std::size(kRootNames);

// Enough for every key a program keeps open at once; a Windows process has far fewer.
constexpr size_t kHandleSlots = 512;
constexpr unsigned kGenerationBits = 13;   // keeps handle values below the predefined roots

struct HandleSlot {
    Key *key = nullptr;
    WORD generation = 0;
};

struct Registry {
    std::array<Key, kRootCount> roots;
    std::array<HandleSlot, kHandleSlots> handles;
    // Deleted keys that an open handle may still name; they answer ERROR_KEY_DELETED.
    std::vector<std::unique_ptr<Key>> graveyard;
    control::RegistryFaults faults;
};
Registry registry;

void touch(Key &key) {
    key.lastWrite = internal::localFileTime();
}

// ---- Handles -----------------------------------------------------------------------------------

int rootIndex(HKEY hKey) {
    const auto value = reinterpret_cast<ULONG_PTR>(hKey);
    const auto first = reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT);
    if (value >= first && value < first + kRootCount) return static_cast<int>(value - first);
    return -1;
}

HKEY handleValue(size_t slot, WORD generation) {
    const ULONG_PTR value = ((static_cast<ULONG_PTR>(generation) << 16) | (slot + 1)) << 2;
    return reinterpret_cast<HKEY>(value);
}

HandleSlot *slotOf(HKEY hKey) {
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
Key *keyOf(HKEY hKey, LONG *status) {
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

LONG openHandle(Key *key, PHKEY result) {
    for (size_t i = 0; i < kHandleSlots; ++i) {
        HandleSlot &slot = registry.handles[i];
        if (slot.key == nullptr) {
            slot.key = key;
            slot.generation = static_cast<WORD>((slot.generation + 1) & ((1u << kGenerationBits) - 1));
            *result = handleValue(i, slot.generation);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_NOT_ENOUGH_MEMORY;
}

bool subtreeHasOpenHandle(const Key &key) {
    for (const auto &slot : registry.handles) {
        if (slot.key == &key) return true;
    }
    for (const auto &child : key.subkeys) {
        if (subtreeHasOpenHandle(*child)) return true;
    }
    return false;
}

void markDeleted(Key &key) {
    key.deleted = true;
    for (auto &child : key.subkeys) markDeleted(*child);
}

void bury(std::unique_ptr<Key> key) {
    markDeleted(*key);
    if (subtreeHasOpenHandle(*key)) registry.graveyard.push_back(std::move(key));
}

void purgeGraveyard() {
    std::erase_if(registry.graveyard, [](const auto &key) { return !subtreeHasOpenHandle(*key); });
}

// ---- Paths ---------------------------------------------------------------------------------------

Key *findSubkey(Key &parent, Name name) {
    for (auto &child : parent.subkeys) {
        if (sameName(name, child->name)) return child.get();
    }
    return nullptr;
}

Key *addSubkey(Key &parent, Name name) {
    auto key = std::make_unique<Key>();
    key->name.assign(name.text, name.length);
    key->parent = &parent;
    touch(*key);
    auto position = std::find_if(parent.subkeys.begin(), parent.subkeys.end(),
                                 [&](const auto &child) { return !sortsBefore(child->name, name); });
    Key *added = key.get();
    parent.subkeys.insert(position, std::move(key));
    touch(parent);
    return added;
}

// Walks "a\b\c" below `start`. Trailing backslashes are allowed; a leading one, or an empty
// component inside the path, is ERROR_BAD_PATHNAME as on Windows NT. With `create` the missing
// keys are added and *created tells whether the last one was new.
LONG walkPath(Key &start, LPCWSTR path, bool create, Key **found, bool *created) {
    Key *key = &start;
    *created = false;
    const Name whole = nameOf(path);
    size_t end = whole.length;
    while (end > 0 && whole.text[end - 1] == u'\\') --end;
    if (end > 0 && whole.text[0] == u'\\') return ERROR_BAD_PATHNAME;
    for (size_t i = 1; i < end; ++i) {
        if (whole.text[i] == u'\\' && whole.text[i - 1] == u'\\') return ERROR_BAD_PATHNAME;
    }
    size_t begin = 0;
    while (begin < end) {
        size_t stop = begin;
        while (stop < end && whole.text[stop] != u'\\') ++stop;
        const Name component{whole.text + begin, stop - begin};
        Key *child = findSubkey(*key, component);
        if (child == nullptr) {
            if (!create) return ERROR_FILE_NOT_FOUND;
            child = addSubkey(*key, component);
            *created = true;
        }
        key = child;
        begin = stop + 1;
    }
    *found = key;
    return ERROR_SUCCESS;
}

Value *findValue(Key &key, Name name) {
    for (auto &value : key.values) {
        if (sameName(name, value.name)) return &value;
    }
    return nullptr;
}

bool isStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Windows adds a terminator after string data that lacks one when the buffer has room for it.
void terminateIfRoom(DWORD type, LPBYTE data, DWORD size, DWORD capacity, size_t unit) {
    if (!isStringType(type) || size < unit || size + unit > capacity) return;
    bool terminated = true;
    for (size_t i = 0; i < unit; ++i) terminated = terminated && data[size - unit + i] == 0;
    if (!terminated) std::memset(data + size, 0, unit);
}

LONG setValue(HKEY hKey, Name name, DWORD type, const BYTE *data, DWORD size) {
    LONG status;
    Key *key = keyOf(hKey, &status);
    if (key == nullptr) return status;
    if (data == nullptr && size != 0) return ERROR_NOACCESS;
    if (registry.faults.setValueFails) return ERROR_WRITE_FAULT;
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

// ---- .reg text -----------------------------------------------------------------------------------

constexpr std::string_view kRegHeader = "Windows Registry Editor Version 5.00";
constexpr size_t kHexLineWidth = 76;   // regedit wraps hex data near 80 columns

std::string regQuoted(std::u16string_view text) {
    std::string out = "\"";
    for (char c : control::toUtf8(text)) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

// A REG_SZ can be written as "text" when it is exactly one terminated line of text.
bool isPlainString(const Value &value) {
    if (value.type != REG_SZ || value.data.size() < 2 || value.data.size() % 2 != 0) return false;
    const size_t units = value.data.size() / 2;
    for (size_t i = 0; i < units; ++i) {
        const WCHAR unit = static_cast<WCHAR>(value.data[2 * i] | (value.data[2 * i + 1] << 8));
        const bool last = i + 1 == units;
        if ((unit == 0) != last || unit == u'\r' || unit == u'\n') return false;
    }
    return true;
}

std::u16string stringOf(const std::vector<BYTE> &data) {
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) text += static_cast<WCHAR>(data[i] | (data[i + 1] << 8));
    if (!text.empty() && text.back() == 0) text.pop_back();
    return text;
}

void writeValue(std::ostringstream &out, const Value &value) {
    std::string line = value.name.empty() ? "@" : regQuoted(value.name);
    line += '=';
    if (isPlainString(value)) {
        out << line << regQuoted(stringOf(value.data)) << '\n';
        return;
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        char digits[9];
        const DWORD number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                             (static_cast<DWORD>(value.data[3]) << 24);
        std::snprintf(digits, sizeof digits, "%08x", number);
        out << line << "dword:" << digits << '\n';
        return;
    }
    if (value.type == REG_BINARY) {
        line += "hex:";
    } else {
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
        line += prefix;
    }
    for (size_t i = 0; i < value.data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", value.data[i]);
        line += byte;
        if (i + 1 < value.data.size()) {
            line += ',';
            if (line.size() >= kHexLineWidth) {
                out << line << "\\\n";
                line = "  ";
            }
        }
    }
    out << line << '\n';
}

std::string pathOf(const Key &key) {
    if (key.parent == nullptr) {
        for (size_t i = 0; i < kRootCount; ++i) {
            if (&registry.roots[i] == &key) return kRootNames[i];
        }
        return {};
    }
    return pathOf(*key.parent) + "\\" + control::toUtf8(key.name);
}

void writeKey(std::ostringstream &out, const Key &key) {
    if (key.parent != nullptr || !key.values.empty()) {
        out << '[' << pathOf(key) << "]\n";
        for (const auto &value : key.values) writeValue(out, value);
        out << '\n';
    }
    for (const auto &child : key.subkeys) writeKey(out, *child);
}

// Reads .reg text into a tree of its own; the live registry is replaced only when all of it parsed.
class RegTextParser {
public:
    explicit RegTextParser(std::string_view text) : text_(text) {
        for (auto &root : roots_) root.lastWrite = internal::localFileTime();
    }

    bool parse(std::string *error) {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
        bool sawHeader = false;
        std::string line;
        while (nextLogicalLine(&line)) {
            std::string_view content = trim(line);
            if (content.empty() || content.front() == ';') continue;
            if (!sawHeader) {
                if (content != kRegHeader) return failure(error, "expected \"" + std::string(kRegHeader) + "\"");
                sawHeader = true;
            } else if (content.front() == '[') {
                if (!parseSection(content)) return failure(error, message_);
            } else if (!parseValue(content)) {
                return failure(error, message_);
            }
        }
        if (!sawHeader) {
            lineNumber_ = std::max<size_t>(lineNumber_, 1);
            return failure(error, "expected \"" + std::string(kRegHeader) + "\"");
        }
        return true;
    }

    std::array<Key, kRootCount> &roots() { return roots_; }

private:
    // Joins lines that end in a backslash (hex data continued); counts physical lines.
    bool nextLogicalLine(std::string *line) {
        line->clear();
        if (position_ >= text_.size()) return false;
        lineNumber_ = nextLineNumber_;
        while (position_ < text_.size()) {
            size_t end = text_.find('\n', position_);
            if (end == std::string_view::npos) end = text_.size();
            std::string_view physical = text_.substr(position_, end - position_);
            position_ = end + 1;
            ++nextLineNumber_;
            if (!physical.empty() && physical.back() == '\r') physical.remove_suffix(1);
            std::string_view content = trim(physical);
            const bool continued = !content.empty() && content.back() == '\\' && content.front() != ';';
            if (line->empty()) {
                *line = continued ? std::string(content.substr(0, content.size() - 1)) : std::string(physical);
            } else {
                *line += continued ? content.substr(0, content.size() - 1) : content;
            }
            if (!continued) break;
        }
        return true;
    }

    static std::string_view trim(std::string_view s) {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
        return s;
    }

    bool fail(std::string message) {
        message_ = std::move(message);
        return false;
    }

    bool failure(std::string *error, const std::string &message) const {
        if (error != nullptr) *error = "line " + std::to_string(lineNumber_) + ": " + message;
        return false;
    }

    bool parseSection(std::string_view content) {
        if (content.back() != ']') return fail("key name not closed with ']'");
        std::string_view path = content.substr(1, content.size() - 2);
        if (!path.empty() && path.front() == '-') return fail("deleting keys is not supported");
        const size_t slash = path.find('\\');
        const std::string_view rootName = path.substr(0, slash);
        Key *key = nullptr;
        for (size_t i = 0; i < kRootCount; ++i) {
            if (sameName(nameOf(control::fromUtf8(rootName).c_str()), control::fromUtf8(kRootNames[i])))
                key = &roots_[i];
        }
        if (key == nullptr) return fail("unknown root key \"" + std::string(rootName) + "\"");
        if (slash != std::string_view::npos) {
            const std::u16string rest = control::fromUtf8(path.substr(slash + 1));
            bool created;
            if (rest.empty() || walkPath(*key, rest.c_str(), true, &key, &created) != ERROR_SUCCESS)
                return fail("empty key name in \"" + std::string(path) + "\"");
        }
        current_ = key;
        return true;
    }

    // A "quoted" string with \\ and \" escapes; `s` starts at the opening quote.
    bool parseQuoted(std::string_view *s, std::u16string *out) {
        std::string bytes;
        size_t i = 1;
        for (; i < s->size() && (*s)[i] != '"'; ++i) {
            if ((*s)[i] == '\\') {
                if (i + 1 >= s->size() || ((*s)[i + 1] != '\\' && (*s)[i + 1] != '"'))
                    return fail("unknown escape in quoted text (only \\\\ and \\\" are allowed)");
                ++i;
            }
            bytes += (*s)[i];
        }
        if (i >= s->size()) return fail("quoted text not closed");
        s->remove_prefix(i + 1);
        *out = control::fromUtf8(bytes);
        return true;
    }

    static int hexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    bool parseHexBytes(std::string_view s, std::vector<BYTE> *out) {
        s = trim(s);
        if (s.empty()) return true;
        while (true) {
            s = trim(s);
            size_t digits = 0;
            unsigned byte = 0;
            while (digits < s.size() && hexDigit(s[digits]) >= 0) byte = byte * 16 + hexDigit(s[digits++]);
            if (digits == 0 || digits > 2) return fail("bad hex byte in \"" + std::string(s.substr(0, 8)) + "\"");
            out->push_back(static_cast<BYTE>(byte));
            s = trim(s.substr(digits));
            if (s.empty()) return true;
            if (s.front() != ',') return fail("expected ',' between hex bytes");
            s.remove_prefix(1);
            if (trim(s).empty()) return true;   // a trailing comma ends the list
        }
    }

    bool parseValue(std::string_view content) {
        if (current_ == nullptr) return fail("value outside of a key section");
        std::u16string name;
        if (content.front() == '@') {
            content.remove_prefix(1);
        } else if (content.front() == '"') {
            if (!parseQuoted(&content, &name)) return false;
        } else {
            return fail("expected a quoted value name, '@', '[' or ';'");
        }
        content = trim(content);
        if (content.empty() || content.front() != '=') return fail("expected '=' after the value name");
        content = trim(content.substr(1));
        Value value{name, REG_NONE, {}};
        if (!content.empty() && content.front() == '"') {
            std::u16string text;
            if (!parseQuoted(&content, &text)) return false;
            if (!trim(content).empty()) return fail("unexpected text after the closing quote");
            value.type = REG_SZ;
            for (WCHAR unit : text + u'\0') {
                value.data.push_back(static_cast<BYTE>(unit));
                value.data.push_back(static_cast<BYTE>(unit >> 8));
            }
        } else if (content.substr(0, 6) == "dword:") {
            std::string_view digits = content.substr(6);
            if (digits.empty() || digits.size() > 8 ||
                !std::all_of(digits.begin(), digits.end(), [](char c) { return hexDigit(c) >= 0; }))
                return fail("dword: needs 1 to 8 hex digits");
            DWORD number = 0;
            for (char c : digits) number = number * 16 + hexDigit(c);
            value.type = REG_DWORD;
            value.data = {BYTE(number), BYTE(number >> 8), BYTE(number >> 16), BYTE(number >> 24)};
        } else if (content.substr(0, 4) == "hex:") {
            value.type = REG_BINARY;
            if (!parseHexBytes(content.substr(4), &value.data)) return false;
        } else if (content.substr(0, 4) == "hex(") {
            const size_t close = content.find("):");
            if (close == std::string_view::npos || close == 4 || close > 12) return fail("bad hex(type): prefix");
            DWORD type = 0;
            for (char c : content.substr(4, close - 4)) {
                if (hexDigit(c) < 0) return fail("bad hex(type): prefix");
                type = type * 16 + hexDigit(c);
            }
            value.type = type;
            if (!parseHexBytes(content.substr(close + 2), &value.data)) return false;
        } else if (content == "-") {
            return fail("deleting values is not supported");
        } else {
            return fail("unknown value data (expected \"text\", dword:, hex: or hex(type):)");
        }
        if (Value *existing = findValue(*current_, nameOf(value.name.c_str()))) {
            *existing = std::move(value);   // a later line for the same name wins, as in regedit
        } else {
            current_->values.push_back(std::move(value));
        }
        return true;
    }

    std::string_view text_;
    size_t position_ = 0;
    size_t lineNumber_ = 0;
    size_t nextLineNumber_ = 1;
    std::string message_;
    std::array<Key, kRootCount> roots_;
    Key *current_ = nullptr;
};

void clearTree() {
    for (auto &root : registry.roots) {
        for (auto &child : root.subkeys) bury(std::move(child));
        root.subkeys.clear();
        root.values.clear();
        touch(root);
    }
}

bool failWith(std::string *error, std::string message) {
    if (error != nullptr) *error = std::move(message);
    return false;
}

}  // namespace

// ---- Win32 calls ---------------------------------------------------------------------------------

LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                            DWORD dwOptions, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
    if (phkResult == nullptr) return ERROR_BADKEY;
    if (Reserved != 0) return ERROR_INVALID_PARAMETER;
    LONG status;
    Key *parent = keyOf(hKey, &status);
    if (parent == nullptr) return status;
    if (registry.faults.createKeyFails) {
        *phkResult = nullptr;
        return ERROR_ACCESS_DENIED;
    }
    // Validate the whole path before anything is created, so a bad path adds no keys.
    Key *key;
    bool created;
    status = walkPath(*parent, lpSubKey, false, &key, &created);
    if (status == ERROR_FILE_NOT_FOUND) status = walkPath(*parent, lpSubKey, true, &key, &created);
    if (status != ERROR_SUCCESS) return status;
    status = openHandle(key, phkResult);
    if (status != ERROR_SUCCESS) return status;
    if (lpdwDisposition != nullptr) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult) {
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    LONG status;
    Key *parent = keyOf(hKey, &status);
    if (parent == nullptr) {
        *phkResult = nullptr;
        return status;
    }
    if (registry.faults.openKeyFails) {
        *phkResult = nullptr;
        return ERROR_ACCESS_DENIED;
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

LONG WINAPI RegCloseKey(HKEY hKey) {
    if (rootIndex(hKey) >= 0) return ERROR_SUCCESS;
    HandleSlot *slot = slotOf(hKey);
    if (slot == nullptr) return ERROR_INVALID_HANDLE;
    const bool wasDeleted = slot->key->deleted;
    slot->key = nullptr;
    if (wasDeleted) purgeGraveyard();
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE *lpData, DWORD cbData) {
    return setValue(hKey, nameOf(lpValueName), dwType, lpData, cbData);
}

LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    if ((lpData != nullptr && lpcbData == nullptr) || lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
    LONG status;
    Key *key = keyOf(hKey, &status);
    if (key == nullptr) return status;
    const Value *value = findValue(*key, nameOf(lpValueName));
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
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

LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    LONG status;
    Key *key = keyOf(hKey, &status);
    if (key == nullptr) return status;
    const Value *value = findValue(*key, nameOf(lpValueName));
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    key->values.erase(key->values.begin() + (value - key->values.data()));
    touch(*key);
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
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
    auto position = std::find_if(owner.subkeys.begin(), owner.subkeys.end(),
                                 [&](const auto &child) { return child.get() == key; });
    std::unique_ptr<Key> removed = std::move(*position);
    owner.subkeys.erase(position);
    touch(owner);
    bury(std::move(removed));
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                          LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                          PFILETIME lpftLastWriteTime) {
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
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved != nullptr || lpValueName == nullptr || lpcchValueName == nullptr ||
        (lpData != nullptr && lpcbData == nullptr))
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

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                            DWORD dwOptions, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
    const std::u16string subKey = internal::ansiToWide(lpSubKey == nullptr ? "" : lpSubKey);
    return RegCreateKeyExW(hKey, subKey.c_str(), Reserved, nullptr, dwOptions, samDesired,
                           lpSecurityAttributes, phkResult, lpdwDisposition);
}

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult) {
    const std::u16string subKey = internal::ansiToWide(lpSubKey == nullptr ? "" : lpSubKey);
    return RegOpenKeyExW(hKey, lpSubKey == nullptr ? nullptr : subKey.c_str(), ulOptions, samDesired,
                         phkResult);
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE *lpData, DWORD cbData) {
    const std::u16string name = internal::ansiToWide(lpValueName == nullptr ? "" : lpValueName);
    if (!isStringType(dwType) || lpData == nullptr)
        return setValue(hKey, nameOf(name.c_str()), dwType, lpData, cbData);
    const std::u16string wide =
        internal::ansiToWide(std::string_view(reinterpret_cast<const char *>(lpData), cbData));
    return setValue(hKey, nameOf(name.c_str()), dwType, reinterpret_cast<const BYTE *>(wide.data()),
                    static_cast<DWORD>(wide.size() * sizeof(WCHAR)));
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    if ((lpData != nullptr && lpcbData == nullptr) || lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
    const std::u16string name = internal::ansiToWide(lpValueName == nullptr ? "" : lpValueName);
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG status = RegQueryValueExW(hKey, name.c_str(), nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    std::vector<BYTE> stored(size);
    RegQueryValueExW(hKey, name.c_str(), nullptr, nullptr, stored.data(), &size);
    if (isStringType(type)) {
        std::u16string wide(size / sizeof(WCHAR), u'\0');
        std::memcpy(wide.data(), stored.data(), wide.size() * sizeof(WCHAR));
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

void resetRegistry() {
    for (auto &slot : registry.handles) slot.key = nullptr;
    for (auto &root : registry.roots) {
        root.subkeys.clear();
        root.values.clear();
        root.lastWrite = localFileTime();
    }
    registry.graveyard.clear();
    registry.faults = {};
}

}  // namespace internal

namespace control {

void setRegistryFaults(const RegistryFaults &faults) {
    registry.faults = faults;
}

void clearRegistry() {
    clearTree();
}

std::string registryToRegText() {
    std::ostringstream out;
    out << kRegHeader << "\n\n";
    for (const auto &root : registry.roots) writeKey(out, root);
    return out.str();
}

bool registryFromRegText(std::string_view text, std::string *error) {
    RegTextParser parser(text);
    if (!parser.parse(error)) return false;
    clearTree();
    for (size_t i = 0; i < kRootCount; ++i) {
        Key &root = registry.roots[i];
        Key &loaded = parser.roots()[i];
        root.values = std::move(loaded.values);
        root.subkeys = std::move(loaded.subkeys);
        for (auto &child : root.subkeys) child->parent = &root;
    }
    return true;
}

std::string regFileText(std::string_view bytes) {
    if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
        static_cast<unsigned char>(bytes[1]) != 0xFE) {
        return std::string(bytes);
    }
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                    static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit != u'\r') units.push_back(unit);
    }
    return toUtf8(units);
}

bool saveRegistry(const std::filesystem::path &file, std::string *error) {
    // A version 5.00 file is Unicode: regedit reads a file without the UTF-16 mark in the
    // 8-bit code page, which would garble every name beyond ASCII.
    std::string text = "\xFF\xFE";
    for (char16_t unit : fromUtf8(registryToRegText())) {
        if (unit == u'\n') {
            text += '\r';
            text += '\0';
        }
        text += static_cast<char>(unit & 0xFF);
        text += static_cast<char>(unit >> 8);
    }
    // Written beside the target and renamed over it, so a failed save leaves the old file whole.
    std::filesystem::path temporary = file;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return failWith(error, "cannot write " + file.string());
        }
    }
    std::error_code renameError;
    std::filesystem::rename(temporary, file, renameError);
    if (renameError) {
        std::filesystem::remove(temporary, renameError);
        return failWith(error, "cannot write " + file.string());
    }
    return true;
}

bool loadRegistry(const std::filesystem::path &file, std::string *error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return failWith(error, "cannot read " + file.string());
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return failWith(error, "cannot read " + file.string());
    return registryFromRegText(regFileText(text.str()), error);
}

}  // namespace control
