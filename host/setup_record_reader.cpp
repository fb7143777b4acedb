#include "setup_record_reader.h"

#include <little_endian.h>
#include <setup_record_format.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

namespace host {
namespace {

namespace ce = package::ce;
namespace le = package::le;
using package::SetupRecord;

std::string number(uint64_t n)
{
    return std::to_string(n);
}

std::string hex(uint32_t n)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", n);
    return buf;
}

struct Section {
    const char *name;    // "the string section"
    const char *entry;   // "string entry"
    size_t offsetAt;
    size_t countAt;
};
constexpr Section kStrings{"the string section", "string entry", ce::kStringsAt, ce::kStringCountAt};
constexpr Section kDirectories{"the directory section", "directory entry", ce::kDirectoriesAt,
                               ce::kDirectoryCountAt};
constexpr Section kFiles{"the file section", "file entry", ce::kFilesAt, ce::kFileCountAt};
constexpr Section kKeys{"the registry key section", "registry key entry", ce::kKeysAt, ce::kKeyCountAt};
constexpr Section kValues{"the registry value section", "registry value entry", ce::kValuesAt,
                          ce::kValueCountAt};
constexpr Section kShortcuts{"the shortcut section", "shortcut entry", ce::kShortcutsAt,
                             ce::kShortcutCountAt};

class Reader {
public:
    Reader(std::span<const uint8_t> bytes, SetupRecord *record, std::string *error)
        : rec_(bytes), out_(*record), error_(*error)
    { }

    bool read()
    {
        return header() && headerStrings() && strings() && directories() && files() && keys() && values()
            && shortcuts();
    }

private:
    bool fail(const std::string &message)
    {
        error_ = message;
        return false;
    }

    bool inside(size_t at, size_t count) const { return at <= rec_.size() && count <= rec_.size() - at; }

    // One text with its NUL filling exactly `length` bytes from `at` (which the caller checked).
    bool exactText(size_t at, size_t length, std::string *text) const
    {
        if (length == 0 || rec_[at + length - 1] != 0) return false;
        auto begin = rec_.begin() + static_cast<std::ptrdiff_t>(at);
        auto last = begin + static_cast<std::ptrdiff_t>(length - 1);
        if (std::find(begin, last, 0) != last) return false;
        text->assign(begin, last);
        return true;
    }

    // A list of 16-bit string ids closed by 0, filling exactly `length` bytes; every id names a string.
    bool idList(size_t at, size_t length, const std::string &owner, std::vector<uint16_t> *ids)
    {
        if (length < 2 || length % 2 != 0 || le::get16(rec_, at + length - 2) != 0)
            return fail(owner + ": its path is not a list of string ids closed by 0");
        for (size_t i = 0; i + 2 < length; i += 2) {
            uint16_t id = le::get16(rec_, at + i);
            if (id == 0) return fail(owner + ": its path holds a 0 before its end");
            if (!stringIds_.count(id))
                return fail(owner + " names string " + number(id) + ", which the record does not hold");
            ids->push_back(id);
        }
        if (ids->empty()) return fail(owner + " has an empty path");
        return true;
    }

    bool header()
    {
        if (rec_.size() < ce::kHeaderSize)
            return fail("short header: " + number(rec_.size()) + " bytes, fewer than its "
                        + number(ce::kHeaderSize) + "-byte header");
        if (!std::equal(std::begin(ce::kSignature), std::end(ce::kSignature),
                        rec_.begin() + ce::kSignatureAt))
            return fail("bad signature: it does not begin with \"MSCE\"");
        uint32_t length = le::get32(rec_, ce::kLengthAt);
        if (length != rec_.size())
            return fail("its length field gives " + number(length) + " bytes, but it holds "
                        + number(rec_.size()));
        uint32_t format = le::get32(rec_, ce::kFormatAt);
        if (format != ce::kFormat) return fail("format " + number(format) + ", not " + number(ce::kFormat));
        out_.processor = le::get32(rec_, ce::kProcessorAt);
        out_.minOsMajor = le::get32(rec_, ce::kMinOsMajorAt);
        out_.minOsMinor = le::get32(rec_, ce::kMinOsMinorAt);
        out_.maxOsMajor = le::get32(rec_, ce::kMaxOsMajorAt);
        out_.maxOsMinor = le::get32(rec_, ce::kMaxOsMinorAt);
        out_.minBuild = le::get32(rec_, ce::kMinBuildAt);
        out_.maxBuild = le::get32(rec_, ce::kMaxBuildAt);
        return true;
    }

