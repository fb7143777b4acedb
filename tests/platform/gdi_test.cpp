// GDI: the text metrics model, object lifetimes, device context state, drawn text, window
// pictures and icon decoding.
#include "conformance.h"

#if OUR_LAYER_ONLY
#include "../../platform/src/gdi_icon.h"

#include <cairo.h>
#endif
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#if OUR_LAYER_ONLY
#include <unistd.h>
#endif

namespace {

class Gdi : public ::testing::Test {
protected:
    void SetUp() override { conformance::freshStart(); }
    void TearDown() override
    {
#if OUR_LAYER_ONLY
        const control::GdiCounts live = control::liveGdiObjects();
        EXPECT_EQ(live.fonts, 0);
        EXPECT_EQ(live.brushes, 0);
        EXPECT_EQ(live.icons, 0);
        EXPECT_EQ(live.deviceContexts, 0);
#endif
        conformance::freshStart();
    }
};

// Lets a test say what a window paints.
std::function<void(HWND, HDC)> &painter()
{
    static std::function<void(HWND, HDC)> p;
    return p;
}

LRESULT CALLBACK paintingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (painter()) painter()(hwnd, dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND makeWindow(HWND parent, int x, int y, int width, int height)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = paintingProc;
    wc.lpszClassName = TEXT("GdiTestWindow");
    RegisterClassW(&wc);   // already registered after the first call: fine
    const DWORD style = (parent ? WS_CHILD : WS_POPUP) | WS_VISIBLE;
    return CreateWindowExW(0, TEXT("GdiTestWindow"), TEXT(""), style, x, y, width, height, parent, nullptr,
                           nullptr, nullptr);
}

LOGFONTW fontWithHeight(LONG height, LONG weight = FW_NORMAL)
{
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    return lf;
}

#if OUR_LAYER_ONLY
// DT_CALCRECT on a screen context with the given font (null: the default font).
RECT calcRect(const WString &text, UINT format, const LOGFONTW *font, int *returned)
{
    HDC dc = GetDC(nullptr);
    HFONT created = font ? CreateFontIndirectW(font) : nullptr;
    HGDIOBJ previous = created ? SelectObject(dc, created) : nullptr;
    RECT r = {5, 7, 5, 7};
    *returned = DrawTextW(dc, text.c_str(), -1, &r, format | DT_CALCRECT);
    if (created) {
        SelectObject(dc, previous);
        DeleteObject(created);
    }
    ReleaseDC(nullptr, dc);
    return r;
}

TEST_F(Gdi, TextMetricsModel)
{
    const LOGFONTW minus12 = fontWithHeight(-12);
    const LOGFONTW cell13 = fontWithHeight(13);
    const LOGFONTW minus11Bold = fontWithHeight(-11, FW_BOLD);
    const LOGFONTW minus11 = fontWithHeight(-11);
    struct Case {
        int dpi;
        WString text;
        UINT format;
        const LOGFONTW *font;
        int height;
        int width;
    } cases[] = {
        // System font at 96 dpi: ch 11, descent 2, line 13; Q 68/100 and q 57/100 of 11 (bold).
        {96, TEXT("Qq"), 0, nullptr, 13, 7 + 6},
        // Two lines one line height apart.
        {96, TEXT("Qq\n\rQq"), 0, nullptr, 26, 13},
        // 192 dpi: ch 21, descent 4, line 25; Q 14, q 12.
        {192, TEXT("Qq"), 0, nullptr, 25, 14 + 12},
        {192, TEXT("Qq\n\rQq"), 0, nullptr, 50, 26},
        // lfHeight 0 is the system font's size at the current dpi.
        {192, TEXT("Qq"), 0, &minus11, 13, 7 + 6},
        // A negative height is the character height: 12 + 2.
        {96, TEXT("x"), 0, &minus12, 14, 6},
        // A positive height is the cell height itself.
        {96, TEXT("x"), 0, &cell13, 13, 6},
        // Bold is a tenth wider: 0 is 60/100 of 11 bold, 55/100 regular.
        {96, TEXT("00"), 0, &minus11Bold, 13, 14},
        {96, TEXT("00"), 0, &minus11, 13, 12},
        // The four line breaks; each pair is one break.
        {96, TEXT("a\r\nb"), 0, &minus11, 26, 6},
        {96, TEXT("a\n\rb"), 0, &minus11, 26, 6},
        {96, TEXT("a\rb"), 0, &minus11, 26, 6},
        {96, TEXT("a\nb"), 0, &minus11, 26, 6},
        // Two CRs or two LFs are two breaks: an empty line between.
        {96, TEXT("a\r\rb"), 0, &minus11, 39, 6},
        {96, TEXT("a\n\nb"), 0, &minus11, 39, 6},
        {96, TEXT("a\r\n\r\nb"), 0, &minus11, 39, 6},
        // A break at the end opens no new line.
        {96, TEXT("a\r\n"), 0, &minus11, 13, 6},
        // DT_SINGLELINE ignores breaks; the break characters take no room.
        {96, TEXT("a\r\nb"), DT_SINGLELINE, &minus11, 13, 12},
        // The widest line sets the width; a trailing blank counts (31/100 of 11 = 3).
        {96, TEXT("ab\nabc "), 0, &minus11, 26, 18 + 3},
        // '&' marks a mnemonic and takes no room; DT_NOPREFIX shows it (55/100 of 11 = 6).
        {96, TEXT("&a"), 0, &minus11, 13, 6},
        {96, TEXT("&a"), DT_NOPREFIX, &minus11, 13, 12},
        // Word wrap at 20 pixels: "aa bb" is 12 + 3 + 12 wide, so it breaks after the blank.
        {96, TEXT("aa bb"), DT_WORDBREAK, &minus11, 26, 12},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(control::toUtf8(c.text) + " at " + std::to_string(c.dpi));
        control::setDpi(c.dpi);
        int returned = 0;
        RECT r{};
        if (c.format & DT_WORDBREAK) {
            HDC dc = GetDC(nullptr);
            HFONT font = CreateFontIndirectW(c.font);
            HGDIOBJ previous = SelectObject(dc, font);
            r = {5, 7, 25, 7};
            returned = DrawTextW(dc, c.text.c_str(), -1, &r, c.format | DT_CALCRECT);
            SelectObject(dc, previous);
            DeleteObject(font);
            ReleaseDC(nullptr, dc);
        } else {
            r = calcRect(c.text, c.format, c.font, &returned);
        }
        EXPECT_EQ(returned, c.height);
        EXPECT_EQ(r.left, 5);
        EXPECT_EQ(r.top, 7);
        EXPECT_EQ(r.bottom - r.top, c.height);
        EXPECT_EQ(r.right - r.left, c.width);
    }
}

#endif

TEST_F(Gdi, DrawTextArguments)
{
    HDC dc = GetDC(nullptr);
    RECT r = {1, 2, 3, 4};
    // An empty text leaves an empty rectangle and answers one line's height.
    const int emptyHeight = DrawTextW(dc, TEXT(""), -1, &r, DT_CALCRECT);
    EXPECT_EQ(r.right, 1);
    EXPECT_EQ(r.bottom, 2);
    // The height of one line in the context's font.
    r = {0, 0, 0, 0};
    const int line = DrawTextW(dc, TEXT("Qq"), -1, &r, DT_CALCRECT);
    EXPECT_GT(line, 0);
    // A count shorter than the text measures only that much: "Qq" of "Qq\nQq".
    r = {0, 0, 0, 0};
    EXPECT_EQ(DrawTextW(dc, TEXT("Qq\nQq"), 2, &r, DT_CALCRECT), line);
    r = {0, 0, 0, 0};
    EXPECT_EQ(DrawTextW(dc, TEXT("Qq\nQq"), -1, &r, DT_CALCRECT), 2 * line);
    EXPECT_EQ(emptyHeight, line);
    // Measured on one line, an empty text is that line's height tall; a count of 0 measures
    // nothing and leaves the rectangle alone.
    r = {10, 10, 100, 100};
    EXPECT_EQ(DrawTextW(dc, TEXT(""), -1, &r, DT_CALCRECT | DT_SINGLELINE), line);
    EXPECT_EQ(r.right, 10);
    EXPECT_EQ(r.bottom, 10 + line);
    r = {10, 10, 100, 100};
    EXPECT_NE(DrawTextW(dc, TEXT("Qq"), 0, &r, DT_CALCRECT), 0);
    EXPECT_EQ(r.right, 100);
    EXPECT_EQ(r.bottom, 100);
    // In a rectangle narrower than any word, DT_EDITCONTROL breaks words between characters.
    r = {0, 0, 1, 1};
    EXPECT_EQ(DrawTextW(dc, TEXT("Qq Qq"), -1, &r, DT_CALCRECT | DT_WORDBREAK), 2 * line);
    r = {0, 0, 1, 1};
    EXPECT_GE(DrawTextW(dc, TEXT("Qq Qq"), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL), 4 * line);
#if OUR_LAYER_ONLY
    // Ours refuses missing arguments; Windows leaves such calls undefined.
    EXPECT_EQ(DrawTextW(nullptr, TEXT("Qq"), -1, &r, 0), 0);
    EXPECT_EQ(DrawTextW(dc, nullptr, -1, &r, 0), 0);
    EXPECT_EQ(DrawTextW(dc, TEXT("Qq"), -1, nullptr, 0), 0);
#endif
    // With DT_VCENTER the answer is the offset of the text's bottom from the top.
    r = {0, 0, 100, 33};
    EXPECT_EQ(DrawTextW(dc, TEXT("Qq"), -1, &r, DT_SINGLELINE | DT_VCENTER), (33 - line) / 2 + line);
    EXPECT_EQ(DrawTextW(dc, TEXT("Qq"), -1, &r, DT_SINGLELINE | DT_BOTTOM), 33);
    ReleaseDC(nullptr, dc);
}

TEST_F(Gdi, SystemFontAndGetObjectSizes)
{
#if OUR_LAYER_ONLY
    struct Case {
        int dpi;
        LONG height;
    } dpis[] = {
        {96, -11},    // 8 points at 96 dpi
        {192, -21},   // and at 192 dpi: the stock font follows the display
    };
    for (const Case &c : dpis) {
        control::setDpi(c.dpi);
        LOGFONTW lf{};
        EXPECT_EQ(GetObjectW(GetStockObject(SYSTEM_FONT), sizeof lf, &lf), 92);
        EXPECT_EQ(lf.lfHeight, c.height);
        EXPECT_EQ(lf.lfWeight, FW_BOLD);
        EXPECT_EQ(WString(lf.lfFaceName), TEXT("Tahoma"));
    }
#endif

    LOGFONTW source = fontWithHeight(-17, 700);
    std::memcpy(source.lfFaceName, TEXT("Face"), 10);
    HFONT font = CreateFontIndirectW(&source);
    struct Size {
        int asked;
        int returned;
    } sizes[] = {
        {92, 92},            // the whole LOGFONTW
        {200, 92},           // a larger buffer gets no more than the structure
        {10, 10},            // a smaller one gets that much, and nothing past it
        {1, 1},    {0, 0},   // nothing asked, nothing copied
    };
    for (const Size &s : sizes) {
        SCOPED_TRACE(s.asked);
        unsigned char buffer[200];
        std::memset(buffer, 0xBD, sizeof buffer);
        EXPECT_EQ(GetObjectW(font, s.asked, buffer), s.returned);
        EXPECT_EQ(std::memcmp(buffer, &source, s.returned), 0);
        EXPECT_EQ(buffer[s.returned], 0xBD);
    }
    // No buffer: the size it needs.
    EXPECT_EQ(GetObjectW(font, 0, nullptr), 92);
    EXPECT_EQ(DeleteObject(font), TRUE);
    // A deleted font is no object any more.
    LOGFONTW after{};
    EXPECT_EQ(GetObjectW(font, sizeof after, &after), 0);
}

TEST_F(Gdi, SelectObjectAndDeleteObject)
{
    HDC dc = GetDC(nullptr);
    LOGFONTW lf = fontWithHeight(-9);
    HFONT a = CreateFontIndirectW(&lf);
    HFONT b = CreateFontIndirectW(&lf);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    // A fresh context holds the stock system font and white brush.
    EXPECT_EQ(SelectObject(dc, a), GetStockObject(SYSTEM_FONT));
    EXPECT_EQ(SelectObject(dc, b), static_cast<HGDIOBJ>(a));
    EXPECT_EQ(SelectObject(dc, red), GetStockObject(WHITE_BRUSH));
    // Objects no longer selected are deleted; stock objects ignore the call.
    EXPECT_EQ(DeleteObject(a), TRUE);
    EXPECT_EQ(DeleteObject(a), FALSE);
    EXPECT_EQ(DeleteObject(GetStockObject(SYSTEM_FONT)), TRUE);
    EXPECT_EQ(DeleteObject(GetStockObject(NULL_BRUSH)), TRUE);
#if OUR_LAYER_ONLY
    EXPECT_EQ(control::liveGdiObjects().fonts, 1);
    EXPECT_EQ(control::liveGdiObjects().brushes, 1);
    EXPECT_EQ(control::liveGdiObjects().deviceContexts, 1);
#endif
    EXPECT_EQ(SelectObject(dc, GetStockObject(SYSTEM_FONT)), static_cast<HGDIOBJ>(b));
    EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), static_cast<HGDIOBJ>(red));
    EXPECT_EQ(DeleteObject(b), TRUE);
    EXPECT_EQ(DeleteObject(red), TRUE);
    // A deleted object cannot be selected.
    EXPECT_EQ(SelectObject(dc, b), nullptr);
    ReleaseDC(nullptr, dc);
}

