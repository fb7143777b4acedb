// The registry's text form: regedit's version 5.00 .reg format, written and read, and the
// device's registry file saved and loaded in it.
//
// A .reg file is outside input: nothing here recurses on the depth of the tree, loading and
// saving take time in proportion to the keys and values, and only a regular file of sane size
// is read.
#include <windows.h>

#include "control.h"
#include "internal.h"
#include "registry_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

using namespace registry_tree;

namespace {

constexpr std::string_view kRegHeader = "Windows Registry Editor Version 5.00";
constexpr size_t kHexLineWidth = 76;   // regedit wraps hex data near 80 columns
// What regedit writes: UTF-16LE after a byte order mark.
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
// Error messages quote at most this much of a line.
constexpr size_t kQuotedExcerptBytes = 40;
// A larger .reg file is refused unread: far beyond any device's registry, small enough to hold.
constexpr size_t kMaxRegFileBytes = 64 * 1024 * 1024;

void appendQuoted(std::string &out, std::u16string_view text)
{
    out += '"';
    for (char c : control::toUtf8(text)) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

WCHAR unitAt(const std::vector<BYTE> &data, size_t index)
{
    return static_cast<WCHAR>(data[2 * index] | (data[2 * index + 1] << 8));
}

bool isHighSurrogate(WCHAR unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(WCHAR unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// What keeps a key or value name out of a .reg file, or null. regedit's format has no escape for
// a line break, and a control character is no text a person could read or type back; a lone
// surrogate has no UTF-8 form and would come back as U+FFFD, another name. Windows itself
// accepts all of them, so the calls do too and the save refuses; the reader refuses them alike.
const char *unwritableInName(std::u16string_view name)
{
    for (size_t i = 0; i < name.size(); ++i) {
        const WCHAR unit = name[i];
        if (unit < 0x20) return "a control character";
        if (isHighSurrogate(unit) && i + 1 < name.size() && isLowSurrogate(name[i + 1])) {
            ++i;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            return "a lone surrogate";
        }
    }
    return nullptr;
}

// A name for a message: control characters and lone surrogates as "?", so the message stays
// one line of text.
std::string printableName(std::u16string_view name)
{
    std::u16string shown(name);
    for (size_t i = 0; i < shown.size(); ++i) {
        if (isHighSurrogate(shown[i]) && i + 1 < shown.size() && isLowSurrogate(shown[i + 1])) {
            ++i;
        } else if (shown[i] < 0x20 || isHighSurrogate(shown[i]) || isLowSurrogate(shown[i])) {
            shown[i] = u'?';
        }
    }
    return control::toUtf8(shown);
}

// A REG_SZ can be written as "text" when it is exactly one terminated line of well-formed
// UTF-16. A lone surrogate has no UTF-8 form (it would come back as U+FFFD), so such a string
// goes out as hex(1): with its bytes.
bool isPlainString(const Value &value)
{
    if (value.type != REG_SZ || value.data.size() < 2 || value.data.size() % 2 != 0) return false;
    const size_t units = value.data.size() / 2;
    if (unitAt(value.data, units - 1) != 0) return false;
    for (size_t i = 0; i + 1 < units; ++i) {
        const WCHAR unit = unitAt(value.data, i);
        if (unit == 0 || unit == u'\r' || unit == u'\n' || isLowSurrogate(unit)) return false;
        if (isHighSurrogate(unit)) {
            if (i + 2 >= units || !isLowSurrogate(unitAt(value.data, i + 1))) return false;
            ++i;
        }
    }
    return true;
}

std::u16string stringOf(const std::vector<BYTE> &data)
{
    std::u16string text(data.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = unitAt(data, i);
    if (!text.empty() && text.back() == 0) text.pop_back();
    return text;
}

void writeValue(std::string &out, const Value &value)
{
    if (value.name.empty()) {
        out += '@';
    } else {
        appendQuoted(out, value.name);
    }
    out += '=';
    if (isPlainString(value)) {
        appendQuoted(out, stringOf(value.data));
        out += '\n';
        return;
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        char digits[16];
        const DWORD number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16)
            | (static_cast<DWORD>(value.data[3]) << 24);
        std::snprintf(digits, sizeof digits, "dword:%08x\n", number);
        out += digits;
        return;
    }
    if (value.type == REG_BINARY) {
        out += "hex:";
    } else {
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
        out += prefix;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    size_t lineStart = out.rfind('\n') + 1;   // npos + 1 is 0
    for (size_t i = 0; i < value.data.size(); ++i) {
        out += kDigits[value.data[i] >> 4];
        out += kDigits[value.data[i] & 15];
        if (i + 1 < value.data.size()) {
            out += ',';
            if (out.size() - lineStart >= kHexLineWidth) {
                out += "\\\n  ";
                lineStart = out.size() - 2;
            }
        }
    }
    out += '\n';
}

// The first name below the roots that a .reg file cannot hold, as the reason a save refuses.
struct WriteProblem {
    std::string reason;
    void note(const std::string &path, const char *kind, std::u16string_view name, const char *what)
    {
        if (!reason.empty()) return;
        reason = std::string(kind) + " \"" + printableName(name) + "\" in [" + path + "] has " + what
            + " in its name, which a .reg file cannot hold";
    }
};

void writeSection(std::string &out, const std::string &path, const Key &key, WriteProblem *problem)
{
    out += '[';
    out += path;
    out += "]\n";
    for (const auto &value : key.values) {
        if (const char *what = unwritableInName(value.name)) problem->note(path, "value", value.name, what);
        writeValue(out, value);
    }
    out += '\n';
}

// Depth first, subkeys in enumeration order, with an explicit stack: the depth is the file's
// to choose, the stack is not.
void writeTree(std::string &out, const Key &root, const char *rootName, WriteProblem *problem)
{
    struct Frame {
        const Key *key;
        size_t nextChild;
        size_t pathLength;
    };
    std::string path = rootName;
    if (!root.values.empty()) writeSection(out, path, root, problem);
    std::vector<Frame> stack{{&root, 0, path.size()}};
    while (!stack.empty()) {
        Frame &top = stack.back();
        if (top.nextChild == top.key->subkeys.size()) {
            stack.pop_back();
            continue;
        }
        const Key &child = *top.key->subkeys[top.nextChild++];
        path.resize(top.pathLength);
        path += '\\';
        if (const char *what = unwritableInName(child.name))
            problem->note(path.substr(0, top.pathLength), "key", child.name, what);
        path += control::toUtf8(child.name);
        writeSection(out, path, child, problem);
        stack.push_back({&child, 0, path.size()});
    }
}

// The start of a piece of input for a message, cut at a character boundary.
std::string excerpt(std::string_view text)
{
    if (text.size() <= kQuotedExcerptBytes) return std::string(text);
    size_t cut = kQuotedExcerptBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return std::string(text.substr(0, cut)) + "...";
}

// A name below a parent, as the loader's indexes know it: the parent and the upper-cased name.
struct ChildName {
    const Key *parent;
    std::u16string folded;
    bool operator==(const ChildName &) const = default;
};

struct ChildNameHash {
    size_t operator()(const ChildName &name) const
    {
        return std::hash<std::u16string>{}(name.folded)
            ^ (std::hash<const Key *>{}(name.parent) * 0x9E3779B97F4A7C15ull);
    }
};

// Reads .reg text into a tree of its own; the live registry is replaced only when all of it
// parsed. Keys and values are found through hash indexes while reading and the subkeys sorted
// once at the end, so a load takes time in proportion to the text.
class RegTextParser {
public:
    explicit RegTextParser(std::string_view text) : text_(text), loadTime_(internal::localFileTime())
    {
        for (auto &root : roots_) root.lastWrite = loadTime_;
    }

    bool parse(std::string *error)
    {
        if (text_.starts_with(kUtf8Mark)) text_.remove_prefix(kUtf8Mark.size());
        bool sawHeader = false;
        std::string line;
        while (nextLogicalLine(&line)) {
            std::string_view content = trim(line);
            if (content.empty() || content.front() == ';') continue;
            if (!sawHeader) {
                if (content != kRegHeader)
                    return failure(error, "expected \"" + std::string(kRegHeader) + "\"");
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
        for (auto &[name, key] : keys_) sortSubkeys(*key);
        for (auto &root : roots_) sortSubkeys(root);
        return true;
    }

    std::array<Key, kRootCount> &roots() { return roots_; }

private:
    // Joins lines that end in a backslash (hex data continued); counts physical lines.
    bool nextLogicalLine(std::string *line)
    {
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
                *line
                    = continued ? std::string(content.substr(0, content.size() - 1)) : std::string(physical);
            } else {
                *line += continued ? content.substr(0, content.size() - 1) : content;
            }
            if (!continued) break;
        }
        return true;
    }

    static std::string_view trim(std::string_view s)
    {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
        return s;
    }

    bool fail(std::string message)
    {
        message_ = std::move(message);
        return false;
    }

    bool failure(std::string *error, const std::string &message) const
    {
        if (error != nullptr) *error = "line " + std::to_string(lineNumber_) + ": " + message;
        return false;
    }

    static void sortSubkeys(Key &key)
    {
        std::sort(key.subkeys.begin(), key.subkeys.end(),
                  [](const auto &a, const auto &b) { return sortsBefore(nameOf(a->name), nameOf(b->name)); });
    }

    Key *childOf(Key &parent, Name name)
    {
        auto [entry, added] = keys_.try_emplace(ChildName{&parent, foldedName(name)}, nullptr);
        if (added) {
            auto key = std::make_unique<Key>();
            key->name.assign(name.text, name.length);
            key->parent = &parent;
            key->depth = parent.depth + 1;
            key->lastWrite = loadTime_;
            entry->second = key.get();
            parent.subkeys.push_back(std::move(key));   // sorted when the whole text is read
        }
        return entry->second;
    }

    bool parseSection(std::string_view content)
    {
        if (content.back() != ']') return fail("key name not closed with ']'");
        std::string_view path = content.substr(1, content.size() - 2);
        if (!path.empty() && path.front() == '-') return fail("deleting keys is not supported");
        const size_t slash = path.find('\\');
        const std::string_view rootName = path.substr(0, slash);
        const std::u16string wideRoot = control::fromUtf8(rootName);
        Key *key = nullptr;
        for (size_t i = 0; i < kRootCount; ++i) {
            if (sameName(nameOf(wideRoot), control::fromUtf8(kRootNames[i]))) key = &roots_[i];
        }
        if (key == nullptr) return fail("unknown root key \"" + excerpt(rootName) + "\"");
        if (slash != std::string_view::npos) {
            const std::u16string rest = control::fromUtf8(path.substr(slash + 1));
            const KeyPath keyPath(nameOf(rest));
            if (rest.empty() || !keyPath.wellFormed())
                return fail("empty key name in \"" + excerpt(path) + "\"");
            // No Win32 call could name a key with a NUL; the writer never writes the others.
            if (rest.find(u'\0') != std::u16string::npos) return fail("NUL character in a key name");
            if (const char *what = unwritableInName(rest)) return fail(std::string(what) + " in a key name");
            switch (keyPath.limitBroken(0)) {
            case KeyPath::Limit::NameTooLong:
                return fail("key name longer than " + std::to_string(kMaxKeyNameLength) + " characters in \""
                            + excerpt(path) + "\"");
            case KeyPath::Limit::TooDeep:
                return fail("key path deeper than " + std::to_string(kMaxKeyDepth) + " levels in \""
                            + excerpt(path) + "\"");
            case KeyPath::Limit::None: break;
            }
            keyPath.forEach([&](Name component) {
                key = childOf(*key, component);
                return true;
            });
        }
        current_ = key;
        return true;
    }

    // A "quoted" string with \\ and \" escapes; `s` starts at the opening quote.
    bool parseQuoted(std::string_view *s, std::u16string *out)
    {
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

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    bool parseHexBytes(std::string_view s, std::vector<BYTE> *out)
    {
        s = trim(s);
        if (s.empty()) return true;
        while (true) {
            s = trim(s);
            size_t digits = 0;
            unsigned byte = 0;
            while (digits < s.size() && hexDigit(s[digits]) >= 0) byte = byte * 16 + hexDigit(s[digits++]);
            if (digits == 0 || digits > 2) return fail("bad hex byte in \"" + excerpt(s.substr(0, 8)) + "\"");
            out->push_back(static_cast<BYTE>(byte));
            s = trim(s.substr(digits));
            if (s.empty()) return true;
            if (s.front() != ',') return fail("expected ',' between hex bytes");
            s.remove_prefix(1);
            if (trim(s).empty()) return true;   // a trailing comma ends the list
        }
    }

    bool parseValue(std::string_view content)
    {
        if (current_ == nullptr) return fail("value outside of a key section");
        std::u16string name;
        if (content.front() == '@') {
            content.remove_prefix(1);
        } else if (content.front() == '"') {
            if (!parseQuoted(&content, &name)) return false;
            if (const char *what = unwritableInName(name))
                return fail(std::string(what) + " in a value name");
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
            value.data.reserve((text.size() + 1) * 2);
            for (WCHAR unit : text + u'\0') {
                value.data.push_back(static_cast<BYTE>(unit));
                value.data.push_back(static_cast<BYTE>(unit >> 8));
            }
        } else if (content.substr(0, 6) == "dword:") {
            std::string_view digits = content.substr(6);
            if (digits.empty() || digits.size() > 8
                || !std::all_of(digits.begin(), digits.end(), [](char c) { return hexDigit(c) >= 0; }))
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
            if (close == std::string_view::npos || close == 4 || close > 12)
                return fail("bad hex(type): prefix");
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
        // A later line for the same name wins, as in regedit.
        auto [entry, added] = values_.try_emplace(ChildName{current_, foldedName(nameOf(value.name))},
                                                  current_->values.size());
        if (added) {
            current_->values.push_back(std::move(value));
        } else {
            current_->values[entry->second] = std::move(value);
        }
        return true;
    }

    std::string_view text_;
    FILETIME loadTime_;
    size_t position_ = 0;
    size_t lineNumber_ = 0;
    size_t nextLineNumber_ = 1;
    std::string message_;
    std::array<Key, kRootCount> roots_;
    Key *current_ = nullptr;
    std::unordered_map<ChildName, Key *, ChildNameHash> keys_;
    std::unordered_map<ChildName, size_t, ChildNameHash> values_;   // index into the key's values
};

// regedit's UTF-16LE files become the UTF-8 the parser reads; false when the text ends in half
// a unit, with the line it ends on.
bool decodeUtf16Le(std::string_view text, std::string *utf8, std::string *error)
{
    text.remove_prefix(kUtf16LeMark.size());
    std::u16string wide(text.size() / 2, u'\0');
    for (size_t i = 0; i < wide.size(); ++i) {
        wide[i] = static_cast<WCHAR>(static_cast<unsigned char>(text[2 * i])
                                     | (static_cast<unsigned char>(text[2 * i + 1]) << 8));
    }
    *utf8 = control::toUtf8(wide);
    if (text.size() % 2 == 0) return true;
    const size_t lastLine = static_cast<size_t>(std::count(utf8->begin(), utf8->end(), '\n')) + 1;
    if (error != nullptr)
        *error = "line " + std::to_string(lastLine) + ": UTF-16 text ends in half a character";
    return false;
}

// What regedit 5.00 writes: a file without the UTF-16 mark is read in the 8-bit code page,
// which would garble every name beyond ASCII. Lines end in CR LF.
std::string regeditFileText(std::string_view utf8)
{
    std::string bytes(kUtf16LeMark);
    const std::u16string wide = control::fromUtf8(utf8);
    bytes.reserve(bytes.size() + 2 * wide.size()
                  + 2 * static_cast<size_t>(std::count(wide.begin(), wide.end(), u'\n')));
    auto put = [&bytes](char16_t unit) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    };
    for (char16_t unit : wide) {
        if (unit == u'\n') put(u'\r');
        put(unit);
    }
    return bytes;
}

bool failWith(std::string *error, std::string message)
{
    if (error != nullptr) *error = std::move(message);
    return false;
}

std::string systemError(int code)
{
    return std::error_code(code, std::generic_category()).message();
}

// Writes the text to FILE.tmp and renames it over FILE, so that FILE is always whole. A
// failure says which step and why: "cannot write FILE.tmp: ..." or "cannot rename ...".
bool replaceFile(const std::filesystem::path &file, std::string_view text, std::string *error)
{
    std::filesystem::path temporary = file;
    temporary += ".tmp";
    // Whatever lies at the temporary name is removed, never written through: a symlink planted
    // there must not lead the save to overwrite its target. O_EXCL makes the file our own.
    if (::unlink(temporary.c_str()) != 0 && errno != ENOENT)
        return failWith(error, "cannot write " + temporary.string() + ": " + systemError(errno));
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return failWith(error, "cannot write " + temporary.string() + ": " + systemError(errno));
    int failure = 0;
    while (failure == 0 && !text.empty()) {
        const ssize_t put = ::write(fd, text.data(), text.size());
        if (put < 0 && errno != EINTR) failure = errno;
        if (put > 0) text.remove_prefix(static_cast<size_t>(put));
    }
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0) {
        ::unlink(temporary.c_str());
        return failWith(error, "cannot write " + temporary.string() + ": " + systemError(failure));
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        failure = errno;
        ::unlink(temporary.c_str());
        return failWith(error,
                        "cannot rename " + temporary.string() + " to " + file.string() + ": "
                            + systemError(failure));
    }
    return true;
}

}   // namespace

namespace control {

std::string registryToRegText(std::string *unwritable)
{
    std::string out;
    out += kRegHeader;
    out += "\n\n";
    WriteProblem problem;
    for (size_t i = 0; i < kRootCount; ++i) writeTree(out, registry.roots[i], kRootNames[i], &problem);
    if (unwritable) *unwritable = problem.reason;
    return out;
}

bool registryFromRegText(std::string_view text, std::string *error)
{
    std::string decoded;
    if (text.starts_with(kUtf16LeMark)) {
        if (!decodeUtf16Le(text, &decoded, error)) return false;
        text = decoded;
    }
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

std::string regFileText(std::string_view bytes)
{
    std::string text;
    if (bytes.starts_with(kUtf16LeMark)) {
        decodeUtf16Le(bytes, &text, nullptr);
    } else {
        if (bytes.starts_with(kUtf8Mark)) bytes.remove_prefix(kUtf8Mark.size());
        text = bytes;
    }
    std::erase(text, '\r');
    return text;
}

bool saveRegistry(const std::filesystem::path &file, std::string *error)
{
    std::string unwritable;
    std::string text = registryToRegText(&unwritable);
    if (!unwritable.empty()) return failWith(error, "cannot save " + file.string() + ": " + unwritable);
    return replaceFile(file, regeditFileText(text), error);
}

bool loadRegistry(const std::filesystem::path &file, std::string *error)
{
    std::string text;
    std::string why;
    if (!control::readRegularFile(file, kMaxRegFileBytes, &text, &why))
        return failWith(error, "cannot read " + file.string() + ": " + why);
    if (!registryFromRegText(text, &why)) return failWith(error, file.string() + ": " + why);
    return true;
}

}   // namespace control
