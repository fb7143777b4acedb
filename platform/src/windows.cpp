// Windows: creation and destruction, position, visibility, z-order and text, and the window
// state the class, queue and painting files share (window_system.h).
//
// EnumWindows, GetWindowTextW and IsWindowVisible allocate nothing once the windows exist, so a
// program's timer may call them every second.
#include "internal.h"
#include "window_system.h"

#include <control.h>

#include <algorithm>
#include <cstring>

using namespace window_system;

namespace window_system {

WindowSystem &sys()
{
    static WindowSystem system;
    return system;
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (internal::foldCase(a[i]) != internal::foldCase(b[i])) {
            return false;
        }
    }
    return true;
}

}   // namespace window_system

namespace {

uintptr_t handleValue(HWND hwnd)
{
    return reinterpret_cast<uintptr_t>(hwnd);
}

}   // namespace

namespace window_system {

Window *findWindow(HWND hwnd)
{
    auto &windows = sys().windows;
    auto it = windows.find(handleValue(hwnd));
    return it == windows.end() ? nullptr : it->second.get();
}

Window *windowOrError(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
    return w;
}

}   // namespace window_system

// ---- Geometry helpers ------------------------------------------------------------------------

namespace window_system {

LONG width(const RECT &r)
{
    return r.right - r.left;
}

LONG height(const RECT &r)
{
    return r.bottom - r.top;
}

}   // namespace window_system

namespace {

// How far the client area lies inside the window on each side, for these styles.
RECT insetsForStyle(DWORD style, DWORD exStyle)
{
    RECT insets{};
    bool border = (style & (WS_BORDER | WS_DLGFRAME)) || (exStyle & WS_EX_DLGMODALFRAME);
    if (border) {
        insets = RECT{kBorderWidth, kBorderWidth, kBorderWidth, kBorderWidth};
    }
    if ((style & WS_CAPTION) == WS_CAPTION) {
        insets.top += internal::scaleToDpi(kCaptionHeightAt96);
    }
    return insets;
}

RECT frameInsets(const Window &w)
{
    return w.desktop ? RECT{} : insetsForStyle(w.style, w.exStyle);
}

}   // namespace

namespace window_system {

RECT clientRectOf(const Window &w)
{
    RECT insets = frameInsets(w);
    return RECT{0, 0, std::max(0, width(w.rect) - insets.left - insets.right),
                std::max(0, height(w.rect) - insets.top - insets.bottom)};
}

// The client area's top-left corner in the parent's client coordinates (screen for top-level).
POINT clientOrigin(const Window &w)
{
    RECT insets = frameInsets(w);
    return POINT{w.rect.left + insets.left, w.rect.top + insets.top};
}

}   // namespace window_system

namespace {

RECT screenRect()
{
    SIZE screen = internal::screenSize();
    return RECT{0, 0, screen.cx, screen.cy};
}

}   // namespace

namespace window_system {

bool isVisible(const Window *w)
{
    while (w) {
        if (!(w->style & WS_VISIBLE)) {
            return false;
        }
        w = w->parent ? findWindow(w->parent) : nullptr;
    }
    return true;
}

}   // namespace window_system

namespace {

// Adds a client-coordinate rectangle to the window's update region (kept as one bounding
// rectangle), and to the children it overlaps unless the window clips its children.

}   // namespace

// ---- Creation and destruction ----------------------------------------------------------------