// DeleteObject answers zero for an object still selected into a device context, which stays
// usable, and for a handle that is no pen, brush, font, bitmap, region or palette.
TEST_F(Gdi, DeleteObjectRefusesASelectedObjectAndADeviceContext)
{
    HDC dc = GetDC(nullptr);
    LOGFONTW lf = fontWithHeight(-9);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ previous = SelectObject(dc, font);
    EXPECT_EQ(DeleteObject(font), FALSE);
    EXPECT_EQ(SelectObject(dc, previous), static_cast<HGDIOBJ>(font));
    EXPECT_EQ(DeleteObject(font), TRUE);
    EXPECT_EQ(DeleteObject(dc), FALSE);
    ReleaseDC(nullptr, dc);
}

TEST_F(Gdi, DeviceContextState)
{
    HDC dc = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 96);
#if OUR_LAYER_ONLY
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 16);
    control::setDpi(192);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 192);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 480);
#endif
    // Setters answer the previous value, starting from Win32's defaults.
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(dc, 7), 0);
    EXPECT_EQ(SetBkMode(dc, OPAQUE), TRANSPARENT);
    EXPECT_EQ(SetTextColor(dc, RGB(1, 2, 3)), RGB(0, 0, 0));
    EXPECT_EQ(SetTextColor(dc, RGB(0, 0, 0)), RGB(1, 2, 3));
    EXPECT_EQ(SetBkColor(dc, RGB(4, 5, 6)), RGB(255, 255, 255));
    ReleaseDC(nullptr, dc);
