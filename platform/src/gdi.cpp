// GDI over Cairo: device contexts, fonts, brushes, icons, text, and one canvas per window.
//
// Text is laid out by the metrics model of text_metrics.cpp, never measured with a real font.
// Glyphs are drawn with Cairo in "DejaVu Sans", each one at the position the model gives, so
// what is drawn and what DT_CALCRECT answers agree even though the real glyphs differ.
//
// The stock SYSTEM_FONT is Tahoma, 8 points at the current dpi (lfHeight = -MulDiv(8, dpi,
// 72): -11 at 96 dpi, -21 at 192), bold, the font a Pocket PC uses for its own text.
//
// Everything runs on the one user-interface thread, like the rest of the platform.
#include "control.h"
#include "gdi_icon.h"
#include "gdi_state.h"
#include "internal.h"
#include "text_metrics.h"

#include <cairo.h>
#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using namespace gdi;

constexpr int defaultDpi = 96;
// The Pocket PC screen at 96 dpi; a 192-dpi device has twice as many pixels each way.
constexpr int screenWidthAt96 = 240;
constexpr int screenHeightAt96 = 320;
constexpr int screenBitsPerPixel = 16;
constexpr COLORREF black = RGB(0, 0, 0);
constexpr COLORREF white = RGB(255, 255, 255);
constexpr COLORREF invalidColor = 0xFFFFFFFF;   // CLR_INVALID
constexpr DWORD errorInvalidData = 13;          // ERROR_INVALID_DATA
constexpr int systemFontPoints = 8;
// Tallest character we lay out; keeps the pixel arithmetic far from overflow.
// Cairo's largest image surface side.
constexpr int maxCanvasSide = 32767;
// Stock object indices that GetStockObject knows besides the ones windows.h names.
constexpr int ltGrayBrush = 1;
constexpr int grayBrush = 2;
constexpr int dkGrayBrush = 3;

