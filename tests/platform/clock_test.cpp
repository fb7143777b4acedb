// Simulated time: file-time conversions against known values, the clock's carries and the tick
// count's wrap, and the user locale's date and time texts with their buffer rules.
#include "conformance.h"
#include "support/systemtime.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class Clock : public ::testing::Test {
protected:
    void SetUp() override { conformance::freshStart(); }
};

ULONGLONG units(const FILETIME &ft)
{
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

TEST_F(Clock, SystemTimeToFileTimeKnownValues)
{
    struct Case {
        const char *proves;
        SYSTEMTIME time;
        ULONGLONG expected;
    };
    const Case cases[] = {
        {"the epoch is 0", at(1601, 1, 1, 0, 0, 0), 0},
        {"one millisecond is 10,000 units", at(1601, 1, 1, 0, 0, 0, 1), 10'000},
        // 1970-01-01 is 11,644,473,600 s after the epoch (the Unix offset every Win32 text quotes).
        {"the Unix epoch", at(1970, 1, 1, 0, 0, 0), 116'444'736'000'000'000ULL},
        // 2005-06-10 15:15:00 is Unix time 1,118,416,500 (date -u -d ... +%s);
        // (1,118,416,500 + 11,644,473,600) x 10^7.
        {"the device's own day", at(2005, 6, 10, 15, 15, 0), 127'628'901'000'000'000ULL},
        {"a leap day", at(2000, 2, 29, 0, 0, 0), 125'962'560'000'000'000ULL},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        FILETIME ft{0xdeadbeef, 0xdeadbeef};
        ASSERT_EQ(SystemTimeToFileTime(&c.time, &ft), TRUE);
        EXPECT_EQ(units(ft), c.expected);
        SYSTEMTIME back;
        ASSERT_EQ(FileTimeToSystemTime(&ft, &back), TRUE);
        EXPECT_EQ(back.wYear, c.time.wYear);
        EXPECT_EQ(back.wMonth, c.time.wMonth);
        EXPECT_EQ(back.wDay, c.time.wDay);
        EXPECT_EQ(back.wMilliseconds, c.time.wMilliseconds);
    }
    // An hour apart is 36,000,000,000 units, i.e. 3600 s.
    FILETIME a;
    FILETIME b;
    const SYSTEMTIME early = at(2005, 6, 10, 14, 15, 0);
    const SYSTEMTIME late = at(2005, 6, 10, 15, 15, 0);
    SystemTimeToFileTime(&early, &a);
    SystemTimeToFileTime(&late, &b);
    EXPECT_EQ(units(b) - units(a), 36'000'000'000ULL);
}

// One SystemTimeToFileTime case: a refusal sets ERROR_INVALID_PARAMETER and leaves the output
// as it was.
struct ConversionCase {
    const char *proves;
    SYSTEMTIME time;
    BOOL expected;
};

void expectConversion(const ConversionCase &c)
{
    SCOPED_TRACE(c.proves);
    SetLastError(0);
    FILETIME ft{0xdeadbeef, 0xdeadbeef};
    EXPECT_EQ(SystemTimeToFileTime(&c.time, &ft), c.expected);
    if (!c.expected) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(ft.dwLowDateTime, 0xdeadbeefu);
    }
}

TEST_F(Clock, SystemTimeToFileTimeRefusesInvalidFields)
{
    const ConversionCase cases[] = {
        {"31 April", at(2005, 4, 31, 0, 0, 0), FALSE},
        {"month 0", at(2005, 0, 1, 0, 0, 0), FALSE},
        {"month 13", at(2005, 13, 1, 0, 0, 0), FALSE},
        {"day 0", at(2005, 1, 0, 0, 0, 0), FALSE},
        {"hour 24", at(2005, 1, 1, 24, 0, 0), FALSE},
        {"minute 60", at(2005, 1, 1, 0, 60, 0), FALSE},
        {"second 60", at(2005, 1, 1, 0, 0, 60), FALSE},
        {"millisecond 1000", at(2005, 1, 1, 0, 0, 0, 1000), FALSE},
        {"before 1601", at(1600, 12, 31, 23, 59, 59), FALSE},
    };
    for (const auto &c : cases) expectConversion(c);
    // The day of the week is ignored on the way in and filled in on the way out.
    SYSTEMTIME wrongDay = at(2005, 6, 10, 0, 0, 0);
    wrongDay.wDayOfWeek = 6;
    FILETIME ft;
    ASSERT_EQ(SystemTimeToFileTime(&wrongDay, &ft), TRUE);
    SYSTEMTIME back;
    FileTimeToSystemTime(&ft, &back);
    EXPECT_EQ(back.wDayOfWeek, 5);   // a Friday
    const FILETIME tooLarge{0, 0x80000000};
    EXPECT_EQ(FileTimeToSystemTime(&tooLarge, &back), FALSE);
}

// Leap days and the last year that SYSTEMTIME documents (1601 through 30827).
TEST_F(Clock, SystemTimeToFileTimeKnowsLeapYearsAndTheLastYear)
{
    const ConversionCase cases[] = {
        {"29 February of a leap year", at(2004, 2, 29, 0, 0, 0), TRUE},
        {"29 February otherwise", at(2005, 2, 29, 0, 0, 0), FALSE},
        {"1900 was no leap year", at(1900, 2, 29, 0, 0, 0), FALSE},
        {"2000 was one", at(2000, 2, 29, 0, 0, 0), TRUE},
        {"last moment Windows accepts", at(30827, 12, 31, 23, 59, 59, 999), TRUE},
        {"past it", at(30828, 1, 1, 0, 0, 0), FALSE},
    };
    for (const auto &c : cases) expectConversion(c);
}

#if OUR_LAYER_ONLY
TEST_F(Clock, AdvanceCarriesThroughDaysMonthsAndYears)
{
    struct Case {
        const char *proves;
        SYSTEMTIME start;
        DWORD advanceMs;
        SYSTEMTIME expected;
        WORD dayOfWeek;
    };
    const Case cases[] = {
        {"milliseconds carry into seconds", at(2005, 6, 10, 8, 0, 0, 999), 1, at(2005, 6, 10, 8, 0, 1, 0), 5},
        {"midnight", at(2005, 6, 10, 23, 59, 59, 500), 500, at(2005, 6, 11, 0, 0, 0), 6},
        {"end of a 30-day month", at(2005, 6, 30, 23, 0, 0), 3'600'000, at(2005, 7, 1, 0, 0, 0), 5},
        {"into a leap day", at(2004, 2, 28, 12, 0, 0), 86'400'000, at(2004, 2, 29, 12, 0, 0), 0},
        {"over February of a common year", at(2005, 2, 28, 12, 0, 0), 86'400'000, at(2005, 3, 1, 12, 0, 0),
         2},
        {"new year", at(2005, 12, 31, 23, 59, 59, 999), 1, at(2006, 1, 1, 0, 0, 0), 0},
        {"the largest step, 49.7 days", at(2005, 6, 10, 8, 0, 0), 0xFFFFFFFF, at(2005, 7, 30, 1, 2, 47, 295),
         6},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        control::setLocalTime(c.start);
        control::advanceClock(c.advanceMs);
        SYSTEMTIME now;
        GetLocalTime(&now);
        SYSTEMTIME expected = c.expected;
        expected.wDayOfWeek = c.dayOfWeek;
        EXPECT_EQ(std::memcmp(&now, &expected, sizeof now), 0)
            << now.wYear << "-" << now.wMonth << "-" << now.wDay << " " << now.wHour << ":" << now.wMinute
            << ":" << now.wSecond << "." << now.wMilliseconds << " day " << now.wDayOfWeek;
    }
}

TEST_F(Clock, TickCountWrapsAt32Bits)
{
    EXPECT_EQ(GetTickCount(), 0u);
    control::setTickCount(0xFFFFFC18);   // 1000 ms before the wrap
    control::advanceClock(999);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFFFu);
    control::advanceClock(1);
    EXPECT_EQ(GetTickCount(), 0u);
    control::advanceClock(1500);
    EXPECT_EQ(GetTickCount(), 1500u);
    // The power-on time of the device.
    SYSTEMTIME now;
    control::resetDevice();
    GetLocalTime(&now);
    EXPECT_EQ(now.wYear, 2005);
    EXPECT_EQ(now.wMonth, 6);
    EXPECT_EQ(now.wDay, 10);
    EXPECT_EQ(now.wHour, 8);
}

#endif

TEST_F(Clock, DateAndTimeTextsOfTheUserLocale)
{
    const SYSTEMTIME afternoon = at(2005, 6, 10, 15, 15, 7);
    const SYSTEMTIME morning = at(2005, 12, 1, 0, 5, 0);
    struct Case {
        const char *proves;
        bool date;
        LCID locale;
        DWORD flags;
        const SYSTEMTIME *time;
        const WCHAR *picture;
        WString expected;
    };
    const Case cases[] = {
        {"short date", true, LOCALE_USER_DEFAULT, DATE_SHORTDATE, &afternoon, nullptr, TEXT("6/10/2005")},
        {"locale 0 is the user's", true, 0, DATE_SHORTDATE, &morning, nullptr, TEXT("12/1/2005")},
        {"long date", true, LOCALE_USER_DEFAULT, DATE_LONGDATE, &afternoon, nullptr,
         TEXT("Friday, June 10, 2005")},
        {"a date picture", true, 0, 0, &morning, TEXT("dd MMM yy 'at' ddd"), TEXT("01 Dec 05 at Thu")},
        {"time without seconds", false, LOCALE_USER_DEFAULT, TIME_NOSECONDS, &afternoon, nullptr,
         TEXT("3:15 PM")},
        {"time with seconds", false, LOCALE_USER_DEFAULT, 0, &afternoon, nullptr, TEXT("3:15:07 PM")},
        {"midnight is 12 AM", false, 0, TIME_NOSECONDS, &morning, nullptr, TEXT("12:05 AM")},
        {"24-hour form", false, 0, TIME_FORCE24HOURFORMAT | TIME_NOTIMEMARKER, &afternoon, nullptr,
         TEXT("15:15:07")},
        {"hours only", false, 0, TIME_NOMINUTESORSECONDS, &afternoon, nullptr, TEXT("3 PM")},
        {"a time picture", false, 0, 0, &morning, TEXT("HH'h'mm"), TEXT("00h05")},
        {"the locale's own picture without the user's changes", false, 0,
         LOCALE_NOUSEROVERRIDE | TIME_NOSECONDS, &afternoon, nullptr, TEXT("3:15 PM")},
        {"the same for a date", true, 0, LOCALE_NOUSEROVERRIDE, &afternoon, nullptr, TEXT("6/10/2005")},
        {"text after a dropped field goes with it, up to a space", false, 0, TIME_NOSECONDS, &afternoon,
         TEXT("h.@:m.@:s.@:tt h"), TEXT("3.@:15PM 3")},
        {"text on both sides of dropped markers", false, 0, TIME_NOTIMEMARKER, &afternoon, TEXT("h1t2tt3m"),
         TEXT("315")},
        {"quoted text before a dropped marker", false, 0, TIME_NOTIMEMARKER, &afternoon, TEXT("'at 'tt"),
         TEXT("")},
        {"M is no field of a time", false, 0, 0, &afternoon, TEXT("H M:MM:MMM"), TEXT("15 M:MM:MMM")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        WCHAR buffer[64];
        std::memset(buffer, 0xBD, sizeof buffer);
        const int written = c.date ? GetDateFormatW(c.locale, c.flags, c.time, c.picture, buffer, 64)
                                   : GetTimeFormatW(c.locale, c.flags, c.time, c.picture, buffer, 64);
        EXPECT_EQ(written, static_cast<int>(c.expected.size()) + 1);
        EXPECT_EQ(WString(buffer), c.expected);
        EXPECT_EQ(buffer[c.expected.size() + 1], 0xBDBD);
    }
}

TEST_F(Clock, DateAndTimeBufferRules)
{
    const SYSTEMTIME time = at(2005, 6, 10, 15, 15, 0);   // "6/10/2005" and "3:15 PM": 10 and 8 units
    SYSTEMTIME badDate = time;
    badDate.wMonth = 13;
    SYSTEMTIME badTime = time;
    badTime.wHour = 24;
    struct Case {
        const char *proves;
        bool date;
        const SYSTEMTIME *time;
        WCHAR *buffer;   // null: no buffer
        int cch;
        int expected;
        DWORD error;   // checked when expected is 0
    };
    WCHAR buffer[16];
    const Case cases[] = {
        {"cch 0 asks for the size, terminator included", true, &time, nullptr, 0, 10, 0},
        {"the same for a time", false, &time, nullptr, 0, 8, 0},
        {"exactly enough", true, &time, buffer, 10, 10, 0},
        {"one unit short", true, &time, buffer, 9, 0, ERROR_INSUFFICIENT_BUFFER},
        {"time one unit short", false, &time, buffer, 7, 0, ERROR_INSUFFICIENT_BUFFER},
        {"invalid date", true, &badDate, buffer, 16, 0, ERROR_INVALID_PARAMETER},
        {"invalid time", false, &badTime, buffer, 16, 0, ERROR_INVALID_PARAMETER},
        {"a date ignores a bad time of day", true, &badTime, buffer, 16, 10, 0},
        {"negative size", true, &time, buffer, -1, 0, ERROR_INVALID_PARAMETER},
        {"a size without a buffer", true, &time, nullptr, 16, 0, ERROR_INVALID_PARAMETER},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        std::memset(buffer, 0xBD, sizeof buffer);
        SetLastError(0);
        const int result = c.date ? GetDateFormatW(0, DATE_SHORTDATE, c.time, nullptr, c.buffer, c.cch)
                                  : GetTimeFormatW(0, TIME_NOSECONDS, c.time, nullptr, c.buffer, c.cch);
        EXPECT_EQ(result, c.expected);
        if (c.expected == 0) {
            EXPECT_EQ(GetLastError(), c.error);
        }
        // Nothing is ever written past the size given.
        for (int i = std::max(c.cch, 0); i < 16; ++i) EXPECT_EQ(buffer[i], 0xBDBD) << "unit " << i;
    }
    EXPECT_EQ(GetDateFormatW(0, DATE_SHORTDATE | DATE_LONGDATE, &time, nullptr, buffer, 16), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    // A picture of the caller's has no user changes to decline.
    EXPECT_EQ(GetDateFormatW(0, LOCALE_NOUSEROVERRIDE, &time, TEXT("d"), buffer, 16), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    EXPECT_EQ(GetTimeFormatW(0, LOCALE_NOUSEROVERRIDE, &time, TEXT("H"), buffer, 16), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
#if OUR_LAYER_ONLY
    // No time given: the current local time.
    EXPECT_EQ(GetDateFormatW(0, DATE_SHORTDATE, nullptr, nullptr, buffer, 16), 10);
    EXPECT_EQ(WString(buffer), TEXT("6/10/2005"));
#endif
}

}   // namespace
