// Wide-string formatting and helpers with Win32 semantics, and device paths on the host.
#include <windows.h>

#include "control.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr WCHAR kSentinelUnit = 0xBDBD;

constexpr WCHAR kWideTitle[] = u"Pocket Word";

TEST(Wsprintf, FormatsTheWayWindowsDoes) {
    struct Case {
        const char *proves;
        std::u16string expected;
        int (*format)(LPWSTR);
    };
    const Case cases[] = {
        {"percent after a number", u"87%", [](LPWSTR b) { return wsprintfW(b, u"%d%%", 87); }},
        {"hours and zero-padded minutes", u"12:05", [](LPWSTR b) { return wsprintfW(b, u"%d:%02d", 12, 5); }},
        {"hours are not wrapped", u"100:59", [](LPWSTR b) { return wsprintfW(b, u"%d:%02d", 100, 59); }},
        {"the report's columns", u"  3  7:05 Pocket Word",
         [](LPWSTR b) { return wsprintfW(b, u"%3d %2d:%02d %s", 3, 7, 5, u"Pocket Word"); }},
        {"negative numbers", u"-42|-0042", [](LPWSTR b) { return wsprintfW(b, u"%d|%05d", -42, -42); }},
        {"unsigned of a negative", u"4294967295", [](LPWSTR b) { return wsprintfW(b, u"%u", -1); }},
        {"long forms", u"-7 7 ff", [](LPWSTR b) { return wsprintfW(b, u"%ld %lu %lx", -7, 7u, 255u); }},
        {"hex with prefix and case", u"0xbeef 0XBEEF BEEF",
         [](LPWSTR b) { return wsprintfW(b, u"%#x %#X %X", 0xbeef, 0xbeef, 0xbeef); }},
        {"left alignment", u"ab   |", [](LPWSTR b) { return wsprintfW(b, u"%-5s|", u"ab"); }},
        {"string precision cuts", u"Pock", [](LPWSTR b) { return wsprintfW(b, u"%.4s", u"Pocket"); }},
        {"number precision pads", u"007", [](LPWSTR b) { return wsprintfW(b, u"%.3d", 7); }},
        {"%i is %d", u"5", [](LPWSTR b) { return wsprintfW(b, u"%i", 5); }},
        {"a wide character", u"[x]", [](LPWSTR b) { return wsprintfW(b, u"[%c]", u'x'); }},
        {"%S and %hs take 8-bit text", u"ab cd", [](LPWSTR b) { return wsprintfW(b, u"%S %hs", "ab", "cd"); }},
        {"%ls takes wide text", u"Pocket Word", [](LPWSTR b) { return wsprintfW(b, u"%ls", kWideTitle); }},
        {"a null string", u"(null)", [](LPWSTR b) { return wsprintfW(b, u"%s", static_cast<LPCWSTR>(nullptr)); }},
        {"no floating point: the type letter is printed", u"f", [](LPWSTR b) { return wsprintfW(b, u"%f"); }},
        {"64-bit numbers", u"-9000000000", [](LPWSTR b) { return wsprintfW(b, u"%I64d", -9'000'000'000LL); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        WCHAR buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), kSentinelUnit);
        EXPECT_EQ(c.format(buffer), static_cast<int>(c.expected.size()));
        EXPECT_EQ(std::u16string(buffer), c.expected);
        EXPECT_EQ(buffer[c.expected.size() + 1], kSentinelUnit);
    }
}

TEST(Wsprintf, OutputStopsAt1024UnitsWithTheTerminator) {
    std::u16string long1023(1023, u'a');
    std::u16string long2000(2000, u'b');
    struct Case {
        const char *proves;
        const std::u16string *argument;
        const WCHAR *format;
        int expected;
    };
    const Case cases[] = {
        {"1023 units fit", &long1023, u"%s", 1023},
        {"one more is cut", &long1023, u"%s!", 1023},
        {"a long argument is cut", &long2000, u"%s", 1023},
        {"a long argument after text", &long2000, u"xy%s", 1023},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        std::vector<WCHAR> buffer(1100, kSentinelUnit);
        EXPECT_EQ(wsprintfW(buffer.data(), c.format, c.argument->c_str()), c.expected);
        EXPECT_EQ(buffer[1023], 0);
        EXPECT_EQ(buffer[1024], kSentinelUnit);
    }
    char narrow[1100];
    std::memset(narrow, 0x7f, sizeof narrow);
    std::string longNarrow(3000, 'n');
    EXPECT_EQ(wsprintfA(narrow, "%s", longNarrow.c_str()), 1023);
    EXPECT_EQ(narrow[1023], 0);
    EXPECT_EQ(narrow[1024], 0x7f);
}

TEST(Wsprintf, EightBitVariant) {
    char buffer[64];
    EXPECT_EQ(wsprintfA(buffer, "%s %d%%", "Setup", 50), 9);
    EXPECT_EQ(std::string(buffer), "Setup 50%");
    // %S and %ls take wide text, converted to the 8-bit code page.
    EXPECT_EQ(wsprintfA(buffer, "%S/%ls", u"Größe", u"€"), 7);
    EXPECT_EQ(std::string(buffer), "Gr\xf6\xdf" "e/\x80");
}

TEST(WideStrings, LstrFunctions) {
    struct CopyCase {
        const char *proves;
        int maxLength;
        std::u16string expected;   // what dst holds; units after the terminator stay sentinels
    };
    const CopyCase copies[] = {
        {"room for all", 10, u"Durvo"},
        {"exactly enough", 6, u"Durvo"},
        {"one short: cut and terminated", 5, u"Durv"},
        {"room for the terminator alone", 1, u""},
    };
    for (const auto &c : copies) {
        SCOPED_TRACE(c.proves);
        WCHAR dst[12];
        std::fill(std::begin(dst), std::end(dst), kSentinelUnit);
        EXPECT_EQ(lstrcpynW(dst, u"Durvo", c.maxLength), dst);
        EXPECT_EQ(std::u16string(dst), c.expected);
        EXPECT_EQ(dst[c.expected.size() + 1], kSentinelUnit);
    }
    WCHAR untouched[2] = {kSentinelUnit, kSentinelUnit};
    lstrcpynW(untouched, u"x", 0);
    EXPECT_EQ(untouched[0], kSentinelUnit);

    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrlenW(u"abc"), 3);
    EXPECT_EQ(lstrlenA("abcd"), 4);
    WCHAR joined[16];
    lstrcpyW(joined, u"Durvo");
    lstrcatW(joined, u"Log");
    EXPECT_EQ(std::u16string(joined), u"DurvoLog");

    struct CompareCase {
        const char *proves;
        const WCHAR *a;
        const WCHAR *b;
        int ordinal;     // wcscmp
        int sensitive;   // lstrcmpW
        int insensitive; // lstrcmpiW
    };
    const CompareCase compares[] = {
        {"equal", u"PocketPC", u"PocketPC", 0, 0, 0},
        {"case only: lower sorts first, ignored by lstrcmpi", u"pocketpc", u"PocketPC", 1, -1, 0},
        {"letters sort alphabetically, not by code", u"apple", u"Banana", 1, -1, -1},
        {"a prefix sorts first", u"Pocket", u"PocketPC", -1, -1, -1},
        {"digits before letters", u"9", u"a", -1, -1, -1},
        {"non-ASCII case", u"ä", u"Ä", 1, -1, 0},
    };
    for (const auto &c : compares) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(wcscmp(c.a, c.b), c.ordinal);
        EXPECT_EQ(lstrcmpW(c.a, c.b), c.sensitive);
        EXPECT_EQ(lstrcmpiW(c.a, c.b), c.insensitive);
    }
    EXPECT_EQ(wcsncmp(u"Durvo1", u"Durvo2", 5), 0);
    WCHAR padded[6];
    std::fill(std::begin(padded), std::end(padded), kSentinelUnit);
    wcsncpy(padded, u"ab", 5);
    EXPECT_EQ(padded[4], 0);   // wcsncpy fills the rest with zeros...
    EXPECT_EQ(padded[5], kSentinelUnit);   // ...up to n and no further
    EXPECT_EQ(wcslen(u"Durvo"), 5u);
}

TEST(Utf8, ConversionsRoundTripAndReplaceBadInput) {
    struct Case {
        const char *proves;
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"ASCII", "Durvo", u"Durvo"},
        {"two- and three-byte forms", "Gr\xc3\xb6\xc3\x9f" "e \xe2\x82\xac", u"Größe €"},
        {"a surrogate pair", "\xf0\x9f\x94\x8b", u"\U0001F50B"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(control::fromUtf8(c.utf8), c.utf16);
        EXPECT_EQ(control::toUtf8(c.utf16), c.utf8);
    }
    EXPECT_EQ(control::fromUtf8("a\xff" "b"), u"a\uFFFDb");
    EXPECT_EQ(control::fromUtf8("\xc0\xaf"), u"\uFFFD\uFFFD");   // overlong '/'
    EXPECT_EQ(control::toUtf8(std::u16string(1, u'\xD800')), "\xef\xbf\xbd");
}

TEST(DevicePaths, MapOntoTheRootIgnoringCase) {
    const auto root = std::filesystem::path(::testing::TempDir()) / "device_paths_test";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "My Documents");
    std::ofstream(root / "My Documents" / "DurvoLog.txt") << "x";
    control::setDeviceRoot(root);
    struct Case {
        const char *proves;
        const WCHAR *device;
        std::filesystem::path expected;
    };
    const Case cases[] = {
        {"as written", u"\\My Documents\\DurvoLog.txt", root / "My Documents" / "DurvoLog.txt"},
        {"other letter case finds the same file", u"\\MY DOCUMENTS\\durvolog.TXT", root / "My Documents" / "DurvoLog.txt"},
        {"a new file keeps its spelling", u"\\my documents\\New.txt", root / "My Documents" / "New.txt"},
        {"below a missing folder", u"\\Temp\\A\\b.txt", root / "Temp" / "A" / "b.txt"},
        {"'..' cannot leave the root", u"\\..\\..\\etc\\passwd", root / "etc" / "passwd"},
        {"'.' and doubled separators", u"\\.\\My Documents\\\\DurvoLog.txt", root / "My Documents" / "DurvoLog.txt"},
        {"forward slashes separate too", u"/my documents/durvolog.txt", root / "My Documents" / "DurvoLog.txt"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(control::hostPathOf(c.device), c.expected);
    }
    control::setDeviceRoot({});
    EXPECT_EQ(control::hostPathOf(u"\\x"), std::filesystem::path());
    std::filesystem::remove_all(root);
}

}  // namespace
