#include "device_installer.h"

#include "cabinet_reader.h"
#include "setup_record_reader.h"

#include <setup_record_format.h>

#include <control.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <system_error>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {
namespace {

namespace ce = package::ce;
namespace fs = std::filesystem;
using package::SetupRecord;

std::string number(uint64_t n)
{
    return std::to_string(n);
}

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
               return std::tolower(static_cast<unsigned char>(x))
                   == std::tolower(static_cast<unsigned char>(y));
           });
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
        return static_cast<unsigned char>(c) < 0x20
            || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
    });
}

// Names of the host's file system hold at most this many bytes (NAME_MAX).
constexpr size_t kMaxHostNameBytes = 255;

struct FileCopy {
    std::string devicePath;
    std::shared_ptr<const std::vector<uint8_t>> data;   // shared by every entry naming the member
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

std::string systemError(int code)
{
    return std::error_code(code, std::generic_category()).message();
}

// A file of the plan on its way onto the device: written beside its target first, the old file
// (if any) moved aside, so that everything can be put back until the install is complete.
struct StagedFile {
    fs::path target, temporary, previous;
    bool written = false;   // the temporary holds the new bytes
    bool hadOld = false;    // an old file was moved to `previous`
    bool placed = false;    // the new file is at `target`
};

// Undoes an install that failed halfway: files and folders as they were, the registry as its
// text was before the first write. Nothing of the device survives a refused cabinet but the
// bytes it held.
class Staging {
public:
    Staging() : registryBefore_(control::registryToRegText()) { }

    // Folders made for the install, outermost first, so that a rollback removes them innermost first.
    bool makeFolders(const fs::path &folder, std::string *why)
    {
        std::vector<fs::path> missing;
        struct stat info;
        for (fs::path at = folder; !at.empty() && ::lstat(at.c_str(), &info) != 0; at = at.parent_path()) {
            if (errno != ENOENT) break;
            missing.push_back(at);
            if (at == at.parent_path()) break;
        }
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            if (::mkdir(it->c_str(), 0777) != 0) {
                *why = systemError(errno);
                return false;
            }
            folders_.push_back(*it);
        }
        return true;
    }

    StagedFile &add(StagedFile file)
    {
        files_.push_back(std::move(file));
        return files_.back();
    }
    std::vector<StagedFile> &files() { return files_; }

    // The install went through: the old files moved aside go.
    void commit()
    {
        for (const StagedFile &f : files_)
            if (f.hadOld) ::unlink(f.previous.c_str());
        files_.clear();
        folders_.clear();
        committed_ = true;
    }

    ~Staging()
    {
        if (committed_) return;
        for (auto it = files_.rbegin(); it != files_.rend(); ++it) {
            if (it->placed) ::unlink(it->target.c_str());
            if (it->hadOld) ::rename(it->previous.c_str(), it->target.c_str());
            if (it->written) ::unlink(it->temporary.c_str());
        }
        for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) ::rmdir(it->c_str());
        std::string ignored;
        if (control::registryToRegText() != registryBefore_)
            control::registryFromRegText(registryBefore_, &ignored);
    }

private:
    std::string registryBefore_;
    std::vector<StagedFile> files_;
    std::vector<fs::path> folders_;
    bool committed_ = false;
};

// Writes all of `data` to a new file; false with *why when the file exists or a write fails.
bool writeNewFile(const fs::path &file, const std::vector<uint8_t> &data, std::string *why)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        *why = systemError(errno);
        return false;
    }
    int failure = 0;
    for (size_t done = 0; failure == 0 && done < data.size();) {
        ssize_t put = ::write(fd, data.data() + done, data.size() - done);
        if (put < 0 && errno != EINTR) failure = errno;
        if (put > 0) done += static_cast<size_t>(put);
    }
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0) *why = systemError(failure);
    return failure == 0;
}

class Installer {
public:
    Installer(std::span<const uint8_t> cabinet, const InstallTarget &target, std::string *error)
        : reader_(cabinet), target_(target), error_(*error)
    { }

