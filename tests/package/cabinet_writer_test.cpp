// The cabinet writer: the checksum, the layout of header, folder, member list and data blocks,
// the time stamps and the format's limits.
#include "package_test_support.h"
#include "support/pattern_bytes.h"

#include <cabinet_writer.h>

#include <numeric>

namespace {

TEST(CabinetChecksum, WordsAreXoredAndTheTailIsPackedFirstByteHighest)
{
    struct Case {
        Bytes bytes;
        uint32_t seed;
        uint32_t expected;
        const char *why;
    };
    const Case cases[] = {
        {{}, 0x12345678, 0x12345678, "no bytes leave the seed"},
        {{0x01, 0x02, 0x03, 0x04}, 0, 0x04030201, "one little-endian word"},
        {{0x01, 0x02, 0x03, 0x04}, 0xFFFFFFFF, 0xFBFCFDFE, "XORed into the seed"},
        {{0x01, 0x02, 0x03, 0x04, 0x05}, 0, 0x04030201 ^ 0x05, "one byte left: the lowest byte"},
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, 0, 0x04030201 ^ 0x0506, "two left: the first one higher"},
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}, 0, 0x04030201 ^ 0x050607, "three left"},
        {{0x01, 0x02, 0x03, 0x04, 0x10, 0x20, 0x30, 0x40}, 0, 0x04030201 ^ 0x40302010, "two words"},
        {{0xAA, 0xBB, 0xCC}, 0, 0xAABBCC, "only a tail"},
    };
    for (const Case &c : cases) EXPECT_EQ(package::cabinetChecksum(c.bytes, c.seed), c.expected) << c.why;
}

TEST(CabinetTimestamp, DosDateAndTimeFields)
{
    struct Case {
        int year, month, day, hour, minute, second;
        uint16_t date, time;
    };
    const Case cases[] = {
        {1980, 1, 1, 0, 0, 0, 0x0021, 0x0000},        // the first day MS-DOS dates know
        {2005, 6, 13, 12, 0, 0, 0x32CD, 0x6000},      // the package's stamp
        {2107, 12, 31, 23, 59, 59, 0xFF9F, 0xBF7D},   // the last; seconds are kept in twos
    };
    for (const Case &c : cases) {
        package::DosTimestamp t = package::dosTimestamp(c.year, c.month, c.day, c.hour, c.minute, c.second);
        EXPECT_EQ(t.date, c.date) << c.year;
        EXPECT_EQ(t.time, c.time) << c.year;
    }
}

