// Reading a file of the host that came from outside: the device folder's registry, a cabinet,
// a description file. Whatever sits at the path, the caller neither hangs nor runs out of memory.
#include "control.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace control {
namespace {

std::string systemError(int code)
{
    return std::error_code(code, std::generic_category()).message();
}

std::string tooLarge(size_t limit)
{
    constexpr size_t kMegabyte = 1024 * 1024;
    if (limit % kMegabyte == 0) return "larger than " + std::to_string(limit / kMegabyte) + " MB";
    return "larger than " + std::to_string(limit) + " bytes";
}

// What sits at a path that is no regular file, in the words a person would use.
std::string notAFile(mode_t mode)
{
    if (S_ISDIR(mode)) return "a folder, not a regular file";
    if (S_ISFIFO(mode)) return "a FIFO, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a regular file";
    if (S_ISSOCK(mode)) return "a socket, not a regular file";
    return "not a regular file";
}

}   // namespace

bool readRegularFile(const std::filesystem::path &file, size_t limit, std::string *bytes, std::string *why)
{
    // O_NONBLOCK: a FIFO with no writer would otherwise hold the open forever.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = systemError(errno);
        return false;
    }
    struct stat info { };
    bool ok = ::fstat(fd, &info) == 0;
    if (!ok) {
        *why = systemError(errno);
    } else if (!S_ISREG(info.st_mode)) {
        *why = notAFile(info.st_mode);
        ok = false;
    } else if (static_cast<unsigned long long>(info.st_size) > limit) {
        *why = tooLarge(limit);
        ok = false;
    }
    bytes->clear();
    if (ok) bytes->reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    while (ok) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *why = systemError(errno);
            ok = false;
        } else if (got == 0) {
            break;
        } else if (bytes->size() + static_cast<size_t>(got) > limit) {   // it grew while read
            *why = tooLarge(limit);
            ok = false;
        } else {
            bytes->append(buffer, static_cast<size_t>(got));
        }
    }
    ::close(fd);
    return ok;
}

}   // namespace control
