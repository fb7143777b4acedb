// Window classes, windows, the message queue, painting state and timers.
//
// There is one user-interface thread, so one queue. Messages are retrieved in the order Windows
// uses: posted messages, then WM_QUIT, then WM_PAINT for a window with an update region, then
// WM_TIMER for a due timer. WM_PAINT and WM_TIMER are never queued; they are made up when the
// queue is asked and nothing more urgent is there, which is why a timer can never have more than
// one WM_TIMER pending and a window never more than one WM_PAINT.
//
// The plug-in's tick runs EnumWindows, GetWindowTextW, IsWindowVisible and InvalidateRect; none
// of them allocates once the windows exist.
#include "internal.h"

#include <control.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

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
    HWND parent = nullptr;   // child windows only
    HWND owner = nullptr;    // top-level windows created with a parent argument
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
    std::vector<std::u16string> atoms;                      // atom kFirstAtom + index
    std::deque<MSG> queue;
    bool quitPending = false;
    int quitCode = 0;
    std::vector<Timer> threadTimers;                        // SetTimer(NULL, ...)
    UINT_PTR nextThreadTimerId = 1;
    // One snapshot buffer per nesting depth of EnumWindows; capacity is reserved as windows are
    // created so that the enumeration itself never allocates.
    std::deque<std::vector<HWND>> enumBuffers;
    size_t enumDepth = 0;
    // The platform's own classes (buttons, dialogs, menus ...) come back after a reset.
    bool systemClassesReady = false;
    HWND desktop = nullptr;
};

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

uintptr_t handleValue(HWND hwnd)
{
    return reinterpret_cast<uintptr_t>(hwnd);
}

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

// ---- Atoms -----------------------------------------------------------------------------------

UINT atomFor(std::u16string_view name)
{
    auto &atoms = sys().atoms;
    for (size_t i = 0; i < atoms.size(); ++i) {
        if (equalsIgnoreCase(atoms[i], name)) {
            return kFirstAtom + static_cast<UINT>(i);
        }
    }
    if (kFirstAtom + atoms.size() > kLastAtom) {
        return 0;
    }
    atoms.emplace_back(name);
    return kFirstAtom + static_cast<UINT>(atoms.size() - 1);
}

// A class name argument is either a string or an atom in MAKEINTATOM form.
bool classNameOf(LPCWSTR nameOrAtom, std::u16string *name)
{
    if (!nameOrAtom) {
        return false;
    }
    if (IS_INTRESOURCE(nameOrAtom)) {
        auto atom = static_cast<UINT>(reinterpret_cast<uintptr_t>(nameOrAtom));
        auto &atoms = sys().atoms;
        if (atom < kFirstAtom || atom - kFirstAtom >= atoms.size()) {
            return false;
        }
        *name = atoms[atom - kFirstAtom];
        return true;
    }
    *name = nameOrAtom;
    return !name->empty();
}

// ---- Classes ---------------------------------------------------------------------------------

WindowClass *findClassExact(std::u16string_view name, HINSTANCE instance)
{
    for (auto &c : sys().classes) {
        if (c->info.hInstance == instance && equalsIgnoreCase(c->name, name)) {
            return c.get();
        }
    }
    return nullptr;
}

// The module's own class first (no instance means the program's own module, as on Windows);
// classes registered without an instance serve every module, as the system's and global classes
// do on Windows.
WindowClass *findClassForUse(std::u16string_view name, HINSTANCE instance)
{
    if (WindowClass *c = findClassExact(name, instance)) {
        return c;
    }
    if (instance == nullptr) {
        if (WindowClass *c = findClassExact(name, GetModuleHandleW(nullptr))) {
            return c;
        }
    }
    return findClassExact(name, nullptr);
}

// ---- Geometry helpers ------------------------------------------------------------------------

LONG width(const RECT &r)
{
    return r.right - r.left;
}

LONG height(const RECT &r)
{
    return r.bottom - r.top;
}

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

RECT screenRect()
{
    SIZE screen = internal::screenSize();
    return RECT{0, 0, screen.cx, screen.cy};
}

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

