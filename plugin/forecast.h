// The remaining on-time forecast: the suffix the item's first line carries.
#ifndef DURVO_FORECAST_H
#define DURVO_FORECAST_H

#include <windows.h>

// Room for the suffix with its terminator: at most 63 characters.
const int forecastSuffixChars = 64;

// Fills suffix (forecastSuffixChars units) with " of H:MM" or ", H:MM remains"
// learned from the charge history. Empty when the history holds no fall, the charge
// is unknown, the forecast is off, the count is held at full charge, or the value
// does not fit in 32 bits of milliseconds. Reads the meter state only; allocates nothing.
void forecastSuffix(WCHAR *suffix);

#endif
