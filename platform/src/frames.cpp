// The non-client frame of a window, painted by the platform: a one-pixel border and, for
// WS_CAPTION, a caption band as tall as the Pocket PC navigation bar with the title on the left
// and, on the right, the round "ok" button (WS_EX_CAPTIONOKBTN, which SHInitDialog's Done button
// sets) or else, for WS_SYSMENU, the close cross. It is drawn on the window's frame canvas when a
// picture is taken, from the window's state at that moment.
#include "internal.h"

#include <algorithm>
#include <string>

namespace {

// The caption's title font, as the navigation bar's: 12 pixels at 96 dpi, bold.
constexpr int kTitleHeightAt96 = 12;
constexpr const char16_t *kTitleFace = u"Tahoma";
constexpr int kTitleIndentAt96 = 6;
constexpr int kButtonGapAt96 = 4;   // around the caption's button

HFONT createTitleFont()
{
    LOGFONTW lf{};
    lf.lfHeight = -internal::scaleToDpi(kTitleHeightAt96);
    lf.lfWeight = FW_BOLD;
    std::copy_n(kTitleFace, std::char_traits<char16_t>::length(kTitleFace), lf.lfFaceName);
    return CreateFontIndirectW(&lf);
}

// The button's square in the caption band, flush right.
RECT captionButton(const RECT &band)
{
    const int gap = internal::scaleToDpi(kButtonGapAt96);
    const int size = std::max(0, static_cast<int>(band.bottom - band.top) - 2 * gap);
    return RECT{band.right - gap - size, band.top + gap, band.right - gap, band.top + gap + size};
}

void paintCaption(HWND window, HDC dc, const RECT &band)
{
    FillRect(dc, &band, GetSysColorBrush(COLOR_ACTIVECAPTION));
    const DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
    const COLORREF textColor = GetSysColor(COLOR_CAPTIONTEXT);
    HFONT font = createTitleFont();
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, textColor);

    int titleRight = band.right - internal::scaleToDpi(kTitleIndentAt96);
    const RECT button = captionButton(band);
    if (exStyle & WS_EX_CAPTIONOKBTN) {
        internal::drawEllipse(dc, button, nullptr, textColor, internal::scaleToDpi(1));
        RECT label = button;
        DrawTextW(dc, u"ok", -1, &label, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX | DT_NOCLIP);
        titleRight = button.left - internal::scaleToDpi(kButtonGapAt96);
    } else if (style & WS_SYSMENU) {
        const int inset = (button.right - button.left) / 4;
        const POINT down[] = {{button.left + inset, button.top + inset},
                              {button.right - inset - 1, button.bottom - inset - 1}};
        const POINT up[] = {{button.left + inset, button.bottom - inset - 1},
                            {button.right - inset - 1, button.top + inset}};
        internal::strokePolyline(dc, down, 2, textColor, internal::scaleToDpi(2));
        internal::strokePolyline(dc, up, 2, textColor, internal::scaleToDpi(2));
        titleRight = button.left - internal::scaleToDpi(kButtonGapAt96);
    }
    const std::u16string title = internal::windowTitle(window);
    RECT text{band.left + internal::scaleToDpi(kTitleIndentAt96), band.top, titleRight, band.bottom};
    DrawTextW(dc, title.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
    SelectObject(dc, previous);
    DeleteObject(font);
}

}   // namespace

namespace internal {

void paintFrame(HWND window)
{
    const RECT insets = frameInsets(window);
    if (insets.left == 0 && insets.top == 0 && insets.right == 0 && insets.bottom == 0) {
        return;
    }
    RECT outer;
    if (!GetWindowRect(window, &outer)) {
        return;
    }
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    HDC dc = acquireFrameDC(window);
    if (!dc) {
        return;
    }
    HBRUSH border = GetSysColorBrush(COLOR_WINDOWFRAME);
    const RECT sides[] = {{0, 0, width, insets.bottom},
                          {0, height - insets.bottom, width, height},
                          {0, 0, insets.left, height},
                          {width - insets.right, 0, width, height}};
    for (const RECT &side : sides) {
        FillRect(dc, &side, border);
    }
    if (insets.top > insets.bottom) {
        paintCaption(window, dc, RECT{insets.left, insets.bottom, width - insets.right, insets.top});
    }
    releaseWindowDC(dc);
}

}   // namespace internal
