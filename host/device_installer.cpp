#include "device_installer.h"

#include "cabinet_reader.h"
#include "setup_record_reader.h"

#include <setup_record_format.h>

#include <control.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <system_error>

namespace host {
namespace {

namespace ce = package::ce;
namespace fs = std::filesystem;
using package::SetupRecord;

std::string number(uint64_t n) { return std::to_string(n); }

std::string processorText(uint32_t processor)
{
    return std::string(ce::processorName(processor)) + " (" + number(processor) + ")";
}

// The record's 8-bit text as the device's UTF-16: each byte its own code unit (ISO-8859-1).
std::u16string wide(const std::string &text)
{
    return std::u16string(text.begin(), text.end());
}

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// ".001" for member 1: at least three digits.
std::string memberSuffix(uint16_t member)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, ".%0*u", static_cast<int>(ce::kMemberSuffixDigits), unsigned{member});
    return buf;
}

// A name that stays one folder or file: no separators, wildcards or device syntax, not "." or "..".
bool isPlainName(const std::string &name)
{
    if (name.empty() || name == "." || name == "..") return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
    });
}

struct FileCopy {
    std::string devicePath;
    std::vector<uint8_t> data;
};
struct ValueWrite {
    std::u16string name;
    DWORD type = REG_SZ;
    std::vector<uint8_t> data;
    bool keepExisting = false;
};
struct KeyWrite {
    HKEY root = nullptr;
    std::u16string path;
    std::string shown;
    std::vector<ValueWrite> values;
};
struct Plan {
    std::vector<FileCopy> files;
    std::vector<KeyWrite> keys;
};

class Installer {
public:
    Installer(std::span<const uint8_t> cabinet, const InstallTarget &target, std::string *error)
        : reader_(cabinet), target_(target), error_(*error)
    {
    }

    bool check(InstallOutcome *outcome)
    {
        if (!reader_.open(&error_)) return false;
        std::vector<uint8_t> recordBytes;
        size_t recordMember = 0;
        if (!findMember(memberSuffix(0), "the setup record", &recordMember)) return false;
        if (!reader_.extract(recordMember, &recordBytes, &error_)) return false;
        const std::string &recordName = reader_.members()[recordMember].name;
        if (!readSetupRecord(recordBytes, &record_, &error_)) return fail("setup record " + recordName + ": " + error_);
        outcome->appName = record_.appName;
        outcome->provider = record_.provider;
        return device() && files() && keys() && values();
    }

    // Files first, then the registry: the item key is what makes the Today screen load the
    // library, so it must not name a library that is not there yet.
    bool carryOut(InstallOutcome *outcome)
    {
        for (const FileCopy &f : plan_.files) {
            if (!writeFile(f)) return false;
            outcome->files.push_back(f.devicePath);
        }
        for (const KeyWrite &k : plan_.keys) {
            if (!writeKey(k, outcome)) return false;
            outcome->keys.push_back(k.shown);
        }
        return true;
    }

private:
    bool fail(const std::string &message)
    {
        error_ = message;
        return false;
    }

    // The one member whose name ends in `suffix`.
    bool findMember(const std::string &suffix, const std::string &what, size_t *index)
    {
        const auto &members = reader_.members();
        size_t found = members.size();
        for (size_t i = 0; i < members.size(); ++i) {
            if (!endsWith(members[i].name, suffix)) continue;
            if (found != members.size())
                return fail("two cabinet members end in \"" + suffix + "\" (" + members[found].name + ", " +
                            members[i].name + "); " + what + " must be one");
            found = i;
        }
        if (found == members.size())
            return fail("the cabinet holds no member whose name ends in \"" + suffix + "\" (" + what + ")");
        *index = found;
        return true;
    }

