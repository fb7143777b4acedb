#include "report.h"

#include "maker.h"
#include "meter_state.h"
#include "module.h"
#include "time_texts.h"

// Rows of the usage log with this much on-time or less are left out: they were seen once only.
static const DWORD shortestListedUsageMs = 5000;
// The history's first row is compared with a level no row can have, so it is always written.
static const LONG noPreviousLevel = 999;
static const int reportMessageChars = 256;
static const char unmappableCharacter = '?';

bool writeReportLine(HANDLE file, const WCHAR *line)
{
    char bytes[reportLineBytes];
    int length = 0;
    while (line[length] != 0 && length < reportLineBytes - 2) {
        WCHAR unit = line[length];
        // A control character, or the low byte of one outside ISO 8859-1, could be a NUL or a
        // line break that splits the report's table: both become "?".
        bytes[length] = unit >= 0x20 && unit <= 0xFF ? (char)(BYTE)unit : unmappableCharacter;
        length++;
    }
    bytes[length] = '\r';
    bytes[length + 1] = '\n';
    DWORD wanted = (DWORD)(length + 2);
    DWORD written = 0;
    return WriteFile(file, bytes, wanted, &written, NULL) && written == wanted;
}

static void tellUser(LPCWSTR format, LPCWSTR caption)
{
    WCHAR message[reportMessageChars];
    wsprintfW(message, format, REPORT_FILE_PATH);
    MessageBoxW(itemWindow, message, caption, MB_OK);
}

// Each returns false at the first line that could not be written whole.

static bool writeHeading(HANDLE file)
{
    WCHAR line[reportLineChars];
    WCHAR date[dateTimeChars];
    WCHAR timeOfDay[dateTimeChars];
    if (!writeReportLine(file, DURVO_PLUGIN_VERSION)
        || !writeReportLine(file, DURVO_MAKER_NOTICE TEXT(" ") DURVO_MAKER_CONTACT)
        || !writeReportLine(file, TEXT(""))) {
        return false;
    }

    SYSTEMTIME now;
    GetLocalTime(&now);
    formatDateAndTime(now, date, timeOfDay);
    wsprintfW(line, TEXT("Report generated: %s, %s "), date, timeOfDay);
    if (!writeReportLine(file, line)) {
        return false;
    }

    // Two 30-unit date strings and a 31-unit elapsed text: about 110 units of the 255.
    WCHAR elapsed[elapsedChars];
    formatDateAndTime(meterState.startedAt, date, timeOfDay);
    formatElapsed(elapsed);
    wsprintfW(line, TEXT("Timer started %s, %s, %s ago "), date, timeOfDay, elapsed);
    if (!writeReportLine(file, line)) {
        return false;
    }

    HoursMinutes onTime = toHoursMinutes(meterState.onTimeMs);
    wsprintfW(line, TEXT("Current durvo: %d:%02d "), (int)onTime.hours, (int)onTime.minutes);
    if (!writeReportLine(file, line)) {
        return false;
    }
    if (meterState.chargeLevel <= 100) {
        wsprintfW(line, TEXT("Battery charge level: %d%% "), (int)meterState.chargeLevel);
    } else {
        lstrcpyW(line, TEXT("Battery charge level: Unknown "));
    }
    return writeReportLine(file, line) && writeReportLine(file, TEXT("")) && writeReportLine(file, TEXT(""));
}