#if OUR_LAYER_ONLY
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 0);   // released: no context any more
    EXPECT_EQ(SetTextColor(dc, 0), 0xFFFFFFFFu);

    EXPECT_EQ(COLOR_WINDOW, 0x40000005);   // the Windows CE value, flag included
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(5), RGB(255, 255, 255));   // the desktop form of the index
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), RGB(0, 0, 0));
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), RGB(0, 0, 128));
    control::setSysColor(COLOR_WINDOW, RGB(10, 20, 30));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(10, 20, 30));
    EXPECT_EQ(GetSysColor(1000), 0u);
#endif
}

#if OUR_LAYER_ONLY
TEST_F(Gdi, DrawnTextRecordsEachPaint)
{
    HWND window = makeWindow(nullptr, 0, 0, 240, 40);
    painter() = [](HWND, HDC dc) {
        RECT r = {0, 0, 240, 40};
        DrawTextW(dc, TEXT("Durvo 1:02, since 6/10/2005, 8:00 AM "), -1, &r, 0);
        DrawTextW(dc, TEXT("measured only"), -1, &r, DT_CALCRECT);
        r.top = 13;
        DrawTextW(dc, TEXT("first\r\nsecond\rthird  "), -1, &r, 0);
    };
    InvalidateRect(window, nullptr, TRUE);
    control::pumpMessages();
    const std::vector<WString> expected
        = {TEXT("Durvo 1:02, since 6/10/2005, 8:00 AM "), TEXT("first"), TEXT("second"), TEXT("third  ")};
    EXPECT_EQ(control::drawnText(window), expected);
    // The next paint starts a fresh record.
    painter() = [](HWND, HDC dc) {
        RECT r = {0, 0, 240, 40};
        DrawTextW(dc, TEXT("Timer deactivated"), -1, &r, 0);
    };
    InvalidateRect(window, nullptr, TRUE);
    control::pumpMessages();
    EXPECT_EQ(control::drawnText(window), std::vector<WString>{TEXT("Timer deactivated")});
    painter() = nullptr;
    DestroyWindow(window);
    EXPECT_EQ(control::drawnText(window), std::vector<WString>{});
}

