// The shipped CE ARM Durvo.dll on the ARM device: mapped at another base than its preferred one,
// relocated, bound, its DllMain, exports and resources served. (What it does when it runs, the
// differential test compares with the native device.)
#include "pe_image.h"

#include <control.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>
#include <cstring>

namespace {

TEST(CeLibrary, TheShippedLibraryLoadsAtAnotherBaseWithItsExportsAndResources)
{
    std::ifstream in(DURVO_CE_ARM_DLL, std::ios::binary);
    ASSERT_TRUE(in) << DURVO_CE_ARM_DLL;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    pe::Image image;
    std::string error;
    ASSERT_TRUE(pe::readImage(bytes, &image, &error)) << error;

    auto root = std::filesystem::temp_directory_path() / ("ce-library-" + std::to_string(getpid()));
    std::filesystem::create_directories(root / "Windows");
    std::filesystem::copy_file(DURVO_CE_ARM_DLL, root / "Windows" / "Durvo.dll");
    control::resetDevice();
    control::setDeviceRoot(root);

    HMODULE module = LoadLibraryW(u"Durvo.dll");
    ASSERT_NE(module, nullptr) << GetLastError();
    auto initialize = reinterpret_cast<uintptr_t>(GetProcAddressW(module, MAKEINTRESOURCEW(240)));
    auto options = reinterpret_cast<uintptr_t>(GetProcAddressW(module, MAKEINTRESOURCEW(241)));
    ASSERT_NE(initialize, 0u);
    ASSERT_NE(options, 0u);
    // The exports keep their offsets from each other, and lie away from the preferred base.
    uint32_t ordinalBase = image.exportOrdinalBase;
    EXPECT_EQ(options - initialize,
              image.exportRvas[241 - ordinalBase] - image.exportRvas[240 - ordinalBase]);
    uintptr_t base = initialize - image.exportRvas[240 - ordinalBase];
    EXPECT_NE(base, image.preferredBase);
    // Every absolute address now points into the mapped image.
    for (uint32_t rva : image.fixups) {
        uint32_t value;
        std::memcpy(&value, reinterpret_cast<const void *>(base + rva), 4);
        EXPECT_GE(value, base);
        EXPECT_LT(value, base + image.mapped.size()) << "fixup at " << rva;
    }
    EXPECT_EQ(GetProcAddressW(module, MAKEINTRESOURCEW(239)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    HRSRC dialog = FindResourceW(module, MAKEINTRESOURCEW(500), RT_DIALOG);
    EXPECT_NE(dialog, nullptr);
    EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(101), RT_GROUP_ICON), nullptr);
    EXPECT_NE(FindResourceW(module, u"HI_RES_AWARE", u"CEUX"), nullptr);

    EXPECT_EQ(control::loadedLibraryCount(), 1);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(control::loadedLibraryCount(), 0);
    control::resetDevice();
    std::filesystem::remove_all(root);
}

}   // namespace