// One line for each level the battery reached, at the on-time it was reached.
static bool writeHistory(HANDLE file)
{
    if (!writeReportLine(file, TEXT(" Durvo   Charge"))
        || !writeReportLine(file, TEXT("-----------------"))) {
        return false;
    }
    DWORD rows = meterState.historyCount < historyCapacity ? meterState.historyCount : historyCapacity;
    LONG previousLevel = noPreviousLevel;
    for (DWORD i = 0; i < rows; i++) {
        const ChargeHistoryEntry &row = meterState.history[i];
        if (row.level == previousLevel) {
            continue;
        }
        previousLevel = row.level;
        WCHAR line[reportLineChars];
        HoursMinutes reached = toHoursMinutes(row.startOnTimeMs);
        wsprintfW(line, TEXT(" %2d:%02d     %3d%% "), (int)reached.hours, (int)reached.minutes,
                  (int)row.level);
        if (!writeReportLine(file, line)) {
            return false;
        }
    }
    return writeReportLine(file, TEXT("")) && writeReportLine(file, TEXT(""));
}

static bool writeApplications(HANDLE file)
{
    if (meterState.settings.gatherAppStats == 0) {
        // Spelling as users know it ("plugun"): keep.
        return writeReportLine(file, TEXT("No application log maintained."))
            && writeReportLine(file, TEXT("Please check plugun options page."));
    }
    if (!writeReportLine(file, TEXT("Cnt Durvo Application"))
        || !writeReportLine(file, TEXT("----------------------------------------------"))) {
        return false;
    }
    DWORD rows = meterState.appCount < appCapacity ? meterState.appCount : appCapacity;
    for (DWORD i = 0; i < rows; i++) {
        const AppUsageEntry &app = meterState.apps[i];
        if (app.usageMs <= shortestListedUsageMs) {
            continue;
        }
        // A stored row may lack its terminator; the copy always has one.
        WCHAR title[appTitleUnits];
        lstrcpynW(title, app.title, appTitleUnits);
        WCHAR line[reportLineChars];
        HoursMinutes used = toHoursMinutes(app.usageMs);
        wsprintfW(line, TEXT("%3d %2d:%02d %s"), (int)app.launchCount, (int)used.hours, (int)used.minutes,
                  title);
        if (app.running) {
            lstrcatW(line, TEXT(" (*)"));
        }
        if (!writeReportLine(file, line)) {
            return false;
        }
    }
    return true;
}

// The old report goes only once a whole new one waits beside it; Windows CE's MoveFileW
// never replaces a file, so the old one is deleted first. A report file that cannot be
// deleted (open in Pocket Word, or no regular file) keeps its bytes and the new one is dropped.
static bool replaceReport()
{
    if (!DeleteFileW(REPORT_FILE_PATH) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        DeleteFileW(REPORT_NEW_FILE_PATH);
        return false;
    }
    // Should even this fail, the whole report stays beside, under its temporary name.
    return MoveFileW(REPORT_NEW_FILE_PATH, REPORT_FILE_PATH) != FALSE;
}

void writeReport(ReportMode mode)
{
    bool interactive = mode == ReportMode::Interactive;
    // Spelling as users know it ("Please sure", "successfuly" below): keep.
    LPCWSTR cannotCreate = TEXT(
        "Unable to create file \n%s\nPlease sure this file is not opened by any program like Pocket Word");
    HANDLE file
        = CreateFileW(REPORT_NEW_FILE_PATH, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        if (interactive) {
            tellUser(cannotCreate, TEXT("Error"));
        }
        return;
    }

    bool written = writeHeading(file) && writeHistory(file) && writeApplications(file)
        && writeReportLine(file, TEXT(""));
    CloseHandle(file);

    // A report cut short is no report: the previous one stays, the user hears of it, and the
    // autosave tries again.
    if (!written) {
        DeleteFileW(REPORT_NEW_FILE_PATH);
        if (interactive) {
            tellUser(TEXT("Unable to write file \n%s\nThe storage may be full."), TEXT("Error"));
        }
        return;
    }
    if (!replaceReport()) {
        if (interactive) {
            tellUser(cannotCreate, TEXT("Error"));
        }
        return;
    }
    if (interactive) {
        tellUser(TEXT("Durvo report was successfuly saved to \n%s\nUse PocketWord to open this file."),
                 TEXT("Successful"));
    }
    meterState.logElapsedMs = 0;
}