namespace {

void reserveEnumBuffers()
{
    WindowSystem &s = sys();
    if (s.enumBuffers.empty()) {
        s.enumBuffers.emplace_back();
    }
    for (auto &buffer : s.enumBuffers) {
        buffer.reserve(s.zOrder.size());
    }
}

void unlinkWindow(Window &w)
{
    WindowSystem &s = sys();
    if (w.parent) {
        if (Window *p = findWindow(w.parent)) {
            std::erase(p->children, w.handle);
        }
    } else {
        std::erase(s.zOrder, w.handle);
    }
    if (w.windowClass) {
        --w.windowClass->liveWindows;
    }
}

// Frees the record without telling the window procedure; creation failures and device resets.
void discardWindow(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (!w) {
        return;
    }
    for (HWND child : std::vector<HWND>(w->children)) {
        discardWindow(child);
    }
    unlinkWindow(*w);
    dropQueuedFor(hwnd);
    sys().windows.erase(handleValue(hwnd));
}

// Windows order: WM_DESTROY to the window, then to its children and theirs, so that every
// WM_DESTROY still sees the whole tree; then WM_NCDESTROY to the children before the window.
void sendDestroy(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (!w || w->destroying) {
        return;
    }
    w->destroying = true;
    w->timers.clear();
    clearUpdate(*w);
    dropQueuedFor(hwnd);
    callProc(hwnd, WM_DESTROY, 0, 0);
    w = findWindow(hwnd);
    if (w) {
        for (HWND child : std::vector<HWND>(w->children)) {
            sendDestroy(child);
        }
    }
}

void finishDestroy(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (!w) {
        return;
    }
    for (HWND child : std::vector<HWND>(w->children)) {
        finishDestroy(child);
    }
    callProc(hwnd, WM_NCDESTROY, 0, 0);
    internal::windowDestroyed(hwnd);
    w = findWindow(hwnd);
    if (w) {
        unlinkWindow(*w);
        sys().windows.erase(handleValue(hwnd));
    }
    dropQueuedFor(hwnd);
}

void destroyTree(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (!w || w->destroying) {
        return;
    }
    sendDestroy(hwnd);
    finishDestroy(hwnd);
}

// A window whose WM_CREATE refused goes without WM_DESTROY, as on Windows: it was never made
// whole. Its children (if WM_CREATE made any) are destroyed as usual.
void abandonCreation(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (!w) {
        return;
    }
    w->destroying = true;
    for (HWND child : std::vector<HWND>(w->children)) {
        destroyTree(child);
    }
    callProc(hwnd, WM_NCDESTROY, 0, 0);
    internal::windowDestroyed(hwnd);
    discardWindow(hwnd);
}

// A top-level window that appears has its background erased at once, before any WM_PAINT, as
// Windows does when it shows one; the update region stays for the paint.
void eraseShownTopLevel(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (!w || w->parent || !w->hasUpdate || !w->erasePending) {
        return;
    }
    eraseUpdateNow(hwnd);
}

}   // namespace

// ---- Position --------------------------------------------------------------------------------