// Adds a client-coordinate rectangle to the window's update region (kept as one bounding
// rectangle), and to the children it overlaps unless the window clips its children.
void invalidateArea(Window &w, const RECT &area, bool erase)
{
    RECT clipped;
    RECT client = clientRectOf(w);
    if (!IntersectRect(&clipped, &area, &client)) {
        return;
    }
    if (w.hasUpdate) {
        UnionRect(&w.update, &w.update, &clipped);
    } else {
        w.update = clipped;
        w.hasUpdate = true;
    }
    w.erasePending = w.erasePending || erase;
    if (w.style & WS_CLIPCHILDREN) {
        return;
    }
    for (HWND child : w.children) {
        Window *c = findWindow(child);
        if (!c || !(c->style & WS_VISIBLE)) {
            continue;
        }
        RECT inChild = clipped;
        POINT origin = clientOrigin(*c);
        OffsetRect(&inChild, -origin.x, -origin.y);
        invalidateArea(*c, inChild, erase);
    }
}

void invalidateAll(Window &w, bool erase)
{
    invalidateArea(w, clientRectOf(w), erase);
}

void clearUpdate(Window &w)
{
    w.hasUpdate = false;
    w.update = RECT{};
    w.erasePending = false;
}

// ---- Messages --------------------------------------------------------------------------------

bool matchesFilter(const MSG &m, HWND filter, UINT first, UINT last)
{
    if (filter == reinterpret_cast<HWND>(-1)) {
        if (m.hwnd) {
            return false;
        }
    } else if (filter && m.hwnd != filter) {
        return false;
    }
    if (first == 0 && last == 0) {
        return true;
    }
    return m.message >= first && m.message <= last;
}

// Due times count the time the device has run, which never wraps and never goes back: a timer
// overdue by any amount is simply due, and moving the tick count does not touch it.
bool isDue(const Timer &t, ULONGLONG now)
{
    return now >= t.due;
}

MSG makeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    return m;
}

// Finds the next message the way GetMessage does; WM_PAINT stays until the window is validated,
// a removed WM_TIMER restarts its timer's period.
bool nextMessage(MSG *out, HWND filter, UINT first, UINT last, bool remove)
{
    WindowSystem &s = sys();
    for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
        if (matchesFilter(*it, filter, first, last)) {
            *out = *it;
            if (remove) {
                s.queue.erase(it);
            }
            return true;
        }
    }
    // WM_QUIT is returned whatever the filter asks for.
    if (s.quitPending) {
        *out = makeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0);
        if (remove) {
            s.quitPending = false;
        }
        return true;
    }
    for (auto &[value, w] : s.windows) {
        MSG m = makeMessage(w->handle, WM_PAINT, 0, 0);
        if (w->hasUpdate && !w->destroying && isVisible(w.get()) &&
            matchesFilter(m, filter, first, last)) {
            *out = m;
            return true;
        }
    }
    ULONGLONG now = internal::runningMilliseconds();
    auto takeTimer = [&](HWND hwnd, Timer &t) {
        MSG m = makeMessage(hwnd, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc));
        if (!isDue(t, now) || !matchesFilter(m, filter, first, last)) {
            return false;
        }
        *out = m;
        if (remove) {
            t.due = now + t.periodMs;
        }
        return true;
    };
    for (auto &[value, w] : s.windows) {
        if (w->destroying) {
            continue;
        }
        for (Timer &t : w->timers) {
            if (takeTimer(w->handle, t)) {
                return true;
            }
        }
    }
    for (Timer &t : s.threadTimers) {
        if (takeTimer(nullptr, t)) {
            return true;
        }
    }
    return false;
}