    // Where a header string lies: inside the record, after the fixed header.
    bool headerString(size_t offsetAt, size_t lengthAt, const char *what, size_t *at, size_t *length)
    {
        *at = le::get16(rec_, offsetAt);
        *length = le::get16(rec_, lengthAt);
        if (*length == 0) return fail(std::string(what) + " has no bytes, not even its NUL");
        if (*at < ce::kHeaderSize || !inside(*at, *length))
            return fail(std::string(what) + " (offset " + number(*at) + ", " + number(*length)
                        + " bytes) lies outside the header strings (bytes 100 to " + number(rec_.size())
                        + ")");
        return true;
    }

    bool headerStrings()
    {
        size_t at = 0, length = 0;
        if (!headerString(ce::kAppNameAt, ce::kAppNameLengthAt, "the application name", &at, &length))
            return false;
        if (!exactText(at, length, &out_.appName))
            return fail("the application name is not one text closed by a NUL in its " + number(length)
                        + " bytes");
        if (!headerString(ce::kProviderAt, ce::kProviderLengthAt, "the provider name", &at, &length))
            return false;
        if (!exactText(at, length, &out_.provider))
            return fail("the provider name is not one text closed by a NUL in its " + number(length)
                        + " bytes");
        if (!headerString(ce::kUnsupportedAt, ce::kUnsupportedLengthAt, "the list of unsupported platforms",
                          &at, &length))
            return false;
        // Names closed by NULs, then one more NUL as the last byte.
        size_t end = at + length;
        while (true) {
            auto nul = std::find(rec_.begin() + static_cast<std::ptrdiff_t>(at),
                                 rec_.begin() + static_cast<std::ptrdiff_t>(end), 0);
            size_t nulAt = static_cast<size_t>(nul - rec_.begin());
            if (nulAt == end) return fail("the list of unsupported platforms is not closed by an empty name");
            if (nulAt == at) {
                if (at + 1 != end)
                    return fail("the list of unsupported platforms has an empty name before its end");
                break;
            }
            out_.unsupportedPlatforms.emplace_back(rec_.begin() + static_cast<std::ptrdiff_t>(at), nul);
            at = nulAt + 1;
        }
        return true;
    }

    // The offset and count of a section, with the offset checked.
    bool section(const Section &s, size_t *at, uint16_t *count)
    {
        uint32_t offset = le::get32(rec_, s.offsetAt);
        *count = le::get16(rec_, s.countAt);
        if (offset < ce::kHeaderSize || offset > rec_.size())
            return fail(std::string(s.name) + " (offset " + number(offset)
                        + ") lies outside the record (bytes 100 to " + number(rec_.size()) + ")");
        *at = offset;
        return true;
    }

    bool entryFits(const Section &s, size_t index, size_t count, size_t at, size_t bytes)
    {
        if (inside(at, bytes)) return true;
        return fail(std::string(s.entry) + " " + number(index + 1) + " of " + number(count)
                    + " runs past the end of the record (" + number(rec_.size()) + " bytes)");
    }

    bool newId(std::set<uint16_t> &ids, uint16_t id, const char *what)
    {
        if (id == 0) return fail(std::string("a ") + what + " has id 0, which ends lists and names nothing");
        if (!ids.insert(id).second) return fail(std::string("two ") + what + "s have id " + number(id));
        return true;
    }

    bool strings()
    {
        size_t at = 0;
        uint16_t count = 0;
        if (!section(kStrings, &at, &count)) return false;
        for (size_t i = 0; i < count; ++i) {
            if (!entryFits(kStrings, i, count, at, ce::kStringFixed)) return false;
            package::RecordString s;
            s.id = le::get16(rec_, at);
            size_t length = le::get16(rec_, at + 2);
            if (!entryFits(kStrings, i, count, at, ce::kStringFixed + length)) return false;
            if (!newId(stringIds_, s.id, "string")) return false;
            if (!exactText(at + ce::kStringFixed, length, &s.text))
                return fail("string " + number(s.id) + " is not one text closed by a NUL in its "
                            + number(length) + " bytes");
            out_.strings.push_back(std::move(s));
            at += ce::kStringFixed + length;
        }
        return true;
    }