    bool device()
    {
        if (record_.processor != ce::kProcessorAny && record_.processor != target_.processor)
            return fail("the cabinet is for a " + processorText(record_.processor) + " processor; this device has a " +
                        processorText(target_.processor) + " processor");
        OSVERSIONINFOW version{};
        version.dwOSVersionInfoSize = sizeof version;
        if (!GetVersionExW(&version)) return fail("cannot read the device's Windows CE version");
        auto atLeast = [](uint32_t aMajor, uint32_t aMinor, uint32_t bMajor, uint32_t bMinor) {
            return aMajor > bMajor || (aMajor == bMajor && aMinor >= bMinor);
        };
        if (!atLeast(version.dwMajorVersion, version.dwMinorVersion, record_.minOsMajor, record_.minOsMinor) ||
            !atLeast(record_.maxOsMajor, record_.maxOsMinor, version.dwMajorVersion, version.dwMinorVersion))
            return fail("the cabinet needs Windows CE " + number(record_.minOsMajor) + "." + number(record_.minOsMinor) +
                        " to " + number(record_.maxOsMajor) + "." + number(record_.maxOsMinor) +
                        "; this device runs " + number(version.dwMajorVersion) + "." +
                        number(version.dwMinorVersion));
        if (version.dwBuildNumber < record_.minBuild || version.dwBuildNumber > record_.maxBuild)
            return fail("the cabinet needs a build from " + number(record_.minBuild) + " to " +
                        number(record_.maxBuild) + "; this device runs build " + number(version.dwBuildNumber));
        WCHAR platform[64] = {};
        if (!SystemParametersInfoW(SPI_GETPLATFORMTYPE, sizeof platform, platform, 0))
            return fail("cannot read the device's platform type");
        std::string platformName = control::toUtf8(platform);
        for (const std::string &name : record_.unsupportedPlatforms)
            if (equalIgnoringCase(name, platformName))
                return fail("the cabinet is not for " + platformName + " devices");
        return true;
    }

    const std::string *stringText(uint16_t id) const
    {
        for (const auto &s : record_.strings)
            if (s.id == id) return &s.text;
        return nullptr;   // the reader has checked every reference
    }

    bool directoryPath(uint16_t id, std::string *path)
    {
        for (const auto &d : record_.directories) {
            if (d.id != id) continue;
            for (uint16_t part : d.path) {
                std::string text = *stringText(part);
                if (text.size() >= 2 && text.front() == '%' && text.back() == '%') {
                    if (!equalIgnoringCase(text, ce::kWindowsFolderMacro))
                        return fail("directory " + number(id) + " uses the folder macro " + text +
                                    ", which this installer does not know");
                    text = "Windows";
                } else if (!isPlainName(text)) {
                    return fail("directory " + number(id) + ": \"" + text + "\" is no folder name");
                }
                *path += "\\" + text;
            }
            return true;
        }
        return fail("directory " + number(id) + " is not in the record");
    }

    bool files()
    {
        for (const auto &f : record_.files) {
            std::string what = "file " + number(f.id) + " (" + f.name + ")";
            if (!isPlainName(f.name)) return fail(what + ": \"" + f.name + "\" is no file name");
            std::string path;
            if (!directoryPath(f.directory, &path)) return false;
            size_t member = 0;
            if (!findMember(memberSuffix(f.member), what, &member)) return false;
            FileCopy copy;
            copy.devicePath = path + "\\" + f.name;
            if (!reader_.extract(member, &copy.data, &error_)) return false;
            plan_.files.push_back(std::move(copy));
        }
        return true;
    }

    bool keys()
    {
        static const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
        static const char *const rootNames[] = {"HKCR", "HKCU", "HKLM", "HKU"};
        for (const auto &k : record_.keys) {
            KeyWrite key;
            key.root = roots[k.root - ce::kRootClassesRoot];
            key.shown = rootNames[k.root - ce::kRootClassesRoot];
            std::string path;
            for (uint16_t part : k.path) {
                const std::string &text = *stringText(part);
                if (text.empty() || text.find('\\') != std::string::npos || hasControlCharacter(text))
                    return fail("registry key " + number(k.id) + ": \"" + printable(text) + "\" is no key name");
                path += (path.empty() ? "" : "\\") + text;
            }
            key.path = wide(path);
            key.shown += "\\" + path;
            keyIndex_[k.id] = plan_.keys.size();
            plan_.keys.push_back(std::move(key));
        }
        return true;
    }

    // The device's registry file cannot hold a line break or other control character in a
    // name (nor can a person read one), so such a cabinet is refused before anything is written.
    template <typename Text>
    static bool hasControlCharacter(const Text &name)
    {
        return std::any_of(name.begin(), name.end(), [](auto c) { return static_cast<unsigned char>(c) < 0x20; });
    }
    template <typename Text>
    static std::string printable(const Text &name)
    {
        std::string shown(name.begin(), name.end());
        for (char &c : shown)
            if (static_cast<unsigned char>(c) < 0x20) c = '?';
        return shown;
    }

    static std::vector<uint8_t> wideBytes(const std::vector<uint8_t> &text)
    {
        std::vector<uint8_t> out;
        for (uint8_t c : text) {
            out.push_back(c);
            out.push_back(0);
        }
        return out;
    }