uint32_t pixelAt(cairo_surface_t *surface, int x, int y)
{
    cairo_surface_flush(surface);
    const unsigned char *data = cairo_image_surface_get_data(surface);
    return reinterpret_cast<const uint32_t *>(data + y * cairo_image_surface_get_stride(surface))[x];
}

std::filesystem::path scratchDir(const char *name)
{
    const auto dir
        = std::filesystem::temp_directory_path() / ("durvo-gdi-" + std::to_string(getpid()) + "-" + name);
    std::filesystem::create_directories(dir);
    return dir;
}

TEST_F(Gdi, SaveWindowPngComposesChildren)
{
    HWND parent = makeWindow(nullptr, 0, 0, 40, 30);
    HWND child = makeWindow(parent, 10, 5, 8, 6);
    painter() = [child](HWND hwnd, HDC dc) {
        RECT all = {0, 0, 40, 30};
        HBRUSH brush = CreateSolidBrush(hwnd == child ? RGB(0, 0, 255) : RGB(255, 0, 0));
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    };
    InvalidateRect(parent, nullptr, TRUE);
    InvalidateRect(child, nullptr, TRUE);
    control::pumpMessages();
    painter() = nullptr;

    const auto dir = scratchDir("png");
    const auto file = dir / "item.png";
    ASSERT_TRUE(control::saveWindowPng(parent, file));
    cairo_surface_t *png = cairo_image_surface_create_from_png(file.c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(png), 40);
    EXPECT_EQ(cairo_image_surface_get_height(png), 30);
    EXPECT_EQ(pixelAt(png, 9, 4), 0xFFFF0000u);     // parent, just outside the child
    EXPECT_EQ(pixelAt(png, 10, 5), 0xFF0000FFu);    // the child's first pixel
    EXPECT_EQ(pixelAt(png, 17, 10), 0xFF0000FFu);   // and its last
    EXPECT_EQ(pixelAt(png, 18, 11), 0xFFFF0000u);
    cairo_surface_destroy(png);

    // A hidden child is left out.
    ShowWindow(child, SW_HIDE);
    ASSERT_TRUE(control::saveWindowPng(parent, file));
    png = cairo_image_surface_create_from_png(file.c_str());
    EXPECT_EQ(pixelAt(png, 10, 5), 0xFFFF0000u);
    cairo_surface_destroy(png);

    // A file that cannot be written fails and leaves nothing behind.
    EXPECT_FALSE(control::saveWindowPng(parent, dir / "missing" / "item.png"));
    EXPECT_FALSE(control::saveWindowPng(nullptr, dir / "none.png"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()),
              1);
    std::filesystem::remove_all(dir);
    DestroyWindow(parent);
}

