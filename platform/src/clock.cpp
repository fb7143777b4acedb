// Simulated time: the local time and the 32-bit tick count move only when the control surface
// says so; nothing here reads the host clock. Also the file-time conversions and the en-US date
// and time formats of the user locale.
#include <windows.h>

#include "control.h"
#include "internal.h"

#include <stdexcept>
#include <string>

namespace {

constexpr ULONGLONG kUnitsPerMillisecond = 10'000;   // file times count 100 ns
constexpr ULONGLONG kUnitsPerDay = 86'400'000ULL * kUnitsPerMillisecond;
// FileTimeToSystemTime refuses file times with the top bit set, as Windows does.
constexpr ULONGLONG kLargestFileTime = 0x7FFF'FFFF'FFFF'FFFFULL;
// The years a SYSTEMTIME may hold for SystemTimeToFileTime (Windows' documented range).
constexpr int kFirstYear = 1601;
constexpr int kLastYear = 30827;

// Days since 1970-01-01 of a proleptic Gregorian date (Hinnant's days_from_civil).
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

struct CivilDate {
    int64_t year;
    unsigned month;
    unsigned day;
};

CivilDate civilFromDays(int64_t days)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2), month, day};
}

const int64_t kDaysBefore1601 = daysFromCivil(1601, 1, 1);

