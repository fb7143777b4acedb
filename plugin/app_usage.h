// The application usage log: which top-level windows were on screen, for how long.
#ifndef DURVO_APP_USAGE_H
#define DURVO_APP_USAGE_H

#include <windows.h>

// Titles of the platform's own windows and of our message boxes, never logged.
const int excludedWindowTitleCount = 17;
extern const WCHAR *const excludedWindowTitles[excludedWindowTitleCount];

// One pass over the visible top-level windows: adds appSampleElapsedMs to every title seen,
// opens rows for new titles and marks the titles not seen as no longer running.
void sampleAppUsage();

// EnumWindows callback of the pass; lParam is unused. Always continues the enumeration.
BOOL CALLBACK onAppWindow(HWND window, LPARAM lParam);

#endif
