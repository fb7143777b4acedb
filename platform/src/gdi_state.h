// What the drawing control surface (control/drawing.cpp) reads and sets inside GDI.
#ifndef DURVO_PLATFORM_GDI_STATE_H
#define DURVO_PLATFORM_GDI_STATE_H

#include <windows.h>

#include "control.h"

#include <cairo.h>

#include <vector>

namespace gdi {

// The window's canvas (client-area sized, ARGB32), or null when nothing was ever drawn.
cairo_surface_t *windowCanvas(HWND window);
// The window's frame canvas (window sized: border and caption), or null when it has none.
cairo_surface_t *windowFrameCanvas(HWND window);
std::vector<control::DrawnItem> paintRecord(HWND window);

struct LiveCounts {
    int fonts = 0;
    int brushes = 0;
    int icons = 0;
    int deviceContexts = 0;
};
LiveCounts liveCounts();

void setDpi(int dotsPerInch);
int dpi();
void setScreenSize(int width, int height);
void setSysColor(int index, COLORREF color);
void setSystemFontWeight(LONG weight);

}   // namespace gdi

#endif
