// The setup record of the Durvo package as a table of fields, written from the published
// layout rather than from our writer: every byte of the 410 belongs to exactly one field.
#ifndef DURVO_TESTS_EXPECTED_SETUP_RECORD_H
#define DURVO_TESTS_EXPECTED_SETUP_RECORD_H

#include "package_test_support.h"

#include <string_view>
#include <vector>

struct RecordField {
    size_t offset;
    size_t size;   // 1, 2 or 4 for a number; the text's bytes with its NUL for a text
    uint32_t number;
    std::string_view text;   // the bytes of a text field, NULs included
    const char *what;
};

constexpr uint32_t kProcessorField = 0xFFFFFFFF;   // stands for the processor of the record

inline std::vector<RecordField> expectedRecordFields()
{
    using namespace std::string_view_literals;
    auto n = [](size_t at, size_t size, uint32_t value, const char *what) {
        return RecordField{at, size, value, {}, what};
    };
    auto t = [](size_t at, std::string_view text, const char *what) {
        return RecordField{at, text.size(), 0, text, what};
    };
    return {
        // Header.
        t(0, "MSCE"sv, "signature"),
        n(4, 4, 0, "reserved"),
        n(8, 4, 410, "record length"),
        n(12, 4, 0, "reserved"),
        n(16, 4, 1, "format"),
        n(20, 4, kProcessorField, "processor"),
        n(24, 4, 3, "lowest CE major"),
        n(28, 4, 0, "lowest CE minor"),
        n(32, 4, 10000, "highest CE major"),
        n(36, 4, 0, "highest CE minor"),
        n(40, 4, 0, "lowest build"),
        n(44, 4, 0xE0000000, "highest build"),
        n(48, 2, 7, "strings"),
        n(50, 2, 1, "directories"),
        n(52, 2, 1, "files"),
        n(54, 2, 1, "registry keys"),
        n(56, 2, 6, "registry values"),
        n(58, 2, 0, "shortcuts"),
        n(60, 4, 127, "string section"),
        n(64, 4, 204, "directory section"),
        n(68, 4, 212, "file section"),
        n(72, 4, 234, "registry key section"),
        n(76, 4, 254, "registry value section"),
        n(80, 4, 410, "shortcut section"),
        n(84, 2, 100, "application name offset"),
        n(86, 2, 6, "application name length"),
        n(88, 2, 106, "provider offset"),
        n(90, 2, 8, "provider length"),
        n(92, 2, 114, "unsupported platforms offset"),
        n(94, 2, 13, "unsupported platforms length"),
        n(96, 4, 0, "reserved"),
        // Header strings.
        t(100, "Durvo\0"sv, "application name"),
        t(106, "Norvane\0"sv, "provider"),
        t(114, "HPC\0HPC PRO\0\0"sv, "unsupported platforms"),
        // Strings: id, length, text.
        n(127, 2, 1, "string 1 id"),
        n(129, 2, 6, "string 1 length"),
        t(131, "%CE2%\0"sv, "string 1"),
        n(137, 2, 2, "string 2 id"),
        n(139, 2, 6, "string 2 length"),
        t(141, "%CE2%\0"sv, "string 2"),
        n(147, 2, 3, "string 3 id"),
        n(149, 2, 9, "string 3 length"),
        t(151, "Software\0"sv, "string 3"),
        n(160, 2, 4, "string 4 id"),
        n(162, 2, 10, "string 4 length"),
        t(164, "Microsoft\0"sv, "string 4"),
        n(174, 2, 5, "string 5 id"),
        n(176, 2, 6, "string 5 length"),
        t(178, "Today\0"sv, "string 5"),
        n(184, 2, 6, "string 6 id"),
        n(186, 2, 6, "string 6 length"),
        t(188, "Items\0"sv, "string 6"),
        n(194, 2, 7, "string 7 id"),
        n(196, 2, 6, "string 7 length"),
        t(198, "Durvo\0"sv, "string 7"),
        // Directory 2: [2, 0].
        n(204, 2, 2, "directory id"),
        n(206, 2, 4, "directory length"),
        n(208, 2, 2, "directory string"),
        n(210, 2, 0, "directory end"),
        // File 1.
        n(212, 2, 1, "file id"),
        n(214, 2, 2, "file directory"),
        n(216, 2, 1, "file member"),
        n(218, 4, 0x40000003, "file copy flags"),
        n(222, 2, 10, "file name length"),
        t(224, "Durvo.DLL\0"sv, "file name"),
        // Registry key 1: HKLM, [3, 4, 5, 6, 7, 0].
        n(234, 2, 1, "key id"),
        n(236, 2, 3, "key root"),
        n(238, 2, 0, "key reserved"),
        n(240, 2, 12, "key length"),
        n(242, 2, 3, "key string 1"),
        n(244, 2, 4, "key string 2"),
        n(246, 2, 5, "key string 3"),
        n(248, 2, 6, "key string 4"),
        n(250, 2, 7, "key string 5"),
        n(252, 2, 0, "key end"),
        // Registry values: id, key, reserved, kind, length, name, data.
        n(254, 2, 1, "Flags id"),
        n(256, 2, 1, "Flags key"),
        n(258, 2, 0, "Flags reserved"),
        n(260, 4, 0x00010001, "Flags kind"),
        n(264, 2, 10, "Flags length"),
        t(266, "Flags\0"sv, "Flags name"),
        n(272, 4, 0, "Flags data"),
        n(276, 2, 2, "Enabled id"),
        n(278, 2, 1, "Enabled key"),
        n(280, 2, 0, "Enabled reserved"),
        n(282, 4, 0x00010001, "Enabled kind"),
        n(286, 2, 12, "Enabled length"),
        t(288, "Enabled\0"sv, "Enabled name"),
        n(296, 4, 1, "Enabled data"),
        n(300, 2, 3, "Options id"),
        n(302, 2, 1, "Options key"),
        n(304, 2, 0, "Options reserved"),
        n(306, 4, 0x00010001, "Options kind"),
        n(310, 2, 12, "Options length"),
        t(312, "Options\0"sv, "Options name"),
        n(320, 4, 1, "Options data"),
        n(324, 2, 4, "Type id"),
        n(326, 2, 1, "Type key"),
        n(328, 2, 0, "Type reserved"),
        n(330, 4, 0x00010001, "Type kind"),
        n(334, 2, 9, "Type length"),
        t(336, "Type\0"sv, "Type name"),
        n(341, 4, 4, "Type data"),
        n(345, 2, 5, "DLL id"),
        n(347, 2, 1, "DLL key"),
        n(349, 2, 0, "DLL reserved"),
        n(351, 4, 0x00000002, "DLL kind"),
        n(355, 2, 23, "DLL length"),
        t(357, "DLL\0"sv, "DLL name"),
        t(361, "\\Windows\\Durvo.DLL\0"sv, "DLL data"),
        n(380, 2, 6, "Selectability id"),
        n(382, 2, 1, "Selectability key"),
        n(384, 2, 0, "Selectability reserved"),
        n(386, 4, 0x00010001, "Selectability kind"),
        n(390, 2, 18, "Selectability length"),
        t(392, "Selectability\0"sv, "Selectability name"),
        n(406, 4, 1, "Selectability data"),
    };
}

// Compares a record with the table, field by field, and checks that the fields cover it whole.
inline void expectDurvoRecord(const Bytes &record, uint32_t processor)
{
    ASSERT_EQ(record.size(), 410u);
    size_t next = 0;
    for (const RecordField &f : expectedRecordFields()) {
        SCOPED_TRACE(std::string(f.what) + " at " + std::to_string(f.offset));
        EXPECT_EQ(f.offset, next) << "the table leaves a gap or overlaps";
        next = f.offset + f.size;
        if (!f.text.empty()) {
            EXPECT_EQ(std::string(record.begin() + f.offset, record.begin() + f.offset + f.size),
                      std::string(f.text));
        } else {
            uint32_t expected = f.number == kProcessorField ? processor : f.number;
            uint32_t actual = f.size == 4 ? u32At(record, f.offset)
                : f.size == 2             ? u16At(record, f.offset)
                                          : record[f.offset];
            EXPECT_EQ(actual, expected);
        }
    }
    EXPECT_EQ(next, record.size());
}

#endif
