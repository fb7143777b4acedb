#include "app_usage.h"

#include "meter_state.h"

const WCHAR *const excludedWindowTitles[excludedWindowTitleCount] = {
    TEXT("Desktop"),
    TEXT("MS_SIPBUTTON"),
    TEXT("Pocket PC Emulation"),
    TEXT("Successful"),   // the report's own message boxes
    TEXT("Error"),
    TEXT("FAKEIMEUI"),
    TEXT("Default Ime"),
    TEXT("CursorWindow"),
    TEXT("WimData"),
    TEXT("ConnMgrSink"),
    TEXT("SchedConnNotify"),
    TEXT("gweWinCENotify"),
    TEXT("Connect To"),
    TEXT("ReplLog"),
    TEXT("Clock Window"),
    TEXT("Pegasus Remote API Server"),
    TEXT("UDP to TCP proxy"),
};

// A title is read with room for 46 characters; longer ones are cut and logged cut.
static const int titleReadCount = appTitleUnits - 1;
static const int longestTitle = titleReadCount - 1;

// The last slot stays empty: a row is opened only while appCount + 1 < appCapacity.
static const DWORD appRowLimit = appCapacity - 1;

// A stored count above the array would send the loops past it.
static DWORD appRowsInUse()
{
    return meterState.appCount < appCapacity ? meterState.appCount : appCapacity;
}

static bool isExcludedTitle(const WCHAR *title)
{
    for (int i = 0; i < excludedWindowTitleCount; i++) {
        if (wcscmp(title, excludedWindowTitles[i]) == 0) {
            return true;
        }
    }
    return false;
}

BOOL CALLBACK onAppWindow(HWND window, LPARAM lParam)
{
    if (!IsWindowVisible(window)) {
        return TRUE;
    }

    WCHAR title[appTitleUnits];
    int length = GetWindowTextW(window, title, titleReadCount);
    if (length <= 0) {
        return TRUE;
    }
    if (length > longestTitle) {
        length = longestTitle;   // never trust a count past the buffer
    }
    title[appTitleUnits - 1] = 0;
    title[length] = 0;

    if (isExcludedTitle(title)) {
        return TRUE;
    }

    MeterState &state = meterState;
    DWORD rows = appRowsInUse();
    for (DWORD i = 0; i < rows; i++) {
        AppUsageEntry &row = state.apps[i];
        // Bounded: a row loaded from the store need not carry its terminator.
        if (wcsncmp(row.title, title, appTitleUnits) != 0) {
            continue;
        }
        // A second window with the same title in this pass adds nothing.
        if (!row.seenThisSample) {
            row.seenThisSample = 1;
            row.usageMs += state.appSampleElapsedMs;
            if (!row.running) {
                row.running = 1;
                row.launchCount += 1;
            }
        }
        return TRUE;
    }

    if (rows < appRowLimit) {
        AppUsageEntry &row = state.apps[rows];
        // Only the title and its terminator: the rest of the slot is never read.
        for (int i = 0; i <= length; i++) {
            row.title[i] = title[i];
        }
        row.usageMs = state.appSampleElapsedMs;
        row.launchCount = 1;
        row.running = 1;
        row.seenThisSample = 1;
        state.appCount = rows + 1;
    }
    return TRUE;
}

void sampleAppUsage()
{
    MeterState &state = meterState;
    DWORD rows = appRowsInUse();
    for (DWORD i = 0; i < rows; i++) {
        state.apps[i].seenThisSample = 0;
    }

    EnumWindows(onAppWindow, 0);

    // Rows opened during the pass are counted too; they are all marked seen.
    rows = appRowsInUse();
    for (DWORD i = 0; i < rows; i++) {
        if (!state.apps[i].seenThisSample) {
            state.apps[i].running = 0;
        }
    }
}