// Two members, the second spanning three blocks: every field of every structure.
TEST(CabinetLayout, HeaderFolderMembersAndBlocks)
{
    Bytes first = patternBytes(10, 1), second = patternBytes(70000, 2);
    Bytes cabinet;
    std::string error;
    ASSERT_TRUE(package::writeCabinet({{"a.000", first}, {"bb.001", second}},
                                      {0x1234, package::dosTimestamp(2005, 6, 13, 12, 0, 0)}, &cabinet,
                                      &error))
        << error;

    const size_t members = 36 + 8, data = members + (16 + 6) + (16 + 7);
    const size_t total = first.size() + second.size();
    const size_t blocks = (total + 32767) / 32768;
    ASSERT_EQ(blocks, 3u);
    ASSERT_EQ(cabinet.size(), data + blocks * 8 + total);

    // CFHEADER
    EXPECT_EQ(std::string(cabinet.begin(), cabinet.begin() + 4), "MSCF");
    EXPECT_EQ(u32At(cabinet, 4), 0u);
    EXPECT_EQ(u32At(cabinet, 8), cabinet.size());
    EXPECT_EQ(u32At(cabinet, 12), 0u);
    EXPECT_EQ(u32At(cabinet, 16), members);
    EXPECT_EQ(u32At(cabinet, 20), 0u);
    EXPECT_EQ(cabinet[24], 3);   // version 1.3: minor first
    EXPECT_EQ(cabinet[25], 1);
    EXPECT_EQ(u16At(cabinet, 26), 1u);
    EXPECT_EQ(u16At(cabinet, 28), 2u);
    EXPECT_EQ(u16At(cabinet, 30), 0u);   // no reserved areas, no neighbouring cabinets
    EXPECT_EQ(u16At(cabinet, 32), 0x1234u);
    EXPECT_EQ(u16At(cabinet, 34), 0u);
    // CFFOLDER
    EXPECT_EQ(u32At(cabinet, 36), data);
    EXPECT_EQ(u16At(cabinet, 40), blocks);
    EXPECT_EQ(u16At(cabinet, 42), 0u);   // no compression
    // CFFILE entries
    struct Member {
        size_t at;
        uint32_t size, offset;
        const char *name;
    };
    for (const Member &m : {Member{members, 10, 0, "a.000"}, Member{members + 22, 70000, 10, "bb.001"}}) {
        SCOPED_TRACE(m.name);
        EXPECT_EQ(u32At(cabinet, m.at), m.size);
        EXPECT_EQ(u32At(cabinet, m.at + 4), m.offset);
        EXPECT_EQ(u16At(cabinet, m.at + 8), 0u);
        EXPECT_EQ(u16At(cabinet, m.at + 10), 0x32CDu);
        EXPECT_EQ(u16At(cabinet, m.at + 12), 0x6000u);
        EXPECT_EQ(u16At(cabinet, m.at + 14), 0x20u);   // archive
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(&cabinet[m.at + 16])), m.name);
    }
    // CFDATA blocks: full blocks of 32768, the rest in the last; the data is the members back to back.
    Bytes joined = first;
    joined.insert(joined.end(), second.begin(), second.end());
    Bytes seen;
    size_t at = data;
    const size_t expectedSizes[] = {32768, 32768, total - 65536};
    for (size_t b = 0; b < blocks; ++b) {
        SCOPED_TRACE("block " + std::to_string(b));
        uint16_t stored = u16At(cabinet, at + 4);
        EXPECT_EQ(stored, expectedSizes[b]);
        EXPECT_EQ(u16At(cabinet, at + 6), stored);
        Bytes block(cabinet.begin() + at + 8, cabinet.begin() + at + 8 + stored);
        Bytes sizes(cabinet.begin() + at + 4, cabinet.begin() + at + 8);
        EXPECT_EQ(u32At(cabinet, at), package::cabinetChecksum(sizes, package::cabinetChecksum(block, 0)));
        seen.insert(seen.end(), block.begin(), block.end());
        at += 8 + stored;
    }
    EXPECT_EQ(at, cabinet.size());
    EXPECT_EQ(seen, joined);
}

TEST(CabinetLayout, MembersThatFillBlocksExactly)
{
    // 32768 bytes in two members: one block, no empty block after it.
    Bytes a = patternBytes(32000, 3), b = patternBytes(768, 4);
    Bytes cabinet;
    std::string error;
    ASSERT_TRUE(package::writeCabinet({{"a", a}, {"b", b}}, {}, &cabinet, &error)) << error;
    EXPECT_EQ(u16At(cabinet, 40), 1u);
    EXPECT_EQ(cabinet.size(), 36u + 8 + 18 + 18 + 8 + 32768);
}

TEST(CabinetLimits, NamesAndSizesOutsideTheFormatAreRefused)
{
    Bytes data = {1, 2, 3};
    struct Case {
        std::vector<package::CabinetMember> members;
        const char *expected;
        const char *why;
    };
    const Case cases[] = {
        {{}, "a cabinet holds 1 to 65535 members, not 0", "no members"},
        {{{"", data}}, "is not 1 to 255 printable ASCII characters", "an empty name"},
        {{{std::string(256, 'n'), data}},
         "is not 1 to 255 printable ASCII characters",
         "a name of 256 bytes"},
        {{{"caf\xe9.txt", data}}, "is not 1 to 255 printable ASCII characters", "a name that is not ASCII"},
        {{{"a\tb", data}}, "is not 1 to 255 printable ASCII characters", "a control character"},
    };
    for (const Case &c : cases) {
        Bytes cabinet;
        std::string error;
        EXPECT_FALSE(package::writeCabinet(c.members, {}, &cabinet, &error)) << c.why;
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.why << ": " << error;
    }
    // 255 bytes is the longest name.
    Bytes cabinet;
    std::string error;
    EXPECT_TRUE(package::writeCabinet({{std::string(255, 'n'), data}}, {}, &cabinet, &error)) << error;

    // One folder holds 65535 blocks of 32768 bytes.
    EXPECT_TRUE(package::fitsOneFolder(uint64_t{65535} * 32768));
    EXPECT_FALSE(package::fitsOneFolder(uint64_t{65535} * 32768 + 1));
}

}   // namespace