    bool values()
    {
        for (const auto &v : record_.values) {
            if (hasControlCharacter(v.name))
                return fail("registry value \"" + printable(v.name) + "\": a control character in its name");
            ValueWrite value;
            value.name = wide(v.name);
            value.keepExisting = (v.kind & ce::kAddRegNoClobber) != 0;
            switch (v.kind & ce::kAddRegTypeMask) {
            case ce::kAddRegTypeDword:
                value.type = REG_DWORD;
                value.data = v.data;
                break;
            case ce::kAddRegTypeSz:
                value.type = REG_SZ;
                value.data = wideBytes(v.data);
                break;
            case ce::kAddRegTypeExpandSz:
                value.type = REG_EXPAND_SZ;
                value.data = wideBytes(v.data);
                break;
            case ce::kAddRegTypeMultiSz:
                value.type = REG_MULTI_SZ;
                value.data = wideBytes(v.data);
                break;
            default:
                value.type = REG_BINARY;
                value.data = v.data;
                break;
            }
            plan_.keys[keyIndex_.at(v.key)].values.push_back(std::move(value));
        }
        return true;
    }

    // Written beside the target and renamed over it, so a failed write leaves the old file whole.
    bool writeFile(const FileCopy &f)
    {
        fs::path target = control::hostPathOf(control::fromUtf8(f.devicePath));
        if (target.empty()) return fail("the device has no file system to install " + f.devicePath + " into");
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        fs::path temporary = target.parent_path() / ("." + target.filename().string() + ".new");
        if (!ec) {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char *>(f.data.data()), static_cast<std::streamsize>(f.data.size()));
            out.close();
            if (!out) ec = std::make_error_code(std::errc::io_error);
        }
        if (!ec) fs::rename(temporary, target, ec);
        if (ec) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return fail("cannot write " + f.devicePath + ": " + ec.message());
        }
        return true;
    }

    bool writeKey(const KeyWrite &k, InstallOutcome *outcome)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExW(k.root, k.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return fail("cannot create the registry key " + k.shown);
        for (const ValueWrite &v : k.values) {
            if (v.keepExisting &&
                RegQueryValueExW(key, v.name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
                ++outcome->valuesKept;
                continue;
            }
            if (RegSetValueExW(key, v.name.c_str(), 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size())) !=
                ERROR_SUCCESS) {
                RegCloseKey(key);
                return fail("cannot write the value \"" + control::toUtf8(v.name) + "\" of " + k.shown);
            }
            ++outcome->valuesWritten;
        }
        RegCloseKey(key);
        return true;
    }

    CabinetReader reader_;
    InstallTarget target_;
    std::string &error_;
    SetupRecord record_;
    Plan plan_;
    std::map<uint16_t, size_t> keyIndex_;
};

}  // namespace

std::optional<uint32_t> processorOfName(std::string_view name)
{
    if (name == "x86-64") return ce::kProcessorAmdX8664;
    if (name == "arm") return ce::kProcessorStrongArm;
    if (name == "mips") return ce::kProcessorMipsR4000;
    if (name == "sh3") return ce::kProcessorHitachiSh3;
    return std::nullopt;
}

std::string describe(const InstallOutcome &o)
{
    std::string text = o.appName + " (" + o.provider + "):";
    for (const std::string &f : o.files) text += " " + f + ";";
    for (const std::string &k : o.keys) text += " " + k + ";";
    text += " " + number(o.valuesWritten) + " values written";
    if (o.valuesKept) text += ", " + number(o.valuesKept) + " kept";
    return text;
}

bool installCabinet(std::span<const uint8_t> cabinet, const InstallTarget &target, InstallOutcome *outcome,
                    std::string *error)
{
    *outcome = InstallOutcome{};
    Installer installer(cabinet, target, error);
    return installer.check(outcome) && installer.carryOut(outcome);
}

bool installCabinetFile(const fs::path &file, const InstallTarget &target, InstallOutcome *outcome,
                        std::string *error)
{
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        *error = "no such cabinet file";
        return false;
    }
    uintmax_t size = fs::file_size(file, ec);
    if (ec || size > kMaxCabinetFileBytes) {
        *error = ec ? "cannot read: " + ec.message() : "larger than any cabinet can be";
        return false;
    }
    std::vector<uint8_t> bytes(size);
    std::ifstream in(file, std::ios::binary);
    if (!in || !in.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(size))) {
        *error = "cannot read the file";
        return false;
    }
    return installCabinet(bytes, target, outcome, error);
}

}  // namespace host
