// What the emulated Today screen paints itself: the navigation bar with the clock and a battery
// gauge, the date band, the soft sky background the items are drawn over (also handed to the
// items as their watermark) and the command bar. All sizes are 96-dpi pixels scaled to the dpi.
#ifndef DURVO_HOST_BACKDROP_H
#define DURVO_HOST_BACKDROP_H

#include <windows.h>

#include <string>

namespace host {

struct ScreenLook {
    int width = 240;
    int height = 320;
    int dpi = 96;

    int scale(int pixelsAt96) const { return pixelsAt96 * dpi / 96; }
    // The first row below the date band, where the items begin.
    int itemsTop() const { return scale(50); }
    int commandBarTop() const { return height - scale(26); }
};

// The colour in which items draw their text over the background (TODAYM_GETCOLOR).
COLORREF itemTextColour();

// What the top bands show; the screen repaints them when this changes.
struct HeaderContent {
    std::u16string time;       // "8:01"
    std::u16string date;       // "Friday, June 10, 2005"
    int batteryPercent = -1;   // -1 when unknown
    bool onExternalPower = false;

    bool operator==(const HeaderContent &) const = default;
};
HeaderContent currentHeader();

// Paints the whole screen (bands, background, command bar) into a device context whose origin
// is the screen's top left corner.
void paintScreen(HDC dc, const ScreenLook &look, const HeaderContent &header);

// Paints the background that lies under `area` (screen coordinates) into a device context
// whose origin sits at `origin` on the screen: the watermark of an item.
void paintBackground(HDC dc, const ScreenLook &look, const RECT &area, POINT origin);

// The rectangle of the navigation bar and date band, for repainting when the header changes.
RECT headerRect(const ScreenLook &look);

}   // namespace host

#endif
