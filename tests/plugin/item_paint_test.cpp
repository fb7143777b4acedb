// The item's text: which lines each state shows, the hours-and-minutes and elapsed-time
// formats, the measured line height, and what a paint leaves behind.
#include <control.h>
#include <gtest/gtest.h>

#include "item_paint.h"
#include "item_window.h"
#include "time_texts.h"
#include "meter_state.h"
#include "support/durvo_fixtures.h"
#include "support/systemtime.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string utf8(const WCHAR *text)
{
    return control::toUtf8(text);
}

struct CompositionCase {
    const char *proves;
    DWORD briefView;
    DWORD forecastMode;
    DWORD resetOnFullCharge;
    DWORD fullyCharged;
    DWORD onTimeMs;
    BYTE chargeLevel;
    const WCHAR *suffix;
    int count;
    const char *first;
    const char *second;
};

const DWORD ms1234 = (12 * 3600 + 34 * 60) * 1000;

const CompositionCase compositionCases[] = {
    {"brief, deactivated only when both flags are set", 1, 1, 1, 1, ms1234, 85, TEXT(" of 15:10"), 1,
     "Timer deactivated", ""},
    {"brief, full charge without the reset rule still counts", 1, 1, 0, 1, ms1234, 100, TEXT(" of 15:10"), 1,
     "Durvo 12:34 of 15:10", ""},
    {"brief, the reset rule without a full charge still counts", 1, 0, 1, 0, ms1234, 100, TEXT(""), 1,
     "Durvo 12:34, since 6/10/2005, 3:15 PM ", ""},
    {"brief with a forecast", 1, 2, 0, 0, ms1234, 85, TEXT(", 2:36 remains"), 1, "Durvo 12:34, 2:36 remains",
     ""},
    {"brief, forecast mode on but nothing learned: just the on-time", 1, 1, 0, 0, 12 * 60000, 85, TEXT(""), 1,
     "Durvo 0:12", ""},
    {"brief without a forecast: start date and time with the trailing blank", 1, 0, 0, 0, ms1234, 85,
     TEXT(""), 1, "Durvo 12:34, since 6/10/2005, 3:15 PM ", ""},
    {"25 hours stay hours, not days", 1, 1, 0, 0, 25 * 3600000, 85, TEXT(""), 1, "Durvo 25:00", ""},
    {"59 999 ms is not yet a minute", 1, 1, 0, 0, 59999, 85, TEXT(""), 1, "Durvo 0:00", ""},
    {"the largest count: 4294967295 ms", 1, 1, 0, 0, 0xFFFFFFFFu, 85, TEXT(""), 1, "Durvo 1193:02", ""},
    {"detailed, deactivated", 0, 1, 1, 1, ms1234, 100, TEXT(" of 15:10"), 2, "Battery is fully charged",
     "Timer deactivated"},
    {"detailed with a known charge level and a forecast", 0, 2, 0, 0, ms1234, 85, TEXT(", 2:36 remains"), 2,
     "85%, durvo 12:34, 2:36 remains", "Started 6/10/2005, 3:15 PM (2d 3h ago)"},
    {"detailed, 100 is still a known level", 0, 0, 0, 0, ms1234, 100, TEXT(""), 2, "100%, durvo 12:34",
     "Started 6/10/2005, 3:15 PM (2d 3h ago)"},
    {"detailed, 0 is a known level", 0, 0, 0, 0, 0, 0, TEXT(""), 2, "0%, durvo 0:00",
     "Started 6/10/2005, 3:15 PM (2d 3h ago)"},
    {"detailed, 101 (three-state sensor without a state) is unknown", 0, 1, 0, 0, ms1234, 101,
     TEXT(" of 15:10"), 2, "Durvo 12:34 of 15:10", "Started 6/10/2005, 3:15 PM (2d 3h ago)"},
    {"detailed, 255 (not read yet) is unknown", 0, 1, 0, 0, ms1234, 255, TEXT(""), 2, "Durvo 12:34",
     "Started 6/10/2005, 3:15 PM (2d 3h ago)"},
};

