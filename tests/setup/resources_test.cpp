// What DurvoSetup carries: the six package files byte for byte under their resource names, and
// its two icons, each one 32x32 image in 16 colours.
#include "setup_fixture.h"

namespace setuptest {
namespace {

class SetupResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        control::resetDevice();
        control::setProgramResources(readBytes(kSetupRes));
    }
    void TearDown() override { control::resetDevice(); }

    static std::string resource(LPCSTR name, LPCSTR type)
    {
        HRSRC found = FindResourceA(nullptr, name, type);
        if (!found) return "(missing)";
        auto data = static_cast<const char *>(LockResource(LoadResource(nullptr, found)));
        return std::string(data, SizeofResource(nullptr, found));
    }
};

// The setup carries exactly the files of its package: a cabinet the package does not have (no
// library for that processor) is no resource either.
TEST_F(SetupResources, EachPackageFileByteForByteUnderItsName)
{
    for (const PackageFile &file : packageFiles) {
        SCOPED_TRACE(file.fileName);
        if (!fs::exists(kPackageDir / file.fileName)) {
            EXPECT_EQ(resource(file.resourceName, MAKEINTRESOURCEA(10)), "(missing)");
            continue;
        }
        std::string packaged = readText(kPackageDir / file.fileName);
        ASSERT_FALSE(packaged.empty());
        EXPECT_TRUE(resource(file.resourceName, MAKEINTRESOURCEA(10)) == packaged)
            << "the resource differs from the package's " << file.fileName;
    }
}

TEST_F(SetupResources, TwoIconsOfOne32x32ImageIn16Colours)
{
    for (const char *group : {"MAINICON", "SETUP_ICO"}) {
        SCOPED_TRACE(group);
        std::string dir = resource(group, MAKEINTRESOURCEA(14));
        ASSERT_EQ(dir.size(), 6u + 14u) << "one entry";
        auto byte = [&](size_t at) { return static_cast<unsigned char>(dir[at]); };
        EXPECT_EQ(byte(2) | byte(3) << 8, 1) << "an icon";
        EXPECT_EQ(byte(4) | byte(5) << 8, 1) << "one image";
        EXPECT_EQ(byte(6), 32);
        EXPECT_EQ(byte(7), 32);
        EXPECT_EQ(byte(8), 16) << "colours";
        EXPECT_EQ(byte(12) | byte(13) << 8, 4) << "bits per pixel";
        WORD imageId = static_cast<WORD>(byte(18) | byte(19) << 8);
        std::string image = resource(MAKEINTRESOURCEA(imageId), MAKEINTRESOURCEA(3));
        EXPECT_EQ(image.size(), static_cast<size_t>(byte(14) | byte(15) << 8 | byte(16) << 16));
    }
}

}   // namespace
}   // namespace setuptest
