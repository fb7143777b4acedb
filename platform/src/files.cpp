// The device's file system on a host folder: a device path such as "\My Documents\x.txt" names
// ROOT/My Documents/x.txt. Windows ignores letter case in file names and the host does not, so
// each component is matched against what already exists on disk.
//
// A program that rewrites its file every few minutes must not churn the heap: path lookup works
// in fixed buffers (an exact match is tried first, then the folder is read with getdents64 into
// a stack buffer), and open files live in a fixed table. Only the control calls allocate.
#include <windows.h>

#include "control.h"
#include "internal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

// ---- Paths -----------------------------------------------------------------------------------

// Kept across resetDevice: the root is where the device's storage is, not part of its state.
std::string deviceRoot;
// Host folders of the desktop's drive letters "A:" to "Z:"; empty for a drive that is not mapped.
std::string driveRoots[26];

// 0 for "A" or "a" ... 25 for "Z"; -1 for anything else.
int driveIndex(WCHAR letter)
{
    if (letter >= u'a' && letter <= u'z') return letter - u'a';
    if (letter >= u'A' && letter <= u'Z') return letter - u'A';
    return -1;
}

// The index of a mapped drive that `devicePath` starts with ("C:..." or "c:..."), or -1.
int mappedDriveOf(std::u16string_view devicePath)
{
    if (devicePath.size() < 2 || devicePath[1] != u':') return -1;
    int index = driveIndex(devicePath[0]);
    return index >= 0 && !driveRoots[index].empty() ? index : -1;
}

// Room for the root and a device path of MAX_PATH units, each of which takes at most three
// bytes of UTF-8.
constexpr size_t kHostPathBytes = 4096;
// Components of one path that ".." may need to drop again.
constexpr size_t kMaxDepth = 256;