// ---- Icons -------------------------------------------------------------------------------------

std::vector<BYTE> readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::filesystem::path sourceDir()
{
    const char *dir = std::getenv("DURVO_SOURCE_DIR");
    return dir ? std::filesystem::path(dir)
               : std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
}

DWORD le32(const std::vector<BYTE> &b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | DWORD(b[at + 3]) << 24;
}

// An .ico file as the resource compiler stores it: a group directory whose entries name the
// images by id (1, 2, ...), and the images themselves.
struct IconResources {
    std::vector<BYTE> group;
    std::vector<std::vector<BYTE>> images;
};

IconResources fromIcoFile(const std::vector<BYTE> &ico)
{
    IconResources r;
    const size_t count = ico[4] | ico[5] << 8;
    r.group.assign(ico.begin(), ico.begin() + 6);
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = 6 + 16 * i;
        r.group.insert(r.group.end(), ico.begin() + entry, ico.begin() + entry + 12);
        r.group.push_back(BYTE(i + 1));
        r.group.push_back(0);
        const DWORD size = le32(ico, entry + 8), offset = le32(ico, entry + 12);
        r.images.emplace_back(ico.begin() + offset, ico.begin() + offset + size);
    }
    return r;
}

TEST_F(Gdi, ItemIconsDecode)
{
    struct Case {
        const char *file;
        int cx;
        int size;
        int bits;
    } cases[] = {
        {"durvo101.ico", 32, 32, 4},   // classic icon, large: 16 colours
        {"durvo101.ico", 16, 16, 4},   // classic icon, small: 16 colours
        {"durvo105.ico", 32, 32, 4},   // Pocket PC 2002 icon, large: 16 colours
        {"durvo105.ico", 16, 16, 8},   // and small: 256 colours
        {"durvo105.ico", 0, 32, 4},    // no size asked: the first image
        {"durvo105.ico", 20, 16, 8},   // no exact size: the nearest
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.cx));
        const auto ico = readFile(sourceDir() / "plugin" / "icons" / c.file);
        ASSERT_GT(ico.size(), 6u);
        const IconResources res = fromIcoFile(ico);
        const auto entries = gdi::parseIconGroup(res.group);
        ASSERT_TRUE(entries.has_value());
        ASSERT_EQ(entries->size(), 2u);
        const size_t pick = gdi::pickIconEntry(*entries, c.cx, c.cx);
        EXPECT_EQ((*entries)[pick].width, c.size);
        EXPECT_EQ((*entries)[pick].bitCount, c.bits);
        const auto image = gdi::decodeIconImage(res.images[(*entries)[pick].id - 1]);
        ASSERT_TRUE(image.has_value());
        EXPECT_EQ(image->width, c.size);
        EXPECT_EQ(image->height, c.size);
        // The corners are transparent; the artwork covers a good part of the square.
        EXPECT_EQ(image->andMask.front(), 1);
        EXPECT_EQ(image->andMask.back(), 1);
        int opaque = 0;
        for (auto bit : image->andMask) opaque += bit == 0;
        EXPECT_GT(opaque, c.size * c.size / 3);
    }
}

