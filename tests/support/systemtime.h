// A local time written the way people read it; the day of the week is left 0, as the file-time
// conversions ignore it.
#ifndef DURVO_TESTS_SYSTEMTIME_H
#define DURVO_TESTS_SYSTEMTIME_H

#include <windows.h>

inline SYSTEMTIME at(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                     WORD milliseconds = 0)
{
    return {year, month, 0, day, hour, minute, second, milliseconds};
}

#endif
