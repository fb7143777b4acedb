#include "time_texts.h"

#include "meter_state.h"

HoursMinutes toHoursMinutes(DWORD ms)
{
    DWORD seconds = ms / 1000;
    HoursMinutes result;
    result.hours = seconds / 3600;
    result.minutes = (seconds % 3600) / 60;
    return result;
}

void formatDateAndTime(const SYSTEMTIME &time, WCHAR *date, WCHAR *timeOfDay)
{
    // A start time the platform rejects would otherwise leave the buffers unwritten.
    if (GetDateFormatW(0, DATE_SHORTDATE, &time, NULL, date, dateTimeChars) == 0) lstrcpyW(date, TEXT("?"));
    if (GetTimeFormatW(0, TIME_NOSECONDS, &time, NULL, timeOfDay, dateTimeChars) == 0)
        lstrcpyW(timeOfDay, TEXT("?"));
}

void formatElapsedSeconds(LONGLONG seconds, WCHAR *text)
{
    // Signed throughout: a start later than now shows as negative minutes ("-5m").
    LONGLONG totalMinutes = seconds / 60;
    LONGLONG totalHours = totalMinutes / 60;
    LONGLONG days = totalHours / 24;
    if (days > 0) {
        wsprintfW(text, TEXT("%dd"), (int)days);
        if (totalHours % 24 > 0) {
            WCHAR daysText[elapsedChars];
            lstrcpyW(daysText, text);
            wsprintfW(text, TEXT("%s %dh"), daysText, (int)(totalHours % 24));
        }
        return;
    }
    WCHAR hoursText[elapsedChars];
    hoursText[0] = 0;
    if (totalHours > 0) wsprintfW(hoursText, TEXT("%dh "), (int)totalHours);
    wsprintfW(text, TEXT("%s%dm"), hoursText, (int)(totalMinutes % 60));
}

void formatElapsed(WCHAR *text)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME nowFileTime;
    FILETIME startFileTime;
    if (!SystemTimeToFileTime(&now, &nowFileTime)
        || !SystemTimeToFileTime(&meterState.startedAt, &startFileTime)) {
        lstrcpyW(text, TEXT("?"));
        return;
    }
    formatElapsedSeconds(fileTimeDiffSeconds(startFileTime, nowFileTime), text);
}
