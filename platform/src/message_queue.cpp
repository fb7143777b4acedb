// The message queue and timers.
//
// There is one user-interface thread, so one queue. Messages are retrieved in the order Windows
// uses: posted messages, then WM_QUIT, then WM_PAINT for a window with an update region, then
// WM_TIMER for a due timer. WM_PAINT and WM_TIMER are never queued; they are made up when the
// queue is asked and nothing more urgent is there, which is why a timer can never have more than
// one WM_TIMER pending and a window never more than one WM_PAINT.
#include "internal.h"
#include "window_system.h"

#include <control.h>

#include <algorithm>

using namespace window_system;

// ---- The queue -------------------------------------------------------------------------------

namespace {

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
        if (w->hasUpdate && !w->destroying && isVisible(w.get()) && matchesFilter(m, filter, first, last)) {
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

}   // namespace

namespace window_system {

void dropQueuedFor(HWND hwnd)
{
    auto &q = sys().queue;
    q.erase(std::remove_if(q.begin(), q.end(), [hwnd](const MSG &m) { return m.hwnd == hwnd; }), q.end());
}

LRESULT callProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window *w = findWindow(hwnd);
    if (!w || !w->proc) {
        return 0;
    }
    return w->proc(hwnd, message, wParam, lParam);
}

}   // namespace window_system

namespace {

std::vector<HWND> topLevelSnapshot()
{
    return sys().zOrder;
}

}   // namespace

// ---- Messages --------------------------------------------------------------------------------

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Window *w = findWindow(hWnd);
    if (!w) {
        return 0;
    }
    switch (Msg) {
    case WM_NCCREATE: return TRUE;
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
    case WM_GETTEXT: return copyText(w->text, wParam, reinterpret_cast<LPWSTR>(lParam));
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
    case WM_CLOSE: DestroyWindow(hWnd); return 0;
    case WM_PAINT: {
        // Validates, so that a window that leaves painting to the default gets no more WM_PAINT.
        PAINTSTRUCT ps;
        if (BeginPaint(hWnd, &ps)) {
            EndPaint(hWnd, &ps);
        }
        return 0;
    }
    default: return 0;
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

BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
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
    auto existing
        = std::find_if(timers->begin(), timers->end(), [&](const Timer &x) { return x.id == nIDEvent; });
    if (!hWnd && existing == timers->end()) {
        // A thread timer gets an id of its own unless an existing one is being reset.
        auto used = [&](UINT_PTR id) {
            return std::any_of(timers->begin(), timers->end(), [id](const Timer &x) { return x.id == id; });
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
    auto it = std::find_if(timers->begin(), timers->end(), [&](const Timer &t) { return t.id == uIDEvent; });
    if (it == timers->end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    timers->erase(it);
    return TRUE;
}

namespace control {

int liveTimerCount()
{
    size_t count = sys().threadTimers.size();
    for (const auto &[value, w] : sys().windows) {
        count += w->timers.size();
    }
    return static_cast<int>(count);
}

}   // namespace control