// A 2x2 4-bit icon: BITMAPINFOHEADER, 16 palette entries, 2 colour rows, 2 mask rows.
std::vector<BYTE> tinyIcon()
{
    std::vector<BYTE> b(40 + 64 + 8 + 8, 0);
    const BYTE header[] = {40, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 1, 0, 4, 0};
    std::memcpy(b.data(), header, sizeof header);
    b[40 + 4 * 1 + 2] = 0xFF;   // palette 1 = red
    b[104] = 0x10;              // bottom row: red, black
    b[108] = 0x01;              // top row: black, red
    b[116] = 0x40;              // top row mask: right pixel transparent
    return b;
}

TEST_F(Gdi, MalformedIconsAreRejected)
{
    const auto good = tinyIcon();
    const auto image = gdi::decodeIconImage(good);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->colors, (std::vector<uint32_t>{0xFF000000u, 0xFFFF0000u, 0xFFFF0000u, 0xFF000000u}));
    EXPECT_EQ(image->andMask, (std::vector<uint8_t>{0, 1, 0, 0}));

    struct Case {
        const char *defect;
        std::function<void(std::vector<BYTE> &)> damage;
    } cases[] = {
        {"short_header", [](auto &b) { b.resize(39); }},
        {"short_mask", [](auto &b) { b.pop_back(); }},
        {"short_palette", [](auto &b) { b.resize(60); }},
        {"header_size_past_end",
         [](auto &b) {
             b[0] = 0xFF;
             b[1] = 0xFF;
         }},
        {"odd_height", [](auto &b) { b[8] = 3; }},
        {"zero_width", [](auto &b) { b[4] = 0; }},
        {"huge_width", [](auto &b) { b[5] = 0x10; }},
        {"negative_height", [](auto &b) { b[11] = 0x80; }},
        {"bit_count_3", [](auto &b) { b[14] = 3; }},
        {"two_planes", [](auto &b) { b[12] = 2; }},
        {"compressed", [](auto &b) { b[16] = 2; }},
        // One colour in the palette, so the rows move up; a pixel then uses index 1.
        {"index_past_palette",
         [](auto &b) {
             b[32] = 1;
             b[44] = 0x11;
         }},
        {"too_many_colours", [](auto &b) { b[32] = 17; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.defect);
        auto bytes = good;
        c.damage(bytes);
        EXPECT_FALSE(gdi::decodeIconImage(bytes).has_value());
    }

    const std::vector<BYTE> group = {0, 0, 1, 0, 1, 0, 16, 16, 16, 0, 1, 0, 4, 0, 0, 0, 0, 0, 7, 0};
    EXPECT_TRUE(gdi::parseIconGroup(group).has_value());
    EXPECT_FALSE(gdi::parseIconGroup(std::vector<BYTE>(group.begin(), group.end() - 1)).has_value());
    auto cursor = group;
    cursor[2] = 2;   // a cursor group is no icon group
    EXPECT_FALSE(gdi::parseIconGroup(cursor).has_value());
    auto empty = group;
    empty[4] = 0;
    EXPECT_FALSE(gdi::parseIconGroup(empty).has_value());
}

#endif

// ---- Icons through LoadImageW and DrawIconEx ----------------------------------------------------

