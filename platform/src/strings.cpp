// Wide-string helpers with Win32 semantics: wsprintf, the lstr* family, the C wide-string
// functions for a 16-bit WCHAR, case folding and the 8-bit code page of the ...A calls.
#include <windows.h>

#include "cp1252_best_fit.h"
#include "internal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

namespace {

// wsprintf never writes more than this many units, terminator included (a Win32 limit).
constexpr int kWsprintfMaxUnits = 1024;

// ---- Case folding ------------------------------------------------------------------------------
// One-to-one upper-case mapping of the scripts a device name is likely to hold: Latin (Latin-1,
// Extended-A, Extended Additional), Greek, Cyrillic, Armenian, Roman numerals, circled and
// full-width letters. Units outside these ranges compare as they are.

// Blocks where upper and lower case alternate: the upper-case letter at the even (or odd) unit.
struct AlternatingBlock {
    WCHAR first;
    WCHAR last;
    bool upperIsEven;
};
constexpr AlternatingBlock kAlternatingBlocks[] = {
    {0x0100, 0x012F, true},  {0x0132, 0x0137, true}, {0x0139, 0x0148, false}, {0x014A, 0x0177, true},
    {0x0179, 0x017E, false}, {0x01DE, 0x01EF, true}, {0x01F8, 0x021F, true},  {0x0222, 0x0233, true},
    {0x03D8, 0x03EF, true},  {0x0460, 0x0481, true}, {0x048A, 0x04BF, true},  {0x04C1, 0x04CE, false},
    {0x04D0, 0x052F, true},  {0x1E00, 0x1E95, true}, {0x1EA0, 0x1EFF, true},
};

// Blocks of lower-case letters that move by a fixed distance to their capitals.
struct ShiftedBlock {
    WCHAR first;
    WCHAR last;
    int toUpper;
};
constexpr ShiftedBlock kShiftedBlocks[] = {
    {u'a', u'z', -32},     {0x00E0, 0x00F6, -32}, {0x00F8, 0x00FE, -32}, {0x03AD, 0x03AF, -37},
    {0x03B1, 0x03C1, -32}, {0x03C3, 0x03CB, -32}, {0x03CD, 0x03CE, -63}, {0x0430, 0x044F, -32},
    {0x0450, 0x045F, -80}, {0x0561, 0x0586, -48}, {0x2170, 0x217F, -16}, {0x24D0, 0x24E9, -26},
    {0xFF41, 0xFF5A, -32},
};

struct SingleMapping {
    WCHAR lower;
    WCHAR upper;
};
constexpr SingleMapping kSingleMappings[] = {
    {0x00FF, 0x0178}, {0x0180, 0x0243}, {0x0183, 0x0182}, {0x0185, 0x0184}, {0x0188, 0x0187},
    {0x018C, 0x018B}, {0x0192, 0x0191}, {0x0199, 0x0198}, {0x01A1, 0x01A0}, {0x01A3, 0x01A2},
    {0x01A5, 0x01A4}, {0x01A8, 0x01A7}, {0x01AD, 0x01AC}, {0x01B0, 0x01AF}, {0x01B4, 0x01B3},
    {0x01B6, 0x01B5}, {0x01B9, 0x01B8}, {0x01BD, 0x01BC}, {0x01C6, 0x01C4}, {0x01C9, 0x01C7},
    {0x01CC, 0x01CA}, {0x01CE, 0x01CD}, {0x01D0, 0x01CF}, {0x01D2, 0x01D1}, {0x01D4, 0x01D3},
    {0x01D6, 0x01D5}, {0x01D8, 0x01D7}, {0x01DA, 0x01D9}, {0x01DC, 0x01DB}, {0x01F3, 0x01F1},
    {0x01F5, 0x01F4}, {0x03AC, 0x0386}, {0x03C2, 0x03A3}, {0x03CC, 0x038C}, {0x04CF, 0x04C0},
};

// ---- Windows-1252 ------------------------------------------------------------------------------
// Bytes 0x80..0x9F; the five bytes 1252 leaves undefined map to the C1 control of the same value,
// as Windows maps them, so every byte survives a round trip.
constexpr std::array<WCHAR, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// ---- wsprintf ----------------------------------------------------------------------------------

// Collects output up to the wsprintf limit and silently drops the rest.
template <typename Char> struct CappedOutput {
    Char *buffer;
    int length = 0;

    bool full() const { return length >= kWsprintfMaxUnits - 1; }
    void put(Char c)
    {
        if (!full()) buffer[length++] = c;
    }
    void repeat(Char c, int count)
    {
        for (int i = 0; i < count; ++i) put(c);
    }
};

template <typename Char> Char toChar(WCHAR unit);
template <> WCHAR toChar<WCHAR>(WCHAR unit)
{
    return unit;
}
template <> char toChar<char>(WCHAR unit)
{
    return internal::wideUnitToAnsi(unit);
}
template <typename Char> Char fromNarrow(char c);
template <> WCHAR fromNarrow<WCHAR>(char c)
{
    return internal::ansiUnitToWide(c);
}
template <> char fromNarrow<char>(char c)
{
    return c;
}

struct Conversion {
    bool leftAlign = false;
    bool zeroPad = false;
    bool alternate = false;
    int width = 0;
    int precision = -1;
    enum class Size { Default, Short, Long, Int64 } size = Size::Default;
};

template <typename Char>
void putPadded(CappedOutput<Char> &out, const Conversion &conversion, int contentLength,
               const auto &writeContent)
{
    int padding = conversion.width > contentLength ? conversion.width - contentLength : 0;
    if (!conversion.leftAlign) out.repeat(Char(' '), padding);
    writeContent();
    if (conversion.leftAlign) out.repeat(Char(' '), padding);
}

// A string argument: narrow (8-bit) or wide, printed up to the precision.
template <typename Char>
void putString(CappedOutput<Char> &out, const Conversion &conversion, const void *text, bool wide)
{
    static const char kNull[] = "(null)";
    if (text == nullptr) {
        text = kNull;
        wide = false;
    }
    int length = 0;
    if (wide) {
        const auto *s = static_cast<const WCHAR *>(text);
        while (s[length] != 0 && (conversion.precision < 0 || length < conversion.precision)) ++length;
    } else {
        const auto *s = static_cast<const char *>(text);
        while (s[length] != 0 && (conversion.precision < 0 || length < conversion.precision)) ++length;
    }
    putPadded(out, conversion, length, [&] {
        for (int i = 0; i < length; ++i) {
            out.put(wide ? toChar<Char>(static_cast<const WCHAR *>(text)[i])
                         : fromNarrow<Char>(static_cast<const char *>(text)[i]));
        }
    });
}

template <typename Char>
void putNumber(CappedOutput<Char> &out, const Conversion &conversion, uint64_t magnitude, bool negative,
               int base, bool upper)
{
    char digits[24];
    int count = 0;
    const char *alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits[count++] = alphabet[magnitude % base];
        magnitude /= base;
    } while (magnitude != 0);
    const char *prefix = negative ? "-" : (conversion.alternate && base == 16) ? (upper ? "0X" : "0x") : "";
    int prefixLength = static_cast<int>(std::strlen(prefix));
    int zeros = conversion.precision > count ? conversion.precision - count : 0;
    int length = prefixLength + zeros + count;
    if (conversion.zeroPad && !conversion.leftAlign && conversion.precision < 0
        && conversion.width > length) {
        zeros += conversion.width - length;
        length = conversion.width;
    }
    putPadded(out, conversion, length, [&] {
        for (int i = 0; i < prefixLength; ++i) out.put(Char(prefix[i]));
        out.repeat(Char('0'), zeros);
        while (count > 0) out.put(Char(digits[--count]));
    });
}