// The earliest due time among the timers a filtered GetMessage could return, as a distance from
// now; false when there is no timer at all.
bool nextTimerDistance(HWND filter, DWORD *distance)
{
    WindowSystem &s = sys();
    ULONGLONG now = internal::runningMilliseconds();
    bool found = false;
    auto consider = [&](HWND hwnd, const Timer &t) {
        if (!matchesFilter(makeMessage(hwnd, WM_TIMER, 0, 0), filter, 0, 0)) {
            return;
        }
        // At most one period away, so it fits.
        DWORD d = isDue(t, now) ? 0 : static_cast<DWORD>(t.due - now);
        if (!found || d < *distance) {
            *distance = d;
            found = true;
        }
    };
    for (auto &[value, w] : s.windows) {
        for (const Timer &t : w->timers) {
            consider(w->handle, t);
        }
    }
    for (const Timer &t : s.threadTimers) {
        consider(nullptr, t);
    }
    return found;
}

void dropQueuedFor(HWND hwnd)
{
    auto &q = sys().queue;
    q.erase(std::remove_if(q.begin(), q.end(), [hwnd](const MSG &m) { return m.hwnd == hwnd; }),
            q.end());
}

LRESULT callProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window *w = findWindow(hwnd);
    if (!w || !w->proc) {
        return 0;
    }
    return w->proc(hwnd, message, wParam, lParam);
}

std::vector<HWND> topLevelSnapshot()
{
    return sys().zOrder;
}

// ---- Creation and destruction ----------------------------------------------------------------

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
    w->erasePending = false;
    HDC dc = internal::acquireWindowDC(hwnd);
    w->erasing = true;
    w->eraseRect = w->update;
    callProc(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    if ((w = findWindow(hwnd))) {
        w->erasing = false;
    }
    internal::releaseWindowDC(dc);
}

// ---- Position --------------------------------------------------------------------------------

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
        if ((widthChanged && (classStyle & CS_HREDRAW)) ||
            (heightChanged && (classStyle & CS_VREDRAW)) || moved) {
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

// ShowWindow tells the window with WM_SHOWWINDOW first; SetWindowPos does not.
enum class ShowNotice { ShowWindow, WindowPosOnly };

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
    const UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE |
                       (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
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
    if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST ||
        insertAfter == HWND_NOTOPMOST || after == z.end()) {
        z.insert(z.begin(), hwnd);
    } else {
        z.insert(after + 1, hwnd);
    }
}

// ---- Text ------------------------------------------------------------------------------------

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

}  // namespace

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
    return w ? frameInsets(*w) : RECT{};
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

}  // namespace internal

namespace control {

// GetDesktopWindow's window is the screen, part of the system like the shell library, so only
// the windows programs create count.
int liveWindowCount()
{
    const auto &windows = sys().windows;
    return static_cast<int>(std::count_if(windows.begin(), windows.end(),
                                          [](const auto &entry) { return !entry.second->desktop; }));
}

int liveTimerCount()
{
    size_t count = sys().threadTimers.size();
    for (const auto &[value, w] : sys().windows) {
        count += w->timers.size();
    }
    return static_cast<int>(count);
}

}  // namespace control

// ---- Classes ---------------------------------------------------------------------------------

// ---- System classes --------------------------------------------------------------------------

namespace {

// Registered on first need and again after each reset, without an instance, so that they serve
// every module as the system's classes do.
void ensureSystemClasses()
{
    WindowSystem &s = sys();
    if (s.systemClassesReady) {
        return;
    }
    s.systemClassesReady = true;
    internal::registerSystemClasses();
}

}  // namespace

