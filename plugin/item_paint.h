// The Today item's text and painting, and the item's height.
#ifndef DURVO_ITEM_PAINT_H
#define DURVO_ITEM_PAINT_H

#include "meter_state.h"

// Text limits in UTF-16 units, terminator included.
const int lineChars = 256;   // a composed line or the detailed view's prefix: 255 characters

// Fewer than this many pixels of text would crowd the item's icon.
const int minLineHeight = 18;
const int minLineHeightHighDpi = 34;
const int highDpiFrom = 130;   // LOGPIXELSX from which a device counts as high-resolution

// The formatted pieces the item's lines are built from.
struct LineParts {
    const WCHAR *startDate;
    const WCHAR *startTime;
    const WCHAR *elapsed;   // read in the detailed view only
    const WCHAR *suffix;    // the forecast; empty when there is none
};

struct ItemLines {
    int count;   // 1 in the brief view, 2 in the detailed view
    WCHAR first[lineChars];
    WCHAR second[lineChars];   // empty in the brief view
};

// Chooses and fills the item's lines from the state; calls no platform service.
void composeItemLines(const MeterState &state, const LineParts &parts, ItemLines *lines);

// Sets uiFontHeight (Pocket PC 2002 view style only) and lineHeight from a device context of
// the given window.
void measureLineHeight(HWND window);

// The item window's WM_PAINT: icon, then one or two lines of text.
void paintItem(HWND window);

#endif