// The format engine of wsprintfW and wsprintfA. Char is the output and format unit; a bare %s or
// %c takes the same width as Char, %S/%C the other one, 'h' forces narrow and 'l' wide.
template <typename Char> int formatCapped(Char *buffer, const Char *format, va_list args)
{
    constexpr bool kWideOutput = sizeof(Char) == sizeof(WCHAR);
    CappedOutput<Char> out{buffer};
    const Char *p = format;
    while (*p != 0 && !out.full()) {
        if (*p != Char('%')) {
            out.put(*p++);
            continue;
        }
        ++p;
        Conversion conversion;
        for (;; ++p) {
            if (*p == Char('-'))
                conversion.leftAlign = true;
            else if (*p == Char('0'))
                conversion.zeroPad = true;
            else if (*p == Char('#'))
                conversion.alternate = true;
            else
                break;
        }
        while (*p >= Char('0') && *p <= Char('9'))
            conversion.width = conversion.width * 10 + (*p++ - Char('0'));
        if (*p == Char('.')) {
            ++p;
            conversion.precision = 0;
            while (*p >= Char('0') && *p <= Char('9'))
                conversion.precision = conversion.precision * 10 + (*p++ - Char('0'));
        }
        if (*p == Char('h')) {
            conversion.size = Conversion::Size::Short;
            ++p;
        } else if (*p == Char('l') || *p == Char('w')) {
            conversion.size = Conversion::Size::Long;
            ++p;
        } else if (p[0] == Char('I') && p[1] == Char('6') && p[2] == Char('4')) {
            conversion.size = Conversion::Size::Int64;
            p += 3;
        } else if (p[0] == Char('I') && p[1] == Char('3') && p[2] == Char('2')) {
            p += 3;
        } else if (p[0] == Char('I')) {
            // A bare I is the width of a pointer (INT_PTR, SIZE_T).
            if (sizeof(void *) == sizeof(int64_t)) conversion.size = Conversion::Size::Int64;
            ++p;
        }
        Char type = *p;
        if (type == 0) break;
        ++p;
        bool sameWidthDefault = type == Char('s') || type == Char('c');
        bool wideArgument = conversion.size == Conversion::Size::Long ? true
            : conversion.size == Conversion::Size::Short              ? false
            : sameWidthDefault                                        ? kWideOutput
                                                                      : !kWideOutput;
        bool is64 = conversion.size == Conversion::Size::Int64;
        switch (type) {
        case Char('s'):
        case Char('S'): putString(out, conversion, va_arg(args, const void *), wideArgument); break;
        case Char('c'):
        case Char('C'): {
            int unit = va_arg(args, int);
            Char c = wideArgument ? toChar<Char>(static_cast<WCHAR>(unit))
                                  : fromNarrow<Char>(static_cast<char>(unit));
            putPadded(out, conversion, 1, [&] { out.put(c); });
            break;
        }
        case Char('d'):
        case Char('i'): {
            int64_t value = is64 ? va_arg(args, int64_t) : va_arg(args, int32_t);
            uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
            putNumber(out, conversion, magnitude, value < 0, 10, false);
            break;
        }
        case Char('u'):
            putNumber(out, conversion, is64 ? va_arg(args, uint64_t) : va_arg(args, uint32_t), false, 10,
                      false);
            break;
        case Char('x'):
        case Char('X'):
            putNumber(out, conversion, is64 ? va_arg(args, uint64_t) : va_arg(args, uint32_t), false, 16,
                      type == Char('X'));
            break;
        case Char('p'): {
            Conversion pointerConversion = conversion;
            pointerConversion.precision = static_cast<int>(2 * sizeof(void *));
            putNumber(out, pointerConversion, reinterpret_cast<uintptr_t>(va_arg(args, void *)), false, 16,
                      true);
            break;
        }
        default:
            // "%%" and an unknown type print the type character itself, as Windows does.
            putPadded(out, conversion, 1, [&] { out.put(type); });
            break;
        }
    }
    buffer[out.length] = 0;
    return out.length;
}

