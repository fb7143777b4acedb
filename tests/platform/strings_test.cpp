// Wide-string formatting and helpers with Win32 semantics, and device paths on the host.
#include "conformance.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr WCHAR kSentinelUnit = 0xBDBD;

constexpr WCHAR kWideTitle[] = TEXT("Pocket Word");

TEST(Wsprintf, FormatsTheWayWindowsDoes)
{
    struct Case {
        const char *proves;
        WString expected;
        int (*format)(LPWSTR);
    };
    const Case cases[] = {
        {"percent after a number", TEXT("87%"), [](LPWSTR b) { return wsprintfW(b, TEXT("%d%%"), 87); }},
        {"hours and zero-padded minutes", TEXT("12:05"),
         [](LPWSTR b) { return wsprintfW(b, TEXT("%d:%02d"), 12, 5); }},
        {"hours are not wrapped", TEXT("100:59"),
         [](LPWSTR b) { return wsprintfW(b, TEXT("%d:%02d"), 100, 59); }},
        {"the report's columns", TEXT("  3  7:05 Pocket Word"),
         [](LPWSTR b) { return wsprintfW(b, TEXT("%3d %2d:%02d %s"), 3, 7, 5, TEXT("Pocket Word")); }},
        {"negative numbers", TEXT("-42|-0042"),
         [](LPWSTR b) { return wsprintfW(b, TEXT("%d|%05d"), -42, -42); }},
        {"unsigned of a negative", TEXT("4294967295"), [](LPWSTR b) { return wsprintfW(b, TEXT("%u"), -1); }},
        {"long forms", TEXT("-7 7 ff"),
         [](LPWSTR b) { return wsprintfW(b, TEXT("%ld %lu %lx"), -7, 7u, 255u); }},
        {"hex with prefix and case", TEXT("0xbeef 0XBEEF BEEF"),
         [](LPWSTR b) { return wsprintfW(b, TEXT("%#x %#X %X"), 0xbeef, 0xbeef, 0xbeef); }},
        {"left alignment", TEXT("ab   |"), [](LPWSTR b) { return wsprintfW(b, TEXT("%-5s|"), TEXT("ab")); }},
        {"string precision cuts", TEXT("Pock"),
         [](LPWSTR b) { return wsprintfW(b, TEXT("%.4s"), TEXT("Pocket")); }},
        {"number precision pads", TEXT("007"), [](LPWSTR b) { return wsprintfW(b, TEXT("%.3d"), 7); }},
        {"%i is %d", TEXT("5"), [](LPWSTR b) { return wsprintfW(b, TEXT("%i"), 5); }},
        {"a wide character", TEXT("[x]"), [](LPWSTR b) { return wsprintfW(b, TEXT("[%c]"), TEXT('x')); }},
        {"%S and %hs take 8-bit text", TEXT("ab cd"),
         [](LPWSTR b) { return wsprintfW(b, TEXT("%S %hs"), "ab", "cd"); }},
        {"%ls takes wide text", TEXT("Pocket Word"),
         [](LPWSTR b) { return wsprintfW(b, TEXT("%ls"), kWideTitle); }},
        {"a null string", TEXT("(null)"),
         [](LPWSTR b) { return wsprintfW(b, TEXT("%s"), static_cast<LPCWSTR>(nullptr)); }},
        {"no floating point: the type letter is printed", TEXT("f"),
         [](LPWSTR b) { return wsprintfW(b, TEXT("%f")); }},
        {"64-bit numbers", TEXT("-9000000000"),
         [](LPWSTR b) { return wsprintfW(b, TEXT("%I64d"), -9'000'000'000LL); }},
        {"%I32 is 32 bits", TEXT("fffedcbb 67890A"),
         [](LPWSTR b) { return wsprintfW(b, TEXT("%I32x %I32X"), -0x12345, 0x67890a); }},
        {"a bare I is as wide as a pointer",
         TEXT("-12345 ") + WString(2 * sizeof(void *) - 5, TEXT('f')) + TEXT("edcbb"),
         [](LPWSTR b) { return wsprintfW(b, TEXT("%Id %Ix"), INT_PTR{-12345}, INT_PTR{-0x12345}); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        WCHAR buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), kSentinelUnit);
        EXPECT_EQ(c.format(buffer), static_cast<int>(c.expected.size()));
        EXPECT_EQ(WString(buffer), c.expected);
        EXPECT_EQ(buffer[c.expected.size() + 1], kSentinelUnit);
    }
}

TEST(Wsprintf, OutputStopsAt1024UnitsWithTheTerminator)
{
    WString long1023(1023, TEXT('a'));
    WString long2000(2000, TEXT('b'));
    struct Case {
        const char *proves;
        const WString *argument;
        const WCHAR *format;
        int expected;
    };
    const Case cases[] = {
        {"1023 units fit", &long1023, TEXT("%s"), 1023},
        {"one more is cut", &long1023, TEXT("%s!"), 1023},
        {"a long argument is cut", &long2000, TEXT("%s"), 1023},
        {"a long argument after text", &long2000, TEXT("xy%s"), 1023},
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

TEST(Wsprintf, EightBitVariant)
{
    char buffer[64];
    EXPECT_EQ(wsprintfA(buffer, "%s %d%%", "Setup", 50), 9);
    EXPECT_EQ(std::string(buffer), "Setup 50%");
    // %S and %ls take wide text, converted to the 8-bit code page.
    EXPECT_EQ(wsprintfA(buffer, "%S/%ls", TEXT("Größe"), TEXT("€")), 7);
    EXPECT_EQ(std::string(buffer),
              "Gr\xf6\xdf"
              "e/\x80");
}

TEST(WideStrings, LstrFunctions)
{
    struct CopyCase {
        const char *proves;
        int maxLength;
        WString expected;   // what dst holds; units after the terminator stay sentinels
    };
    const CopyCase copies[] = {
        {"room for all", 10, TEXT("Durvo")},
        {"exactly enough", 6, TEXT("Durvo")},
        {"one short: cut and terminated", 5, TEXT("Durv")},
        {"room for the terminator alone", 1, TEXT("")},
    };
    for (const auto &c : copies) {
        SCOPED_TRACE(c.proves);
        WCHAR dst[12];
        std::fill(std::begin(dst), std::end(dst), kSentinelUnit);
        EXPECT_EQ(lstrcpynW(dst, TEXT("Durvo"), c.maxLength), dst);
        EXPECT_EQ(WString(dst), c.expected);
        EXPECT_EQ(dst[c.expected.size() + 1], kSentinelUnit);
    }
    WCHAR untouched[2] = {kSentinelUnit, kSentinelUnit};
    lstrcpynW(untouched, TEXT("x"), 0);
    EXPECT_EQ(untouched[0], kSentinelUnit);

    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrlenW(TEXT("abc")), 3);
    EXPECT_EQ(lstrlenA("abcd"), 4);
    WCHAR joined[16];
    lstrcpyW(joined, TEXT("Durvo"));
    lstrcatW(joined, TEXT("Log"));
    EXPECT_EQ(WString(joined), TEXT("DurvoLog"));

    struct CompareCase {
        const char *proves;
        const WCHAR *a;
        const WCHAR *b;
        int ordinal;       // wcscmp
        int sensitive;     // lstrcmpW
        int insensitive;   // lstrcmpiW
    };
    const CompareCase compares[] = {
        {"equal", TEXT("PocketPC"), TEXT("PocketPC"), 0, 0, 0},
        {"case only: lower sorts first, ignored by lstrcmpi", TEXT("pocketpc"), TEXT("PocketPC"), 1, -1, 0},
        {"letters sort alphabetically, not by code", TEXT("apple"), TEXT("Banana"), 1, -1, -1},
        {"a prefix sorts first", TEXT("Pocket"), TEXT("PocketPC"), -1, -1, -1},
        {"digits before letters", TEXT("9"), TEXT("a"), -1, -1, -1},
        {"non-ASCII case", TEXT("ä"), TEXT("Ä"), 1, -1, 0},
    };
    for (const auto &c : compares) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(wcscmp(c.a, c.b), c.ordinal);
        EXPECT_EQ(lstrcmpW(c.a, c.b), c.sensitive);
        EXPECT_EQ(lstrcmpiW(c.a, c.b), c.insensitive);
    }
    EXPECT_EQ(wcsncmp(TEXT("Durvo1"), TEXT("Durvo2"), 5), 0);
    WCHAR padded[6];
    std::fill(std::begin(padded), std::end(padded), kSentinelUnit);
    wcsncpy(padded, TEXT("ab"), 5);
    EXPECT_EQ(padded[4], 0);               // wcsncpy fills the rest with zeros...
    EXPECT_EQ(padded[5], kSentinelUnit);   // ...up to n and no further
    EXPECT_EQ(wcslen(TEXT("Durvo")), 5u);
}

#if OUR_LAYER_ONLY
TEST(Utf8, ConversionsRoundTripAndReplaceBadInput)
{
    struct Case {
        const char *proves;
        std::string utf8;
        WString utf16;
    };
    const Case cases[] = {
        {"ASCII", "Durvo", TEXT("Durvo")},
        {"two- and three-byte forms",
         "Gr\xc3\xb6\xc3\x9f"
         "e \xe2\x82\xac",
         TEXT("Größe €")},
        {"a surrogate pair", "\xf0\x9f\x94\x8b", TEXT("\U0001F50B")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(control::fromUtf8(c.utf8), c.utf16);
        EXPECT_EQ(control::toUtf8(c.utf16), c.utf8);
    }
    EXPECT_EQ(control::fromUtf8("a\xff"
                                "b"),
              TEXT("a\uFFFDb"));
    EXPECT_EQ(control::fromUtf8("\xc0\xaf"), TEXT("\uFFFD\uFFFD"));   // overlong '/'
    EXPECT_EQ(control::toUtf8(WString(1, TEXT('\xD800'))), "\xef\xbf\xbd");
}

TEST(DevicePaths, MapOntoTheRootIgnoringCase)
{
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
        {"as written", TEXT("\\My Documents\\DurvoLog.txt"), root / "My Documents" / "DurvoLog.txt"},
        {"other letter case finds the same file", TEXT("\\MY DOCUMENTS\\durvolog.TXT"),
         root / "My Documents" / "DurvoLog.txt"},
        {"a new file keeps its spelling", TEXT("\\my documents\\New.txt"), root / "My Documents" / "New.txt"},
        {"below a missing folder", TEXT("\\Temp\\A\\b.txt"), root / "Temp" / "A" / "b.txt"},
        {"'..' cannot leave the root", TEXT("\\..\\..\\etc\\passwd"), root / "etc" / "passwd"},
        {"'.' and doubled separators", TEXT("\\.\\My Documents\\\\DurvoLog.txt"),
         root / "My Documents" / "DurvoLog.txt"},
        {"forward slashes separate too", TEXT("/my documents/durvolog.txt"),
         root / "My Documents" / "DurvoLog.txt"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(control::hostPathOf(c.device), c.expected);
    }
    control::setDeviceRoot({});
    EXPECT_EQ(control::hostPathOf(TEXT("\\x")), std::filesystem::path());
    std::filesystem::remove_all(root);
}

#endif

}   // namespace