TEST(LineComposition, EveryRowOfTheLineTable)
{
    static MeterState state;
    for (const CompositionCase &c : compositionCases) {
        SCOPED_TRACE(c.proves);
        state = MeterState{};
        state.settings.briefView = c.briefView;
        state.settings.forecastMode = c.forecastMode;
        state.settings.resetOnFullCharge = c.resetOnFullCharge;
        state.fullyCharged = c.fullyCharged;
        state.onTimeMs = c.onTimeMs;
        state.chargeLevel = c.chargeLevel;
        LineParts parts = {TEXT("6/10/2005"), TEXT("3:15 PM"), TEXT("2d 3h"), c.suffix};
        ItemLines lines;
        composeItemLines(state, parts, &lines);
        EXPECT_EQ(lines.count, c.count);
        EXPECT_EQ(utf8(lines.first), c.first);
        EXPECT_EQ(utf8(lines.second), c.second);
    }
}

// The longest pieces the limits allow still fit a line.
TEST(LineComposition, LongestPiecesFit)
{
    static MeterState state;
    state = MeterState{};
    state.onTimeMs = 0xFFFFFFFFu;
    state.chargeLevel = 100;
    std::u16string date(30, u'd'), time(30, u't'), elapsed(31, u'e'), suffix(63, u's');
    LineParts parts = {date.c_str(), time.c_str(), elapsed.c_str(), suffix.c_str()};
    ItemLines lines;
    composeItemLines(state, parts, &lines);
    EXPECT_EQ(std::u16string(lines.first), u"100%, durvo 1193:02" + suffix);
    EXPECT_EQ(std::u16string(lines.second), u"Started " + date + u", " + time + u" (" + elapsed + u" ago)");
}

class ItemTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        control::resetDevice();
        meterState = MeterState{};
    }
    // Start of the count and the clock, both local time.
    static void setTimes(const SYSTEMTIME &start, const SYSTEMTIME &now)
    {
        meterState.startedAt = start;
        control::setLocalTime(now);
    }
};

struct ElapsedCase {
    const char *proves;
    SYSTEMTIME start;
    SYSTEMTIME now;
    const char *text;
};

using FormatElapsed = ItemTextTest;

TEST_F(FormatElapsed, DaysHoursMinutes)
{
    const ElapsedCase cases[] = {
        {"days and hours, minutes dropped", at(2005, 6, 8, 12, 0, 0), at(2005, 6, 10, 15, 25, 0), "2d 3h"},
        {"exactly one day shows no hours", at(2005, 6, 9, 8, 0, 0), at(2005, 6, 10, 8, 0, 0), "1d"},
        {"one day and 59 minutes still shows no hours", at(2005, 6, 9, 8, 0, 0), at(2005, 6, 10, 8, 59, 59),
         "1d"},
        {"just under a day", at(2005, 6, 9, 8, 1, 0), at(2005, 6, 10, 8, 0, 0), "23h 59m"},
        {"hours and minutes", at(2005, 6, 10, 4, 35, 0), at(2005, 6, 10, 8, 0, 0), "3h 25m"},
        {"one hour and no minutes", at(2005, 6, 10, 7, 0, 0), at(2005, 6, 10, 8, 0, 0), "1h 0m"},
        {"minutes only", at(2005, 6, 10, 7, 35, 0), at(2005, 6, 10, 8, 0, 0), "25m"},
        {"59 seconds are 0 minutes", at(2005, 6, 10, 7, 59, 1), at(2005, 6, 10, 8, 0, 0), "0m"},
        {"a start in the future gives negative minutes", at(2005, 6, 10, 8, 5, 0), at(2005, 6, 10, 8, 0, 0),
         "-5m"},
        {"more than an hour ahead: still no hours, only the minutes", at(2005, 6, 10, 9, 5, 0),
         at(2005, 6, 10, 8, 0, 0), "-5m"},
        {"crossing a year end", at(2004, 12, 31, 23, 0, 0), at(2005, 1, 1, 1, 30, 0), "2h 30m"},
    };
    for (const ElapsedCase &c : cases) {
        SCOPED_TRACE(c.proves);
        setTimes(c.start, c.now);
        WCHAR text[elapsedChars];
        formatElapsed(text);
        EXPECT_EQ(utf8(text), c.text);
    }
}

// A start time that cannot be converted (never set, or damaged in the store) must not leave
// the text unwritten.
TEST_F(FormatElapsed, UnconvertibleStartShowsQuestionMark)
{
    setTimes(at(0, 0, 0, 0, 0, 0), at(2005, 6, 10, 8, 0, 0));
    WCHAR text[elapsedChars];
    for (WCHAR &unit : text) unit = u'#';
    formatElapsed(text);
    EXPECT_EQ(utf8(text), "?");
}

using FormatDateAndTime = ItemTextTest;