ATOM WINAPI RegisterClassW(const WNDCLASSW *lpWndClass)
{
    std::u16string name;
    if (!lpWndClass || !lpWndClass->lpfnWndProc || !classNameOf(lpWndClass->lpszClassName, &name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (findClassExact(name, lpWndClass->hInstance)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto c = std::make_unique<WindowClass>();
    c->name = name;
    c->atom = static_cast<ATOM>(atomFor(name));
    c->info = *lpWndClass;
    c->info.lpszClassName = nullptr;
    c->info.lpszMenuName = nullptr;   // no class menus on this platform
    ATOM atom = c->atom;
    sys().classes.push_back(std::move(c));
    return atom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance)
{
    std::u16string name;
    WindowClass *c = classNameOf(lpClassName, &name) ? findClassExact(name, hInstance) : nullptr;
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (c->liveWindows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    // The class owns its background brush from registration on, as on Windows.
    HBRUSH brush = c->info.hbrBackground;
    if (reinterpret_cast<uintptr_t>(brush) > kLastColorBrushValue) {
        DeleteObject(brush);
    }
    auto &classes = sys().classes;
    classes.erase(std::find_if(classes.begin(), classes.end(),
                               [c](const auto &p) { return p.get() == c; }));
    return TRUE;
}

BOOL WINAPI GetClassInfoW(HINSTANCE hInstance, LPCWSTR lpClassName, LPWNDCLASSW lpWndClass)
{
    ensureSystemClasses();
    std::u16string name;
    WindowClass *c = classNameOf(lpClassName, &name) ? findClassForUse(name, hInstance) : nullptr;
    if (!c || !lpWndClass) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    *lpWndClass = c->info;
    lpWndClass->lpszClassName = lpClassName;
    return c->atom;
}

// ---- Windows ---------------------------------------------------------------------------------

HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName,
                            DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                            HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam)
{
    WindowSystem &s = sys();
    ensureSystemClasses();
    std::u16string className;
    WindowClass *c = classNameOf(lpClassName, &className) ? findClassForUse(className, hInstance)
                                                          : nullptr;
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

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                         UINT uFlags)
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
    return static_cast<int>(SendMessageW(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                         reinterpret_cast<LPARAM>(lpString)));
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
    case GWL_STYLE:
        return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG>(w->exStyle);
    case GWL_ID:
        return w->id;
    case GWL_USERDATA:
        return w->userData;
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
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
    case GWL_STYLE:
        w->style = static_cast<DWORD>(dwNewLong);
        return previous;
    case GWL_EXSTYLE:
        w->exStyle = static_cast<DWORD>(dwNewLong);
        return previous;
    case GWL_ID:
        w->id = dwNewLong;
        return previous;
    case GWL_USERDATA:
        w->userData = dwNewLong;
        return previous;
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
}

// ---- Messages --------------------------------------------------------------------------------

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Window *w = findWindow(hWnd);
    if (!w) {
        return 0;
    }
    switch (Msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_WINDOWPOSCHANGED: {
        // WM_MOVE carries the client area's position, WM_SIZE its size, as on Windows.
        const auto *pos = reinterpret_cast<const WINDOWPOS *>(lParam);
        const RECT client = clientRectOf(*w);
        const POINT origin = clientOrigin(*w);
        if (pos && !(pos->flags & SWP_NOCLIENTMOVE)) {
            callProc(hWnd, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
        }
        if (pos && !(pos->flags & SWP_NOCLIENTSIZE) && (w = findWindow(hWnd))) {
            w->sized = true;
            callProc(hWnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width(client), height(client)));
        }
        return 0;
    }
    case WM_ERASEBKGND: {
        HBRUSH brush = w->windowClass ? w->windowClass->info.hbrBackground : nullptr;
        if (!brush) {
            return 0;
        }
        RECT area = w->erasing ? w->eraseRect : clientRectOf(*w);
        FillRect(reinterpret_cast<HDC>(wParam), &area, brush);
        return 1;
    }
    case WM_SETTEXT: {
        auto text = reinterpret_cast<LPCWSTR>(lParam);
        w->text = text ? text : u"";
        return TRUE;
    }
    case WM_GETTEXT:
        return copyText(w->text, wParam, reinterpret_cast<LPWSTR>(lParam));
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_PAINT: {
        // Validates, so that a window that leaves painting to the default gets no more WM_PAINT.
        PAINTSTRUCT ps;
        if (BeginPaint(hWnd, &ps)) {
            EndPaint(hWnd, &ps);
        }
        return 0;
    }
    default:
        return 0;
    }
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (hWnd == HWND_BROADCAST) {
        for (HWND hwnd : topLevelSnapshot()) {
            callProc(hwnd, Msg, wParam, lParam);
        }
        return TRUE;
    }
    Window *w = windowOrError(hWnd);
    if (!w) {
        return 0;
    }
    return callProc(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    WindowSystem &s = sys();
    if (hWnd == HWND_BROADCAST) {
        for (HWND hwnd : s.zOrder) {
            s.queue.push_back(makeMessage(hwnd, Msg, wParam, lParam));
        }
        return TRUE;
    }
    if (hWnd && !windowOrError(hWnd)) {
        return FALSE;
    }
    s.queue.push_back(makeMessage(hWnd, Msg, wParam, lParam));
    return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode)
{
    sys().quitPending = true;
    sys().quitCode = nExitCode;
}

BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg)
{
    MSG m;
    if (!nextMessage(&m, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0)) {
        return FALSE;
    }
    if (lpMsg) {
        *lpMsg = m;
    }
    return TRUE;
}

// The thread would sleep until a timer is due: the simulated clock jumps there instead. With no
// timer at all nothing could ever arrive, so the loop is told to quit rather than hang.
BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    for (;;) {
        if (nextMessage(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true)) {
            return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        }
        DWORD distance = 0;
        if (!nextTimerDistance(hWnd, &distance)) {
            *lpMsg = makeMessage(nullptr, WM_QUIT, 0, 0);
            return FALSE;
        }
        control::advanceClock(std::max<DWORD>(distance, 1));
    }
}