class GdiIcons : public Gdi {
protected:
    void SetUp() override
    {
        Gdi::SetUp();
#if OUR_LAYER_ONLY
        root_ = scratchDir("icons");
        std::filesystem::create_directories(root_ / "Windows");
        const char *build = std::getenv("DURVO_BUILD_DIR");
        ASSERT_NE(build, nullptr) << "DURVO_BUILD_DIR is not set";
        std::filesystem::copy_file(
            std::filesystem::path(build) / "tests" / "platform" / "gdi_icons" / "GdiIcons.dll",
            root_ / "Windows" / "GdiIcons.dll", std::filesystem::copy_options::overwrite_existing);
        control::setDeviceRoot(root_);
#endif
        module_ = LoadLibraryW(TEXT("GdiIcons.dll"));
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override
    {
        FreeLibrary(module_);
        Gdi::TearDown();
#if OUR_LAYER_ONLY
        std::filesystem::remove_all(root_);
#endif
    }
    std::filesystem::path root_;
    HMODULE module_ = nullptr;
};

#if OUR_LAYER_ONLY
// What the icon should look like: the .ico image decoded, transparent pixels white.
std::vector<uint32_t> expectedOnWhite(const char *file, size_t entry, int *size)
{
    const IconResources res = fromIcoFile(readFile(sourceDir() / "plugin" / "icons" / file));
    const auto image = gdi::decodeIconImage(res.images[entry]);
    *size = image ? image->width : 0;
    std::vector<uint32_t> pixels;
    if (!image) return pixels;
    for (size_t i = 0; i < image->colors.size(); ++i)
        pixels.push_back(image->andMask[i] ? 0xFFFFFFFFu : image->colors[i]);
    return pixels;
}

#endif

TEST_F(GdiIcons, LoadAndDrawTheItemIcons)
{
    struct Case {
        int group;
        int cx;
        int drawWidth;   // DrawIconEx width and height; 0 = the icon's own size
        const char *file;
        size_t entry;   // the .ico image that must appear
        int scale;      // drawn pixels per image pixel
    } cases[] = {
        {101, 16, 0, "durvo101.ico", 1, 1},    // the classic look's small icon
        {101, 32, 0, "durvo101.ico", 0, 1},    // its large one
        {105, 16, 0, "durvo105.ico", 1, 1},    // the 256-colour small icon
        {105, 32, 0, "durvo105.ico", 0, 1},    // the 16-colour large one
        {105, 0, 0, "durvo105.ico", 0, 1},     // no size asked: the first image, own size
        {101, 16, 32, "durvo101.ico", 1, 2},   // drawn larger: each pixel doubled
    };
    HWND window = makeWindow(nullptr, 0, 0, 80, 80);
#if OUR_LAYER_ONLY
    const auto file = root_ / "icon.png";
#endif
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.group) + " at " + std::to_string(c.cx));
        HICON icon = static_cast<HICON>(
            LoadImageW(module_, MAKEINTRESOURCEW(c.group), IMAGE_ICON, c.cx, c.cx, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr);
#if OUR_LAYER_ONLY
        EXPECT_EQ(control::liveGdiObjects().icons, 1);
#endif
        HDC dc = GetDC(window);
        RECT all = {0, 0, 80, 80};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        EXPECT_EQ(DrawIconEx(dc, 2, 1, icon, c.drawWidth, c.drawWidth, 0, nullptr, DI_NORMAL), TRUE);
        ReleaseDC(window, dc);
        EXPECT_EQ(DestroyIcon(icon), TRUE);
        EXPECT_EQ(DestroyIcon(icon), FALSE);

#if OUR_LAYER_ONLY
        int size = 0;
        const auto expected = expectedOnWhite(c.file, c.entry, &size);
        ASSERT_TRUE(control::saveWindowPng(window, file));
        cairo_surface_t *png = cairo_image_surface_create_from_png(file.c_str());
        int wrong = 0;
        for (int y = 0; y < size * c.scale; ++y)
            for (int x = 0; x < size * c.scale; ++x)
                wrong += pixelAt(png, 2 + x, 1 + y) != expected[(y / c.scale) * size + x / c.scale];
        EXPECT_EQ(wrong, 0);
        // Nothing is drawn past the icon's own square.
        EXPECT_EQ(pixelAt(png, 2 + size * c.scale, 1 + size * c.scale / 2), 0xFFFFFFFFu);
        cairo_surface_destroy(png);
#endif
    }
    DestroyWindow(window);
}

