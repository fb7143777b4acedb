// The remaining on-time forecast: the suffix the item's first line carries.
#ifndef DURVO_FORECAST_H
#define DURVO_FORECAST_H

#include <windows.h>

// Room for the suffix with its terminator: at most 63 characters.
const int forecastSuffixChars = 64;

// Fills suffix (forecastSuffixChars units) with " of H:MM" or ", H:MM remains"
// learned from the charge history, or with the empty string when the history
// gives nothing to learn from. Reads the meter state only; allocates nothing.
void forecastSuffix(WCHAR *suffix);

#endif