    bool directories()
    {
        size_t at = 0;
        uint16_t count = 0;
        if (!section(kDirectories, &at, &count)) return false;
        for (size_t i = 0; i < count; ++i) {
            if (!entryFits(kDirectories, i, count, at, ce::kDirectoryFixed)) return false;
            package::RecordDirectory d;
            d.id = le::get16(rec_, at);
            size_t length = le::get16(rec_, at + 2);
            if (!entryFits(kDirectories, i, count, at, ce::kDirectoryFixed + length)) return false;
            if (!newId(directoryIds_, d.id, "directory")) return false;
            if (!idList(at + ce::kDirectoryFixed, length, "directory " + number(d.id), &d.path)) return false;
            out_.directories.push_back(std::move(d));
            at += ce::kDirectoryFixed + length;
        }
        return true;
    }

    bool files()
    {
        size_t at = 0;
        uint16_t count = 0;
        std::set<uint16_t> ids;
        if (!section(kFiles, &at, &count)) return false;
        for (size_t i = 0; i < count; ++i) {
            if (!entryFits(kFiles, i, count, at, ce::kFileFixed)) return false;
            package::RecordFile f;
            f.id = le::get16(rec_, at);
            f.directory = le::get16(rec_, at + ce::kFileDirectoryAt);
            f.member = le::get16(rec_, at + ce::kFileMemberAt);
            f.copyFlags = le::get32(rec_, at + ce::kFileFlagsAt);
            size_t length = le::get16(rec_, at + ce::kFileNameLengthAt);
            if (!entryFits(kFiles, i, count, at, ce::kFileFixed + length)) return false;
            if (!newId(ids, f.id, "file")) return false;
            if (!exactText(at + ce::kFileFixed, length, &f.name) || f.name.empty())
                return fail("file " + number(f.id) + ": its name is not one text closed by a NUL in its "
                            + number(length) + " bytes");
            if (!directoryIds_.count(f.directory))
                return fail("file " + number(f.id) + " (" + f.name + ") is to go to directory "
                            + number(f.directory) + ", which the record does not hold");
            out_.files.push_back(std::move(f));
            at += ce::kFileFixed + length;
        }
        return true;
    }

    bool keys()
    {
        size_t at = 0;
        uint16_t count = 0;
        if (!section(kKeys, &at, &count)) return false;
        for (size_t i = 0; i < count; ++i) {
            if (!entryFits(kKeys, i, count, at, ce::kKeyFixed)) return false;
            package::RecordKey k;
            k.id = le::get16(rec_, at);
            k.root = le::get16(rec_, at + ce::kKeyRootAt);
            size_t length = le::get16(rec_, at + ce::kKeyLengthAt);
            if (!entryFits(kKeys, i, count, at, ce::kKeyFixed + length)) return false;
            if (!newId(keyIds_, k.id, "registry key")) return false;
            if (k.root < ce::kRootClassesRoot || k.root > ce::kRootUsers)
                return fail("registry key " + number(k.id) + " has root " + number(k.root)
                            + ", which is no registry root (1 to 4)");
            if (!idList(at + ce::kKeyFixed, length, "registry key " + number(k.id), &k.path)) return false;
            out_.keys.push_back(std::move(k));
            at += ce::kKeyFixed + length;
        }
        return true;
    }

