#include "setup_record.h"

#include "little_endian.h"
#include "setup_record_format.h"

#include <algorithm>
#include <limits>

namespace package {
namespace {

constexpr size_t kMax16 = std::numeric_limits<uint16_t>::max();

class Writer {
public:
    explicit Writer(std::vector<uint8_t> *out) : out_(*out) { }

    bool fits16(size_t value, const std::string &what)
    {
        if (value <= kMax16) return true;
        error_ = what + " is " + std::to_string(value) + ", more than its 16-bit field holds";
        return false;
    }
    void u16(uint16_t v) { le::append16(out_, v); }
    void u32(uint32_t v) { le::append32(out_, v); }
    void text(const std::string &s)
    {
        out_.insert(out_.end(), s.begin(), s.end());
        out_.push_back(0);
    }
    bool idList(const std::vector<uint16_t> &ids, const std::string &what)
    {
        if (!fits16((ids.size() + 1) * 2, what + " length")) return false;
        u16(static_cast<uint16_t>((ids.size() + 1) * 2));
        for (uint16_t id : ids) u16(id);
        u16(0);
        return true;
    }
    size_t size() const { return out_.size(); }
    const std::string &error() const { return error_; }

private:
    std::vector<uint8_t> &out_;
    std::string error_;
};

}   // namespace

std::vector<uint8_t> numberData(uint32_t value)
{
    std::vector<uint8_t> data;
    le::append32(data, value);
    return data;
}

std::vector<uint8_t> stringData(const std::string &text)
{
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

bool layOutSetupRecord(const SetupRecord &r, std::vector<uint8_t> *bytes, std::string *error)
{
    bytes->assign(ce::kHeaderSize, 0);
    Writer w(bytes);
    auto fail = [&] {
        *error = w.error();
        return false;
    };
    auto &out = *bytes;

    // Header strings.
    size_t appName = w.size();
    w.text(r.appName);
    size_t provider = w.size();
    w.text(r.provider);
    size_t unsupported = w.size();
    for (const std::string &name : r.unsupportedPlatforms) w.text(name);
    out.push_back(0);
    if (!w.fits16(w.size(), "the end of the header strings")) return fail();

    size_t strings = w.size();
    for (const RecordString &s : r.strings) {
        if (!w.fits16(s.text.size() + 1, "the length of string " + std::to_string(s.id))) return fail();
        w.u16(s.id);
        w.u16(static_cast<uint16_t>(s.text.size() + 1));
        w.text(s.text);
    }
    size_t directories = w.size();
    for (const RecordDirectory &d : r.directories) {
        w.u16(d.id);
        if (!w.idList(d.path, "directory " + std::to_string(d.id))) return fail();
    }
    size_t files = w.size();
    for (const RecordFile &f : r.files) {
        if (!w.fits16(f.name.size() + 1, "the name length of file " + std::to_string(f.id))) return fail();
        w.u16(f.id);
        w.u16(f.directory);
        w.u16(f.member);
        w.u32(f.copyFlags);
        w.u16(static_cast<uint16_t>(f.name.size() + 1));
        w.text(f.name);
    }
    size_t keys = w.size();
    for (const RecordKey &k : r.keys) {
        w.u16(k.id);
        w.u16(k.root);
        w.u16(0);
        if (!w.idList(k.path, "registry key " + std::to_string(k.id))) return fail();
    }
    size_t values = w.size();
    for (const RecordValue &v : r.values) {
        size_t length = v.name.size() + 1 + v.data.size();
        if (!w.fits16(length, "the data length of registry value " + std::to_string(v.id))) return fail();
        w.u16(v.id);
        w.u16(v.key);
        w.u16(0);
        w.u32(v.kind);
        w.u16(static_cast<uint16_t>(length));
        w.text(v.name);
        out.insert(out.end(), v.data.begin(), v.data.end());
    }
    size_t shortcuts = w.size();

    const std::pair<size_t, const char *> counts[] = {{r.strings.size(), "the number of strings"},
                                                      {r.directories.size(), "the number of directories"},
                                                      {r.files.size(), "the number of files"},
                                                      {r.keys.size(), "the number of registry keys"},
                                                      {r.values.size(), "the number of registry values"}};
    for (const auto &[count, what] : counts)
        if (!w.fits16(count, what)) return fail();
    if (out.size() > std::numeric_limits<uint32_t>::max()) {
        *error = "the record is larger than its 32-bit length field holds";
        return false;
    }

    std::copy(std::begin(ce::kSignature), std::end(ce::kSignature), out.begin() + ce::kSignatureAt);
    le::put32(out, ce::kLengthAt, static_cast<uint32_t>(out.size()));
    le::put32(out, ce::kFormatAt, ce::kFormat);
    le::put32(out, ce::kProcessorAt, r.processor);
    le::put32(out, ce::kMinOsMajorAt, r.minOsMajor);
    le::put32(out, ce::kMinOsMinorAt, r.minOsMinor);
    le::put32(out, ce::kMaxOsMajorAt, r.maxOsMajor);
    le::put32(out, ce::kMaxOsMinorAt, r.maxOsMinor);
    le::put32(out, ce::kMinBuildAt, r.minBuild);
    le::put32(out, ce::kMaxBuildAt, r.maxBuild);
    le::put16(out, ce::kStringCountAt, static_cast<uint16_t>(r.strings.size()));
    le::put16(out, ce::kDirectoryCountAt, static_cast<uint16_t>(r.directories.size()));
    le::put16(out, ce::kFileCountAt, static_cast<uint16_t>(r.files.size()));
    le::put16(out, ce::kKeyCountAt, static_cast<uint16_t>(r.keys.size()));
    le::put16(out, ce::kValueCountAt, static_cast<uint16_t>(r.values.size()));
    le::put16(out, ce::kShortcutCountAt, 0);
    le::put32(out, ce::kStringsAt, static_cast<uint32_t>(strings));
    le::put32(out, ce::kDirectoriesAt, static_cast<uint32_t>(directories));
    le::put32(out, ce::kFilesAt, static_cast<uint32_t>(files));
    le::put32(out, ce::kKeysAt, static_cast<uint32_t>(keys));
    le::put32(out, ce::kValuesAt, static_cast<uint32_t>(values));
    le::put32(out, ce::kShortcutsAt, static_cast<uint32_t>(shortcuts));
    le::put16(out, ce::kAppNameAt, static_cast<uint16_t>(appName));
    le::put16(out, ce::kAppNameLengthAt, static_cast<uint16_t>(provider - appName));
    le::put16(out, ce::kProviderAt, static_cast<uint16_t>(provider));
    le::put16(out, ce::kProviderLengthAt, static_cast<uint16_t>(unsupported - provider));
    le::put16(out, ce::kUnsupportedAt, static_cast<uint16_t>(unsupported));
    le::put16(out, ce::kUnsupportedLengthAt, static_cast<uint16_t>(strings - unsupported));
    return true;
}

SetupRecord durvoSetupRecord(uint32_t processor)
{
    SetupRecord r;
    r.processor = processor;
    // Windows CE 3.0 and every later version and build.
    r.minOsMajor = 3;
    r.minOsMinor = 0;
    r.maxOsMajor = 10000;
    r.maxOsMinor = 0;
    r.minBuild = 0;
    r.maxBuild = 0xE0000000;
    r.appName = "Durvo";
    r.provider = "Norvane";
    r.unsupportedPlatforms = {"HPC", "HPC PRO"};
    r.strings = {{1, ce::kWindowsFolderMacro},
                 {2, ce::kWindowsFolderMacro},
                 {3, "Software"},
                 {4, "Microsoft"},
                 {5, "Today"},
                 {6, "Items"},
                 {7, "Durvo"}};
    r.directories = {{2, {2}}};
    r.files = {{1, 2, 1, ce::kCopyWarnIfSkip | ce::kCopyNoSkip | ce::kCopyNoDateCheck, "Durvo.DLL"}};
    r.keys = {{1, ce::kRootLocalMachine, {3, 4, 5, 6, 7}}};
    // The Today screen's custom item: shown, with an options page, selectable; an existing
    // "DLL" value is kept.
    r.values = {
        {1, 1, ce::kAddRegTypeDword, "Flags", numberData(0)},
        {2, 1, ce::kAddRegTypeDword, "Enabled", numberData(1)},
        {3, 1, ce::kAddRegTypeDword, "Options", numberData(1)},
        {4, 1, ce::kAddRegTypeDword, "Type", numberData(4)},
        {5, 1, ce::kAddRegTypeSz | ce::kAddRegNoClobber, "DLL", stringData("\\Windows\\Durvo.DLL")},
        {6, 1, ce::kAddRegTypeDword, "Selectability", numberData(1)},
    };
    return r;
}

}   // namespace package
