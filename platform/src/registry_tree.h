// The registry's tree of keys and values, shared by the registry calls (registry.cpp) and the
// .reg text reader and writer (reg_text.cpp).
#ifndef DURVO_PLATFORM_REGISTRY_TREE_H
#define DURVO_PLATFORM_REGISTRY_TREE_H

#include <windows.h>

#include "internal.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace registry_tree {

struct Value {
    std::u16string name;   // empty: the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// Windows refuses longer key names and deeper trees; so do the calls and the .reg reader here.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxKeyDepth = 512;   // levels below a root

struct Key;
void dismantle(std::vector<std::unique_ptr<Key>> &subkeys);

struct Key {
    std::u16string name;
    Key *parent = nullptr;                       // null for a root, and for the top of a deleted subtree
    size_t depth = 0;                            // levels below its root
    std::vector<std::unique_ptr<Key>> subkeys;   // sorted as Windows enumerates them
    std::vector<Value> values;                   // in creation order, as Windows enumerates them
    FILETIME lastWrite{};
    bool deleted = false;

    Key() = default;
    Key(const Key &) = delete;
    Key &operator=(const Key &) = delete;
    ~Key()
    {
        if (!subkeys.empty()) dismantle(subkeys);
    }
};

// Frees a subtree one key at a time, so that no destructor recurses however deep it is.
inline void dismantle(std::vector<std::unique_ptr<Key>> &subkeys)
{
    std::vector<std::unique_ptr<Key>> pending = std::move(subkeys);
    subkeys.clear();
    while (!pending.empty()) {
        std::unique_ptr<Key> key = std::move(pending.back());
        pending.pop_back();
        for (auto &child : key->subkeys) pending.push_back(std::move(child));
        key->subkeys.clear();
    }
}

// A counted UTF-16 name that is not necessarily terminated.
struct Name {
    const WCHAR *text;
    size_t length;
};

inline Name nameOf(LPCWSTR text)
{
    return {text == nullptr ? u"" : text, text == nullptr ? 0 : wcslen(text)};
}

inline bool sameName(Name a, const std::u16string &b)
{
    if (a.length != b.size()) return false;
    for (size_t i = 0; i < a.length; ++i) {
        if (a.text[i] != b[i] && internal::foldCase(a.text[i]) != internal::foldCase(b[i])) return false;
    }
    return true;
}

// Subkeys are ordered by their upper-cased names, which is the order RegEnumKeyExW reports.
// Two names that sort neither way are the same name.
inline bool sortsBefore(Name a, Name b)
{
    const size_t common = std::min(a.length, b.length);
    for (size_t i = 0; i < common; ++i) {
        const WCHAR ua = internal::foldCase(a.text[i]);
        const WCHAR ub = internal::foldCase(b.text[i]);
        if (ua != ub) return ua < ub;
    }
    return a.length < b.length;
}

inline Name nameOf(const std::u16string &text)
{
    return {text.data(), text.size()};
}

// The upper-cased form of a name: what a hash index of names is keyed by.
inline std::u16string foldedName(Name name)
{
    std::u16string folded(name.length, u'\0');
    for (size_t i = 0; i < name.length; ++i) folded[i] = internal::foldCase(name.text[i]);
    return folded;
}

constexpr const char *kRootNames[]
    = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
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
    size_t openHandles = 0;
    // Deleted keys that an open handle may still name; they answer ERROR_KEY_DELETED.
    std::vector<std::unique_ptr<Key>> graveyard;
};
inline Registry registry;

inline void touch(Key &key)
{
    key.lastWrite = internal::localFileTime();
}

// A relative key path "a\b\c". Trailing backslashes are allowed; a leading one, or an empty
// component inside the path, is ERROR_BAD_PATHNAME as on Windows NT.
class KeyPath {
public:
    explicit KeyPath(Name whole) : whole_(whole), end_(whole.length)
    {
        while (end_ > 0 && whole_.text[end_ - 1] == u'\\') --end_;
    }

    bool wellFormed() const
    {
        if (end_ > 0 && whole_.text[0] == u'\\') return false;
        for (size_t i = 1; i < end_; ++i) {
            if (whole_.text[i] == u'\\' && whole_.text[i - 1] == u'\\') return false;
        }
        return true;
    }

    // Calls visit(component) for each component in order while it answers true.
    template <typename Visit> bool forEach(Visit visit) const
    {
        for (size_t begin = 0; begin < end_;) {
            size_t stop = begin;
            while (stop < end_ && whole_.text[stop] != u'\\') ++stop;
            if (!visit(Name{whole_.text + begin, stop - begin})) return false;
            begin = stop + 1;
        }
        return true;
    }

    // What creating the path below a key `depth` levels deep would break: a name longer than
    // Windows allows, or a tree deeper than it allows.
    enum class Limit { None, NameTooLong, TooDeep };
    Limit limitBroken(size_t depth) const
    {
        Limit broken = Limit::None;
        forEach([&](Name component) {
            if (component.length > kMaxKeyNameLength)
                broken = Limit::NameTooLong;
            else if (++depth > kMaxKeyDepth)
                broken = Limit::TooDeep;
            return broken == Limit::None;
        });
        return broken;
    }

private:
    Name whole_;
    size_t end_;
};

// Empties every root: the keys go to the graveyard, where open handles still find them deleted.
void clearTree();

}   // namespace registry_tree

#endif