namespace {

enum class ShowNotice { ShowWindow, WindowPosOnly };

// WM_PARENTNOTIFY of a child's creation or destruction goes to its parent, and on up through
// each ancestor that is itself a child, unless a window on the way has WS_EX_NOPARENTNOTIFY.
void notifyParents(const Window &child, UINT event)
{
    const HWND handle = child.handle;
    const WPARAM wParam = MAKEWPARAM(event, static_cast<WORD>(child.id));
    HWND from = handle;
    for (;;) {
        Window *w = findWindow(from);
        if (!w || !w->parent || (w->exStyle & WS_EX_NOPARENTNOTIFY)) {
            return;
        }
        from = w->parent;
        callProc(from, WM_PARENTNOTIFY, wParam, reinterpret_cast<LPARAM>(handle));
    }
}

// The first WM_SIZE and WM_MOVE: at creation, but a hidden overlapped window's when it is first
// shown (or sized before that).
void sendFirstSize(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (!w || w->sized) {
        return;
    }
    w->sized = true;
    RECT client = clientRectOf(*w);
    POINT origin = clientOrigin(*w);
    callProc(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    callProc(hwnd, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
}

WINDOWPOS windowPos(const Window &w, HWND insertAfter, UINT flags)
{
    return WINDOWPOS{w.handle, insertAfter, w.rect.left, w.rect.top, width(w.rect), height(w.rect), flags};
}

// Moves and sizes a window between WM_WINDOWPOSCHANGING (whose WINDOWPOS the window may change)
// and WM_WINDOWPOSCHANGED, whose default sends WM_MOVE and WM_SIZE for what changed; and
// invalidates what a repaint needs: the whole client area when the class redraws on that
// change, else the uncovered strip.
void placeWindow(HWND hwnd, const RECT &newRect, bool redraw, HWND insertAfter = nullptr, UINT flags = 0)
{
    Window *w = findWindow(hwnd);
    if (!w) {
        return;
    }
    // What the caller leaves alone is given as it is.
    WINDOWPOS pos = windowPos(*w, insertAfter, flags);
    if (!(flags & SWP_NOMOVE)) {
        pos.x = newRect.left;
        pos.y = newRect.top;
    }
    if (!(flags & SWP_NOSIZE)) {
        pos.cx = width(newRect);
        pos.cy = height(newRect);
    }
    callProc(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    if (!(w = findWindow(hwnd))) {
        return;
    }
    RECT old = clientRectOf(*w);
    POINT oldOrigin = clientOrigin(*w);
    if (!(flags & SWP_NOMOVE)) {
        OffsetRect(&w->rect, pos.x - w->rect.left, pos.y - w->rect.top);
    }
    if (!(flags & SWP_NOSIZE)) {
        w->rect.right = w->rect.left + std::max(pos.cx, 0);
        w->rect.bottom = w->rect.top + std::max(pos.cy, 0);
    }
    RECT client = clientRectOf(*w);
    POINT origin = clientOrigin(*w);
    bool moved = oldOrigin.x != origin.x || oldOrigin.y != origin.y;
    bool widthChanged = width(old) != width(client);
    bool heightChanged = height(old) != height(client);
    if (redraw && (widthChanged || heightChanged || moved)) {
        UINT classStyle = w->windowClass ? w->windowClass->info.style : 0;
        if ((widthChanged && (classStyle & CS_HREDRAW)) || (heightChanged && (classStyle & CS_VREDRAW))
            || moved) {
            invalidateAll(*w, true);
        } else {
            if (width(client) > width(old)) {
                invalidateArea(*w, RECT{width(old), 0, width(client), height(client)}, true);
            }
            if (height(client) > height(old)) {
                invalidateArea(*w, RECT{0, height(old), width(client), height(client)}, true);
            }
        }
    }
    UINT changed = flags & ~(SWP_NOCLIENTMOVE | SWP_NOCLIENTSIZE);
    if (!moved) {
        changed |= SWP_NOCLIENTMOVE;
    }
    if (!widthChanged && !heightChanged) {
        changed |= SWP_NOCLIENTSIZE;
    }
    WINDOWPOS done = windowPos(*w, insertAfter, changed);
    callProc(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&done));
}

void setVisible(HWND hwnd, bool show, ShowNotice notice = ShowNotice::ShowWindow)
{
    Window *w = findWindow(hwnd);
    if (!w || ((w->style & WS_VISIBLE) != 0) == show) {
        return;
    }
    if (notice == ShowNotice::ShowWindow) {
        callProc(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    }
    if (!(w = findWindow(hwnd))) {
        return;
    }
    const UINT flags
        = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
    WINDOWPOS changing = windowPos(*w, nullptr, flags);
    callProc(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&changing));
    w = findWindow(hwnd);
    if (!w) {
        return;
    }
    if (show) {
        w->style |= WS_VISIBLE;
        invalidateAll(*w, true);
        eraseShownTopLevel(hwnd);
    } else {
        w->style &= ~static_cast<DWORD>(WS_VISIBLE);
        // What the window covered in its parent shows again.
        if (Window *p = w->parent ? findWindow(w->parent) : nullptr) {
            invalidateArea(*p, w->rect, true);
        }
    }
    if (!(w = findWindow(hwnd))) {
        return;
    }
    WINDOWPOS changed = windowPos(*w, nullptr, flags | SWP_NOCLIENTMOVE | SWP_NOCLIENTSIZE);
    callProc(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&changed));
    if (show && notice == ShowNotice::ShowWindow) {
        sendFirstSize(hwnd);
    }
}

// Top-level windows move in the screen's z-order, children among their siblings (which start
// in creation order, the first on top, and are searched in that order by GetDlgItem).
void moveInZOrder(HWND hwnd, HWND insertAfter)
{
    Window *w = findWindow(hwnd);
    Window *parent = w && w->parent ? findWindow(w->parent) : nullptr;
    auto &z = parent ? parent->children : sys().zOrder;
    auto it = std::find(z.begin(), z.end(), hwnd);
    if (it == z.end()) {
        return;
    }
    z.erase(it);
    if (insertAfter == HWND_BOTTOM) {
        z.push_back(hwnd);
        return;
    }
    auto after = std::find(z.begin(), z.end(), insertAfter);
    if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST
        || after == z.end()) {
        z.insert(z.begin(), hwnd);
    } else {
        z.insert(after + 1, hwnd);
    }
}

}   // namespace

