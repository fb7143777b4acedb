// Cabinet readers that are not ours — cabextract (libmspack) and gcab (GNOME) — list, test and
// extract the built cabinets and the writer's multi-block cabinets.
#include "expected_setup_record.h"

#include <cabinet_writer.h>

namespace {

// The shipped ARM cabinet carries the Windows CE ARM library; the development device's cabinet
// of the development package carries the library built for this machine.
struct BuiltCabinet {
    const char *file;
    const char *recordMember;
    uint32_t processor;
    const char *library;
};
const BuiltCabinet kBuilt[] = {
    {"package/Durvo.arm.CAB", "DURVO~1.000", 2577, "ce-arm/Durvo.dll"},
    {"package-dev/Durvo.dev.CAB", "DURVO~4.000", 8664, "plugin/Durvo.dll"},
};

class ThirdPartyReaders : public ScratchFolder {
protected:
    fs::path built(const char *file) const { return buildDir() / file; }

    // The members each reader lists, as "name size" lines.
    void expectListed(const fs::path &cabinet, const std::vector<std::pair<std::string, size_t>> &members)
    {
        CommandResult cab = runCommand("cabextract -l '" + cabinet.string() + "'", dir_);
        EXPECT_EQ(cab.status, 0) << cab.out;
        CommandResult gcab = runCommand("gcab -l -v '" + cabinet.string() + "'", dir_);
        EXPECT_EQ(gcab.status, 0) << gcab.out;
        for (const auto &[name, size] : members) {
            // cabextract: "  size | date time | name"; gcab -v: "name size date time attributes"
            EXPECT_NE(cab.out.find(std::to_string(size) + " | "), std::string::npos) << cab.out;
            EXPECT_NE(cab.out.find("| " + name + "\n"), std::string::npos) << cab.out;
            EXPECT_NE(gcab.out.find(name + " " + std::to_string(size) + " "), std::string::npos) << gcab.out;
        }
        EXPECT_NE(cab.out.find("All done, no errors."), std::string::npos) << cab.out;
    }

    // Extracts with both readers; returns each member's bytes as cabextract and gcab give them.
    void extractBoth(const fs::path &cabinet, const std::string &member, Bytes *byCabextract, Bytes *byGcab)
    {
        fs::create_directories(dir_ / "c");
        fs::create_directories(dir_ / "g");
        CommandResult cab = runCommand("cabextract -q -d c '" + cabinet.string() + "'", dir_);
        EXPECT_EQ(cab.status, 0) << cab.out;
        CommandResult gcab = runCommand("gcab -x -C g '" + cabinet.string() + "'", dir_);
        EXPECT_EQ(gcab.status, 0) << gcab.out;
        // cabextract writes names in lower case unless told otherwise; find either spelling.
        fs::path c = dir_ / "c" / member;
        if (!fs::exists(c)) {
            std::string lower = member;
            for (char &ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            c = dir_ / "c" / lower;
        }
        EXPECT_TRUE(fs::exists(c)) << c;
        EXPECT_TRUE(fs::exists(dir_ / "g" / member)) << member;
        *byCabextract = readBytes(c);
        *byGcab = readBytes(dir_ / "g" / member);
    }
};

TEST_F(ThirdPartyReaders, ListEveryBuiltCabinetWithItsTwoMembers)
{
    for (const BuiltCabinet &b : kBuilt) {
        SCOPED_TRACE(b.file);
        size_t librarySize = readBytes(buildDir() / b.library).size();
        ASSERT_GT(librarySize, 0u);
        expectListed(built(b.file), {{b.recordMember, 410}, {"00Durvo.001", librarySize}});
    }
}

TEST_F(ThirdPartyReaders, ExtractTheSetupRecordAndTheLibraryByteForByte)
{
    for (const BuiltCabinet &b : kBuilt) {
        SCOPED_TRACE(b.file);
        Bytes lib = readBytes(buildDir() / b.library);
        fs::remove_all(dir_ / "c");
        fs::remove_all(dir_ / "g");
        Bytes recordC, recordG, libraryC, libraryG;
        extractBoth(built(b.file), b.recordMember, &recordC, &recordG);
        extractBoth(built(b.file), "00Durvo.001", &libraryC, &libraryG);
        expectDurvoRecord(recordC, b.processor);
        EXPECT_EQ(recordG, recordC);
        EXPECT_TRUE(libraryC == lib) << "cabextract's 00Durvo.001 differs from " << b.library;
        EXPECT_TRUE(libraryG == lib) << "gcab's 00Durvo.001 differs from " << b.library;
    }
}

TEST_F(ThirdPartyReaders, ChecksumsPassAndAFlippedDataByteIsCaught)
{
    Bytes cabinet = readBytes(built("package/Durvo.arm.CAB"));
    writeBytes(dir_ / "good.cab", cabinet);
    CommandResult good = runCommand("cabextract -t good.cab", dir_);
    EXPECT_EQ(good.status, 0) << good.out;
    EXPECT_NE(good.out.find("All done, no errors."), std::string::npos) << good.out;

    // One byte of the first block's data, well past the setup record.
    size_t firstBlock = u32At(cabinet, 36);
    cabinet.at(firstBlock + 8 + 1000) ^= 0x01;
    writeBytes(dir_ / "flipped.cab", cabinet);
    CommandResult bad = runCommand("cabextract -t flipped.cab", dir_);
    EXPECT_NE(bad.status, 0) << bad.out;
    EXPECT_NE(bad.out.find("checksum error"), std::string::npos) << bad.out;
    CommandResult badGcab = runCommand("mkdir -p g && gcab -x -C g flipped.cab", dir_);
    EXPECT_NE(badGcab.status, 0) << badGcab.out;
    EXPECT_NE(badGcab.out.find("checksum"), std::string::npos) << badGcab.out;
}

TEST_F(ThirdPartyReaders, AMemberOverOneBlockSpansSeveralBlocks)
{
    // Sizes around the block size: the largest one block holds, one more, several blocks.
    for (size_t size : {size_t{32768 - 410}, size_t{32768 - 409}, size_t{200000}}) {
        SCOPED_TRACE(size);
        fs::remove_all(dir_ / "c");
        fs::remove_all(dir_ / "g");
        Bytes record = readBytes(built("package/Durvo.arm.CAB"));   // any bytes serve as the first member
        record.resize(410);
        Bytes big(size);
        for (size_t i = 0; i < size; ++i) big[i] = static_cast<uint8_t>(i * 7 + i / 251);
        Bytes cabinet;
        std::string error;
        ASSERT_TRUE(
            package::writeCabinet({{"DURVO~1.000", record}, {"00Durvo.001", big}}, {}, &cabinet, &error))
            << error;
        EXPECT_EQ(u16At(cabinet, 40), (410 + size + 32767) / 32768);
        fs::path file = dir_ / "big.cab";
        writeBytes(file, cabinet);
        expectListed(file, {{"DURVO~1.000", 410}, {"00Durvo.001", size}});
        CommandResult test = runCommand("cabextract -t big.cab", dir_);
        EXPECT_EQ(test.status, 0) << test.out;
        Bytes byCabextract, byGcab;
        extractBoth(file, "00Durvo.001", &byCabextract, &byGcab);
        EXPECT_TRUE(byCabextract == big) << "cabextract's member differs";
        EXPECT_TRUE(byGcab == big) << "gcab's member differs";
    }
}

}   // namespace
