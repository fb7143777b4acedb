// Seams between the platform's own services; not part of the API programs see.
#ifndef DURVO_PLATFORM_INTERNAL_H
#define DURVO_PLATFORM_INTERNAL_H

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace control {
enum class FaultPoint;
}

namespace internal {

// ---- faults.cpp provides ---------------------------------------------------------------------
// ERROR_SUCCESS when the call goes on, else the error it answers without changing anything.
// *isShortWrite (when given) says a failing WriteFile writes half and answers TRUE instead.
DWORD faultAt(control::FaultPoint point, bool *isShortWrite = nullptr);
void resetFaults();

// ---- windows.cpp provides --------------------------------------------------------------------
// Visible and hidden children of a window, in creation order.
std::vector<HWND> childWindows(HWND parent);
// The class background brush of a window (null when the class has none).
HBRUSH classBackground(HWND window);
// The window's rectangle in its parent's client coordinates (screen coordinates for top-level).
RECT windowRectInParent(HWND window);
// The window's text as WM_GETTEXT answers it.
std::u16string windowText(HWND window);
// The text the window manager keeps for the window (its title), without asking the window.
std::u16string windowTitle(HWND window);
// How far the client area lies inside the window rectangle on each side: the border and the
// caption that the window's style asks for.
RECT frameInsets(HWND window);

// ---- controls.cpp provides -------------------------------------------------------------------
// Registers the platform's own window classes (controls, the dialog class, the menu class);
// the window manager calls it on first need and again after a reset.
void registerSystemClasses();
void resetControls();

// ---- dialogs.cpp and menus.cpp provide -------------------------------------------------------
void registerDialogClass();
void registerMenuClass();
// SHInitDialog's flags, which the user sees with the dialog.
void noteShellFlags(HWND dialog, DWORD flags);
void resetDialogs();
void resetMenus();
// Live menu handles, for the control surface's leak counts.
int liveMenuCount();

// ---- frames.cpp provides ---------------------------------------------------------------------
// Draws the window's border and caption (title, OK or close button) on its frame canvas.
void paintFrame(HWND window);

// ---- user.cpp provides -----------------------------------------------------------------------
// Records a prompt that nobody answered, for control::takeUnansweredPrompts.
void recordUnanswered(std::string description);
void resetUser();

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
// A device context that draws on the window's frame canvas: the whole window rectangle, origin
// at its top-left corner, drawn beneath the client canvas. It keeps no paint record.
HDC acquireFrameDC(HWND window);
// The screen in pixels at the current dpi, and a length at 96 dpi scaled to the current dpi.
SIZE screenSize();
int screenDpi();
int scaleToDpi(int pixelsAt96);
// Shapes the platform's own controls draw, with no pen objects: lines, a filled polygon, an
// ellipse inside a box (filled when fill is not null, outlined when outlineWidth > 0).
void strokePolyline(HDC dc, const POINT *points, size_t count, COLORREF color, int width);
void fillPolygon(HDC dc, const POINT *points, size_t count, COLORREF color);
void drawEllipse(HDC dc, const RECT &box, const COLORREF *fill, COLORREF outline, int outlineWidth);

// ---- modules.cpp provides --------------------------------------------------------------------
void resetModules();

// ---- resources.cpp provides ------------------------------------------------------------------
// When the address lies inside the data of a resource of a loaded module, the bytes from it to
// the end of that resource; false for memory that is no resource's.
bool resourceBytesFrom(const void *address, DWORD *bytesLeft);
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
// Milliseconds the device has run since power-on: a 64-bit count that advanceClock alone moves
// (setTickCount does not), for the timers' due times.
ULONGLONG runningMilliseconds();

}   // namespace internal

#endif