// The order of the user locale's word sort, near enough for the names a device shows:
// punctuation first, then digits, then letters without regard to case.
int sortWeight(WCHAR unit)
{
    WCHAR upper = internal::foldCase(unit);
    if (upper >= u'A' && upper <= u'Z') return 0x2000 + upper;
    if (unit >= u'0' && unit <= u'9') return 0x1000 + unit;
    if (unit < 0x80) return unit;
    return 0x3000 + upper;
}

int compareLinguistic(LPCWSTR a, LPCWSTR b, bool ignoreCase)
{
    if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
    int caseOrder = 0;
    for (;; ++a, ++b) {
        if (*a == 0 || *b == 0) {
            if (*a != *b) return *a == 0 ? -1 : 1;
            return ignoreCase ? 0 : caseOrder;
        }
        int wa = sortWeight(*a);
        int wb = sortWeight(*b);
        if (wa != wb) return wa < wb ? -1 : 1;
        // Lower case sorts before upper case, but only when nothing else differs.
        if (caseOrder == 0 && *a != *b) caseOrder = internal::foldCase(*a) == *a ? 1 : -1;
    }
}

}   // namespace

namespace internal {

WCHAR foldCase(WCHAR unit)
{
    // ASCII first: most names are, and the registry folds every unit it compares.
    if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? static_cast<WCHAR>(unit - (u'a' - u'A')) : unit;
    for (const auto &block : kShiftedBlocks) {
        if (unit >= block.first && unit <= block.last) return static_cast<WCHAR>(unit + block.toUpper);
    }
    for (const auto &block : kAlternatingBlocks) {
        if (unit >= block.first && unit <= block.last) {
            bool isLower = ((unit & 1) == 0) != block.upperIsEven;
            return isLower ? static_cast<WCHAR>(unit - 1) : unit;
        }
    }
    for (const auto &mapping : kSingleMappings) {
        if (unit == mapping.lower) return mapping.upper;
    }
    return unit;
}

WCHAR ansiUnitToWide(char c)
{
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte <= 0x9F) return kCp1252High[byte - 0x80];
    return byte;
}

