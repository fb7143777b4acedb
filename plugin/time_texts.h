// The time texts the item, the forecast and the report share.
#ifndef DURVO_TIME_TEXTS_H
#define DURVO_TIME_TEXTS_H

#include <windows.h>

// Text limits in UTF-16 units, terminator included.
const int dateTimeChars = 31;   // a date or a time of day: 30 characters
const int elapsedChars = 32;    // the elapsed-time text: 31 characters

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

#endif