bool isLeapYear(unsigned year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned daysInMonth(unsigned year, unsigned month)
{
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool validDate(const SYSTEMTIME &t)
{
    return t.wYear >= kFirstYear && t.wYear <= kLastYear && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1
        && t.wDay <= daysInMonth(t.wYear, t.wMonth);
}

bool validTimeOfDay(const SYSTEMTIME &t)
{
    return t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 && t.wMilliseconds < 1000;
}

ULONGLONG toUnits(const SYSTEMTIME &t)
{
    ULONGLONG days = static_cast<ULONGLONG>(daysFromCivil(t.wYear, t.wMonth, t.wDay) - kDaysBefore1601);
    ULONGLONG ms = ((t.wHour * 60ULL + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
    return days * kUnitsPerDay + ms * kUnitsPerMillisecond;
}

SYSTEMTIME fromUnits(ULONGLONG units)
{
    const ULONGLONG days = units / kUnitsPerDay;
    const ULONGLONG msOfDay = (units % kUnitsPerDay) / kUnitsPerMillisecond;
    const CivilDate date = civilFromDays(static_cast<int64_t>(days) + kDaysBefore1601);
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(date.year);
    t.wMonth = static_cast<WORD>(date.month);
    t.wDay = static_cast<WORD>(date.day);
    t.wDayOfWeek = static_cast<WORD>((days + 1) % 7);   // 1601-01-01 was a Monday
    t.wHour = static_cast<WORD>(msOfDay / 3'600'000);
    t.wMinute = static_cast<WORD>(msOfDay / 60'000 % 60);
    t.wSecond = static_cast<WORD>(msOfDay / 1000 % 60);
    t.wMilliseconds = static_cast<WORD>(msOfDay % 1000);
    return t;
}

// Power-on time of the device: 2005-06-10 08:00:00.
constexpr SYSTEMTIME kPowerOnTime = {2005, 6, 5, 10, 8, 0, 0, 0};

struct Clock {
    ULONGLONG localUnits = toUnits(kPowerOnTime);
    DWORD tickCount = 0;
    // Milliseconds the device has run since power-on. Unlike the tick count it never wraps and
    // only advanceClock moves it, so timers keep their due times across any jump of time.
    ULONGLONG runningMs = 0;
};
Clock deviceClock;

// ---- Date and time pictures of the en-US user locale -------------------------------------------

const char16_t *const kDayNames[]
    = {u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday"};
const char16_t *const kMonthNames[]
    = {u"January", u"February", u"March",     u"April",   u"May",      u"June",
       u"July",    u"August",   u"September", u"October", u"November", u"December"};
constexpr char16_t kShortDatePicture[] = u"M/d/yyyy";
constexpr char16_t kLongDatePicture[] = u"dddd, MMMM d, yyyy";
constexpr char16_t kTimePicture[] = u"h:mm:ss tt";

bool isSupportedLocale(LCID locale)
{
    return locale == 0 || locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT
        || locale == 0x0409;
}

// Where an expanded picture goes: counted only (no buffer), or written into the caller's buffer
// of `capacity` units. Nothing here touches the heap, so formatting a date costs no allocation.
struct PictureOutput {
    WCHAR *buffer = nullptr;
    size_t capacity = 0;
    size_t length = 0;

    void put(WCHAR unit)
    {
        if (buffer != nullptr && length < capacity) buffer[length] = unit;
        ++length;
    }
    void put(std::u16string_view text)
    {
        for (WCHAR unit : text) put(unit);
    }
};

void appendNumber(PictureOutput &out, unsigned value, int minDigits)
{
    WCHAR digits[16];
    int count = 0;
    do {
        digits[count++] = static_cast<WCHAR>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int pad = count; pad < minDigits; ++pad) out.put(u'0');
    while (count > 0) out.put(digits[--count]);
}

// The letters that are fields of a picture; any other letter is copied as text.
constexpr char16_t kDateFields[] = u"dMyhHmst";
constexpr char16_t kTimeFields[] = u"hHmst";

// Text in single quotes is copied without its quotes ('' within them is a quote). Returns what
// follows the closing quote; with no `out`, only skips.
const WCHAR *quotedText(const WCHAR *p, PictureOutput *out)
{
    for (++p; *p != 0; ++p) {
        if (*p == u'\'') {
            if (p[1] != u'\'') return p + 1;
            ++p;
        }
        if (out != nullptr) out->put(*p);
    }
    return p;
}

// The text of a picture between two fields, as it is shown.
void putLiteral(const WCHAR *from, const WCHAR *to, PictureOutput &out)
{
    while (from < to) {
        if (*from == u'\'') {
            from = quotedText(from, &out);
        } else {
            out.put(*from++);
        }
    }
}

void putField(WCHAR field, int count, const SYSTEMTIME &t, PictureOutput &out)
{
    switch (field) {
    case u'd':
        if (count <= 2)
            appendNumber(out, t.wDay, count);
        else if (count == 3)
            out.put(std::u16string_view(kDayNames[t.wDayOfWeek]).substr(0, 3));
        else
            out.put(kDayNames[t.wDayOfWeek]);
        break;
    case u'M':
        if (count <= 2)
            appendNumber(out, t.wMonth, count);
        else if (count == 3)
            out.put(std::u16string_view(kMonthNames[t.wMonth - 1]).substr(0, 3));
        else
            out.put(kMonthNames[t.wMonth - 1]);
        break;
    case u'y':
        if (count <= 2)
            appendNumber(out, t.wYear % 100, count);
        else
            appendNumber(out, t.wYear, count == 3 ? 4 : count);
        break;
    case u'h': appendNumber(out, t.wHour % 12 == 0 ? 12 : t.wHour % 12, count > 1 ? 2 : 1); break;
    case u'H': appendNumber(out, t.wHour, count > 1 ? 2 : 1); break;
    case u'm': appendNumber(out, t.wMinute, count > 1 ? 2 : 1); break;
    case u's': appendNumber(out, t.wSecond, count > 1 ? 2 : 1); break;
    default:   // u't'
        out.put(std::u16string_view(t.wHour < 12 ? u"AM" : u"PM").substr(0, count == 1 ? 1 : 2));
        break;
    }
}

// Expands a picture such as "M/d/yyyy" or "h:mm tt". The text between fields is held back until
// the next field is shown, so a kind of field listed in `dropped` takes the text before it (back
// to the previous field) with it, and the text after it up to the next field or space: "h.m.s tt"
// without seconds is "h.m tt". With `force24`, "h" is read as "H".
void expandPicture(const WCHAR *picture, std::u16string_view fields, const SYSTEMTIME &t,
                   std::u16string_view dropped, bool force24, PictureOutput &out)
{
    auto isField = [&](WCHAR unit) { return unit != 0 && fields.find(unit) != std::u16string_view::npos; };
    const WCHAR *pending = picture;   // text not yet shown starts here
    bool skippingAfterDropped = false;
    const WCHAR *p = picture;
    while (*p != 0) {
        if (skippingAfterDropped && (*p == u' ' || isField(*p))) skippingAfterDropped = false;
        if (!isField(*p)) {
            p = *p == u'\'' ? quotedText(p, nullptr) : p + 1;
            if (skippingAfterDropped) pending = p;
            continue;
        }
        const WCHAR *fieldStart = p;
        const WCHAR written = *p;
        int count = 0;
        while (*p == written) {
            ++count;
            ++p;
        }
        const WCHAR field = force24 && written == u'h' ? u'H' : written;
        if (dropped.find(field) != std::u16string_view::npos) {
            skippingAfterDropped = true;
        } else {
            putLiteral(pending, fieldStart, out);
            putField(field, count, t, out);
        }
        pending = p;
    }
    putLiteral(pending, p, out);
}

// The buffer contract of GetDateFormatW and GetTimeFormatW: the picture is measured first, so
// too small a buffer is left untouched.
int deliver(const WCHAR *picture, std::u16string_view fields, const SYSTEMTIME &t,
            std::u16string_view dropped, bool force24, LPWSTR buffer, int cch)
{
    PictureOutput measure;
    expandPicture(picture, fields, t, dropped, force24, measure);
    const int needed = static_cast<int>(measure.length) + 1;
    if (cch == 0) return needed;
    if (needed > cch) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    PictureOutput write{buffer, static_cast<size_t>(cch), 0};
    expandPicture(picture, fields, t, dropped, force24, write);
    buffer[write.length] = 0;
    return needed;
}

int fail(DWORD error)
{
    SetLastError(error);
    return 0;
}

}   // namespace

// ---- The API -------------------------------------------------------------------------------------

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime)
{
    if (lpSystemTime != nullptr) *lpSystemTime = fromUnits(deviceClock.localUnits);
}

DWORD WINAPI GetTickCount()
{
    return deviceClock.tickCount;
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME *lpSystemTime, LPFILETIME lpFileTime)
{
    if (lpSystemTime == nullptr || lpFileTime == nullptr || !validDate(*lpSystemTime)
        || !validTimeOfDay(*lpSystemTime)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const ULONGLONG units = toUnits(*lpSystemTime);
    lpFileTime->dwLowDateTime = static_cast<DWORD>(units);
    lpFileTime->dwHighDateTime = static_cast<DWORD>(units >> 32);
    return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME *lpFileTime, LPSYSTEMTIME lpSystemTime)
{
    if (lpFileTime == nullptr || lpSystemTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const ULONGLONG units
        = (static_cast<ULONGLONG>(lpFileTime->dwHighDateTime) << 32) | lpFileTime->dwLowDateTime;
    if (units > kLargestFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpSystemTime = fromUnits(units);
    return TRUE;
}

int WINAPI GetDateFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME *lpDate, LPCWSTR lpFormat,
                          LPWSTR lpDateStr, int cchDate)
{
    if (cchDate < 0 || (cchDate > 0 && lpDateStr == nullptr) || !isSupportedLocale(Locale))
        return fail(ERROR_INVALID_PARAMETER);
    const DWORD formFlags = dwFlags & (DATE_SHORTDATE | DATE_LONGDATE);
    // The locale's own pictures may be asked for without the user's changes; a given picture
    // has nothing to override.
    const DWORD overrideFlag = dwFlags & LOCALE_NOUSEROVERRIDE;
    if ((dwFlags & ~(formFlags | overrideFlag)) != 0 || formFlags == (DATE_SHORTDATE | DATE_LONGDATE)
        || (lpFormat != nullptr && (formFlags | overrideFlag) != 0))
        return fail(ERROR_INVALID_FLAGS);
    SYSTEMTIME date;
    if (lpDate == nullptr) {
        GetLocalTime(&date);
    } else {
        if (!validDate(*lpDate)) return fail(ERROR_INVALID_PARAMETER);
        // The day of the week comes from the date, whatever the caller put there.
        date = fromUnits(toUnits({lpDate->wYear, lpDate->wMonth, 0, lpDate->wDay, 0, 0, 0, 0}));
    }
    const WCHAR *picture = lpFormat != nullptr ? lpFormat
        : (dwFlags & DATE_LONGDATE) != 0       ? kLongDatePicture
                                               : kShortDatePicture;
    return deliver(picture, kDateFields, date, u"hHmst", false, lpDateStr, cchDate);
}

int WINAPI GetTimeFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME *lpTime, LPCWSTR lpFormat,
                          LPWSTR lpTimeStr, int cchTime)
{
    if (cchTime < 0 || (cchTime > 0 && lpTimeStr == nullptr) || !isSupportedLocale(Locale))
        return fail(ERROR_INVALID_PARAMETER);
    constexpr DWORD kKnownFlags
        = TIME_NOMINUTESORSECONDS | TIME_NOSECONDS | TIME_NOTIMEMARKER | TIME_FORCE24HOURFORMAT;
    if ((dwFlags & ~(kKnownFlags | LOCALE_NOUSEROVERRIDE)) != 0
        || (lpFormat != nullptr && (dwFlags & LOCALE_NOUSEROVERRIDE) != 0))
        return fail(ERROR_INVALID_FLAGS);
    SYSTEMTIME time;
    if (lpTime == nullptr) {
        GetLocalTime(&time);
    } else {
        if (!validTimeOfDay(*lpTime)) return fail(ERROR_INVALID_PARAMETER);
        time = *lpTime;
    }
    WCHAR dropped[4] = {};
    size_t droppedCount = 0;
    if (dwFlags & TIME_NOMINUTESORSECONDS) {
        dropped[droppedCount++] = u'm';
        dropped[droppedCount++] = u's';
    }
    if (dwFlags & TIME_NOSECONDS) dropped[droppedCount++] = u's';
    if (dwFlags & TIME_NOTIMEMARKER) dropped[droppedCount++] = u't';
    const WCHAR *picture = lpFormat != nullptr ? lpFormat : kTimePicture;
    return deliver(picture, kTimeFields, time, std::u16string_view(dropped, droppedCount),
                   (dwFlags & TIME_FORCE24HOURFORMAT) != 0, lpTimeStr, cchTime);
}

// ---- Seams and control ---------------------------------------------------------------------------

namespace internal {

FILETIME localFileTime()
{
    return {static_cast<DWORD>(deviceClock.localUnits), static_cast<DWORD>(deviceClock.localUnits >> 32)};
}

ULONGLONG runningMilliseconds()
{
    return deviceClock.runningMs;
}

void resetClock()
{
    deviceClock = Clock{};
}

}   // namespace internal

namespace control {

void setLocalTime(const SYSTEMTIME &localTime)
{
    if (!validDate(localTime) || !validTimeOfDay(localTime))
        throw std::invalid_argument("setLocalTime: not a valid date and time");
    deviceClock.localUnits = toUnits(localTime);
}

void setTickCount(DWORD tickCount)
{
    deviceClock.tickCount = tickCount;
}

void advanceClock(DWORD milliseconds)
{
    deviceClock.localUnits += milliseconds * kUnitsPerMillisecond;
    deviceClock.tickCount += milliseconds;   // wraps after 49.7 days, as on the device
    deviceClock.runningMs += milliseconds;
}

}   // namespace control