    bool check(InstallOutcome *outcome)
    {
        if (!reader_.open(&error_)) return false;
        indexMembers();
        if (!readCabinetSetupRecord(reader_, &record_, &error_)) return false;
        outcome->appName = record_.appName;
        outcome->provider = record_.provider;
        for (const auto &s : record_.strings) strings_[s.id] = &s.text;
        for (const auto &d : record_.directories) directories_[d.id] = &d;
        return device() && files() && keys() && values();
    }

    // Files first, then the registry: the item key is what makes the Today screen load the
    // library, so it must not name a library that is not there yet. Every file is written
    // beside its target before any target is replaced; a failure at any step puts back what
    // the device held.
    bool carryOut(InstallOutcome *outcome)
    {
        Staging staging;
        for (size_t i = 0; i < plan_.files.size(); ++i)
            if (!stageFile(staging, plan_.files[i], i)) return false;
        for (size_t i = 0; i < plan_.files.size(); ++i)
            if (!placeFile(staging.files()[i], plan_.files[i].devicePath)) return false;
        for (const KeyWrite &k : plan_.keys)
            if (!writeKey(k, outcome)) return false;
        staging.commit();
        for (const FileCopy &f : plan_.files) outcome->files.push_back(f.devicePath);
        for (const KeyWrite &k : plan_.keys) outcome->keys.push_back(k.shown);
        return true;
    }

private:
    bool fail(const std::string &message)
    {
        error_ = message;
        return false;
    }

    // Members by the text after the last '.' of their names, so that each file entry finds its
    // member in one look-up, however many members and entries the cabinet has.
    void indexMembers()
    {
        const auto &members = reader_.members();
        for (size_t i = 0; i < members.size(); ++i) {
            size_t dot = members[i].name.rfind('.');
            if (dot != std::string::npos) membersBySuffix_[members[i].name.substr(dot)].push_back(i);
        }
    }

    // The one member whose name ends in `suffix` (a '.' and digits).
    bool findMember(const std::string &suffix, const std::string &what, size_t *index)
    {
        const auto &members = reader_.members();
        auto found = membersBySuffix_.find(suffix);
        if (found == membersBySuffix_.end())
            return fail("the cabinet holds no member whose name ends in \"" + suffix + "\" (" + what + ")");
        if (found->second.size() > 1)
            return fail("two cabinet members end in \"" + suffix + "\" (" + members[found->second[0]].name
                        + ", " + members[found->second[1]].name + "); " + what + " must be one");
        *index = found->second[0];
        return true;
    }

    bool device()
    {
        if (record_.processor != ce::kProcessorAny && record_.processor != target_.processor)
            return fail("the cabinet is for a " + processorText(record_.processor)
                        + " processor; this device has a " + processorText(target_.processor) + " processor");
        OSVERSIONINFOW version{};
        version.dwOSVersionInfoSize = sizeof version;
        if (!GetVersionExW(&version)) return fail("cannot read the device's Windows CE version");
        auto atLeast = [](uint32_t aMajor, uint32_t aMinor, uint32_t bMajor, uint32_t bMinor) {
            return aMajor > bMajor || (aMajor == bMajor && aMinor >= bMinor);
        };
        if (!atLeast(version.dwMajorVersion, version.dwMinorVersion, record_.minOsMajor, record_.minOsMinor)
            || !atLeast(record_.maxOsMajor, record_.maxOsMinor, version.dwMajorVersion,
                        version.dwMinorVersion))
            return fail("the cabinet needs Windows CE " + number(record_.minOsMajor) + "."
                        + number(record_.minOsMinor) + " to " + number(record_.maxOsMajor) + "."
                        + number(record_.maxOsMinor) + "; this device runs " + number(version.dwMajorVersion)
                        + "." + number(version.dwMinorVersion));
        if (version.dwBuildNumber < record_.minBuild || version.dwBuildNumber > record_.maxBuild)
            return fail("the cabinet needs a build from " + number(record_.minBuild) + " to "
                        + number(record_.maxBuild) + "; this device runs build "
                        + number(version.dwBuildNumber));
        WCHAR platform[64] = {};
        if (!SystemParametersInfoW(SPI_GETPLATFORMTYPE, sizeof platform, platform, 0))
            return fail("cannot read the device's platform type");
        std::string platformName = control::toUtf8(platform);
        for (const std::string &name : record_.unsupportedPlatforms)
            if (equalIgnoringCase(name, platformName))
                return fail("the cabinet is not for " + platformName + " devices");
        return true;
    }