#if OUR_LAYER_ONLY
// The paint record keeps each call's arguments and the context's state at that call, in order:
// the class brush's erase, the icon with the image it took, and text with its font and colour.
TEST_F(GdiIcons, PaintRecordKeepsEachCall)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = paintingProc;
    wc.lpszClassName = TEXT("GdiRecordWindow");
    wc.hbrBackground = CreateSolidBrush(RGB(9, 8, 7));   // the class owns it from here on
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, TEXT("GdiRecordWindow"), TEXT(""), WS_POPUP | WS_VISIBLE, 0, 0, 80, 30,
                                  nullptr, nullptr, nullptr, nullptr);
    control::setSystemFontWeight(500);
    const HMODULE module = module_;
    painter() = [module](HWND, HDC dc) {
        HICON icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(105), IMAGE_ICON, 16, 16, 0));
        DrawIconEx(dc, 2, 1, icon, 0, 0, 0, nullptr, DI_NORMAL);
        DestroyIcon(icon);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(1, 2, 3));
        const LOGFONTW lf = fontWithHeight(-13, FW_BOLD);
        HFONT font = CreateFontIndirectW(&lf);
        HGDIOBJ previous = SelectObject(dc, font);
        RECT r = {30, -1, 80, 30};
        DrawTextW(dc, TEXT("one\ntwo"), -1, &r, DT_NOPREFIX);
        SelectObject(dc, previous);
        DeleteObject(font);
        r.top = 12;
        DrawTextW(dc, TEXT("system"), -1, &r, 0);   // the default font and the colour set above
    };
    InvalidateRect(window, nullptr, TRUE);
    control::pumpMessages();
    painter() = nullptr;

    using Kind = control::DrawnItem::Kind;
    const std::vector<control::DrawnItem> record = control::paintRecord(window);
    ASSERT_EQ(record.size(), 4u);
    EXPECT_EQ(record[0].kind, Kind::Fill);
    EXPECT_EQ(record[0].rect.right, 80);
    EXPECT_EQ(record[0].rect.bottom, 30);
    EXPECT_EQ(record[0].brushColor, RGB(9, 8, 7));

    EXPECT_EQ(record[1].kind, Kind::Icon);
    EXPECT_EQ(record[1].rect.left, 2);
    EXPECT_EQ(record[1].rect.top, 1);
    EXPECT_EQ(record[1].rect.right, 18);
    EXPECT_EQ(record[1].rect.bottom, 17);
    EXPECT_EQ(record[1].iconGroup, 105);
    EXPECT_EQ(record[1].imageWidth, 16);
    EXPECT_EQ(record[1].imageHeight, 16);
    EXPECT_EQ(record[1].imageBitCount, 8);   // the group's 256-colour small image

    EXPECT_EQ(record[2].kind, Kind::Text);
    EXPECT_EQ(record[2].lines, (std::vector<WString>{TEXT("one"), TEXT("two")}));
    EXPECT_EQ(record[2].rect.left, 30);
    EXPECT_EQ(record[2].rect.top, -1);
    EXPECT_EQ(record[2].format, UINT(DT_NOPREFIX));
    EXPECT_EQ(record[2].fontHeight, -13);
    EXPECT_EQ(record[2].fontWeight, FW_BOLD);
    EXPECT_EQ(record[2].textColor, RGB(1, 2, 3));
    EXPECT_EQ(record[2].bkMode, TRANSPARENT);

    EXPECT_EQ(record[3].lines, std::vector<WString>{TEXT("system")});
    EXPECT_EQ(record[3].rect.top, 12);
    EXPECT_EQ(record[3].fontHeight, -11);   // the stock font at 96 dpi
    EXPECT_EQ(record[3].fontWeight, 500);
    EXPECT_EQ(record[3].textColor, RGB(1, 2, 3));
    // The text view is the same record.
    EXPECT_EQ(control::drawnText(window), (std::vector<WString>{TEXT("one"), TEXT("two"), TEXT("system")}));
    DestroyWindow(window);
    UnregisterClassW(TEXT("GdiRecordWindow"), nullptr);
}

#endif

TEST_F(GdiIcons, BrokenIconsLoadAsNull)
{
    struct Case {
        int group;
        const char *defect;
    } cases[] = {
        {200, "bad_bit_count"},   // the image header claims 3 bits per pixel
        {201, "missing_image"},   // the group names an image that is not there
        {202, "short_image"},     // the pixel rows are missing
        {999, "no_such_group"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.defect);
        EXPECT_EQ(LoadImageW(module_, MAKEINTRESOURCEW(c.group), IMAGE_ICON, 16, 16, 0), nullptr);
#if OUR_LAYER_ONLY
        EXPECT_EQ(control::liveGdiObjects().icons, 0);
#endif
    }
    // Only icons are loaded here.
    EXPECT_EQ(LoadImageW(module_, MAKEINTRESOURCEW(101), IMAGE_BITMAP, 16, 16, 0), nullptr);
}

}   // namespace