BOOL WINAPI TranslateMessage(const MSG *lpMsg)
{
    return FALSE;   // no keyboard: nothing to translate into WM_CHAR
}

LRESULT WINAPI DispatchMessageW(const MSG *lpMsg)
{
    if (!lpMsg) {
        return 0;
    }
    if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, GetTickCount());
        return 0;
    }
    if (!lpMsg->hwnd) {
        return 0;
    }
    if (!windowOrError(lpMsg->hwnd)) {
        return 0;
    }
    return callProc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

UINT WINAPI RegisterWindowMessageW(LPCWSTR lpString)
{
    if (!lpString || !*lpString) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return atomFor(lpString);
}

// ---- Timers ----------------------------------------------------------------------------------

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc)
{
    WindowSystem &s = sys();
    std::vector<Timer> *timers = &s.threadTimers;
    if (hWnd) {
        Window *w = windowOrError(hWnd);
        if (!w) {
            return 0;
        }
        timers = &w->timers;
    }
    Timer t;
    t.periodMs = std::clamp(uElapse, kTimerMinimumMs, kTimerMaximumMs);
    t.due = internal::runningMilliseconds() + t.periodMs;
    t.proc = lpTimerFunc;
    t.id = nIDEvent;
    auto existing = std::find_if(timers->begin(), timers->end(),
                                 [&](const Timer &x) { return x.id == nIDEvent; });
    if (!hWnd && existing == timers->end()) {
        // A thread timer gets an id of its own unless an existing one is being reset.
        auto used = [&](UINT_PTR id) {
            return std::any_of(timers->begin(), timers->end(),
                               [id](const Timer &x) { return x.id == id; });
        };
        while (s.nextThreadTimerId == 0 || used(s.nextThreadTimerId)) {
            ++s.nextThreadTimerId;
        }
        t.id = s.nextThreadTimerId++;
    }
    if (existing != timers->end()) {
        *existing = t;
    } else {
        timers->push_back(t);
    }
    return t.id != 0 ? t.id : 1;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent)
{
    std::vector<Timer> *timers = &sys().threadTimers;
    if (hWnd) {
        Window *w = windowOrError(hWnd);
        if (!w) {
            return FALSE;
        }
        timers = &w->timers;
    }
    auto it = std::find_if(timers->begin(), timers->end(),
                           [&](const Timer &t) { return t.id == uIDEvent; });
    if (it == timers->end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    timers->erase(it);
    return TRUE;
}

// ---- Painting --------------------------------------------------------------------------------

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT *lpRect, BOOL bErase)
{
    if (!hWnd) {
        for (auto &[value, w] : sys().windows) {
            invalidateAll(*w, bErase);
        }
        return TRUE;
    }
    Window *w = windowOrError(hWnd);
    if (!w) {
        return FALSE;
    }
    // A window that cannot be seen gathers no update region; showing it invalidates it whole.
    if (isVisible(w)) {
        invalidateArea(*w, lpRect ? *lpRect : clientRectOf(*w), bErase);
    }
    return TRUE;
}

