// Dialog templates written byte by byte as a resource compiler lays them out (classic
// DLGTEMPLATE and extended DLGTEMPLATEEX), for the dialog and control tests; and a reader of
// the pixels of a saved picture (on our layer, whose pictures they are).
#ifndef DURVO_TESTS_DIALOG_BUILDER_H
#define DURVO_TESTS_DIALOG_BUILDER_H

#include <windows.h>

#if !defined(DURVO_REAL_WIN32)
#include <cairo.h>
#endif

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace dlgtest {

// A menu, class or title field: none (one 0 WORD), an ordinal (0xFFFF, WORD) or a string.
struct Field {
    enum class Kind { None, Ordinal, String };
    Kind kind = Kind::None;
    WORD ordinal = 0;
    std::u16string text;
};

inline Field none()
{
    return Field{};
}
inline Field ordinal(WORD value)
{
    return Field{Field::Kind::Ordinal, value, {}};
}
inline Field text(std::u16string value)
{
    return Field{Field::Kind::String, 0, std::move(value)};
}

constexpr WORD kButton = 0x0080;
constexpr WORD kEdit = 0x0081;
constexpr WORD kStatic = 0x0082;
constexpr WORD kComboBox = 0x0085;

struct Item {
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    short x = 0;
    short y = 0;
    short cx = 10;
    short cy = 10;
    DWORD id = 0;
    Field windowClass = ordinal(kButton);
    Field title = text(u"");
    std::vector<BYTE> data;
    DWORD helpId = 0;
};

inline Item item(DWORD style, DWORD exStyle, short x, short y, short cx, short cy, DWORD id,
                 Field windowClass, Field title, std::vector<BYTE> data = {})
{
    Item i;
    i.style = style;
    i.exStyle = exStyle;
    i.x = x;
    i.y = y;
    i.cx = cx;
    i.cy = cy;
    i.id = id;
    i.windowClass = std::move(windowClass);
    i.title = std::move(title);
    i.data = std::move(data);
    return i;
}

struct Dialog {
    bool extended = false;
    DWORD style = WS_POPUP | WS_CAPTION | DS_SETFONT;
    DWORD exStyle = 0;
    short x = 0;
    short y = 0;
    short cx = 100;
    short cy = 50;
    Field menu;
    Field windowClass;
    std::u16string title = u"Test";
    WORD pointSize = 8;
    WORD weight = 0;   // extended form only
    BYTE italic = 0;
    BYTE charSet = 0;
    std::u16string face = u"System";
    std::vector<Item> items;
    DWORD helpId = 0;
};

class Writer {
public:
    std::vector<BYTE> bytes;

    void word(WORD value)
    {
        bytes.push_back(static_cast<BYTE>(value & 0xFF));
        bytes.push_back(static_cast<BYTE>(value >> 8));
    }
    void dword(DWORD value)
    {
        word(static_cast<WORD>(value & 0xFFFF));
        word(static_cast<WORD>(value >> 16));
    }
    void string(const std::u16string &value)
    {
        for (char16_t unit : value) word(unit);
        word(0);
    }
    void field(const Field &f)
    {
        switch (f.kind) {
        case Field::Kind::None: word(0); break;
        case Field::Kind::Ordinal:
            word(0xFFFF);
            word(f.ordinal);
            break;
        case Field::Kind::String: string(f.text); break;
        }
    }
    void alignToDword()
    {
        while (bytes.size() % 4) bytes.push_back(0);
    }
};

inline std::vector<BYTE> build(const Dialog &d)
{
    Writer w;
    if (d.extended) {
        w.word(1);
        w.word(0xFFFF);
        w.dword(d.helpId);
        w.dword(d.exStyle);
        w.dword(d.style);
    } else {
        w.dword(d.style);
        w.dword(d.exStyle);
    }
    w.word(static_cast<WORD>(d.items.size()));
    for (short v : {d.x, d.y, d.cx, d.cy}) w.word(static_cast<WORD>(v));
    w.field(d.menu);
    w.field(d.windowClass);
    w.string(d.title);
    if (d.style & DS_SETFONT) {
        w.word(d.pointSize);
        if (d.extended) {
            w.word(d.weight);
            w.bytes.push_back(d.italic);
            w.bytes.push_back(d.charSet);
        }
        w.string(d.face);
    }
    for (const Item &item : d.items) {
        w.alignToDword();
        if (d.extended) {
            w.dword(item.helpId);
            w.dword(item.exStyle);
            w.dword(item.style);
        } else {
            w.dword(item.style);
            w.dword(item.exStyle);
        }
        for (short v : {item.x, item.y, item.cx, item.cy}) w.word(static_cast<WORD>(v));
        if (d.extended)
            w.dword(item.id);
        else
            w.word(static_cast<WORD>(item.id));
        w.field(item.windowClass);
        w.field(item.title);
        w.word(static_cast<WORD>(item.data.size()));
        w.bytes.insert(w.bytes.end(), item.data.begin(), item.data.end());
    }
    return w.bytes;
}

inline LPCDLGTEMPLATEW asTemplate(const std::vector<BYTE> &bytes)
{
    return reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data());
}

#if !defined(DURVO_REAL_WIN32)
// The pixels of a PNG file, as 0xAARRGGBB (premultiplied, as Cairo keeps them).
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // Whether the pixel is opaque and close to the colour.
    bool is(int x, int y, COLORREF color) const
    {
        const uint32_t p = at(x, y);
        auto near = [](int a, int b) { return a - b <= 8 && b - a <= 8; };
        return (p >> 24) == 0xFF && near((p >> 16) & 0xFF, GetRValue(color))
            && near((p >> 8) & 0xFF, GetGValue(color)) && near(p & 0xFF, GetBValue(color));
    }
    // Opaque pixels darker than mid-grey inside the rectangle.
    int darkPixels(const RECT &r) const
    {
        int count = 0;
        for (int y = std::max<LONG>(0, r.top); y < std::min<LONG>(height, r.bottom); ++y)
            for (int x = std::max<LONG>(0, r.left); x < std::min<LONG>(width, r.right); ++x) {
                const uint32_t p = at(x, y);
                const int sum = ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF);
                if ((p >> 24) == 0xFF && sum < 3 * 128) ++count;
            }
        return count;
    }
};

inline Picture readPng(const std::filesystem::path &file)
{
    Picture picture;
    cairo_surface_t *surface = cairo_image_surface_create_from_png(file.c_str());
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        picture.width = cairo_image_surface_get_width(surface);
        picture.height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char *data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < picture.height; ++y) {
            const auto *row = reinterpret_cast<const uint32_t *>(data + static_cast<ptrdiff_t>(y) * stride);
            picture.pixels.insert(picture.pixels.end(), row, row + picture.width);
        }
    }
    cairo_surface_destroy(surface);
    return picture;
}

#endif

}   // namespace dlgtest

#endif
