// The drawing part of the control surface: what was drawn, window pictures, GDI counts, dpi
// and system colours.
#include "control.h"

#include "gdi_state.h"
#include "internal.h"

#include <cairo.h>

#include <system_error>

namespace control {
namespace {

// The window's canvas at (x, y), then each visible child on top at its place in the window,
// clipped to the window's client area.
void compose(cairo_t *cr, HWND window, int x, int y, int width, int height)
{
    cairo_save(cr);
    cairo_rectangle(cr, x, y, width, height);
    cairo_clip(cr);
    if (cairo_surface_t *canvas = gdi::windowCanvas(window)) {
        cairo_set_source_surface(cr, canvas, x, y);
        cairo_paint(cr);
    }
    for (HWND child : internal::childWindows(window)) {
        if (!(static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)) & WS_VISIBLE)) continue;
        const RECT place = internal::windowRectInParent(child);
        RECT client{};
        if (!GetClientRect(child, &client)) continue;
        compose(cr, child, x + place.left, y + place.top, client.right - client.left,
                client.bottom - client.top);
    }
    cairo_restore(cr);
}

}  // namespace

std::vector<DrawnItem> paintRecord(HWND window) { return gdi::paintRecord(window); }

std::vector<std::u16string> drawnText(HWND window)
{
    std::vector<std::u16string> text;
    for (const DrawnItem &item : gdi::paintRecord(window))
        text.insert(text.end(), item.lines.begin(), item.lines.end());
    return text;
}

bool saveWindowPng(HWND window, const std::filesystem::path &file)
{
    RECT client{};
    if (!window || !GetClientRect(window, &client)) return false;
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0) return false;   // a PNG needs at least one pixel

    cairo_surface_t *picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t *cr = cairo_create(picture);
    compose(cr, window, 0, 0, width, height);
    cairo_destroy(cr);

    // Written beside the target and renamed over it, so a failure leaves no half a file.
    std::filesystem::path partial = file;
    partial += ".partial";
    const bool written = cairo_surface_write_to_png(picture, partial.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(picture);
    std::error_code error;
    if (written) std::filesystem::rename(partial, file, error);
    if (!written || error) {
        std::filesystem::remove(partial, error);
        return false;
    }
    return true;
}

GdiCounts liveGdiObjects()
{
    const gdi::LiveCounts live = gdi::liveCounts();
    GdiCounts counts;
    counts.fonts = live.fonts;
    counts.brushes = live.brushes;
    counts.icons = live.icons;
    counts.deviceContexts = live.deviceContexts;
    return counts;
}

void setDpi(int dotsPerInch) { gdi::setDpi(dotsPerInch); }

int dpi() { return gdi::dpi(); }

void setSysColor(int index, COLORREF color) { gdi::setSysColor(index, color); }

void setSystemFontWeight(LONG weight) { gdi::setSystemFontWeight(weight); }

}  // namespace control