char wideUnitToAnsi(WCHAR unit)
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
    for (size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == unit) return static_cast<char>(0x80 + i);
    }
    const auto fit = std::lower_bound(std::begin(kCp1252BestFit), std::end(kCp1252BestFit), unit,
                                      [](const BestFit &entry, WCHAR wanted) { return entry.unit < wanted; });
    if (fit != std::end(kCp1252BestFit) && fit->unit == unit) return static_cast<char>(fit->byte);
    return '?';
}

std::u16string ansiToWide(std::string_view text)
{
    std::u16string wide;
    wide.reserve(text.size());
    for (char c : text) wide.push_back(ansiUnitToWide(c));
    return wide;
}

std::string wideToAnsi(std::u16string_view text)
{
    std::string narrow;
    narrow.reserve(text.size());
    for (WCHAR unit : text) narrow.push_back(wideUnitToAnsi(unit));
    return narrow;
}

}   // namespace internal

// ---- wsprintf ----------------------------------------------------------------------------------

int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list arglist)
{
    if (buffer == nullptr || format == nullptr) return 0;
    return formatCapped(buffer, format, arglist);
}

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    int length = wvsprintfW(buffer, format, args);
    va_end(args);
    return length;
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...)
{
    if (buffer == nullptr || format == nullptr) return 0;
    va_list args;
    va_start(args, format);
    int length = formatCapped(buffer, format, args);
    va_end(args);
    return length;
}

// ---- lstr* -------------------------------------------------------------------------------------
// Win32 answers a null pointer with 0 or NULL instead of a crash; so do these.

int WINAPI lstrlenW(LPCWSTR s)
{
    return s == nullptr ? 0 : static_cast<int>(wcslen(s));
}

int WINAPI lstrlenA(LPCSTR s)
{
    return s == nullptr ? 0 : static_cast<int>(std::strlen(s));
}

LPWSTR WINAPI lstrcpyW(LPWSTR dst, LPCWSTR src)
{
    if (dst == nullptr || src == nullptr) return nullptr;
    return wcscpy(dst, src);
}

LPWSTR WINAPI lstrcpynW(LPWSTR dst, LPCWSTR src, int maxLength)
{
    if (dst == nullptr || src == nullptr) return nullptr;
    int i = 0;
    for (; i + 1 < maxLength && src[i] != 0; ++i) dst[i] = src[i];
    if (maxLength > 0) dst[i] = 0;
    return dst;
}

LPWSTR WINAPI lstrcatW(LPWSTR dst, LPCWSTR src)
{
    if (dst == nullptr || src == nullptr) return nullptr;
    return wcscat(dst, src);
}

int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b)
{
    return compareLinguistic(a, b, false);
}

int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b)
{
    return compareLinguistic(a, b, true);
}

// ---- C wide-string functions for a 16-bit WCHAR ------------------------------------------------

size_t wcslen(const WCHAR *s)
{
    size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

int wcscmp(const WCHAR *a, const WCHAR *b)
{
    for (; *a != 0 && *a == *b; ++a, ++b) { }
    return *a == *b ? 0 : (*a < *b ? -1 : 1);
}

int wcsncmp(const WCHAR *a, const WCHAR *b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
        if (a[i] == 0) return 0;
    }
    return 0;
}

WCHAR *wcscpy(WCHAR *dst, const WCHAR *src)
{
    WCHAR *d = dst;
    while ((*d++ = *src++) != 0) { }
    return dst;
}

WCHAR *wcsncpy(WCHAR *dst, const WCHAR *src, size_t n)
{
    size_t i = 0;
    for (; i < n && src[i] != 0; ++i) dst[i] = src[i];
    for (; i < n; ++i) dst[i] = 0;
    return dst;
}

WCHAR *wcscat(WCHAR *dst, const WCHAR *src)
{
    wcscpy(dst + wcslen(dst), src);
    return dst;
}