// One UTF-16 unit (or a surrogate pair) as UTF-8; unpaired surrogates become U+FFFD, as in
// control::toUtf8. Returns the number of bytes written to out (at most 4).
size_t encodeUtf8(char32_t c, char *out)
{
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

// Reads UTF-8 one UTF-16 unit at a time, so an on-disk name can be compared with a device
// name without converting it into a string first. Malformed bytes read as U+FFFD.
class Utf8Units {
public:
    explicit Utf8Units(const char *text) : p_(reinterpret_cast<const unsigned char *>(text)) { }
    bool done() const { return *p_ == 0 && pendingLow_ == 0; }
    WCHAR next()
    {
        if (pendingLow_) {
            WCHAR low = pendingLow_;
            pendingLow_ = 0;
            return low;
        }
        unsigned lead = *p_++;
        int trailing = lead < 0x80         ? 0
            : lead >= 0xC2 && lead <= 0xDF ? 1
            : lead >= 0xE0 && lead <= 0xEF ? 2
            : lead >= 0xF0 && lead <= 0xF4 ? 3
                                           : -1;
        if (trailing < 0) return 0xFFFD;
        char32_t c = trailing == 0 ? lead
            : trailing == 1        ? lead & 0x1F
            : trailing == 2        ? lead & 0x0F
                                   : lead & 0x07;
        for (int k = 0; k < trailing; ++k) {
            if ((*p_ & 0xC0) != 0x80) return 0xFFFD;
            c = (c << 6) | (*p_++ & 0x3F);
        }
        if ((trailing == 2 && c < 0x800) || (trailing == 3 && (c < 0x10000 || c > 0x10FFFF))
            || (c >= 0xD800 && c <= 0xDFFF))
            return 0xFFFD;
        if (c < 0x10000) return static_cast<WCHAR>(c);
        c -= 0x10000;
        pendingLow_ = static_cast<WCHAR>(0xDC00 + (c & 0x3FF));
        return static_cast<WCHAR>(0xD800 + (c >> 10));
    }

private:
    const unsigned char *p_;
    WCHAR pendingLow_ = 0;
};

bool sameNameIgnoringCase(const char *onDisk, std::u16string_view name)
{
    Utf8Units units(onDisk);
    for (WCHAR unit : name) {
        if (units.done() || internal::foldCase(units.next()) != internal::foldCase(unit)) return false;
    }
    return units.done();
}

bool isDirectory(const char *path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// Looks in `folder` for an entry whose name matches `name` without regard to case, and writes
// that entry's own spelling to `out`. Reads the folder in a stack buffer: no heap.
bool findIgnoringCase(const char *folder, std::u16string_view name, char *out, size_t outBytes)
{
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    alignas(dirent64) char buffer[4096];
    bool found = false;
    for (;;) {
        ssize_t got = getdents64(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        for (ssize_t at = 0; at < got && !found;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(buffer + at);
            at += entry->d_reclen;
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
            if (sameNameIgnoringCase(entry->d_name, name) && std::strlen(entry->d_name) < outBytes) {
                std::strcpy(out, entry->d_name);
                found = true;
            }
        }
        if (found) break;
    }
    close(fd);
    return found;
}

// A device path resolved to the host.
struct HostPath {
    char text[kHostPathBytes];
    bool valid = false;          // false: no root, or the path is too long for the buffer
    bool folderExists = false;   // the folder that holds the last component exists
    bool hasName = false;        // false for the root itself
};

// Resolves a device path. "." is dropped and ".." goes up one level but never above the root,
// as Windows resolves "\..\x" to "\x", so no device path reaches outside ROOT. A mapped drive
// ("C:\x") starts from its own folder instead of ROOT, and ".." never climbs above that; any
// other drive becomes a folder of its letter below ROOT. Each component takes the spelling of the entry on disk that
// matches it (an exact match first); a component that matches nothing is kept as written.
void resolve(std::u16string_view devicePath, HostPath *path)
{
    path->valid = false;
    path->folderExists = false;
    path->hasName = false;
    int drive = mappedDriveOf(devicePath);
    const std::string &root = drive >= 0 ? driveRoots[drive] : deviceRoot;
    if (drive >= 0) devicePath.remove_prefix(2);
    if (root.empty() || root.size() >= kHostPathBytes) return;
    std::memcpy(path->text, root.c_str(), root.size() + 1);
    size_t length = root.size();
    size_t starts[kMaxDepth];   // where each component's separator begins
    size_t depth = 0;
    bool onDisk = isDirectory(path->text);
    bool folderOnDisk = onDisk;
    bool first = true;

    size_t i = 0;
    while (i <= devicePath.size()) {
        size_t end = i;
        while (end < devicePath.size() && devicePath[end] != 0 && devicePath[end] != u'\\'
               && devicePath[end] != u'/')
            ++end;
        std::u16string_view part = devicePath.substr(i, end - i);
        bool last = end >= devicePath.size() || devicePath[end] == 0;
        i = end + 1;
        if (part.empty() || part == u".") {
            if (last) break;
            continue;
        }
        if (part == u"..") {
            if (depth > 0) {
                length = starts[--depth];
                path->text[length] = 0;
                onDisk = isDirectory(path->text);
                folderOnDisk = onDisk;
            }
            first = false;
            if (last) break;
            continue;
        }
        // A drive's path is trimmed as Win32 trims it: a name loses one trailing dot, the last
        // name every trailing dot and blank ("C:\Sync.\x" is C:\Sync\x, "C:\Sync. " is C:\Sync).
        if (drive >= 0) {
            if (!last && part.back() == u'.') part.remove_suffix(1);
            while (last && !part.empty() && (part.back() == u'.' || part.back() == u' '))
                part.remove_suffix(1);
            if (part.empty()) break;                     // the path names the folder before it
            if (part == u"." || part == u"..") return;   // from "...": no name a folder can have
        }
        if (first && drive < 0 && part.size() == 2 && part[1] == u':') part = part.substr(0, 1);
        first = false;
        if (depth == kMaxDepth) return;

        // The component as written, in UTF-8.
        char name[kHostPathBytes];
        size_t nameLength = 0;
        for (size_t k = 0; k < part.size(); ++k) {
            char32_t c = part[k];
            if (c >= 0xD800 && c <= 0xDBFF && k + 1 < part.size() && part[k + 1] >= 0xDC00
                && part[k + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (part[k + 1] - 0xDC00);
                ++k;
            }
            if (nameLength + 4 >= sizeof name) return;
            nameLength += encodeUtf8(c, name + nameLength);
        }
        name[nameLength] = 0;
        if (length + 1 + nameLength >= kHostPathBytes) return;

        folderOnDisk = onDisk;
        starts[depth++] = length;
        path->text[length++] = '/';
        std::memcpy(path->text + length, name, nameLength + 1);
        if (onDisk) {
            struct stat info;
            if (lstat(path->text, &info) != 0) {
                path->text[length] = 0;
                char spelled[kHostPathBytes];
                if (findIgnoringCase(path->text, part, spelled, sizeof spelled)
                    && length + std::strlen(spelled) < kHostPathBytes) {
                    std::strcpy(path->text + length, spelled);
                    nameLength = std::strlen(spelled);
                } else {
                    std::memcpy(path->text + length, name, nameLength + 1);
                }
            }
        }
        length += nameLength;
        onDisk = onDisk && isDirectory(path->text);
        if (last) break;
    }
    path->valid = true;
    path->hasName = depth > 0;
    path->folderExists = depth > 0 ? folderOnDisk : false;
}

// ---- Open files ------------------------------------------------------------------------------

constexpr DWORD kReadAccess = GENERIC_READ | GENERIC_ALL;
constexpr DWORD kWriteAccess = GENERIC_WRITE | GENERIC_ALL;
constexpr DWORD kDeleteAccess = 0x00010000;   // DELETE

// Open files live in a fixed table; a handle value carries its slot and a generation, so a
// closed handle stays invalid after its slot is reused.
constexpr size_t kMaxOpenFiles = 64;
constexpr uintptr_t kHandleTag = 0x46000000;   // keeps file handles apart from 0 and -1

struct OpenFile {
    bool inUse = false;
    int fd = -1;
    DWORD access = 0;
    DWORD share = 0;
    dev_t device = 0;
    ino_t inode = 0;
    unsigned generation = 0;
};
OpenFile openFiles[kMaxOpenFiles];

HANDLE handleOf(size_t slot)
{
    return reinterpret_cast<HANDLE>(kHandleTag | (uintptr_t(openFiles[slot].generation & 0xFFFF) << 8)
                                    | slot);
}

OpenFile *fileOf(HANDLE handle)
{
    auto value = reinterpret_cast<uintptr_t>(handle);
    if ((value & ~uintptr_t(0xFFFFFF)) != kHandleTag) return nullptr;
    size_t slot = value & 0xFF;
    unsigned generation = (value >> 8) & 0xFFFF;
    if (slot >= kMaxOpenFiles || !openFiles[slot].inUse
        || (openFiles[slot].generation & 0xFFFF) != generation)
        return nullptr;
    return &openFiles[slot];
}

bool wants(DWORD access, DWORD kind)
{
    return (access & kind) != 0;
}

// Windows' sharing rule: a new open may neither ask for access that an open handle's share
// mode refuses, nor refuse (by its own share mode) access that an open handle already has.
// Opens that ask for no data access (attributes only) never conflict, neither as the new open
// nor as an open handle: Windows records no share mode for them.
bool sharingAllows(dev_t device, ino_t inode, DWORD access, DWORD share)
{
    bool reads = wants(access, kReadAccess), writes = wants(access, kWriteAccess);
    bool deletes = wants(access, kDeleteAccess);
    if (!reads && !writes && !deletes) return true;
    for (const OpenFile &open : openFiles) {
        if (!open.inUse || open.device != device || open.inode != inode) continue;
        bool openReads = wants(open.access, kReadAccess), openWrites = wants(open.access, kWriteAccess);
        bool openDeletes = wants(open.access, kDeleteAccess);
        if (!openReads && !openWrites && !openDeletes) continue;
        if ((reads && !(open.share & FILE_SHARE_READ)) || (writes && !(open.share & FILE_SHARE_WRITE))
            || (deletes && !(open.share & FILE_SHARE_DELETE)))
            return false;
        if ((openReads && !(share & FILE_SHARE_READ)) || (openWrites && !(share & FILE_SHARE_WRITE))
            || (openDeletes && !(share & FILE_SHARE_DELETE)))
            return false;
    }
    return true;
}

HANDLE fail(DWORD error)
{
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

BOOL failed(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

DWORD errorOfErrno(int error)
{
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    default: return ERROR_ACCESS_DENIED;
    }
}

// Characters no Windows file system takes in a name (wildcards, quotes, redirections, control
// characters), anywhere in the path: ERROR_INVALID_NAME before the path is looked at.
bool hasInvalidNameCharacter(LPCWSTR name)
{
    for (; *name != 0; ++name)
        if (*name < 0x20 || (*name < 0x80 && std::strchr("\"*?<>|", static_cast<char>(*name)) != nullptr))
            return true;
    return false;
}

HANDLE createFile(LPCWSTR name, DWORD access, DWORD share, DWORD disposition)
{
    if (name == nullptr || disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING)
        return fail(ERROR_INVALID_PARAMETER);
    if (disposition == TRUNCATE_EXISTING && !wants(access, kWriteAccess))
        return fail(ERROR_INVALID_PARAMETER);
    if (hasInvalidNameCharacter(name)) return fail(ERROR_INVALID_NAME);

    HostPath path;
    resolve(std::u16string_view(name, wcslen(name)), &path);
    if (!path.valid || !path.hasName || !path.folderExists) return fail(ERROR_PATH_NOT_FOUND);

    struct stat info;
    bool exists = stat(path.text, &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) return fail(ERROR_ACCESS_DENIED);
    // A FIFO, socket or device node of the host is what a device name is on Windows, and no
    // device answers here: the call fails as for "COM9" without a port, and never waits.
    if (exists && !S_ISREG(info.st_mode)) return fail(ERROR_FILE_NOT_FOUND);
    if (DWORD error = internal::faultAt(control::FaultPoint::CreateFile)) return fail(error);
    if (exists && disposition == CREATE_NEW) return fail(ERROR_FILE_EXISTS);
    if (!exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING))
        return fail(ERROR_FILE_NOT_FOUND);
    // Sharing is checked before anything changes, so a refused CREATE_ALWAYS truncates nothing.
    if (exists && !sharingAllows(info.st_dev, info.st_ino, access, share))
        return fail(ERROR_SHARING_VIOLATION);

    size_t slot = 0;
    while (slot < kMaxOpenFiles && openFiles[slot].inUse) ++slot;
    if (slot == kMaxOpenFiles) return fail(ERROR_TOO_MANY_OPEN_FILES);

    bool reads = wants(access, kReadAccess), writes = wants(access, kWriteAccess);
    // O_NONBLOCK and the check after the open: a node put in the file's place meanwhile can
    // neither hold the call nor be used as a file; a file is emptied only after that check.
    int flags = O_CLOEXEC | O_NONBLOCK | (reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY);
    if (!exists) flags |= O_CREAT | O_EXCL;
    bool truncates = exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
    int fd = open(path.text, flags, 0666);
    if (fd < 0) return fail(errno == ENXIO ? ERROR_FILE_NOT_FOUND : errorOfErrno(errno));
    struct stat opened;
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        close(fd);
        return fail(ERROR_FILE_NOT_FOUND);
    }
    if (truncates && ftruncate(fd, 0) != 0) {
        int error = errno;
        close(fd);
        return fail(errorOfErrno(error));
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    OpenFile &file = openFiles[slot];
    file.inUse = true;
    file.fd = fd;
    file.access = access;
    file.share = share;
    file.device = opened.st_dev;
    file.inode = opened.st_ino;
    ++file.generation;
    // CREATE_ALWAYS and OPEN_ALWAYS succeed over an existing file and say so.
    SetLastError(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                        : ERROR_SUCCESS);
    return handleOf(slot);
}

BOOL deleteFile(LPCWSTR name)
{
    if (name == nullptr) return failed(ERROR_INVALID_PARAMETER);
    if (hasInvalidNameCharacter(name)) return failed(ERROR_INVALID_NAME);
    HostPath path;
    resolve(std::u16string_view(name, wcslen(name)), &path);
    if (!path.valid || !path.hasName || !path.folderExists) return failed(ERROR_PATH_NOT_FOUND);
    struct stat info;
    if (stat(path.text, &info) != 0) return failed(ERROR_FILE_NOT_FOUND);
    // A folder is not a file; a FIFO or device node is no file Windows could delete either.
    if (!S_ISREG(info.st_mode)) return failed(ERROR_ACCESS_DENIED);
    if (!sharingAllows(info.st_dev, info.st_ino, kDeleteAccess,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
        return failed(ERROR_SHARING_VIOLATION);
    if (DWORD error = internal::faultAt(control::FaultPoint::DeleteFile)) return failed(error);
    if (unlink(path.text) != 0) return failed(errorOfErrno(errno));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

// MoveFileW without MOVEFILE_REPLACE_EXISTING: an existing target is never replaced, so a
// caller that wants to replace deletes first and knows when that failed.
BOOL moveFile(LPCWSTR existing, LPCWSTR target)
{
    if (existing == nullptr || target == nullptr) return failed(ERROR_INVALID_PARAMETER);
    if (hasInvalidNameCharacter(existing) || hasInvalidNameCharacter(target))
        return failed(ERROR_INVALID_NAME);
    HostPath from, to;
    resolve(std::u16string_view(existing, wcslen(existing)), &from);
    resolve(std::u16string_view(target, wcslen(target)), &to);
    if (!from.valid || !from.hasName || !from.folderExists) return failed(ERROR_PATH_NOT_FOUND);
    struct stat info;
    if (lstat(from.text, &info) != 0) return failed(ERROR_FILE_NOT_FOUND);
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) return failed(ERROR_ACCESS_DENIED);
    if (!to.valid || !to.hasName || !to.folderExists) return failed(ERROR_PATH_NOT_FOUND);
    struct stat existingTarget;
    if (lstat(to.text, &existingTarget) == 0) return failed(ERROR_ALREADY_EXISTS);
    if (!sharingAllows(info.st_dev, info.st_ino, kDeleteAccess,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
        return failed(ERROR_SHARING_VIOLATION);
    if (DWORD error = internal::faultAt(control::FaultPoint::MoveFile)) return failed(error);
    // The check above and the rename are not one step on the host; nothing else runs between.
    if (rename(from.text, to.text) != 0) return failed(errorOfErrno(errno));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL createDirectory(LPCWSTR name)
{
    if (name == nullptr) return failed(ERROR_INVALID_PARAMETER);
    if (hasInvalidNameCharacter(name)) return failed(ERROR_INVALID_NAME);
    HostPath path;
    resolve(std::u16string_view(name, wcslen(name)), &path);
    if (!path.valid || !path.hasName) return failed(path.valid ? ERROR_ALREADY_EXISTS : ERROR_PATH_NOT_FOUND);
    if (!path.folderExists) return failed(ERROR_PATH_NOT_FOUND);
    struct stat info;
    if (stat(path.text, &info) == 0) return failed(ERROR_ALREADY_EXISTS);
    if (DWORD error = internal::faultAt(control::FaultPoint::CreateDirectory)) return failed(error);
    if (mkdir(path.text, 0777) != 0) return failed(errorOfErrno(errno));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

// An 8-bit path in the desktop code page, widened into a fixed buffer. The 8-bit calls convert
// into a buffer of MAX_PATH characters and a NUL: a longer path is ERROR_FILENAME_EXCED_RANGE
// before anything else is looked at.
bool widen(LPCSTR narrow, WCHAR (&wide)[kHostPathBytes])
{
    static_assert(MAX_PATH < kHostPathBytes);
    size_t i = 0;
    for (; narrow[i] != 0; ++i) {
        if (i == MAX_PATH) return false;
        wide[i] = internal::ansiUnitToWide(narrow[i]);
    }
    wide[i] = 0;
    return true;
}

}   // namespace

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    return createFile(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition);
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    if (lpFileName == nullptr) return fail(ERROR_INVALID_PARAMETER);
    WCHAR wide[kHostPathBytes];
    if (!widen(lpFileName, wide)) return fail(ERROR_FILENAME_EXCED_RANGE);
    return createFile(wide, dwDesiredAccess, dwShareMode, dwCreationDisposition);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped)
{
    // Windows clears the count before it checks anything.
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    OpenFile *file = fileOf(hFile);
    if (!file) return failed(ERROR_INVALID_HANDLE);
    if (lpOverlapped != nullptr || lpNumberOfBytesWritten == nullptr
        || (lpBuffer == nullptr && nNumberOfBytesToWrite != 0))
        return failed(ERROR_INVALID_PARAMETER);
    if (!wants(file->access, kWriteAccess)) return failed(ERROR_ACCESS_DENIED);

    DWORD bytes = nNumberOfBytesToWrite;
    bool isShort = false;
    if (DWORD error = internal::faultAt(control::FaultPoint::WriteFile, &isShort)) {
        if (!isShort) return failed(error);
        bytes /= 2;   // the storage took only part of it
    }

    const char *data = static_cast<const char *>(lpBuffer);
    DWORD done = 0;
    while (done < bytes) {
        ssize_t wrote = write(file->fd, data + done, bytes - done);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            *lpNumberOfBytesWritten = done;
            return failed(errorOfErrno(errno));
        }
        done += static_cast<DWORD>(wrote);
    }
    *lpNumberOfBytesWritten = done;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped)
{
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    OpenFile *file = fileOf(hFile);
    if (!file) return failed(ERROR_INVALID_HANDLE);
    if (lpOverlapped != nullptr || lpNumberOfBytesRead == nullptr
        || (lpBuffer == nullptr && nNumberOfBytesToRead != 0))
        return failed(ERROR_INVALID_PARAMETER);
    if (!wants(file->access, kReadAccess)) return failed(ERROR_ACCESS_DENIED);

    char *data = static_cast<char *>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToRead) {
        ssize_t got = read(file->fd, data + done, nNumberOfBytesToRead - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            *lpNumberOfBytesRead = done;
            return failed(errorOfErrno(errno));
        }
        if (got == 0) break;   // end of file: success with fewer bytes
        done += static_cast<DWORD>(got);
    }
    *lpNumberOfBytesRead = done;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    OpenFile *file = fileOf(hObject);
    if (!file) return failed(ERROR_INVALID_HANDLE);
    close(file->fd);
    file->inUse = false;
    file->fd = -1;
    return TRUE;
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName)
{
    return deleteFile(lpFileName);
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName)
{
    if (lpFileName == nullptr) return failed(ERROR_INVALID_PARAMETER);
    WCHAR wide[kHostPathBytes];
    if (!widen(lpFileName, wide)) return failed(ERROR_FILENAME_EXCED_RANGE);
    return deleteFile(wide);
}

BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName)
{
    return moveFile(lpExistingFileName, lpNewFileName);
}

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes)
{
    return createDirectory(lpPathName);
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes)
{
    if (lpPathName == nullptr) return failed(ERROR_INVALID_PARAMETER);
    WCHAR wide[kHostPathBytes];
    if (!widen(lpPathName, wide)) return failed(ERROR_FILENAME_EXCED_RANGE);
    return createDirectory(wide);
}

namespace internal {
// A power cycle: every open file is closed.
void resetFiles()
{
    for (OpenFile &file : openFiles) {
        if (file.inUse) close(file.fd);
        file.inUse = false;
        file.fd = -1;
    }
}
}   // namespace internal

namespace control {

void setDeviceRoot(const fs::path &root)
{
    deviceRoot = root.empty() ? std::string() : root.string();
    while (deviceRoot.size() > 1 && deviceRoot.back() == '/') deviceRoot.pop_back();
}

bool mapDrive(WCHAR letter, const fs::path &folder)
{
    int index = driveIndex(letter);
    if (index < 0) return false;
    driveRoots[index] = folder.empty() ? std::string() : folder.string();
    while (driveRoots[index].size() > 1 && driveRoots[index].back() == '/') driveRoots[index].pop_back();
    return true;
}

fs::path hostPathOf(std::u16string_view devicePath)
{
    HostPath path;
    resolve(devicePath, &path);
    return path.valid ? fs::path(path.text) : fs::path();
}

int openFileHandles()
{
    int count = 0;
    for (const OpenFile &file : openFiles) count += file.inUse ? 1 : 0;
    return count;
}

}   // namespace control