// ---- Text ------------------------------------------------------------------------------------

namespace window_system {

LRESULT copyText(const std::u16string &text, WPARAM maxCount, LPWSTR buffer)
{
    if (maxCount == 0 || !buffer) {
        return 0;
    }
    size_t n = std::min<size_t>(text.size(), maxCount - 1);
    std::memcpy(buffer, text.data(), n * sizeof(WCHAR));
    buffer[n] = 0;
    return static_cast<LRESULT>(n);
}

}   // namespace window_system

// ---- Seams for the other services ------------------------------------------------------------

namespace internal {

std::u16string windowText(HWND window)
{
    const int length = std::max(0, GetWindowTextLengthW(window));
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(0, copied)));
    return text;
}

std::u16string windowTitle(HWND window)
{
    Window *w = findWindow(window);
    return w ? w->text : std::u16string();
}

RECT frameInsets(HWND window)
{
    Window *w = findWindow(window);
    return w ? ::frameInsets(*w) : RECT{};
}

std::vector<HWND> childWindows(HWND parent)
{
    Window *w = findWindow(parent);
    return w ? w->children : std::vector<HWND>{};
}

HBRUSH classBackground(HWND window)
{
    Window *w = findWindow(window);
    return w && w->windowClass ? w->windowClass->info.hbrBackground : nullptr;
}

RECT windowRectInParent(HWND window)
{
    Window *w = findWindow(window);
    return w ? w->rect : RECT{};
}

// A device reset: every window, class, timer and queued message goes without a word to any
// window procedure (their libraries may already be gone). Handle values keep counting, so that a
// handle kept from before the reset names nothing after it.
void resetWindows()
{
    uintptr_t nextHandle = sys().nextHandle;
    sys() = WindowSystem{};
    sys().nextHandle = nextHandle;
}

}   // namespace internal

namespace control {

// GetDesktopWindow's window is the screen, part of the system like the shell library, so only
// the windows programs create count.
int liveWindowCount()
{
    const auto &windows = sys().windows;
    return static_cast<int>(std::count_if(windows.begin(), windows.end(),
                                          [](const auto &entry) { return !entry.second->desktop; }));
}

}   // namespace control

// ---- Windows ---------------------------------------------------------------------------------

HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X,
                            int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam)
{
    WindowSystem &s = sys();
    ensureSystemClasses();
    std::u16string className;
    WindowClass *c = classNameOf(lpClassName, &className) ? findClassForUse(className, hInstance) : nullptr;
    if (!c) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (hWndParent && hWndParent == s.desktop) {
        hWndParent = nullptr;   // a child of the desktop is a top-level window
        dwStyle &= ~static_cast<DWORD>(WS_CHILD);
    }
    bool child = (dwStyle & WS_CHILD) != 0;
    if (hWndParent && !findWindow(hWndParent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (child && !hWndParent) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }

    auto w = std::make_unique<Window>();
    HWND hwnd = reinterpret_cast<HWND>(s.nextHandle);
    s.nextHandle += kHandleStep;
    w->handle = hwnd;
    w->windowClass = c;
    w->proc = c->info.lpfnWndProc;
    // WS_VISIBLE comes once the window is made, as ShowWindow would give it.
    w->style = dwStyle & ~static_cast<DWORD>(WS_VISIBLE);
    w->exStyle = dwExStyle;
    w->instance = hInstance;
    // A name in MAKEINTRESOURCE form (a dialog item's icon ordinal) is no text.
    w->text = lpWindowName && !IS_INTRESOURCE(lpWindowName) ? lpWindowName : u"";
    if (child) {
        w->parent = hWndParent;
        w->id = static_cast<LONG>(reinterpret_cast<intptr_t>(hMenu));
    } else {
        w->owner = hWndParent;
    }
    int x = X == CW_USEDEFAULT ? 0 : X;
    int y = X == CW_USEDEFAULT ? 0 : Y;
    int cx = nWidth == CW_USEDEFAULT ? (child ? 0 : kDefaultWidth) : std::max(nWidth, 0);
    int cy = nWidth == CW_USEDEFAULT ? (child ? 0 : kDefaultHeight) : std::max(nHeight, 0);
    w->rect = RECT{x, y, x + cx, y + cy};
    ++c->liveWindows;
    s.windows.emplace(handleValue(hwnd), std::move(w));
    if (child) {
        findWindow(hWndParent)->children.push_back(hwnd);
    } else {
        s.zOrder.insert(s.zOrder.begin(), hwnd);
        reserveEnumBuffers();
    }

    CREATESTRUCTW cs{};
    cs.lpCreateParams = lpParam;
    cs.hInstance = hInstance;
    cs.hMenu = hMenu;
    cs.hwndParent = hWndParent;
    cs.cy = cy;
    cs.cx = cx;
    cs.y = y;
    cs.x = x;
    cs.style = static_cast<LONG>(dwStyle);
    cs.lpszName = lpWindowName;
    cs.lpszClass = lpClassName;
    cs.dwExStyle = dwExStyle;
    if (!callProc(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        discardWindow(hwnd);
        return nullptr;
    }
    if (callProc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        abandonCreation(hwnd);
        return nullptr;
    }
    Window *created = findWindow(hwnd);
    if (!created) {
        return nullptr;   // destroyed itself during creation
    }
    // A child and a pop-up learn their size now, an overlapped window when it is first shown.
    if ((created->style & (WS_CHILD | WS_POPUP)) != 0) {
        sendFirstSize(hwnd);
    }
    if (child && (created = findWindow(hwnd))) {
        notifyParents(*created, WM_CREATE);
    }
    if (dwStyle & WS_VISIBLE) {
        setVisible(hwnd, true);
        created = findWindow(hwnd);
    }
    return created ? hwnd : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hWnd)
{
    Window *w = windowOrError(hWnd);
    if (!w) {
        return FALSE;
    }
    if (w->desktop) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (w->parent) {
        notifyParents(*w, WM_DESTROY);
    }
    // It disappears before it is destroyed.
    if (!w->destroying) {
        setVisible(hWnd, false);
    }
    destroyTree(hWnd);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd)
{
    return findWindow(hWnd) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowVisible(HWND hWnd)
{
    Window *w = findWindow(hWnd);
    return w && isVisible(w) ? TRUE : FALSE;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    Window *w = windowOrError(hWnd);
    if (!w) {
        return FALSE;
    }
    BOOL wasVisible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
    setVisible(hWnd, nCmdShow != SW_HIDE);
    return wasVisible;
}

HWND WINAPI GetParent(HWND hWnd)
{
    Window *w = windowOrError(hWnd);
    if (!w) {
        return nullptr;
    }
    if (w->parent) {
        return w->parent;
    }
    return (w->style & WS_POPUP) ? w->owner : nullptr;
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint)
{
    if (!windowOrError(hWnd)) {
        return FALSE;
    }
    placeWindow(hWnd, RECT{X, Y, X + std::max(nWidth, 0), Y + std::max(nHeight, 0)}, bRepaint);
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags)
{
    Window *w = windowOrError(hWnd);
    if (!w) {
        return FALSE;
    }
    if (!(uFlags & SWP_NOZORDER)) {
        moveInZOrder(hWnd, hWndInsertAfter);
    }
    const UINT shown = uFlags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW);
    // Showing or hiding in place is one change of position; with a move or size, two.
    if (!shown || !(uFlags & SWP_NOMOVE) || !(uFlags & SWP_NOSIZE)) {
        placeWindow(hWnd, RECT{X, Y, X + std::max(cx, 0), Y + std::max(cy, 0)}, !(uFlags & SWP_NOREDRAW),
                    hWndInsertAfter, uFlags & ~shown);
    }
    if (uFlags & SWP_SHOWWINDOW) {
        setVisible(hWnd, true, ShowNotice::WindowPosOnly);
    } else if (uFlags & SWP_HIDEWINDOW) {
        setVisible(hWnd, false, ShowNotice::WindowPosOnly);
    }
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect)
{
    Window *w = windowOrError(hWnd);
    if (!w || !lpRect) {
        return FALSE;
    }
    if (w->desktop) {
        w->rect = screenRect();   // the screen follows the dpi
    }
    *lpRect = clientRectOf(*w);
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    Window *w = windowOrError(hWnd);
    if (!w || !lpRect) {
        return FALSE;
    }
    if (w->desktop) {
        w->rect = screenRect();
    }
    RECT r = w->rect;
    for (Window *p = w->parent ? findWindow(w->parent) : nullptr; p;
         p = p->parent ? findWindow(p->parent) : nullptr) {
        POINT origin = clientOrigin(*p);
        OffsetRect(&r, origin.x, origin.y);
    }
    *lpRect = r;
    return TRUE;
}

// The client area's top-left corner on the screen.
static bool clientOriginOnScreen(HWND hWnd, POINT *origin)
{
    Window *w = windowOrError(hWnd);
    if (!w) {
        return false;
    }
    POINT at = w->desktop ? POINT{0, 0} : clientOrigin(*w);
    for (Window *p = w->parent ? findWindow(w->parent) : nullptr; p;
         p = p->parent ? findWindow(p->parent) : nullptr) {
        POINT parentOrigin = clientOrigin(*p);
        at.x += parentOrigin.x;
        at.y += parentOrigin.y;
    }
    *origin = at;
    return true;
}

BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint)
{
    POINT origin;
    if (!lpPoint || !clientOriginOnScreen(hWnd, &origin)) {
        return FALSE;
    }
    lpPoint->x += origin.x;
    lpPoint->y += origin.y;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint)
{
    POINT origin;
    if (!lpPoint || !clientOriginOnScreen(hWnd, &origin)) {
        return FALSE;
    }
    lpPoint->x -= origin.x;
    lpPoint->y -= origin.y;
    return TRUE;
}

// The screen as a window: not in the Z order, so EnumWindows never lists it.
HWND WINAPI GetDesktopWindow()
{
    WindowSystem &s = sys();
    if (s.desktop && findWindow(s.desktop)) {
        return s.desktop;
    }
    auto w = std::make_unique<Window>();
    HWND hwnd = reinterpret_cast<HWND>(s.nextHandle);
    s.nextHandle += kHandleStep;
    w->handle = hwnd;
    w->proc = DefWindowProcW;
    w->style = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN;
    w->desktop = true;
    w->rect = screenRect();
    s.windows.emplace(handleValue(hwnd), std::move(w));
    s.desktop = hwnd;
    return hwnd;
}

// Windows have no menu bars here, so bMenu changes nothing.
BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL bMenu, DWORD dwExStyle)
{
    if (!lpRect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECT insets = insetsForStyle(dwStyle, dwExStyle);
    lpRect->left -= insets.left;
    lpRect->top -= insets.top;
    lpRect->right += insets.right;
    lpRect->bottom += insets.bottom;
    return TRUE;
}

// Returns whether the window was disabled before, as Windows does.
BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable)
{
    Window *w = windowOrError(hWnd);
    if (!w) {
        return FALSE;
    }
    bool wasDisabled = (w->style & WS_DISABLED) != 0;
    if (wasDisabled == !bEnable) {
        return wasDisabled ? TRUE : FALSE;
    }
    if (bEnable) {
        w->style &= ~static_cast<DWORD>(WS_DISABLED);
    } else {
        w->style |= WS_DISABLED;
    }
    callProc(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
    return wasDisabled ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd)
{
    Window *w = findWindow(hWnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount)
{
    Window *w = windowOrError(hWnd);
    if (!w || !lpClassName || nMaxCount <= 0) {
        return 0;
    }
    std::u16string name = w->windowClass ? w->windowClass->name : u"#32769";
    return static_cast<int>(copyText(name, static_cast<WPARAM>(nMaxCount), lpClassName));
}

int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount)
{
    if (!lpString || nMaxCount <= 0) {
        return 0;
    }
    lpString[0] = 0;
    if (!windowOrError(hWnd)) {
        return 0;
    }
    return static_cast<int>(
        SendMessageW(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthW(HWND hWnd)
{
    if (!windowOrError(hWnd)) {
        return 0;
    }
    return static_cast<int>(SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString)
{
    if (!windowOrError(hWnd)) {
        return FALSE;
    }
    return SendMessageW(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName)
{
    std::u16string className;
    if (lpClassName && !classNameOf(lpClassName, &className)) {
        return nullptr;
    }
    for (HWND hwnd : sys().zOrder) {
        Window *w = findWindow(hwnd);
        if (lpClassName && !equalsIgnoreCase(w->windowClass->name, className)) {
            continue;
        }
        if (lpWindowName && !equalsIgnoreCase(w->text, lpWindowName)) {
            continue;
        }
        return hwnd;
    }
    return nullptr;
}

BOOL WINAPI EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam)
{
    WindowSystem &s = sys();
    if (!lpEnumFunc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The callback may create or destroy windows: walk a copy, skipping windows gone meanwhile.
    if (s.enumBuffers.size() <= s.enumDepth) {
        s.enumBuffers.emplace_back(s.zOrder.size());
    }
    std::vector<HWND> &snapshot = s.enumBuffers[s.enumDepth];
    snapshot.assign(s.zOrder.begin(), s.zOrder.end());
    ++s.enumDepth;
    BOOL result = TRUE;
    for (HWND hwnd : snapshot) {
        if (findWindow(hwnd) && !lpEnumFunc(hwnd, lParam)) {
            result = FALSE;
            break;
        }
    }
    --sys().enumDepth;
    return result;
}

LONG WINAPI GetWindowLongW(HWND hWnd, int nIndex)
{
    Window *w = windowOrError(hWnd);
    if (!w) {
        return 0;
    }
    switch (nIndex) {
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->exStyle);
    case GWL_ID: return w->id;
    case GWL_USERDATA: return w->userData;
    default: SetLastError(ERROR_INVALID_INDEX); return 0;
    }
}

LONG WINAPI SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong)
{
    Window *w = windowOrError(hWnd);
    if (!w) {
        return 0;
    }
    LONG previous = GetWindowLongW(hWnd, nIndex);
    switch (nIndex) {
    case GWL_STYLE: w->style = static_cast<DWORD>(dwNewLong); return previous;
    case GWL_EXSTYLE: w->exStyle = static_cast<DWORD>(dwNewLong); return previous;
    case GWL_ID: w->id = dwNewLong; return previous;
    case GWL_USERDATA: w->userData = dwNewLong; return previous;
    default: SetLastError(ERROR_INVALID_INDEX); return 0;
    }
}
