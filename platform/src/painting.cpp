// Painting state: each window's update region, invalidation and validation, and the device
// contexts BeginPaint, GetDC and their releases hand out.
//
// InvalidateRect allocates nothing, so a program's timer may call it every second.
#include "internal.h"
#include "window_system.h"

using namespace window_system;

namespace {

// WM_ERASEBKGND for `area` of the update region, with the window marked as erasing meanwhile;
// the window procedure's answer.
LRESULT sendEraseBackground(HWND hwnd, HDC dc, const RECT &area)
{
    Window *w = findWindow(hwnd);
    w->erasing = true;
    w->eraseRect = area;
    LRESULT erased = callProc(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    if ((w = findWindow(hwnd))) {
        w->erasing = false;
    }
    return erased;
}

}   // namespace

namespace window_system {

void eraseUpdateNow(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    w->erasePending = false;
    HDC dc = internal::acquireWindowDC(hwnd);
    sendEraseBackground(hwnd, dc, w->update);
    internal::releaseWindowDC(dc);
}

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

}   // namespace window_system

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
        eraseUpdateNow(hWnd);
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
        backgroundLeft = sendEraseBackground(hWnd, dc, paintRect) ? FALSE : TRUE;
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