TEST_F(FormatDateAndTime, ShortDateAndTimeWithoutSeconds)
{
    struct {
        const char *proves;
        SYSTEMTIME time;
        const char *date;
        const char *timeOfDay;
    } const cases[] = {
        {"afternoon, seconds dropped", at(2005, 6, 10, 15, 15, 42), "6/10/2005", "3:15 PM"},
        {"midnight", at(2005, 12, 31, 0, 5, 0), "12/31/2005", "12:05 AM"},
        {"month 13: no date, the time of day is still good", at(2005, 13, 1, 8, 0, 0), "?", "8:00 AM"},
        {"hour 24: no time, the date is still good", at(2005, 6, 10, 24, 0, 0), "6/10/2005", "?"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        WCHAR date[dateTimeChars];
        WCHAR timeOfDay[dateTimeChars];
        formatDateAndTime(c.time, date, timeOfDay);
        EXPECT_EQ(utf8(date), c.date);
        EXPECT_EQ(utf8(timeOfDay), c.timeOfDay);
    }
}

// ---- Measuring and painting on a window --------------------------------------------------------

// The host answers only its text colour with this; any other colour index gets black.
const COLORREF hostTextColor = RGB(12, 34, 56);
std::vector<UINT> hostMessages;

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == TODAYM_GETCOLOR || message == TODAYM_DRAWWATERMARK) hostMessages.push_back(message);
    if (message == TODAYM_GETCOLOR) return wParam == TODAYCOLOR_TEXT ? hostTextColor : RGB(0, 0, 0);
    return DefWindowProcW(window, message, wParam, lParam);
}

class ItemOnWindowTest : public ItemTextTest {
protected:
    void SetUp() override
    {
        ItemTextTest::SetUp();
        hostMessages.clear();
        WNDCLASSW host = {};
        host.lpfnWndProc = hostProc;
        host.lpszClassName = TEXT("PaintTestHost");
        RegisterClassW(&host);
        parent = CreateWindowExW(0, TEXT("PaintTestHost"), TEXT("Today"), WS_VISIBLE, 0, 0, 240, 320, NULL,
                                 NULL, NULL, NULL);
        ASSERT_NE(parent, nullptr);
    }
    HWND parent = nullptr;
};

using LineHeight = ItemOnWindowTest;

TEST_F(LineHeight, ClampsAndFontSizes)
{
    // uiFontHeight -1 means "left alone" (the classic look never touches it).
    struct {
        const char *proves;
        DWORD ppc2002Style;
        DWORD briefView;
        int dpi;
        bool shellPresent;
        DWORD shellFontPixels;
        int uiFontHeight;
        int lineHeight;
    } const cases[] = {
        {"classic brief at 96 dpi: raised to 18", 0, 1, 96, true, 13, -1, 18},
        {"classic brief at 192 dpi: raised to 34", 0, 1, 192, true, 13, -1, 34},
        {"classic detailed at 96 dpi: two lines of the default font", 0, 0, 96, true, 13, -1, 26},
        {"classic detailed at 192 dpi: two lines of 25 need no raise", 0, 0, 192, true, 13, -1, 50},
        {"2002 brief, shell says 15 px", 1, 1, 96, true, 15, 15, 18},
        {"2002 detailed, shell says 15 px", 1, 0, 96, true, 15, 15, 36},
        {"2002 detailed at 192 dpi, shell says 12 px: 28 raised to 34", 1, 0, 192, true, 12, 12, 34},
        {"2002 detailed, shell leaves the buffer alone: 12 px", 1, 0, 96, true, 0, 12, 28},
        {"2002 detailed, no SHGetUIMetrics at 96 dpi: 11 px", 1, 0, 96, false, 0, 11, 26},
        {"2002 detailed, no SHGetUIMetrics at 192 dpi: 21 px", 1, 0, 192, false, 0, 21, 50},
        {"2002 brief, no SHGetUIMetrics at 192 dpi: 34 wins over one line", 1, 1, 192, false, 0, 21, 34},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        control::setDpi(c.dpi);
        control::setShellUiMetrics(c.shellPresent, c.shellFontPixels);
        meterState.settings.ppc2002Style = c.ppc2002Style;
        meterState.settings.briefView = c.briefView;
        uiFontHeight = -1;
        lineHeight = 0;
        measureLineHeight(parent);
        EXPECT_EQ(uiFontHeight, c.uiFontHeight);
        EXPECT_EQ(lineHeight, c.lineHeight);
    }
    EXPECT_EQ(control::liveGdiObjects().fonts, 0);
    EXPECT_EQ(control::liveGdiObjects().deviceContexts, 0);
}

