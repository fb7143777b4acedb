// The window manager's state, shared by its four files: classes.cpp (classes and atoms),
// windows.cpp (windows), message_queue.cpp (the queue and timers) and painting.cpp (update
// regions and paint device contexts).
#ifndef DURVO_PLATFORM_WINDOW_SYSTEM_H
#define DURVO_PLATFORM_WINDOW_SYSTEM_H

#include <windows.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace window_system {

// First handle value and the step between handles: far from 0, from HWND_BROADCAST and from
// small integers, and a value is never handed out twice within 2^30 windows.
constexpr uintptr_t kFirstHandle = 0x10000;
constexpr uintptr_t kHandleStep = 4;
// Registered messages and class atoms share the range Windows gives its string atoms.
constexpr UINT kFirstAtom = 0xC000;
constexpr UINT kLastAtom = 0xFFFF;
// SetTimer clamps periods to these, as Windows does (USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM).
constexpr UINT kTimerMinimumMs = 0x0000000A;
constexpr UINT kTimerMaximumMs = 0x7FFFFFFF;
// CW_USEDEFAULT size of a top-level window: the Pocket PC screen.
constexpr int kDefaultWidth = 240;
constexpr int kDefaultHeight = 320;
// The non-client frame at 96 dpi: a caption as tall as the Pocket PC navigation bar, where the
// device shows a dialog's title, and a one-pixel border.
constexpr int kCaptionHeightAt96 = 26;
constexpr int kBorderWidth = 1;
// Brush handles up to this value are system colour indexes plus one, not objects.
constexpr uintptr_t kLastColorBrushValue = 0x40;

struct WindowClass {
    std::u16string name;
    ATOM atom = 0;
    WNDCLASSW info{};
    int liveWindows = 0;
};

struct Timer {
    UINT_PTR id = 0;
    DWORD periodMs = 0;
    ULONGLONG due = 0;   // in internal::runningMilliseconds(), never in tick counts
    TIMERPROC proc = nullptr;
};

struct Window {
    HWND handle = nullptr;
    WindowClass *windowClass = nullptr;
    WNDPROC proc = nullptr;
    HWND parent = nullptr;        // child windows only
    HWND owner = nullptr;         // top-level windows created with a parent argument
    std::vector<HWND> children;   // creation order
    DWORD style = 0;
    DWORD exStyle = 0;
    LONG id = 0;
    LONG userData = 0;
    HINSTANCE instance = nullptr;
    std::u16string text;
    RECT rect{};   // in the parent's client coordinates (screen coordinates for top-level)
    bool hasUpdate = false;
    RECT update{};
    bool erasePending = false;
    bool erasing = false;   // inside BeginPaint's WM_ERASEBKGND
    RECT eraseRect{};
    bool destroying = false;
    bool sized = false;     // has had its first WM_SIZE and WM_MOVE
    bool desktop = false;   // GetDesktopWindow's window: the screen, never destroyed
    std::vector<Timer> timers;
};

struct WindowSystem {
    std::vector<std::unique_ptr<WindowClass>> classes;
    std::map<uintptr_t, std::unique_ptr<Window>> windows;   // ordered by creation
    std::vector<HWND> zOrder;                               // top-level windows, top first
    uintptr_t nextHandle = kFirstHandle;
    std::vector<std::u16string> atoms;   // atom kFirstAtom + index
    std::deque<MSG> queue;
    bool quitPending = false;
    int quitCode = 0;
    std::vector<Timer> threadTimers;   // SetTimer(NULL, ...)
    UINT_PTR nextThreadTimerId = 1;
    // One snapshot buffer per nesting depth of EnumWindows; capacity is reserved as windows are
    // created so that the enumeration itself never allocates.
    std::deque<std::vector<HWND>> enumBuffers;
    size_t enumDepth = 0;
    // The platform's own classes (buttons, dialogs, menus ...) come back after a reset.
    bool systemClassesReady = false;
    HWND desktop = nullptr;
};

// ---- windows.cpp provides
WindowSystem &sys();
bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b);
Window *findWindow(HWND hwnd);
// The window, or null with ERROR_INVALID_WINDOW_HANDLE.
Window *windowOrError(HWND hwnd);
LONG width(const RECT &r);
LONG height(const RECT &r);
RECT clientRectOf(const Window &w);    // in the window's own client coordinates
POINT clientOrigin(const Window &w);   // the client corner in the parent's (screen for top-level)
// The window and all its ancestors are visible.
bool isVisible(const Window *w);
// WM_GETTEXT's copy: at most maxCount - 1 units and a terminator; the units copied.
LRESULT copyText(const std::u16string &text, WPARAM maxCount, LPWSTR buffer);

// ---- classes.cpp provides
// The atom of a registered name, registering it on first use; 0 when the range is spent.
UINT atomFor(std::u16string_view name);
// The class name a CreateWindowExW argument stands for: a string or an atom.
bool classNameOf(LPCWSTR nameOrAtom, std::u16string *name);
// The class a window of `instance` gets under that name: its module's own, else a system one.
WindowClass *findClassForUse(std::u16string_view name, HINSTANCE instance);
// The platform's own classes, registered on first need and again after each reset.
void ensureSystemClasses();

// ---- message_queue.cpp provides
void dropQueuedFor(HWND hwnd);   // posted messages for a window that goes
LRESULT callProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// ---- painting.cpp provides
void invalidateArea(Window &w, const RECT &area, bool erase);
void invalidateAll(Window &w, bool erase);
void clearUpdate(Window &w);
// Erases the window's update region at once (WM_ERASEBKGND); the region stays for WM_PAINT.
void eraseUpdateNow(HWND hwnd);

}   // namespace window_system

#endif
