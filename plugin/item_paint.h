// The Today item's text and painting, the item's height, and the small formatters the report
// and the forecast share with it.
#ifndef DURVO_ITEM_PAINT_H
#define DURVO_ITEM_PAINT_H

#include "meter_state.h"

// Text limits in UTF-16 units, terminator included.
const int dateTimeChars = 31;   // a date or a time of day: 30 characters
const int elapsedChars = 32;    // the elapsed-time text: 31 characters
const int lineChars = 256;      // a composed line or the detailed view's prefix: 255 characters

// Fewer than this many pixels of text would crowd the item's icon.
const int minLineHeight = 18;
const int minLineHeightHighDpi = 34;
const int highDpiFrom = 130;   // LOGPIXELSX from which a device counts as high-resolution

struct HoursMinutes {
    DWORD hours;     // not wrapped at 24
    DWORD minutes;   // 0..59
};

// Whole hours and minutes of a millisecond count; fills every "%d:%02d" the plug-in shows.
HoursMinutes toHoursMinutes(DWORD ms);

// The short date and the time of day (without seconds) of a local time, each in a buffer of
// dateTimeChars units; "?" when the platform cannot format it.
void formatDateAndTime(const SYSTEMTIME &time, WCHAR *date, WCHAR *timeOfDay);

// "2d 3h", "3h 25m", "25m" or "-5m": the time from the start of the count to now, into a
// buffer of elapsedChars units; "?" when either time cannot be converted.
void formatElapsed(WCHAR *text);
// The same text for a number of seconds.
void formatElapsedSeconds(LONGLONG seconds, WCHAR *text);

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
