// The CE library reader (pe_image.h) and the device's checks before a load (pe_loader.h), over
// the CE ARM Durvo.dll this build made, whole and damaged one defect at a time.
#include "pe_loader.h"

#include <control.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include <unistd.h>

namespace {

std::filesystem::path ceLibrary()
{
    const char *build = std::getenv("DURVO_BUILD_DIR");
    return std::filesystem::path(build ? build : ".") / "ce-arm" / "Durvo.dll";
}

std::vector<uint8_t> readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t dword(const std::vector<uint8_t> &b, size_t at)
{
    uint32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}
void setDword(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    std::memcpy(&b[at], &v, 4);
}

// Where the headers' fields are in the file.
struct Layout {
    size_t coff, optional, sections;
    explicit Layout(const std::vector<uint8_t> &b)
        : coff(dword(b, 60) + 4), optional(coff + 20), sections(optional + (b[coff + 16] | b[coff + 17] << 8))
    { }
    size_t directory(int index) const { return optional + 96 + 8 * index; }
    // The file offset of an RVA, through the section table.
    size_t fileOffset(const std::vector<uint8_t> &b, uint32_t rva) const
    {
        for (size_t s = sections;; s += 40) {
            uint32_t va = dword(b, s + 12), raw = dword(b, s + 20), size = dword(b, s + 16);
            if (rva >= va && rva < va + size) return raw + (rva - va);
        }
    }
};

class CeImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        bytes = readFile(ceLibrary());
        ASSERT_GT(bytes.size(), 1024u) << ceLibrary();
    }
    std::vector<uint8_t> bytes;
};

TEST_F(CeImage, TheBuiltLibraryPassesEveryCheckOfTheArmDevice)
{
    pe::Image image;
    std::string error;
    ASSERT_TRUE(internal::checkImage(bytes, pe::kMachineArm, &image, &error)) << error;
    EXPECT_EQ(image.preferredBase, 0x10000000u);
    EXPECT_FALSE(image.fixups.empty());
    EXPECT_EQ(image.exportNames.size(), 0u) << "240 and 241 by ordinal only";
    // The resource tree came out as a .res image (its empty first record, then the resources).
    EXPECT_GT(image.resources.size(), 32u);
}

TEST_F(CeImage, DamagedImagesAreRefusedWithTheirDefect)
{
    const Layout at(bytes);
    struct Case {
        const char *defect;
        std::function<void(std::vector<uint8_t> &)> damage;
        const char *message;
    };
    const Case cases[] = {
        {"not a PE", [](auto &b) { b[0] = 'Z'; }, "not a PE image (no MZ header)"},
        {"truncated headers", [&](auto &b) { b.resize(at.coff + 10); }, "the PE header is cut short"},
        {"a truncated section table", [&](auto &b) { b.resize(at.sections + 50); },
         "the headers lie outside the file"},
        {"no PE signature", [&](auto &b) { b[at.coff - 4] = 'X'; }, "no PE signature"},
        {"a wrong machine",
         [&](auto &b) {
             b[at.coff] = 0xA2;
             b[at.coff + 1] = 0x01;
         },
         "the library is built for SH-3 (0x01A2); this device runs ARM (0x01C0) code"},
        {"not a library", [&](auto &b) { b[at.coff + 19] &= ~0x20; }, "not a library"},
        {"a section outside the image", [&](auto &b) { setDword(b, at.sections + 12, 0x7FFF0000); },
         "lies outside the image"},
        {"a section outside the file",
         [&](auto &b) { setDword(b, at.sections + 20, uint32_t(b.size()) - 8); }, "lies outside the file"},
        {"relocations outside the image", [&](auto &b) { setDword(b, at.directory(5), 0x7FFFFFF0); },
         "the base relocations lie outside the image"},
        {"a relocation outside the image",
         [&](auto &b) { setDword(b, at.fileOffset(b, dword(b, at.directory(5))), 0x7FFFF000); },
         "points outside the image"},
        {"an import name past the end",
         [&](auto &b) { setDword(b, at.fileOffset(b, dword(b, at.directory(1))) + 12, 0x7FFFFFF0); },
         "runs past the end of the image"},
        {"an import the device does not offer",
         [](auto &b) {
             static const char name[] = "GetTickCount";
             auto found = std::search(b.begin(), b.end(), name, name + sizeof name);
             ASSERT_NE(found, b.end());
             found[11] = 'X';
         },
         "it imports GetTickCounX from COREDLL.dll, which this device does not offer"},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> damaged = bytes;
        c.damage(damaged);
        pe::Image image;
        std::string error;
        EXPECT_FALSE(internal::checkImage(damaged, pe::kMachineArm, &image, &error)) << c.defect;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.defect << ": " << error;
    }
}

// The native device refuses the ARM library and goes on: the caller gets an error, not a crash;
// a file too large for any library is not even read.
TEST_F(CeImage, TheNativeDeviceRefusesTheArmLibrary)
{
    auto root = std::filesystem::temp_directory_path() / ("pe-image-" + std::to_string(getpid()));
    std::filesystem::create_directories(root / "Windows");
    std::filesystem::copy_file(ceLibrary(), root / "Windows" / "Durvo.dll");
    control::resetDevice();
    control::setDeviceRoot(root);
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadLibraryW(u"Durvo.dll"), nullptr);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    EXPECT_NE(
        said.find("\\Windows\\Durvo.dll: the library is built for ARM (0x01C0); this device runs x86-64"),
        std::string::npos)
        << said;
    EXPECT_EQ(control::loadedLibraryCount(), 0);

    std::filesystem::copy_file(ceLibrary(), root / "Windows" / "Huge.dll");
    std::filesystem::resize_file(root / "Windows" / "Huge.dll", (16u << 20) + 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadLibraryW(u"Huge.dll"), nullptr);
    said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("\\Windows\\Huge.dll: the file is larger than 16 MB"), std::string::npos) << said;
    control::resetDevice();
    std::filesystem::remove_all(root);
}

}   // namespace
