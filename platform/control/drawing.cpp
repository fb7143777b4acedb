// The drawing part of the control surface: what was drawn, window pictures, GDI counts, dpi
// and system colours.
#include "control.h"

#include "gdi_state.h"
#include "internal.h"

#include <cairo.h>

#include <system_error>
#include <vector>

namespace control {
namespace {

// The window with its top-left corner at (x, y): its frame (border and caption), then its
// client canvas, then each visible child on top at its place, clipped to the client area.
void compose(cairo_t *cr, HWND window, int x, int y)
{
    RECT outer{};
    RECT client{};
    if (!GetWindowRect(window, &outer) || !GetClientRect(window, &client)) return;
    const RECT insets = internal::frameInsets(window);
    cairo_save(cr);
    cairo_rectangle(cr, x, y, outer.right - outer.left, outer.bottom - outer.top);
    cairo_clip(cr);
    if (insets.left || insets.top || insets.right || insets.bottom) {
        internal::paintFrame(window);
        if (cairo_surface_t *frame = gdi::windowFrameCanvas(window)) {
            cairo_set_source_surface(cr, frame, x, y);
            cairo_paint(cr);
        }
    }
    const int clientX = x + insets.left;
    const int clientY = y + insets.top;
    cairo_rectangle(cr, clientX, clientY, client.right, client.bottom);
    cairo_clip(cr);
    if (cairo_surface_t *canvas = gdi::windowCanvas(window)) {
        cairo_set_source_surface(cr, canvas, clientX, clientY);
        cairo_paint(cr);
    }
    for (HWND child : internal::childWindows(window)) {
        if (!(static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)) & WS_VISIBLE)) continue;
        const RECT place = internal::windowRectInParent(child);
        compose(cr, child, clientX + place.left, clientY + place.top);
    }
    cairo_restore(cr);
}

// Writes the picture beside the target and renames it over, so a failure leaves no half a file.
bool writePng(cairo_surface_t *picture, const std::filesystem::path &file)
{
    std::filesystem::path partial = file;
    partial += ".partial";
    const bool written = cairo_surface_write_to_png(picture, partial.c_str()) == CAIRO_STATUS_SUCCESS;
    std::error_code error;
    if (written) std::filesystem::rename(partial, file, error);
    if (!written || error) {
        std::filesystem::remove(partial, error);
        return false;
    }
    return true;
}

BOOL CALLBACK collectVisible(HWND window, LPARAM list)
{
    if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND> *>(list)->push_back(window);
    return TRUE;
}

}   // namespace

std::vector<DrawnItem> paintRecord(HWND window)
{
    return gdi::paintRecord(window);
}

std::vector<std::u16string> drawnText(HWND window)
{
    std::vector<std::u16string> text;
    for (const DrawnItem &item : gdi::paintRecord(window))
        text.insert(text.end(), item.lines.begin(), item.lines.end());
    return text;
}

bool saveWindowPng(HWND window, const std::filesystem::path &file)
{
    RECT outer{};
    if (!window || !GetWindowRect(window, &outer)) return false;
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    if (width <= 0 || height <= 0) return false;   // a PNG needs at least one pixel

    cairo_surface_t *picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t *cr = cairo_create(picture);
    compose(cr, window, 0, 0);
    cairo_destroy(cr);
    const bool saved = writePng(picture, file);
    cairo_surface_destroy(picture);
    return saved;
}

// The screen's background colour shows where no window lies.
bool saveScreenPng(const std::filesystem::path &file)
{
    const SIZE screen = internal::screenSize();
    if (screen.cx <= 0 || screen.cy <= 0) return false;
    std::vector<HWND> windows;   // top first
    EnumWindows(collectVisible, reinterpret_cast<LPARAM>(&windows));

    cairo_surface_t *picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, screen.cx, screen.cy);
    cairo_t *cr = cairo_create(picture);
    const COLORREF background = GetSysColor(COLOR_BACKGROUND);
    cairo_set_source_rgb(cr, GetRValue(background) / 255.0, GetGValue(background) / 255.0,
                         GetBValue(background) / 255.0);
    cairo_paint(cr);
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        RECT place{};
        if (GetWindowRect(*it, &place)) compose(cr, *it, place.left, place.top);
    }
    cairo_destroy(cr);
    const bool saved = writePng(picture, file);
    cairo_surface_destroy(picture);
    return saved;
}

GdiCounts liveGdiObjects()
{
    const gdi::LiveCounts live = gdi::liveCounts();
    GdiCounts counts;
    counts.fonts = live.fonts;
    counts.brushes = live.brushes;
    counts.icons = live.icons;
    counts.deviceContexts = live.deviceContexts;
    counts.menus = internal::liveMenuCount();
    return counts;
}

void setDpi(int dotsPerInch)
{
    gdi::setDpi(dotsPerInch);
}

int dpi()
{
    return gdi::dpi();
}

void setScreenSize(int width, int height)
{
    gdi::setScreenSize(width, height);
}

void setSysColor(int index, COLORREF color)
{
    gdi::setSysColor(index, color);
}

void setSystemFontWeight(LONG weight)
{
    gdi::setSystemFontWeight(weight);
}

}   // namespace control