    // The reader has checked that every reference names a string.
    const std::string &stringText(uint16_t id) const { return *strings_.at(id); }

    // A directory's device path, made once however many files go there.
    bool directoryPath(uint16_t id, std::string *path)
    {
        if (auto made = directoryPaths_.find(id); made != directoryPaths_.end()) {
            *path = made->second;
            return true;
        }
        auto found = directories_.find(id);
        if (found == directories_.end()) return fail("directory " + number(id) + " is not in the record");
        path->clear();
        for (uint16_t part : found->second->path) {
            std::string text = stringText(part);
            if (text.size() >= 2 && text.front() == '%' && text.back() == '%') {
                if (!equalIgnoringCase(text, ce::kWindowsFolderMacro))
                    return fail("directory " + number(id) + " uses the folder macro " + text
                                + ", which this installer does not know");
                text = "Windows";
            } else if (!isPlainName(text)) {
                return fail("directory " + number(id) + ": \"" + text + "\" is no folder name");
            }
            *path += "\\" + text;
            if (path->size() >= MAX_PATH)
                return fail("directory " + number(id) + ": its path is longer than the device allows ("
                            + number(MAX_PATH - 1) + " characters)");
        }
        directoryPaths_[id] = *path;
        return true;
    }

    bool files()
    {
        if (record_.files.size() > kMaxInstallFiles)
            return fail("the record lists " + number(record_.files.size())
                        + " files; the device takes at most " + number(kMaxInstallFiles)
                        + " from one cabinet");
        uint64_t total = 0;
        std::map<size_t, std::shared_ptr<const std::vector<uint8_t>>> extracted;
        for (const auto &f : record_.files) {
            std::string what = "file " + number(f.id) + " (" + f.name + ")";
            if (!isPlainName(f.name)) return fail(what + ": \"" + f.name + "\" is no file name");
            std::string path;
            if (!directoryPath(f.directory, &path)) return false;
            size_t member = 0;
            if (!findMember(memberSuffix(f.member), what, &member)) return false;
            FileCopy copy;
            copy.devicePath = path + "\\" + f.name;
            if (copy.devicePath.size() >= MAX_PATH)
                return fail(what + ": " + copy.devicePath.substr(0, 40)
                            + "... is longer than the device allows (" + number(MAX_PATH - 1)
                            + " characters)");
            total += reader_.members()[member].size;
            if (total > kMaxInstallBytes)
                return fail("the files come to more than " + number(kMaxInstallBytes)
                            + " bytes, more than the device takes from one cabinet");
            auto &data = extracted[member];
            if (!data) {
                auto bytes = std::make_shared<std::vector<uint8_t>>();
                if (!reader_.extract(member, bytes.get(), &error_)) return false;
                data = std::move(bytes);
            }
            copy.data = data;
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
            if (k.path.size() > kMaxKeyDepth)
                return fail("registry key " + number(k.id) + ": its path has " + number(k.path.size())
                            + " levels; the registry holds at most " + number(kMaxKeyDepth));
            std::string path;
            for (uint16_t part : k.path) {
                const std::string &text = stringText(part);
                if (text.empty() || text.find('\\') != std::string::npos || hasControlCharacter(text))
                    return fail("registry key " + number(k.id) + ": \"" + printable(text)
                                + "\" is no key name");
                if (text.size() > kMaxKeyNameLength)
                    return fail("registry key " + number(k.id) + ": a name of " + number(text.size())
                                + " characters; the registry takes at most " + number(kMaxKeyNameLength));
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
    template <typename Text> static bool hasControlCharacter(const Text &name)
    {
        return std::any_of(name.begin(), name.end(),
                           [](auto c) { return static_cast<unsigned char>(c) < 0x20; });
    }
    template <typename Text> static std::string printable(const Text &name)
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

    // The new bytes beside the target, under a short name of ours: the target's own name may
    // already be as long as a name can be. Folders on the way are made as needed.
    bool stageFile(Staging &staging, const FileCopy &f, size_t index)
    {
        fs::path target = control::hostPathOf(control::fromUtf8(f.devicePath));
        if (target.empty()) return fail("the device has no file system to install " + f.devicePath + " into");
        if (target.filename().string().size() > kMaxHostNameBytes)
            return fail("cannot write " + f.devicePath + ": its name is longer than the file system takes ("
                        + number(kMaxHostNameBytes) + " bytes)");
        std::string why;
        if (!staging.makeFolders(target.parent_path(), &why))
            return fail("cannot make the folder of " + f.devicePath + ": " + why);
        StagedFile &staged
            = staging.add({target, target.parent_path() / (".install-" + number(index) + ".new"),
                           target.parent_path() / (".install-" + number(index) + ".old")});
        if (!writeNewFile(staged.temporary, *f.data, &why))
            return fail("cannot write " + f.devicePath + ": " + why);
        staged.written = true;
        return true;
    }

    // The old file moved aside, the new one renamed into its place. A folder or anything but a
    // file at the target is refused: the device keeps it.
    bool placeFile(StagedFile &staged, const std::string &devicePath)
    {
        struct stat info;
        if (::lstat(staged.target.c_str(), &info) == 0) {
            if (!S_ISREG(info.st_mode))
                return fail("cannot write " + devicePath + ": "
                            + (S_ISDIR(info.st_mode) ? "a folder of that name is there"
                                                     : "something other than a file is there"));
            if (::lstat(staged.previous.c_str(), &info) == 0 || errno != ENOENT)
                return fail("cannot write " + devicePath + ": " + staged.previous.filename().string()
                            + " is in the way");
            if (::rename(staged.target.c_str(), staged.previous.c_str()) != 0)
                return fail("cannot replace " + devicePath + ": " + systemError(errno));
            staged.hadOld = true;
        } else if (errno != ENOENT) {
            return fail("cannot write " + devicePath + ": " + systemError(errno));
        }
        if (::rename(staged.temporary.c_str(), staged.target.c_str()) != 0)
            return fail("cannot write " + devicePath + ": " + systemError(errno));
        staged.written = false;
        staged.placed = true;
        return true;
    }

    bool writeKey(const KeyWrite &k, InstallOutcome *outcome)
    {
        HKEY key = nullptr;
        LONG status
            = RegCreateKeyExW(k.root, k.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS)
            return fail("cannot create the registry key " + k.shown + " (error "
                        + number(static_cast<uint32_t>(status)) + ")");
        for (const ValueWrite &v : k.values) {
            if (v.keepExisting
                && RegQueryValueExW(key, v.name.c_str(), nullptr, nullptr, nullptr, nullptr)
                    == ERROR_SUCCESS) {
                ++outcome->valuesKept;
                continue;
            }
            status = RegSetValueExW(key, v.name.c_str(), 0, v.type, v.data.data(),
                                    static_cast<DWORD>(v.data.size()));
            if (status != ERROR_SUCCESS) {
                RegCloseKey(key);
                return fail("cannot write the value \"" + control::toUtf8(v.name) + "\" of " + k.shown
                            + " (error " + number(static_cast<uint32_t>(status)) + ")");
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
    std::unordered_map<std::string, std::vector<size_t>> membersBySuffix_;
    std::unordered_map<uint16_t, const std::string *> strings_;
    std::unordered_map<uint16_t, const package::RecordDirectory *> directories_;
    std::unordered_map<uint16_t, std::string> directoryPaths_;
};

}   // namespace

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
    std::string bytes;
    if (!control::readRegularFile(file, kMaxCabinetFileBytes, &bytes, error)) return false;
    return installCabinet(std::span(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()), target,
                          outcome, error);
}

}   // namespace host
