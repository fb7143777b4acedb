#include "gdi_icon.h"

#include <cstdlib>
#include <limits>

namespace gdi {
namespace {

// GRPICONDIR: WORD reserved (0), WORD type (1 = icon), WORD count, then the entries.
constexpr size_t groupHeader_Type = 2;
constexpr size_t groupHeader_Count = 4;
constexpr size_t groupHeader_SIZEOF = 6;
// GRPICONDIRENTRY: BYTE width, BYTE height, BYTE colour count, BYTE reserved, WORD planes,
// WORD bit count, DWORD bytes in resource, WORD id.
constexpr size_t groupEntry_Width = 0;
constexpr size_t groupEntry_Height = 1;
constexpr size_t groupEntry_ColorCount = 2;
constexpr size_t groupEntry_BitCount = 6;
constexpr size_t groupEntry_Id = 12;
constexpr size_t groupEntry_SIZEOF = 14;
constexpr WORD iconResourceType = 1;

// BITMAPINFOHEADER.
constexpr size_t bih_Size = 0;
constexpr size_t bih_Width = 4;
constexpr size_t bih_Height = 8;
constexpr size_t bih_Planes = 12;
constexpr size_t bih_BitCount = 14;
constexpr size_t bih_Compression = 16;
constexpr size_t bih_ClrUsed = 32;
constexpr size_t bih_SIZEOF = 40;
constexpr DWORD compressionNone = 0;   // BI_RGB
constexpr size_t rgbQuad_SIZEOF = 4;

// The largest icon the .ico format can describe (a width byte of 0 means 256).
constexpr int maxIconSide = 256;
// LoadImage prefers colour depths the display can show; ours is 16 bits per pixel.
constexpr int displayBitsPerPixel = 16;

WORD readWord(std::span<const BYTE> b, size_t at)
{
    return WORD(b[at] | (b[at + 1] << 8));
}

DWORD readDword(std::span<const BYTE> b, size_t at)
{
    return DWORD(b[at]) | DWORD(b[at + 1]) << 8 | DWORD(b[at + 2]) << 16 | DWORD(b[at + 3]) << 24;
}

LONG readLong(std::span<const BYTE> b, size_t at)
{
    return LONG(readDword(b, at));
}

int bitsFromColorCount(int colorCount)
{
    if (colorCount == 2) return 1;
    if (colorCount == 16) return 4;
    return 8;   // 0 means 256 colours (or more, which only an 8-bit guess can show here)
}

size_t rowStride(int width, int bitsPerPixel)
{
    return ((size_t(width) * size_t(bitsPerPixel) + 31) / 32) * 4;
}

}   // namespace

std::optional<std::vector<IconDirEntry>> parseIconGroup(std::span<const BYTE> bytes)
{
    if (bytes.size() < groupHeader_SIZEOF) return std::nullopt;
    if (readWord(bytes, groupHeader_Type) != iconResourceType) return std::nullopt;
    const size_t count = readWord(bytes, groupHeader_Count);
    if (count == 0 || bytes.size() < groupHeader_SIZEOF + count * groupEntry_SIZEOF) return std::nullopt;
    std::vector<IconDirEntry> entries;
    for (size_t i = 0; i < count; ++i) {
        const auto entry = bytes.subspan(groupHeader_SIZEOF + i * groupEntry_SIZEOF);
        IconDirEntry e;
        e.width = entry[groupEntry_Width] ? entry[groupEntry_Width] : maxIconSide;
        e.height = entry[groupEntry_Height] ? entry[groupEntry_Height] : maxIconSide;
        e.bitCount = readWord(entry, groupEntry_BitCount);
        if (e.bitCount == 0) e.bitCount = bitsFromColorCount(entry[groupEntry_ColorCount]);
        e.id = readWord(entry, groupEntry_Id);
        entries.push_back(e);
    }
    return entries;
}

size_t pickIconEntry(const std::vector<IconDirEntry> &entries, int cx, int cy)
{
    if (entries.empty() || (cx == 0 && cy == 0)) return 0;
    // Lower is better: size distance first, then depths the display shows (richest first),
    // then deeper-than-display images (poorest first).
    auto cost = [&](const IconDirEntry &e) {
        const long distance = std::labs(long(e.width) - (cx ? cx : e.width))
            + std::labs(long(e.height) - (cy ? cy : e.height));
        const long depth = e.bitCount <= displayBitsPerPixel ? displayBitsPerPixel - e.bitCount : e.bitCount;
        return distance * 1000 + depth;
    };
    size_t best = 0;
    for (size_t i = 1; i < entries.size(); ++i)
        if (cost(entries[i]) < cost(entries[best])) best = i;
    return best;
}

std::optional<IconBitmap> decodeIconImage(std::span<const BYTE> bytes)
{
    if (bytes.size() < bih_SIZEOF) return std::nullopt;
    const DWORD headerSize = readDword(bytes, bih_Size);
    const LONG width = readLong(bytes, bih_Width);
    const LONG doubledHeight = readLong(bytes, bih_Height);
    const int bits = readWord(bytes, bih_BitCount);
    const DWORD colorsUsed = readDword(bytes, bih_ClrUsed);
    if (headerSize < bih_SIZEOF || headerSize > bytes.size()) return std::nullopt;
    if (readWord(bytes, bih_Planes) != 1) return std::nullopt;
    if (readDword(bytes, bih_Compression) != compressionNone) return std::nullopt;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return std::nullopt;
    if (width <= 0 || width > maxIconSide) return std::nullopt;
    if (doubledHeight <= 0 || doubledHeight > 2 * maxIconSide || doubledHeight % 2 != 0) return std::nullopt;
    const int height = doubledHeight / 2;

    size_t paletteSize = 0;
    if (bits <= 8) {
        const size_t full = size_t(1) << bits;
        if (colorsUsed > full) return std::nullopt;
        paletteSize = colorsUsed ? colorsUsed : full;
    }
    const size_t paletteAt = headerSize;
    const size_t colorRowsAt = paletteAt + paletteSize * rgbQuad_SIZEOF;
    const size_t colorStride = rowStride(width, bits);
    const size_t maskStride = rowStride(width, 1);
    const size_t maskRowsAt = colorRowsAt + colorStride * size_t(height);
    const size_t end = maskRowsAt + maskStride * size_t(height);
    // A 32-bit image may leave the mask out: its alpha channel says everything.
    const bool maskPresent = end <= bytes.size();
    if (!maskPresent && (bits != 32 || maskRowsAt > bytes.size())) return std::nullopt;

    IconBitmap image;
    image.width = width;
    image.height = height;
    image.colors.resize(size_t(width) * size_t(height));
    image.andMask.assign(size_t(width) * size_t(height), 0);
    for (int y = 0; y < height; ++y) {
        // Rows are stored bottom-up.
        const auto row = bytes.subspan(colorRowsAt + colorStride * size_t(height - 1 - y), colorStride);
        for (int x = 0; x < width; ++x) {
            uint32_t argb = 0;
            if (bits <= 8) {
                const size_t bitOffset = size_t(x) * size_t(bits);
                const unsigned byte = row[bitOffset / 8];
                const unsigned index = (byte >> (8 - bits - bitOffset % 8)) & ((1u << bits) - 1);
                if (index >= paletteSize) return std::nullopt;
                const size_t at = paletteAt + index * rgbQuad_SIZEOF;
                argb = 0xFF000000u | uint32_t(bytes[at + 2]) << 16 | uint32_t(bytes[at + 1]) << 8 | bytes[at];
            } else if (bits == 24) {
                const size_t at = size_t(x) * 3;
                argb = 0xFF000000u | uint32_t(row[at + 2]) << 16 | uint32_t(row[at + 1]) << 8 | row[at];
            } else {
                const size_t at = size_t(x) * 4;
                argb = uint32_t(row[at + 3]) << 24 | uint32_t(row[at + 2]) << 16 | uint32_t(row[at + 1]) << 8
                    | row[at];
                if (row[at + 3] != 0) image.hasAlpha = true;
            }
            image.colors[size_t(y) * size_t(width) + size_t(x)] = argb;
        }
        if (maskPresent) {
            const auto mask = bytes.subspan(maskRowsAt + maskStride * size_t(height - 1 - y), maskStride);
            for (int x = 0; x < width; ++x)
                image.andMask[size_t(y) * size_t(width) + size_t(x)]
                    = (mask[size_t(x) / 8] >> (7 - x % 8)) & 1;
        }
    }
    if (bits == 32 && !image.hasAlpha) {
        // An all-zero alpha channel means the image predates alpha: opaque colours, mask decides.
        for (auto &c : image.colors) c |= 0xFF000000u;
    }
    return image;
}

}   // namespace gdi