int mulDiv(int number, int numerator, int denominator)
{
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

// ---- Objects ---------------------------------------------------------------------------------

enum class Kind { Font, Brush, Icon, DeviceContext };

struct Object {
    explicit Object(Kind k) : kind(k) { }
    virtual ~Object() = default;
    Kind kind;
    bool stock = false;
    int selections = 0;   // device contexts that hold it selected
};

struct Font : Object {
    Font() : Object(Kind::Font) { }
    LOGFONTW logFont{};
    bool systemFont = false;   // the stock font follows the dpi, so it is computed on demand
};

struct Brush : Object {
    Brush() : Object(Kind::Brush) { }
    bool hollow = false;
    COLORREF color = black;
};

struct Icon : Object {
    Icon() : Object(Kind::Icon) { }
    gdi::IconBitmap bitmap;
    int width = 0;   // the size LoadImage was asked for (the image's own when 0)
    int height = 0;
    int group = 0;   // the icon group it came from, 0 when named by a string
    gdi::IconDirEntry image;
};

struct DeviceContext : Object {
    DeviceContext() : Object(Kind::DeviceContext) { }
    HWND window = nullptr;   // null: a screen context that measures but draws nothing
    bool frame = false;      // draws on the window's frame canvas, not its client canvas
    Font *font = nullptr;
    Brush *brush = nullptr;
    int bkMode = OPAQUE;
    COLORREF textColor = black;
    COLORREF bkColor = white;
};

struct SurfaceDeleter {
    void operator()(cairo_surface_t *s) const { cairo_surface_destroy(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

struct Canvas {
    Surface surface;
    std::vector<control::DrawnItem> record;   // since the last BeginPaint
};

// Pocket PC defaults, by COLOR_* index.
constexpr std::array<COLORREF, 29> defaultSysColors = {
    RGB(192, 192, 192),   // COLOR_SCROLLBAR
    RGB(255, 255, 255),   // COLOR_BACKGROUND
    RGB(0, 0, 128),       // COLOR_ACTIVECAPTION
    RGB(128, 128, 128),   // COLOR_INACTIVECAPTION
    RGB(255, 255, 255),   // COLOR_MENU
    RGB(255, 255, 255),   // COLOR_WINDOW
    RGB(0, 0, 0),         // COLOR_WINDOWFRAME
    RGB(0, 0, 0),         // COLOR_MENUTEXT
    RGB(0, 0, 0),         // COLOR_WINDOWTEXT
    RGB(255, 255, 255),   // COLOR_CAPTIONTEXT
    RGB(192, 192, 192),   // COLOR_ACTIVEBORDER
    RGB(192, 192, 192),   // COLOR_INACTIVEBORDER
    RGB(128, 128, 128),   // COLOR_APPWORKSPACE
    RGB(0, 0, 128),       // COLOR_HIGHLIGHT
    RGB(255, 255, 255),   // COLOR_HIGHLIGHTTEXT
    RGB(192, 192, 192),   // COLOR_BTNFACE
    RGB(128, 128, 128),   // COLOR_BTNSHADOW
    RGB(128, 128, 128),   // COLOR_GRAYTEXT
    RGB(0, 0, 0),         // COLOR_BTNTEXT
    RGB(192, 192, 192),   // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),   // COLOR_BTNHIGHLIGHT
    RGB(0, 0, 0),         // COLOR_3DDKSHADOW
    RGB(192, 192, 192),   // COLOR_3DLIGHT
    RGB(0, 0, 0),         // COLOR_INFOTEXT
    RGB(255, 255, 225),   // COLOR_INFOBK
    RGB(255, 255, 255),   // COLOR_STATIC
    RGB(0, 0, 0),         // COLOR_STATICTEXT
    RGB(0, 0, 128),       // COLOR_GRADIENTACTIVECAPTION
    RGB(128, 128, 128),   // COLOR_GRADIENTINACTIVECAPTION
};

struct State {
    State()
    {
        for (Object *o : std::initializer_list<Object *>{&systemFont, &whiteBrush, &ltGray, &gray, &dkGray,
                                                         &blackBrush, &nullBrush})
            o->stock = true;
        systemFont.systemFont = true;
        whiteBrush.color = white;
        ltGray.color = RGB(192, 192, 192);
        gray.color = RGB(128, 128, 128);
        dkGray.color = RGB(64, 64, 64);
        blackBrush.color = black;
        nullBrush.hollow = true;
    }
    // Cairo and fontconfig keep font caches for the life of the process; handing them back at
    // exit keeps the leak checker's report to our own objects. Fontconfig came in with Cairo,
    // so its FcFini is looked up rather than linked.
    ~State()
    {
        objects.clear();
        canvases.clear();
        frames.clear();
        cairo_debug_reset_static_data();
        if (auto fcFini = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "FcFini"))) fcFini();
    }
    Font systemFont;
    Brush whiteBrush, ltGray, gray, dkGray, blackBrush, nullBrush;
    std::unordered_map<const void *, std::unique_ptr<Object>> objects;   // created, not stock
    std::map<HWND, Canvas> canvases;
    std::map<HWND, Canvas> frames;   // the non-client part: border and caption
    int dpi = defaultDpi;
    SIZE screen{0, 0};   // set by the control surface; 0 x 0: the Pocket PC screen at the dpi
    LONG systemFontWeight = FW_BOLD;
    std::array<COLORREF, defaultSysColors.size()> sysColors = defaultSysColors;
};

State &state()
{
    static State s;
    return s;
}

Object *objectOf(const void *handle)
{
    if (!handle) return nullptr;
    State &s = state();
    for (Object *stock :
         {static_cast<Object *>(&s.systemFont), static_cast<Object *>(&s.whiteBrush),
          static_cast<Object *>(&s.ltGray), static_cast<Object *>(&s.gray), static_cast<Object *>(&s.dkGray),
          static_cast<Object *>(&s.blackBrush), static_cast<Object *>(&s.nullBrush)})
        if (handle == stock) return stock;
    const auto it = s.objects.find(handle);
    return it == s.objects.end() ? nullptr : it->second.get();
}

template <typename T> T *objectAs(const void *handle, Kind kind)
{
    Object *o = objectOf(handle);
    return o && o->kind == kind ? static_cast<T *>(o) : nullptr;
}

DeviceContext *dcOf(HDC hdc)
{
    return objectAs<DeviceContext>(hdc, Kind::DeviceContext);
}

template <typename T> T *adopt(std::unique_ptr<T> object)
{
    T *raw = object.get();
    state().objects.emplace(raw, std::move(object));
    return raw;
}

void select(Object *&slot, Object *next)
{
    ++next->selections;
    if (slot) --slot->selections;
    slot = next;
}

// ---- Fonts and the metrics model -------------------------------------------------------------

int systemCharHeight()
{
    return mulDiv(systemFontPoints, state().dpi, 72);
}

LOGFONTW systemLogFont()
{
    LOGFONTW lf{};
    lf.lfHeight = -systemCharHeight();
    lf.lfWeight = state().systemFontWeight;
    const std::u16string_view face = u"Tahoma";
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    return lf;
}

LOGFONTW logFontOf(const Font &font)
{
    return font.systemFont ? systemLogFont() : font.logFont;
}

// ---- Canvases --------------------------------------------------------------------------------

Canvas *canvasOf(HWND window, bool frame = false)
{
    auto &canvases = frame ? state().frames : state().canvases;
    const auto it = canvases.find(window);
    return it == canvases.end() ? nullptr : &it->second;
}

// The window's canvas at its current client size (or window size, for the frame); pixels that
// the old and the new size share are kept, new ones start transparent.
void ensureCanvas(HWND window, int width, int height, bool frame = false)
{
    width = std::clamp(width, 0, maxCanvasSide);
    height = std::clamp(height, 0, maxCanvasSide);
    Canvas &canvas = (frame ? state().frames : state().canvases)[window];
    cairo_surface_t *old = canvas.surface.get();
    if (old && cairo_image_surface_get_width(old) == width && cairo_image_surface_get_height(old) == height)
        return;
    Surface fresh(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (old) {
        cairo_t *cr = cairo_create(fresh.get());
        cairo_set_source_surface(cr, old, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_destroy(cr);
    }
    canvas.surface = std::move(fresh);
}

// A Cairo context on the DC's window canvas, or null for a context that draws nowhere.
cairo_t *drawingContext(const DeviceContext &dc)
{
    if (!dc.window) return nullptr;
    Canvas *canvas = canvasOf(dc.window, dc.frame);
    if (!canvas || !canvas->surface) return nullptr;
    return cairo_create(canvas->surface.get());
}

void setSourceColor(cairo_t *cr, COLORREF color)
{
    cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
}

// A brush handle may also be a system colour index plus one, as in a class background.
bool brushColor(HBRUSH handle, COLORREF *color)
{
    const auto value = reinterpret_cast<uintptr_t>(handle);
    if (value >= 1 && value <= state().sysColors.size()) {
        *color = state().sysColors[value - 1];
        return true;
    }
    const Brush *brush = objectAs<Brush>(handle, Kind::Brush);
    if (!brush || brush->hollow) return false;
    *color = brush->color;
    return true;
}

bool isBrushHandle(HBRUSH handle)
{
    const auto value = reinterpret_cast<uintptr_t>(handle);
    return (value >= 1 && value <= state().sysColors.size())
        || objectAs<Brush>(handle, Kind::Brush) != nullptr;
}

// Kept for the tests: what each drawing call into a window was asked to do.
void recordDrawing(const DeviceContext &dc, control::DrawnItem item)
{
    if (!dc.window || dc.frame) return;
    if (Canvas *canvas = canvasOf(dc.window)) canvas->record.push_back(std::move(item));
}

// ---- Text drawing ----------------------------------------------------------------------------

// DejaVu Sans is wider than Tahoma; squeezing it keeps its glyphs inside the model's advances.
constexpr double glyphWidthScale = 0.86;

void drawLine(cairo_t *cr, const DeviceContext &dc, const ShownLine &line, int x, int y, const TextMetrics &m)
{
    const int width = widthOf(line.text, m);
    if (dc.bkMode == OPAQUE) {
        setSourceColor(cr, dc.bkColor);
        cairo_rectangle(cr, x, y, width, m.lineHeight);
        cairo_fill(cr);
    }
    setSourceColor(cr, dc.textColor);
    const double baseline = y + m.ascent;
    int pen = x;
    for (size_t i = 0; i < line.text.size(); ++i) {
        const char16_t unit = line.text[i];
        const int advance = advanceOf(unit, m);
        // A surrogate pair is one glyph; toUtf8 turns a lone surrogate into U+FFFD.
        const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < line.text.size()
            && line.text[i + 1] >= 0xDC00 && line.text[i + 1] <= 0xDFFF;
        if (advance > 0 && unit > u' ') {
            const std::string glyph = control::toUtf8(std::u16string_view(line.text).substr(i, pair ? 2 : 1));
            cairo_move_to(cr, pen, baseline);
            cairo_show_text(cr, glyph.c_str());
        }
        if (static_cast<int>(i) == line.underlined) {
            cairo_rectangle(cr, pen, baseline + 1, advance, 1);
            cairo_fill(cr);
        }
        pen += advance;
    }
    const double stroke = std::max(1, m.charHeight / 12);
    if (m.underline) {
        cairo_rectangle(cr, x, baseline + 1, width, stroke);
        cairo_fill(cr);
    }
    if (m.strikeOut) {
        cairo_rectangle(cr, x, baseline - m.charHeight * 0.3, width, stroke);
        cairo_fill(cr);
    }
}

void prepareFont(cairo_t *cr, const TextMetrics &m)
{
    cairo_select_font_face(cr, "DejaVu Sans", m.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           m.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, m.charHeight * glyphWidthScale, m.charHeight);
    cairo_set_font_matrix(cr, &matrix);
    cairo_font_options_t *options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

// ---- Icons -----------------------------------------------------------------------------------

std::span<const BYTE> resourceBytes(HINSTANCE instance, HRSRC resource)
{
    if (!resource) return {};
    HGLOBAL loaded = LoadResource(instance, resource);
    const auto *data = static_cast<const BYTE *>(LockResource(loaded));
    const DWORD size = SizeofResource(instance, resource);
    if (!data) return {};
    return {data, size};
}

uint32_t premultiplied(uint32_t argb)
{
    const uint32_t a = argb >> 24;
    auto channel = [&](int shift) { return ((argb >> shift & 0xFF) * a + 127) / 255 << shift; };
    return a << 24 | channel(16) | channel(8) | channel(0);
}

// The icon as Cairo pixels for the DrawIconEx flags: DI_NORMAL lets the background through
// where the mask (or the alpha channel) says so, DI_IMAGE alone paints every pixel, DI_MASK
// alone paints the mask (black where the image covers).
Surface iconSurface(const gdi::IconBitmap &icon, UINT flags)
{
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, icon.width, icon.height));
    cairo_surface_flush(surface.get());
    unsigned char *data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < icon.height; ++y) {
        auto *row = reinterpret_cast<uint32_t *>(data + static_cast<ptrdiff_t>(y) * stride);
        for (int x = 0; x < icon.width; ++x) {
            const size_t at = static_cast<size_t>(y) * icon.width + x;
            const bool masked = icon.andMask[at] != 0;
            uint32_t pixel;
            if ((flags & DI_NORMAL) == DI_MASK)
                pixel = masked ? 0xFFFFFFFFu : 0xFF000000u;
            else if ((flags & DI_NORMAL) == DI_IMAGE)
                pixel = icon.colors[at] | 0xFF000000u;
            else if (icon.hasAlpha)
                pixel = premultiplied(icon.colors[at]);
            else
                pixel = masked ? 0u : icon.colors[at];
            row[x] = pixel;
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

// A device context on the window's client canvas, or on its frame canvas.
HDC newDeviceContext(HWND window, bool frame);

}   // namespace

// ---- Seams for the window manager ------------------------------------------------------------

namespace internal {

HDC acquireWindowDC(HWND window)
{
    return newDeviceContext(window, false);
}

HDC acquireFrameDC(HWND window)
{
    return window ? newDeviceContext(window, true) : nullptr;
}

SIZE screenSize()
{
    const State &s = state();
    if (s.screen.cx > 0 && s.screen.cy > 0) return s.screen;
    return SIZE{mulDiv(screenWidthAt96, s.dpi, defaultDpi), mulDiv(screenHeightAt96, s.dpi, defaultDpi)};
}

int screenDpi()
{
    return state().dpi;
}

int scaleToDpi(int pixelsAt96)
{
    return mulDiv(pixelsAt96, state().dpi, defaultDpi);
}

void strokePolyline(HDC hdc, const POINT *points, size_t count, COLORREF color, int width)
{
    DeviceContext *dc = dcOf(hdc);
    if (!dc || !points || count < 2) return;
    cairo_t *cr = drawingContext(*dc);
    if (!cr) return;
    // Pixel centres, so that a one-pixel line covers whole pixels.
    for (size_t i = 0; i < count; ++i) {
        if (i == 0)
            cairo_move_to(cr, points[i].x + 0.5, points[i].y + 0.5);
        else
            cairo_line_to(cr, points[i].x + 0.5, points[i].y + 0.5);
    }
    setSourceColor(cr, color);
    cairo_set_line_width(cr, std::max(1, width));
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    cairo_stroke(cr);
    cairo_destroy(cr);
}

void fillPolygon(HDC hdc, const POINT *points, size_t count, COLORREF color)
{
    DeviceContext *dc = dcOf(hdc);
    if (!dc || !points || count < 3) return;
    cairo_t *cr = drawingContext(*dc);
    if (!cr) return;
    cairo_move_to(cr, points[0].x, points[0].y);
    for (size_t i = 1; i < count; ++i) cairo_line_to(cr, points[i].x, points[i].y);
    cairo_close_path(cr);
    setSourceColor(cr, color);
    cairo_fill(cr);
    cairo_destroy(cr);
}

void drawEllipse(HDC hdc, const RECT &box, const COLORREF *fill, COLORREF outline, int outlineWidth)
{
    DeviceContext *dc = dcOf(hdc);
    const double width = box.right - box.left;
    const double height = box.bottom - box.top;
    if (!dc || width <= 0 || height <= 0) return;
    cairo_t *cr = drawingContext(*dc);
    if (!cr) return;
    const double inset = outlineWidth > 0 ? outlineWidth / 2.0 : 0;
    cairo_save(cr);
    cairo_translate(cr, box.left + width / 2, box.top + height / 2);
    cairo_scale(cr, std::max(0.5, width / 2 - inset), std::max(0.5, height / 2 - inset));
    cairo_arc(cr, 0, 0, 1, 0, 2 * 3.14159265358979);
    cairo_restore(cr);
    if (fill) {
        setSourceColor(cr, *fill);
        cairo_fill_preserve(cr);
    }
    if (outlineWidth > 0) {
        setSourceColor(cr, outline);
        cairo_set_line_width(cr, outlineWidth);
        cairo_stroke(cr);
    }
    cairo_destroy(cr);
}

}   // namespace internal

namespace {

HDC newDeviceContext(HWND window, bool frame)
{
    if (window) {
        RECT area{};
        if (frame ? !GetWindowRect(window, &area) : !GetClientRect(window, &area)) return nullptr;
        ensureCanvas(window, area.right - area.left, area.bottom - area.top, frame);
    }
    auto dc = std::make_unique<DeviceContext>();
    dc->window = window;
    dc->frame = frame;
    State &s = state();
    Object *font = nullptr, *brush = nullptr;
    select(font, &s.systemFont);
    select(brush, &s.whiteBrush);
    dc->font = static_cast<Font *>(font);
    dc->brush = static_cast<Brush *>(brush);
    return static_cast<HDC>(static_cast<void *>(adopt(std::move(dc))));
}

}   // namespace

namespace internal {

void releaseWindowDC(HDC hdc)
{
    DeviceContext *dc = dcOf(hdc);
    if (!dc) return;
    --dc->font->selections;
    --dc->brush->selections;
    state().objects.erase(dc);
}

void paintStarted(HWND window)
{
    if (Canvas *canvas = canvasOf(window)) canvas->record.clear();
}

void windowDestroyed(HWND window)
{
    State &s = state();
    s.canvases.erase(window);
    s.frames.erase(window);
    // Contexts still open on the window draw nowhere from now on.
    for (auto &[handle, object] : s.objects)
        if (object->kind == Kind::DeviceContext) {
            auto *dc = static_cast<DeviceContext *>(object.get());
            if (dc->window == window) dc->window = nullptr;
        }
}

void resetGdi()
{
    State &s = state();
    s.objects.clear();
    s.canvases.clear();
    s.frames.clear();
    s.dpi = defaultDpi;
    s.screen = SIZE{0, 0};
    s.systemFontWeight = FW_BOLD;
    s.sysColors = defaultSysColors;
    for (Object *stock :
         {static_cast<Object *>(&s.systemFont), static_cast<Object *>(&s.whiteBrush),
          static_cast<Object *>(&s.ltGray), static_cast<Object *>(&s.gray), static_cast<Object *>(&s.dkGray),
          static_cast<Object *>(&s.blackBrush), static_cast<Object *>(&s.nullBrush)})
        stock->selections = 0;
}

}   // namespace internal

// ---- Seams for the control surface -----------------------------------------------------------

namespace gdi {

cairo_surface_t *windowCanvas(HWND window)
{
    Canvas *canvas = canvasOf(window);
    return canvas ? canvas->surface.get() : nullptr;
}

cairo_surface_t *windowFrameCanvas(HWND window)
{
    Canvas *canvas = canvasOf(window, true);
    return canvas ? canvas->surface.get() : nullptr;
}

std::vector<control::DrawnItem> paintRecord(HWND window)
{
    Canvas *canvas = canvasOf(window);
    return canvas ? canvas->record : std::vector<control::DrawnItem>{};
}

LiveCounts liveCounts()
{
    LiveCounts counts;
    for (const auto &[handle, object] : state().objects) {
        switch (object->kind) {
        case Kind::Font: ++counts.fonts; break;
        case Kind::Brush: ++counts.brushes; break;
        case Kind::Icon: ++counts.icons; break;
        case Kind::DeviceContext: ++counts.deviceContexts; break;
        }
    }
    return counts;
}

void setDpi(int dotsPerInch)
{
    if (dotsPerInch > 0) state().dpi = dotsPerInch;
}

int dpi()
{
    return state().dpi;
}

void setScreenSize(int width, int height)
{
    state().screen = width > 0 && height > 0 ? SIZE{width, height} : SIZE{0, 0};
}

void setSystemFontWeight(LONG weight)
{
    state().systemFontWeight = weight;
}

void setSysColor(int index, COLORREF color)
{
    index &= ~SYS_COLOR_INDEX_FLAG;
    if (index >= 0 && static_cast<size_t>(index) < state().sysColors.size()) state().sysColors[index] = color;
}

}   // namespace gdi

// ---- Device contexts -------------------------------------------------------------------------

int WINAPI GetDeviceCaps(HDC hdc, int index)
{
    if (!dcOf(hdc)) return 0;
    const int dpi = state().dpi;
    switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY: return dpi;
    case HORZRES: return internal::screenSize().cx;
    case VERTRES: return internal::screenSize().cy;
    case BITSPIXEL: return screenBitsPerPixel;
    default: return 0;
    }
}

int WINAPI SetBkMode(HDC hdc, int mode)
{
    DeviceContext *dc = dcOf(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return std::exchange(dc->bkMode, mode);
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color)
{
    DeviceContext *dc = dcOf(hdc);
    if (!dc) return invalidColor;
    return std::exchange(dc->textColor, color);
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color)
{
    DeviceContext *dc = dcOf(hdc);
    if (!dc) return invalidColor;
    return std::exchange(dc->bkColor, color);
}

// ---- Objects ---------------------------------------------------------------------------------

HGDIOBJ WINAPI GetStockObject(int i)
{
    State &s = state();
    switch (i) {
    case WHITE_BRUSH: return &s.whiteBrush;
    case ltGrayBrush: return &s.ltGray;
    case grayBrush: return &s.gray;
    case dkGrayBrush: return &s.dkGray;
    case BLACK_BRUSH: return &s.blackBrush;
    case NULL_BRUSH: return &s.nullBrush;
    case SYSTEM_FONT: return &s.systemFont;
    default: return nullptr;
    }
}

// A font gives its LOGFONTW: all 92 bytes, or the first c of them when c is smaller.
int WINAPI GetObjectW(HGDIOBJ h, int c, LPVOID pv)
{
    const Font *font = objectAs<Font>(h, Kind::Font);
    if (!font) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!pv) return sizeof(LOGFONTW);
    if (c <= 0) return 0;
    const LOGFONTW lf = logFontOf(*font);
    const int n = std::min<int>(c, sizeof(LOGFONTW));
    std::memcpy(pv, &lf, n);
    return n;
}

HFONT WINAPI CreateFontIndirectW(const LOGFONTW *lplf)
{
    if (!lplf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto font = std::make_unique<Font>();
    font->logFont = *lplf;
    return static_cast<HFONT>(static_cast<void *>(adopt(std::move(font))));
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color)
{
    auto brush = std::make_unique<Brush>();
    brush->color = color & 0x00FFFFFF;
    return static_cast<HBRUSH>(static_cast<void *>(adopt(std::move(brush))));
}

// Returns the object of the same kind that was selected before.
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h)
{
    DeviceContext *dc = dcOf(hdc);
    Object *object = objectOf(h);
    if (!dc || !object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    Object *previous = nullptr;
    if (object->kind == Kind::Font) {
        previous = dc->font;
        Object *slot = dc->font;
        select(slot, object);
        dc->font = static_cast<Font *>(slot);
    } else if (object->kind == Kind::Brush) {
        previous = dc->brush;
        Object *slot = dc->brush;
        select(slot, object);
        dc->brush = static_cast<Brush *>(slot);
    } else {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return previous;
}

// As Win32: an object still selected into a device context is not deleted (FALSE), stock
// objects ignore the call (TRUE).
BOOL WINAPI DeleteObject(HGDIOBJ ho)
{
    Object *object = objectOf(ho);
    if (!object || object->kind == Kind::Icon || object->kind == Kind::DeviceContext) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (object->stock) return TRUE;
    if (object->selections > 0) return FALSE;
    state().objects.erase(object);
    return TRUE;
}

int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr)
{
    DeviceContext *dc = dcOf(hDC);
    if (!dc || !lprc || !isBrushHandle(hbr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    COLORREF color;
    if (!brushColor(hbr, &color)) return 1;   // the hollow brush paints nothing
    control::DrawnItem fill;
    fill.kind = control::DrawnItem::Kind::Fill;
    fill.rect = *lprc;
    fill.brushColor = color;
    recordDrawing(*dc, std::move(fill));
    if (cairo_t *cr = drawingContext(*dc)) {
        setSourceColor(cr, color);
        cairo_rectangle(cr, lprc->left, lprc->top, lprc->right - lprc->left, lprc->bottom - lprc->top);
        cairo_fill(cr);
        cairo_destroy(cr);
    }
    return 1;
}

// The system colour's brush is the colour index plus one, as in a class background: a stock
// object that nobody deletes.
HBRUSH WINAPI GetSysColorBrush(int nIndex)
{
    const int index = nIndex & ~SYS_COLOR_INDEX_FLAG;
    if (index < 0 || static_cast<size_t>(index) >= state().sysColors.size()) return nullptr;
    return reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(index + 1));
}

DWORD WINAPI GetSysColor(int nIndex)
{
    const int index = nIndex & ~SYS_COLOR_INDEX_FLAG;
    if (index < 0 || static_cast<size_t>(index) >= state().sysColors.size()) return 0;
    return state().sysColors[index];
}

// ---- Text ------------------------------------------------------------------------------------

int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format)
{
    DeviceContext *dc = dcOf(hdc);
    if (!dc || !lpchText || !lprc || cchText < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string_view text
        = cchText == -1 ? std::u16string_view(lpchText) : std::u16string_view(lpchText, cchText);
    const TextMetrics m = metricsOf(logFontOf(*dc->font), systemCharHeight());
    // An empty text draws nothing and answers one line's height. Measured, it leaves a rectangle
    // without width, one line tall for DT_SINGLELINE; a count of 0 leaves the rectangle alone.
    if (text.empty()) {
        if ((format & DT_CALCRECT) && cchText != 0) {
            lprc->right = lprc->left;
            lprc->bottom = lprc->top + ((format & DT_SINGLELINE) ? m.lineHeight : 0);
        }
        return m.lineHeight;
    }
    const bool prefixes = (format & DT_NOPREFIX) == 0;
    const bool singleLine = (format & DT_SINGLELINE) != 0;

    std::vector<std::u16string_view> lines;
    if (singleLine) {
        lines.push_back(text);
    } else if (format & DT_WORDBREAK) {
        for (auto line : splitLines(text)) wrapLine(line, lprc->right - lprc->left, m, format, lines);
    } else {
        lines = splitLines(text);
    }
    std::vector<ShownLine> shown;
    int widest = 0;
    for (auto line : lines) {
        shown.push_back(shownLine(line, prefixes));
        widest = std::max(widest, widthOf(shown.back().text, m));
    }
    const int height = static_cast<int>(
        std::min<long long>(static_cast<long long>(lines.size()) * m.lineHeight, INT_MAX / 2));

    if (format & DT_CALCRECT) {
        lprc->right = lprc->left + widest;
        lprc->bottom = lprc->top + height;
        return height;
    }

    // Vertical alignment applies to a single line only, as in Win32.
    int offset = 0;
    if (singleLine && (format & DT_VCENTER))
        offset = (lprc->bottom - lprc->top - m.lineHeight) / 2;
    else if (singleLine && (format & DT_BOTTOM))
        offset = lprc->bottom - lprc->top - m.lineHeight;

    if (dc->window) {
        const LOGFONTW lf = logFontOf(*dc->font);
        control::DrawnItem drawn;
        drawn.kind = control::DrawnItem::Kind::Text;
        drawn.rect = *lprc;
        drawn.lines.assign(lines.begin(), lines.end());
        drawn.format = format;
        drawn.fontHeight = lf.lfHeight;
        drawn.fontWeight = lf.lfWeight;
        drawn.textColor = dc->textColor;
        drawn.bkMode = dc->bkMode;
        recordDrawing(*dc, std::move(drawn));
    }
    if (cairo_t *cr = drawingContext(*dc)) {
        if (!(format & DT_NOCLIP)) {
            cairo_rectangle(cr, lprc->left, lprc->top, lprc->right - lprc->left, lprc->bottom - lprc->top);
            cairo_clip(cr);
        }
        prepareFont(cr, m);
        int y = lprc->top + offset;
        for (const ShownLine &line : shown) {
            const int width = widthOf(line.text, m);
            int x = lprc->left;
            if (format & DT_CENTER)
                x = lprc->left + (lprc->right - lprc->left - width) / 2;
            else if (format & DT_RIGHT)
                x = lprc->right - width;
            drawLine(cr, *dc, line, x, y, m);
            y += m.lineHeight;
        }
        cairo_destroy(cr);
    }
    return offset + height;
}

// ---- Icons -----------------------------------------------------------------------------------

HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad)
{
    if (type != IMAGE_ICON || cx < 0 || cy < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HRSRC group = FindResourceW(hInst, name, RT_GROUP_ICON);
    if (!group) return nullptr;   // FindResourceW has set the error
    const auto entries = gdi::parseIconGroup(resourceBytes(hInst, group));
    if (!entries) {
        SetLastError(errorInvalidData);
        return nullptr;
    }
    const gdi::IconDirEntry &entry = (*entries)[gdi::pickIconEntry(*entries, cx, cy)];
    HRSRC image = FindResourceW(hInst, MAKEINTRESOURCEW(entry.id), RT_ICON);
    if (!image) return nullptr;
    auto bitmap = gdi::decodeIconImage(resourceBytes(hInst, image));
    if (!bitmap) {
        SetLastError(errorInvalidData);
        return nullptr;
    }
    auto icon = std::make_unique<Icon>();
    icon->width = cx ? cx : bitmap->width;
    icon->height = cy ? cy : bitmap->height;
    icon->group = IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<uintptr_t>(name)) : 0;
    icon->image = entry;
    icon->bitmap = std::move(*bitmap);
    return static_cast<HANDLE>(adopt(std::move(icon)));
}

// Width and height 0 draw the icon at its own size; other sizes stretch it.
BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                       UINT istepIfAniCur, HBRUSH hbrFlickerFreeDraw, UINT diFlags)
{
    DeviceContext *dc = dcOf(hdc);
    const Icon *icon = objectAs<Icon>(hIcon, Kind::Icon);
    if (!dc || !icon || (diFlags & DI_NORMAL) == 0 || cxWidth < 0 || cyWidth < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int width = cxWidth ? cxWidth : icon->width;
    const int height = cyWidth ? cyWidth : icon->height;
    control::DrawnItem drawn;
    drawn.kind = control::DrawnItem::Kind::Icon;
    drawn.rect = RECT{xLeft, yTop, xLeft + width, yTop + height};
    drawn.iconGroup = icon->group;
    drawn.imageWidth = icon->image.width;
    drawn.imageHeight = icon->image.height;
    drawn.imageBitCount = icon->image.bitCount;
    recordDrawing(*dc, std::move(drawn));
    cairo_t *cr = drawingContext(*dc);
    if (!cr) return TRUE;
    COLORREF background;
    if (hbrFlickerFreeDraw && brushColor(hbrFlickerFreeDraw, &background)) {
        setSourceColor(cr, background);
        cairo_rectangle(cr, xLeft, yTop, width, height);
        cairo_fill(cr);
    }
    const Surface pixels = iconSurface(icon->bitmap, diFlags);
    cairo_translate(cr, xLeft, yTop);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_clip(cr);
    const double sx = static_cast<double>(width) / icon->bitmap.width;
    const double sy = static_cast<double>(height) / icon->bitmap.height;
    cairo_scale(cr, sx, sy);
    cairo_set_source_surface(cr, pixels.get(), 0, 0);
    // Enlarged icons keep square pixels as on the device; reduced ones are averaged.
    cairo_pattern_set_filter(cairo_get_source(cr),
                             sx >= 1 && sy >= 1 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_destroy(cr);
    return TRUE;
}

BOOL WINAPI DestroyIcon(HICON hIcon)
{
    Icon *icon = objectAs<Icon>(hIcon, Kind::Icon);
    if (!icon) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    state().objects.erase(icon);
    return TRUE;
}