    bool valueData(const package::RecordValue &v)
    {
        const std::string what = "registry value \"" + v.name + "\"";
        uint32_t type = v.kind & ce::kAddRegTypeMask;
        uint32_t others = v.kind & ~(ce::kAddRegTypeMask | ce::kAddRegNoClobber);
        if (others != 0)
            return fail(what + " has kind " + hex(v.kind) + ", with flags " + hex(others)
                        + " that this installer does not carry out");
        const auto &d = v.data;
        switch (type) {
        case ce::kAddRegTypeDword:
            if (d.size() != 4)
                return fail(what + ": a number needs 4 bytes of data, it has " + number(d.size()));
            return true;
        case ce::kAddRegTypeSz:
        case ce::kAddRegTypeExpandSz:
            if (d.empty() || d.back() != 0 || std::find(d.begin(), d.end() - 1, 0) != d.end() - 1)
                return fail(what + ": its text is not closed by a NUL");
            return true;
        case ce::kAddRegTypeMultiSz:
            if (!(d.size() == 1 && d[0] == 0)
                && !(d.size() >= 2 && d[d.size() - 1] == 0 && d[d.size() - 2] == 0))
                return fail(what + ": its list of texts is not closed by an empty one");
            return true;
        case ce::kAddRegTypeBinary: return true;
        default:
            return fail(what + " has kind " + hex(v.kind) + ", which is no value type this installer knows");
        }
    }

    bool values()
    {
        size_t at = 0;
        uint16_t count = 0;
        std::set<uint16_t> ids;
        if (!section(kValues, &at, &count)) return false;
        for (size_t i = 0; i < count; ++i) {
            if (!entryFits(kValues, i, count, at, ce::kValueFixed)) return false;
            package::RecordValue v;
            v.id = le::get16(rec_, at);
            v.key = le::get16(rec_, at + ce::kValueKeyAt);
            v.kind = le::get32(rec_, at + ce::kValueKindAt);
            size_t length = le::get16(rec_, at + ce::kValueLengthAt);
            if (!entryFits(kValues, i, count, at, ce::kValueFixed + length)) return false;
            if (!newId(ids, v.id, "registry value")) return false;
            auto begin = rec_.begin() + static_cast<std::ptrdiff_t>(at + ce::kValueFixed);
            auto end = begin + static_cast<std::ptrdiff_t>(length);
            auto nul = std::find(begin, end, 0);
            if (nul == end)
                return fail("registry value " + number(v.id) + ": its name is not closed by a NUL in its "
                            + number(length) + " bytes");
            v.name.assign(begin, nul);
            v.data.assign(nul + 1, end);
            if (!keyIds_.count(v.key))
                return fail("registry value \"" + v.name + "\" belongs to registry key " + number(v.key)
                            + ", which the record does not hold");
            if (!valueData(v)) return false;
            out_.values.push_back(std::move(v));
            at += ce::kValueFixed + length;
        }
        return true;
    }

    bool shortcuts()
    {
        size_t at = 0;
        uint16_t count = 0;
        if (!section(kShortcuts, &at, &count)) return false;
        if (count > 0)
            return fail("the record asks for shortcuts (" + number(count)
                        + "), which this installer does not make");
        return true;
    }

    std::span<const uint8_t> rec_;
    SetupRecord &out_;
    std::string &error_;
    std::set<uint16_t> stringIds_, directoryIds_, keyIds_;
};

}   // namespace

bool readSetupRecord(std::span<const uint8_t> bytes, package::SetupRecord *record, std::string *error)
{
    *record = package::SetupRecord{};
    return Reader(bytes, record, error).read();
}

bool readCabinetSetupRecord(CabinetReader &reader, SetupRecord *record, std::string *error)
{
    const std::string suffix = "." + std::string(ce::kMemberSuffixDigits, '0');
    const auto &members = reader.members();
    std::vector<size_t> found;
    for (size_t i = 0; i < members.size(); ++i) {
        const std::string &name = members[i].name;
        if (name.size() > suffix.size()
            && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            found.push_back(i);
    }
    if (found.empty()) {
        *error = "the cabinet holds no member whose name ends in \"" + suffix + "\" (the setup record)";
        return false;
    }
    if (found.size() > 1) {
        *error = "two cabinet members end in \"" + suffix + "\" (" + members[found[0]].name + ", "
            + members[found[1]].name + "); the setup record must be one";
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!reader.extract(found[0], &bytes, error)) return false;
    std::string why;
    if (!readSetupRecord(bytes, record, &why)) {
        *error = "setup record " + members[found[0]].name + ": " + why;
        return false;
    }
    return true;
}

}   // namespace host