// Set before the item starts, so that the class brush takes it.
const COLORREF windowColor = RGB(200, 190, 180);
// Neither bold nor normal, so that "keep the system font's weight" shows.
const LONG systemFontWeight = 500;

// The item of the linked plug-in code, with the built library as its module so that the paint
// finds the icons. A classic platform, so that the class has its window-colour brush.
class ItemPaint : public ItemOnWindowTest {
protected:
    void SetUp() override
    {
        ItemOnWindowTest::SetUp();
        control::setOsVersion(3, 0);
        control::setPlatformType(u"Palm-size PC");
        control::setSysColor(COLOR_WINDOW, windowColor);
        control::setSystemFontWeight(systemFontWeight);
        const char *build = std::getenv("DURVO_BUILD_DIR");
        ASSERT_NE(build, nullptr) << "DURVO_BUILD_DIR is not set";
        root = std::filesystem::temp_directory_path()
            / ("durvo-paint-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        module = loadBuiltDurvo(build, root);
        ASSERT_NE(module, nullptr);

        TODAYLISTITEM item = {};
        item.fEnabled = TRUE;
        item.hinstDLL = module;
        window = InitializeCustomItem(&item, parent);
        ASSERT_NE(window, nullptr);
        MoveWindow(window, 0, 0, 240, 40, FALSE);
    }
    void TearDown() override
    {
        DestroyWindow(window);
        if (module != nullptr) FreeLibrary(module);
        std::filesystem::remove_all(root);
    }
    std::vector<control::DrawnItem> paintRecord()
    {
        hostMessages.clear();
        InvalidateRect(window, NULL, TRUE);
        control::pumpMessages();
        return control::paintRecord(window);
    }
    std::vector<std::string> paint()
    {
        InvalidateRect(window, NULL, TRUE);
        control::pumpMessages();
        std::vector<std::string> lines;
        for (const std::u16string &line : control::drawnText(window)) lines.push_back(control::toUtf8(line));
        return lines;
    }
    HWND window = nullptr;
    HMODULE module = nullptr;
    std::filesystem::path root;
};

TEST_F(ItemPaint, DrawsTheComposedLinesAndReleasesEverything)
{
    control::setLocalTime(at(2005, 6, 10, 17, 20, 0));
    meterState.startedAt = at(2005, 6, 8, 14, 5, 0);
    meterState.onTimeMs = ms1234;
    meterState.chargeLevel = 85;
    meterState.settings.forecastMode = 0;
    const struct {
        const char *proves;
        DWORD ppc2002Style;
        DWORD briefView;
        std::vector<std::string> lines;
    } cases[] = {
        {"classic detailed", 0, 0, {"85%, durvo 12:34", "Started 6/8/2005, 2:05 PM (2d 3h ago)"}},
        {"classic brief", 0, 1, {"Durvo 12:34, since 6/8/2005, 2:05 PM "}},
        {"2002 detailed", 1, 0, {"85%, durvo 12:34", "Started 6/8/2005, 2:05 PM (2d 3h ago)"}},
        {"2002 brief", 1, 1, {"Durvo 12:34, since 6/8/2005, 2:05 PM "}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        meterState.settings.ppc2002Style = c.ppc2002Style;
        meterState.settings.briefView = c.briefView;
        control::GdiCounts before = control::liveGdiObjects();
        meterState.paintedOnTimeMs = 0;
        EXPECT_EQ(paint(), c.lines);
        EXPECT_EQ(meterState.paintedOnTimeMs, ms1234);
        control::GdiCounts after = control::liveGdiObjects();
        EXPECT_EQ(after.fonts, before.fonts);
        EXPECT_EQ(after.brushes, before.brushes);
        EXPECT_EQ(after.icons, before.icons);
        EXPECT_EQ(after.deviceContexts, before.deviceContexts);
    }
}

// Icon, indent, fonts, rectangles and colours of both views in both looks, at 96 and 192 dpi.
TEST_F(ItemPaint, IconFontsRectanglesAndColours)
{
    using Kind = control::DrawnItem::Kind;
    const RECT fill = {0, 0, 240, 40};
    struct {
        const char *proves;
        DWORD ppc2002Style;
        DWORD briefView;
        int dpi;
        int iconGroup;
        int iconSize;
        int iconBits;
        int indent;
        LONG firstWeight;
        LONG fontHeight;
        COLORREF textColor;
    } const cases[] = {
        {"2002 detailed, 96 dpi: small 256-colour icon, bold, the shell's font size", 1, 0, 96, 105, 16, 8,
         30, 700, -15, hostTextColor},
        {"2002 detailed, 192 dpi: large icon and indent", 1, 0, 192, 105, 32, 4, 56, 700, -15, hostTextColor},
        {"2002 brief, 96 dpi: the system font's weight", 1, 1, 96, 105, 16, 8, 30, systemFontWeight, -15,
         hostTextColor},
        {"2002 brief, 192 dpi", 1, 1, 192, 105, 32, 4, 56, systemFontWeight, -15, hostTextColor},
        {"classic detailed, 96 dpi: icon 101, the system font's size, default colour", 0, 0, 96, 101, 16, 4,
         30, 700, -11, RGB(0, 0, 0)},
        {"classic detailed, 192 dpi: still the small icon", 0, 0, 192, 101, 16, 4, 30, 700, -21,
         RGB(0, 0, 0)},
        {"classic brief, 96 dpi", 0, 1, 96, 101, 16, 4, 30, systemFontWeight, -11, RGB(0, 0, 0)},
        {"classic brief, 192 dpi", 0, 1, 192, 101, 16, 4, 30, systemFontWeight, -21, RGB(0, 0, 0)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        control::setDpi(c.dpi);
        meterState.settings.ppc2002Style = c.ppc2002Style;
        meterState.settings.briefView = c.briefView;
        uiFontHeight = 15;
        lineHeight = 37;   // odd: the second line moves down by 18
        const std::vector<control::DrawnItem> record = paintRecord();
        const bool detailed = c.briefView == 0;
        ASSERT_EQ(record.size(), size_t(c.ppc2002Style ? 0 : 1) + 1 + (detailed ? 2 : 1));
        size_t at = 0;

        // The erase: the host's watermark, or the class brush in the window colour.
        if (c.ppc2002Style) {
            std::vector<UINT> expected = {TODAYM_DRAWWATERMARK, TODAYM_GETCOLOR};
            EXPECT_EQ(hostMessages, expected);
        } else {
            EXPECT_EQ(hostMessages, std::vector<UINT>{});
            const control::DrawnItem &erase = record[at++];
            EXPECT_EQ(erase.kind, Kind::Fill);
            EXPECT_EQ(erase.brushColor, windowColor);
            EXPECT_EQ(erase.rect.right, fill.right);
            EXPECT_EQ(erase.rect.bottom, fill.bottom);
        }

        const control::DrawnItem &icon = record[at++];
        EXPECT_EQ(icon.kind, Kind::Icon);
        EXPECT_EQ(icon.iconGroup, c.iconGroup);
        EXPECT_EQ(icon.imageWidth, c.iconSize);
        EXPECT_EQ(icon.imageHeight, c.iconSize);
        EXPECT_EQ(icon.imageBitCount, c.iconBits);
        EXPECT_EQ(icon.rect.left, 2);
        EXPECT_EQ(icon.rect.top, 1);
        EXPECT_EQ(icon.rect.right, 2 + c.iconSize);
        EXPECT_EQ(icon.rect.bottom, 1 + c.iconSize);

        const control::DrawnItem &first = record[at++];
        EXPECT_EQ(first.kind, Kind::Text);
        EXPECT_EQ(first.rect.left, c.indent);
        EXPECT_EQ(first.rect.top, detailed ? -1 : 0);
        EXPECT_EQ(first.rect.right, 240);
        EXPECT_EQ(first.rect.bottom, 40);
        EXPECT_EQ(first.format, 0u);
        EXPECT_EQ(first.fontWeight, c.firstWeight);
        EXPECT_EQ(first.fontHeight, c.fontHeight);
        EXPECT_EQ(first.textColor, c.textColor);
        EXPECT_EQ(first.bkMode, TRANSPARENT);
        if (!detailed) continue;
        const control::DrawnItem &second = record[at++];
        EXPECT_EQ(second.kind, Kind::Text);
        EXPECT_EQ(second.rect.left, c.indent);
        EXPECT_EQ(second.rect.top, -1 + 18);
        EXPECT_EQ(second.rect.bottom, 40);
        EXPECT_EQ(second.format, 0u);
        EXPECT_EQ(second.fontWeight, 400);
        EXPECT_EQ(second.fontHeight, c.fontHeight);
        EXPECT_EQ(second.textColor, c.textColor);
        EXPECT_EQ(second.bkMode, TRANSPARENT);
    }
}

}   // namespace