// The update region is one rectangle: a validated band across its whole width or height is cut
// off; any other part stays invalid, which costs at most a repaint too many.
BOOL WINAPI ValidateRect(HWND hWnd, const RECT *lpRect)
{
    Window *w = windowOrError(hWnd);
    if (!w) {
        return FALSE;
    }
    if (!lpRect) {
        clearUpdate(*w);
        return TRUE;
    }
    if (!w->hasUpdate) {
        return TRUE;
    }
    RECT &u = w->update;
    const RECT &v = *lpRect;
    bool coversWidth = v.left <= u.left && v.right >= u.right;
    bool coversHeight = v.top <= u.top && v.bottom >= u.bottom;
    if (coversWidth && coversHeight) {
        clearUpdate(*w);
    } else if (coversWidth && v.top <= u.top && v.bottom > u.top) {
        u.top = v.bottom;
    } else if (coversWidth && v.bottom >= u.bottom && v.top < u.bottom) {
        u.bottom = v.top;
    } else if (coversHeight && v.left <= u.left && v.right > u.left) {
        u.left = v.right;
    } else if (coversHeight && v.right >= u.right && v.left < u.right) {
        u.right = v.left;
    }
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL bErase)
{
    Window *w = windowOrError(hWnd);
    if (!w) {
        return FALSE;
    }
    if (lpRect) {
        *lpRect = w->hasUpdate ? w->update : RECT{};
    }
    if (w->hasUpdate && bErase && w->erasePending) {
        w->erasePending = false;
        HDC dc = internal::acquireWindowDC(hWnd);
        w->erasing = true;
        w->eraseRect = w->update;
        callProc(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        if ((w = findWindow(hWnd))) {
            w->erasing = false;
        }
        internal::releaseWindowDC(dc);
    }
    w = findWindow(hWnd);
    return w && w->hasUpdate ? TRUE : FALSE;
}

BOOL WINAPI UpdateWindow(HWND hWnd)
{
    Window *w = windowOrError(hWnd);
    if (!w) {
        return FALSE;
    }
    if (w->hasUpdate && isVisible(w)) {
        callProc(hWnd, WM_PAINT, 0, 0);
    }
    return TRUE;
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint)
{
    Window *w = windowOrError(hWnd);
    if (!w || !lpPaint) {
        return nullptr;
    }
    internal::paintStarted(hWnd);
    HDC dc = internal::acquireWindowDC(hWnd);
    if (!(w = findWindow(hWnd))) {
        internal::releaseWindowDC(dc);
        return nullptr;
    }
    RECT paintRect = w->hasUpdate ? w->update : RECT{};
    bool erase = w->erasePending;
    // Cleared first: whatever the window invalidates from here on is painted next time.
    clearUpdate(*w);
    BOOL backgroundLeft = FALSE;
    if (erase) {
        w->erasing = true;
        w->eraseRect = paintRect;
        LRESULT erased = callProc(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        if ((w = findWindow(hWnd))) {
            w->erasing = false;
        }
        backgroundLeft = erased ? FALSE : TRUE;
    }
    *lpPaint = PAINTSTRUCT{};
    lpPaint->hdc = dc;
    lpPaint->fErase = backgroundLeft;
    lpPaint->rcPaint = paintRect;
    return dc;
}

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT *lpPaint)
{
    if (!lpPaint) {
        return FALSE;
    }
    if (lpPaint->hdc) {
        internal::releaseWindowDC(lpPaint->hdc);
    }
    return TRUE;
}

HDC WINAPI GetDC(HWND hWnd)
{
    if (hWnd && !windowOrError(hWnd)) {
        return nullptr;
    }
    return internal::acquireWindowDC(hWnd);
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC)
{
    if (!hDC) {
        return 0;
    }
    internal::releaseWindowDC(hDC);
    return 1;
}
