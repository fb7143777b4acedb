// What the package tests share: files, commands, a scratch folder, and byte readers of their own
// (independent of the writers' helpers).
#ifndef DURVO_TESTS_PACKAGE_TEST_SUPPORT_H
#define DURVO_TESTS_PACKAGE_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

inline Bytes readBytes(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline std::string readText(const fs::path &file)
{
    Bytes b = readBytes(file);
    return std::string(b.begin(), b.end());
}

inline void writeBytes(const fs::path &file, const Bytes &bytes)
{
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline uint16_t u16At(const Bytes &b, size_t at)
{
    return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
inline uint32_t u32At(const Bytes &b, size_t at)
{
    return u16At(b, at) | uint32_t{u16At(b, at + 2)} << 16;
}

inline fs::path buildDir()
{
    const char *dir = std::getenv("DURVO_BUILD_DIR");
    return dir ? fs::path(dir) : fs::path();
}

struct CommandResult {
    int status = -1;
    std::string out;   // standard output and standard error together
};

// Runs a shell command in `folder`; its output is collected through a file there.
inline CommandResult runCommand(const std::string &command, const fs::path &folder)
{
    fs::path log = folder / ".command-output";
    std::string line = "cd '" + folder.string() + "' && (" + command + ") >'" + log.string() + "' 2>&1";
    int raw = std::system(line.c_str());
    CommandResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readText(log);
    fs::remove(log);
    return r;
}

// A fresh scratch folder per test, removed afterwards.
class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(buildDir().empty()) << "DURVO_BUILD_DIR is not set";
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path()
            / ("durvo-package-" + std::to_string(getpid()) + "-" + info->test_suite_name() + "-"
               + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
};

#endif
