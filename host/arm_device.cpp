#include "arm_device.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace host {
namespace {

// Where the shell would find it: the first executable file of that name on PATH.
std::string findOnPath(std::string_view name)
{
    const char *path = std::getenv("PATH");
    std::string_view folders = path ? path : "";
    while (!folders.empty()) {
        size_t colon = folders.find(':');
        std::string folder(folders.substr(0, colon));
        folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
        std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + std::string(name);
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

}   // namespace

int runArmDevice(char **argv)
{
    std::string qemu = findOnPath("qemu-arm");
    if (qemu.empty()) {
        std::cerr << "durvo-today: the ARM device runs under qemu-arm, which is not on the PATH "
                     "(Debian package qemu-user; make deps installs it)\n";
        return 2;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(DURVO_ARM_DEVICE, ec)) {
        std::cerr << "durvo-today: the ARM device " << DURVO_ARM_DEVICE << " is not built (make build)\n";
        return 2;
    }
    // The armhf libraries live in Debian's multiarch folders; -L gives qemu the armhf loader.
    std::vector<char *> args
        = {qemu.data(), const_cast<char *>("-L"), const_cast<char *>("/usr/arm-linux-gnueabihf"),
           const_cast<char *>(DURVO_ARM_DEVICE)};
    for (char **a = argv + 1; *a; ++a) args.push_back(*a);
    args.push_back(nullptr);
    execv(qemu.c_str(), args.data());
    std::cerr << "durvo-today: cannot start " << qemu << ": " << std::strerror(errno) << "\n";
    return 2;
}

}   // namespace host
