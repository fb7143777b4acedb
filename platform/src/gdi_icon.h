// Icon resources: the RT_GROUP_ICON directory and the RT_ICON device-independent bitmaps,
// read from untrusted bytes. Every length is checked before it is read; a defect gives
// nothing rather than a partial image.
#ifndef DURVO_PLATFORM_GDI_ICON_H
#define DURVO_PLATFORM_GDI_ICON_H

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace gdi {

// One row of a group directory (GRPICONDIRENTRY).
struct IconDirEntry {
    int width = 0;   // 0 in the file means 256
    int height = 0;
    int bitCount = 0;   // derived from the colour count when the file leaves it 0
    WORD id = 0;        // the RT_ICON resource holding the image
};

// Decoded icon image, top row first.
struct IconBitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> colors;   // 0xAARRGGBB, alpha 255 (32-bit images keep their alpha)
    std::vector<uint8_t> andMask;   // 1 = the pixel lets the background through
    bool hasAlpha = false;          // a 32-bit image whose alpha channel is not all zero
};

std::optional<std::vector<IconDirEntry>> parseIconGroup(std::span<const BYTE> bytes);

// The entry that LoadImage uses for a wanted size: cx and cy both 0 take the first entry;
// otherwise the nearest size, then the richest colour depth the 16-bit display can show.
size_t pickIconEntry(const std::vector<IconDirEntry> &entries, int cx, int cy);

// A BITMAPINFOHEADER image with doubled height (colour rows, then the AND mask), 1, 4, 8,
// 24 or 32 bits per pixel, uncompressed, rows bottom-up and DWORD-aligned.
std::optional<IconBitmap> decodeIconImage(std::span<const BYTE> bytes);

}   // namespace gdi

#endif
