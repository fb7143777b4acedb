// The setup record writer: the package's record field by field for each processor, and the
// layout rules on records of other shapes.
#include "expected_setup_record.h"

#include <setup_record.h>

namespace {

Bytes layOut(const package::SetupRecord &record)
{
    Bytes bytes;
    std::string error;
    EXPECT_TRUE(package::layOutSetupRecord(record, &bytes, &error)) << error;
    return bytes;
}

constexpr uint32_t kProcessors[] = {2577, 4000, 10003};   // StrongARM, MIPS R4000, Hitachi SH3

TEST(SetupRecordLayout, EachProcessorsRecordMatchesTheTableByteForByte)
{
    for (uint32_t processor : kProcessors) {
        SCOPED_TRACE("processor " + std::to_string(processor));
        expectDurvoRecord(layOut(package::durvoSetupRecord(processor)), processor);
    }
}

TEST(SetupRecordLayout, TheThreeRecordsDifferOnlyInTheProcessorField)
{
    Bytes arm = layOut(package::durvoSetupRecord(kProcessors[0]));
    for (uint32_t processor : {kProcessors[1], kProcessors[2]}) {
        Bytes other = layOut(package::durvoSetupRecord(processor));
        ASSERT_EQ(other.size(), arm.size());
        std::vector<size_t> differing;
        for (size_t i = 0; i < arm.size(); ++i)
            if (arm[i] != other[i]) differing.push_back(i);
        ASSERT_FALSE(differing.empty());
        EXPECT_GE(differing.front(), 20u) << processor;
        EXPECT_LT(differing.back(), 24u) << processor;
    }
}

TEST(SetupRecordLayout, SectionsFollowEachOtherWithoutFiller)
{
    // No entries at all: every section starts where the header strings end, and the shortcut
    // section's offset is the record's length.
    package::SetupRecord empty;
    empty.appName = "A";
    empty.provider = "B";
    Bytes bytes = layOut(empty);
    const size_t stringsEnd = 100 + 2 + 2 + 1;   // "A\0", "B\0", the empty platform list's NUL
    ASSERT_EQ(bytes.size(), stringsEnd);
    for (size_t offsetField : {60u, 64u, 68u, 72u, 76u, 80u})
        EXPECT_EQ(u32At(bytes, offsetField), stringsEnd) << offsetField;
    EXPECT_EQ(u32At(bytes, 8), stringsEnd);
    EXPECT_EQ(u16At(bytes, 94), 1u);   // the list of unsupported platforms is just its closing NUL

    // A number value and a string value, with the lengths counting name, NUL and data.
    package::SetupRecord r = empty;
    r.strings = {{1, "K"}};
    r.keys = {{1, 3, {1}}};
    r.values = {{1, 1, 0x00010001, "N", package::numberData(0x01020304)},
                {2, 1, 0x00000000, "S", package::stringData("xy")}};
    bytes = layOut(r);
    size_t values = u32At(bytes, 76);
    EXPECT_EQ(u16At(bytes, values + 10), 2u + 4u);   // "N\0" + 4 bytes
    EXPECT_EQ(u32At(bytes, values + 14), 0x01020304u);
    EXPECT_EQ(u16At(bytes, values + 18 + 10), 2u + 3u);   // "S\0" + "xy\0"
    EXPECT_EQ(u32At(bytes, 80), bytes.size());
}

TEST(SetupRecordLayout, LengthsBeyondTheirFieldsAreRefused)
{
    struct Case {
        const char *what;
        void (*spoil)(package::SetupRecord &);
        const char *expected;
    };
    const Case cases[] = {
        // a 16-bit string length cannot hold 70000 bytes
        {"long string", [](package::SetupRecord &r) { r.strings[2].text.assign(70000, 'x'); },
         "the length of string 3 is 70001"},
        {"long value", [](package::SetupRecord &r) { r.values[0].data.assign(70000, 0); },
         "the data length of registry value 1 is 70006"},
        // header strings must end within 64 KB: their offsets are 16-bit
        {"long provider", [](package::SetupRecord &r) { r.provider.assign(70000, 'p'); },
         "the end of the header strings is 70120"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        package::SetupRecord r = package::durvoSetupRecord(2577);
        c.spoil(r);
        Bytes bytes;
        std::string error;
        EXPECT_FALSE(package::layOutSetupRecord(r, &bytes, &error));
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

}   // namespace
