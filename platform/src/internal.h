// Seams between the platform's own services; not part of the API the plug-in sees.
#ifndef DURVO_PLATFORM_INTERNAL_H
#define DURVO_PLATFORM_INTERNAL_H

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace internal {

// ---- windows.cpp provides --------------------------------------------------------------------
// Visible and hidden children of a window, in creation order.
std::vector<HWND> childWindows(HWND parent);
// The class background brush of a window (null when the class has none).
HBRUSH classBackground(HWND window);
// The window's rectangle in its parent's client coordinates (screen coordinates for top-level).
RECT windowRectInParent(HWND window);

// ---- gdi.cpp provides ------------------------------------------------------------------------
// A device context that draws on the window's canvas (sized to its client area), for
// BeginPaint and GetDC; released by releaseWindowDC.
HDC acquireWindowDC(HWND window);
void releaseWindowDC(HDC dc);
// Called by BeginPaint before WM_ERASEBKGND: the drawn-text record of the window starts afresh.
void paintStarted(HWND window);
// Called by DestroyWindow: the canvas and the drawn-text record are dropped.
void windowDestroyed(HWND window);
// Called by resetDevice.
void resetGdi();

// ---- modules.cpp provides --------------------------------------------------------------------
void resetModules();
// ---- registry.cpp, clock.cpp, ... each provide their reset for resetDevice -------------------
void resetRegistry();
void resetClock();
void resetPower();
void resetVersion();
void resetWindows();
void resetFiles();
void resetPrograms();

// ---- strings.cpp provides --------------------------------------------------------------------
// The upper-case form of one UTF-16 unit (simple, one-to-one mapping), which is how Windows
// compares registry and file names without regard to case.
WCHAR foldCase(WCHAR unit);
// The desktop's 8-bit code page (Windows-1252), used by the ...A calls and %S/%hs; a UTF-16 unit
// with no 8-bit form becomes '?'.
std::u16string ansiToWide(std::string_view text);
std::string wideToAnsi(std::u16string_view text);
WCHAR ansiUnitToWide(char c);
char wideUnitToAnsi(WCHAR unit);

// ---- clock.cpp provides ----------------------------------------------------------------------
// The simulated local time as a file time, for the registry's key write times.
FILETIME localFileTime();

}  // namespace internal

#endif
