#include "item_paint.h"

#include <aygshell.h>
#include <today_host.h>

#include "forecast.h"
#include "module.h"
#include "resource.h"
#include "time_texts.h"

// Icon placement: the text starts right of the icon, which sits at (2, 1).
const int iconLeft = 2;
const int iconTop = 1;
const int smallIconSize = 16;
const int smallIconIndent = 30;
const int largeIconSize = 32;
const int largeIconIndent = 56;

const LONG boldWeight = 700;
const LONG normalWeight = 400;
const LONG systemWeight = 0;   // leave the system font's own weight

void composeItemLines(const MeterState &state, const LineParts &parts, ItemLines *lines)
{
    const MeterSettings &settings = state.settings;
    bool deactivated = settings.resetOnFullCharge != 0 && state.fullyCharged != 0;
    HoursMinutes shown = toHoursMinutes(state.onTimeMs);
    int hours = (int)shown.hours;
    int minutes = (int)shown.minutes;

    // The longest line is about 110 units (two 30-unit date strings, a 31-unit elapsed text),
    // well inside lineChars.
    lines->second[0] = 0;
    if (settings.briefView != 0) {
        lines->count = 1;
        if (deactivated)
            lstrcpyW(lines->first, TEXT("Timer deactivated"));
        else if (settings.forecastMode != 0)
            wsprintfW(lines->first, TEXT("Durvo %d:%02d%s"), hours, minutes, parts.suffix);
        else
            wsprintfW(lines->first, TEXT("Durvo %d:%02d, since %s, %s "), hours, minutes, parts.startDate,
                      parts.startTime);
        return;
    }

    lines->count = 2;
    if (deactivated) {
        lstrcpyW(lines->first, TEXT("Battery is fully charged"));
        lstrcpyW(lines->second, TEXT("Timer deactivated"));
        return;
    }
    WCHAR prefix[lineChars];
    if (state.chargeLevel <= 100)
        wsprintfW(prefix, TEXT("%d%%, durvo "), (int)state.chargeLevel);
    else
        lstrcpyW(prefix, TEXT("Durvo "));
    wsprintfW(lines->first, TEXT("%s%d:%02d%s"), prefix, hours, minutes, parts.suffix);
    wsprintfW(lines->second, TEXT("Started %s, %s (%s ago)"), parts.startDate, parts.startTime,
              parts.elapsed);
}

// The shell's user-interface font size in pixels, or the height of 8 points (1/9 inch) of the
// device when the shell cannot tell.
static void measureUiFontHeight(HDC dc)
{
    // Looked up afresh each time: the shell library may come and go with the shell.
    HMODULE shell = LoadLibraryW(TEXT("AYGSHELL"));
    FARPROC found = shell != NULL ? GetProcAddressW(shell, TEXT("SHGetUIMetrics")) : NULL;
    // Through the generic function type, as a looked-up export has no type of its own.
    PFN_SHGetUIMetrics getUiMetrics = (PFN_SHGetUIMetrics)(void (*)())found;
    if (getUiMetrics != NULL) {
        uiFontHeight = 12;
        getUiMetrics(SHUIM_FONTSIZE_PIXEL, &uiFontHeight, sizeof uiFontHeight, NULL);
    } else {
        uiFontHeight = (int)(GetDeviceCaps(dc, LOGPIXELSY) * (1.0 / 9.0) + 0.5);
    }
    if (shell != NULL) {
        FreeLibrary(shell);
    }
}

// The system font at the given weight, at the shell's font size in the Pocket PC 2002 view style.
static HFONT createItemFont(LONG weight)
{
    LOGFONTW font;
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof font, &font);
    if (weight != systemWeight) font.lfWeight = weight;
    if (meterState.settings.ppc2002Style != 0) font.lfHeight = -uiFontHeight;
    return CreateFontIndirectW(&font);
}

void measureLineHeight(HWND window)
{
    HDC dc = GetDC(window);
    HFONT font = NULL;
    HGDIOBJ previousFont = NULL;
    if (meterState.settings.ppc2002Style != 0) {
        measureUiFontHeight(dc);
        font = createItemFont(systemWeight);
        previousFont = SelectObject(dc, font);
    }

    RECT measured;
    SetRect(&measured, 0, 0, 0, 0);
    LPCWSTR sample = meterState.settings.briefView != 0 ? TEXT("Qq") : TEXT("Qq\n\rQq");
    DrawTextW(dc, sample, -1, &measured, DT_CALCRECT);
    lineHeight = measured.bottom - measured.top;
    if (lineHeight < minLineHeight) lineHeight = minLineHeight;
    if (GetDeviceCaps(dc, LOGPIXELSX) >= highDpiFrom && lineHeight < minLineHeightHighDpi)
        lineHeight = minLineHeightHighDpi;

    if (font != NULL) {
        SelectObject(dc, previousFont);
        DeleteObject(font);
    }
    ReleaseDC(window, dc);
}

static void drawLine(HDC dc, LPCWSTR text, RECT *rect, LONG weight)
{
    HFONT font = createItemFont(weight);
    HGDIOBJ previousFont = SelectObject(dc, font);
    DrawTextW(dc, text, -1, rect, 0);
    SelectObject(dc, previousFont);
    DeleteObject(font);
}

void paintItem(HWND window)
{
    const MeterSettings &settings = meterState.settings;
    meterState.paintedOnTimeMs = meterState.onTimeMs;

    WCHAR startDate[dateTimeChars];
    WCHAR startTime[dateTimeChars];
    formatDateAndTime(meterState.startedAt, startDate, startTime);

    WCHAR suffix[forecastSuffixChars];
    suffix[0] = 0;
    bool deactivated = settings.resetOnFullCharge != 0 && meterState.fullyCharged != 0;
    if (settings.forecastMode != 0 && !deactivated) forecastSuffix(suffix);

    WCHAR elapsed[elapsedChars];
    elapsed[0] = 0;
    if (settings.briefView == 0 && !deactivated) formatElapsed(elapsed);

    LineParts parts = {startDate, startTime, elapsed, suffix};
    ItemLines lines;
    composeItemLines(meterState, parts, &lines);

    RECT client;
    GetClientRect(window, &client);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);

    int iconId = IDI_DURVO;
    int iconSize = smallIconSize;
    int indent = smallIconIndent;
    if (settings.ppc2002Style != 0) {
        iconId = IDI_DURVO_PPC2002;
        if (GetDeviceCaps(dc, LOGPIXELSX) >= highDpiFrom) {
            iconSize = largeIconSize;
            indent = largeIconIndent;
        }
    }
    HICON icon
        = (HICON)LoadImageW(moduleInstance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, iconSize, iconSize, 0);

    SetBkMode(dc, TRANSPARENT);
    if (icon != NULL) DrawIconEx(dc, iconLeft, iconTop, icon, 0, 0, 0, NULL, DI_NORMAL);
    if (settings.ppc2002Style != 0)
        SetTextColor(dc, (COLORREF)SendMessageW(GetParent(window), TODAYM_GETCOLOR, TODAYCOLOR_TEXT, 0));

    bool detailed = settings.briefView == 0;
    RECT text = client;
    text.left = indent;
    if (detailed) text.top -= 1;
    // The brief view keeps the system font's own weight; the detailed view's first line is bold.
    drawLine(dc, lines.first, &text, detailed ? boldWeight : systemWeight);
    if (detailed) {
        text.top += lineHeight / 2;
        drawLine(dc, lines.second, &text, normalWeight);
    }

    EndPaint(window, &paint);
    if (icon != NULL) DestroyIcon(icon);
}
