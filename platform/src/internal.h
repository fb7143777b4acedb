// Seams between the platform's own services; not part of the API the plug-in sees.
#ifndef DURVO_PLATFORM_INTERNAL_H
#define DURVO_PLATFORM_INTERNAL_H

#include <windows.h>

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

}  // namespace internal

#endif
