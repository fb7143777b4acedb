// The predefined control classes: BUTTON (push buttons, check boxes, radio buttons, group
// boxes), STATIC (text and icons), EDIT (text, multi-line and read-only) and COMBOBOX (drop-down
// lists), with Win32's messages and notifications. Each paints itself through our GDI in flat
// Windows CE colours, so a picture of a dialog shows what a person would see.
//
// Colours come from the parent's WM_CTLCOLOR* answer when it gives a brush, else from the
// system colours: COLOR_STATIC / COLOR_STATICTEXT around check boxes, radio buttons, group boxes
// and static and read-only text, COLOR_WINDOW inside fields, COLOR_BTNFACE on push buttons,
// COLOR_WINDOWFRAME for outlines.
#include "internal.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr const char16_t *kButtonClass = u"BUTTON";
constexpr const char16_t *kStaticClass = u"STATIC";
constexpr const char16_t *kEditClass = u"EDIT";
constexpr const char16_t *kComboBoxClass = u"COMBOBOX";

// Sizes at 96 dpi, scaled to the current dpi.
constexpr int kCheckBoxAt96 = 12;         // plus one pixel, as Windows sizes its check box
constexpr int kIconAt96 = 32;             // SM_CXICON: what an SS_ICON static loads
constexpr int kComboPaddingAt96 = 3;      // above and below the text of a combo box's field
constexpr int kFieldMarginAt96 = 3;       // left of the text inside a field
constexpr int kScrollBarAt96 = 11;        // SM_CXVSCROLL
constexpr int kGroupTextIndentAt96 = 7;   // where a group box's caption starts

struct ListItem {
    std::u16string text;
    LPARAM data = 0;
};

struct ControlState {
    HFONT font = nullptr;   // from WM_SETFONT; null draws with the system font
    WORD check = BST_UNCHECKED;
    bool pushed = false;    // BM_SETSTATE
    bool pressed = false;   // between WM_LBUTTONDOWN and WM_LBUTTONUP
    std::vector<ListItem> items;
    int selection = -1;
    int droppedHeight = 0;   // a combo box's height with its list down, as created
    HICON icon = nullptr;
    std::vector<HICON> ownIcons;   // loaded here, destroyed with the control
};

std::map<HWND, ControlState> &states()
{
    static std::map<HWND, ControlState> table;
    return table;
}

ControlState &stateOf(HWND window)
{
    return states()[window];
}

DWORD styleOf(HWND window)
{
    return static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
}

int px(int pixelsAt96)
{
    return internal::scaleToDpi(pixelsAt96);
}

void notifyParent(HWND window, WORD code)
{
    SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), code),
                 reinterpret_cast<LPARAM>(window));
}

// ---- Drawing helpers -------------------------------------------------------------------------

void frameRect(HDC dc, const RECT &r, int colorIndex, int width)
{
    HBRUSH brush = GetSysColorBrush(colorIndex);
    const RECT sides[] = {{r.left, r.top, r.right, r.top + width},
                          {r.left, r.bottom - width, r.right, r.bottom},
                          {r.left, r.top, r.left + width, r.bottom},
                          {r.right - width, r.top, r.right, r.bottom}};
    for (const RECT &side : sides) {
        FillRect(dc, &side, brush);
    }
}

void fillSys(HDC dc, const RECT &r, int colorIndex)
{
    FillRect(dc, &r, GetSysColorBrush(colorIndex));
}

// A triangle pointing down (or up), centred in the box; half the box wide, an odd number of
// pixels so that the tip sits on one pixel.
void arrow(HDC dc, const RECT &box, bool down)
{
    const int width = std::max(3, static_cast<int>(box.right - box.left) / 2) | 1;
    const int height = (width + 1) / 2;
    const int left = box.left + (box.right - box.left - width) / 2;
    const int top = box.top + (box.bottom - box.top - height) / 2;
    POINT points[3];
    if (down) {
        points[0] = POINT{left, top};
        points[1] = POINT{left + width, top};
        points[2] = POINT{(2 * left + width) / 2, top + height};
    } else {
        points[0] = POINT{left, top + height};
        points[1] = POINT{left + width, top + height};
        points[2] = POINT{(2 * left + width) / 2, top};
    }
    internal::fillPolygon(dc, points, 3, GetSysColor(COLOR_BTNTEXT));
}

HGDIOBJ selectControlFont(HWND window, HDC dc)
{
    HFONT font = stateOf(window).font;
    return SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
}

int lineHeight(HDC dc)
{
    RECT r{};
    DrawTextW(dc, u"Ag", -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    return r.bottom;
}

int lineHeightOfFont(HFONT font)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    const int height = lineHeight(dc);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
    return height;
}

// The parent's colours for the control (WM_CTLCOLOR*), or the system's when it gives none.
HBRUSH controlBrush(HWND window, HDC dc, UINT message)
{
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
        GetParent(window), message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window)));
    if (brush) {
        return brush;
    }
    const bool field = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX;
    SetTextColor(dc, GetSysColor(field ? COLOR_WINDOWTEXT : COLOR_STATICTEXT));
    SetBkColor(dc, GetSysColor(field ? COLOR_WINDOW : COLOR_STATIC));
    return GetSysColorBrush(field ? COLOR_WINDOW : COLOR_STATIC);
}

template <typename Paint> LRESULT paintWith(HWND window, Paint paint)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (dc) {
        HGDIOBJ previous = selectControlFont(window, dc);
        SetBkMode(dc, TRANSPARENT);
        RECT client;
        GetClientRect(window, &client);
        paint(dc, client);
        SelectObject(dc, previous);
    }
    EndPaint(window, &ps);
    return 0;
}

// Messages every control answers the same way.
bool commonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result)
{
    switch (message) {
    case WM_SETFONT:
        stateOf(window).font = reinterpret_cast<HFONT>(wParam);
        if (lParam) {
            InvalidateRect(window, nullptr, TRUE);
        }
        *result = 0;
        return true;
    case WM_GETFONT: *result = reinterpret_cast<LRESULT>(stateOf(window).font); return true;
    case WM_ERASEBKGND:
        *result = 1;   // the paint covers everything
        return true;
    case WM_ENABLE:
        InvalidateRect(window, nullptr, TRUE);
        *result = 0;
        return true;
    case WM_SETTEXT:
        *result = DefWindowProcW(window, message, wParam, lParam);
        InvalidateRect(window, nullptr, TRUE);
        return true;
    case WM_NCDESTROY:
        for (HICON icon : stateOf(window).ownIcons) {
            DestroyIcon(icon);
        }
        states().erase(window);
        *result = 0;
        return true;
    default: return false;
    }
}

// ---- Buttons ---------------------------------------------------------------------------------

UINT buttonType(HWND window)
{
    return styleOf(window) & BS_TYPEMASK;
}

bool isRadio(UINT type)
{
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

bool isCheckOrRadio(UINT type)
{
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE
        || isRadio(type);
}

// The highest check state each type keeps; push buttons and group boxes keep none.
WORD maxCheckState(UINT type)
{
    if (type == BS_3STATE || type == BS_AUTO3STATE) {
        return BST_INDETERMINATE;
    }
    return isCheckOrRadio(type) ? BST_CHECKED : BST_UNCHECKED;
}

bool isRadioButton(HWND window)
{
    WCHAR name[16] = {};
    GetClassNameW(window, name, 16);
    return lstrcmpiW(name, kButtonClass) == 0 && isRadio(buttonType(window));
}

// The window's group: from the nearest sibling at or before it with WS_GROUP (or the first
// sibling) up to the next sibling with WS_GROUP, leaving out hidden and disabled ones, as
// GetNextDlgGroupItem walks it.
std::vector<HWND> groupOf(HWND window)
{
    const std::vector<HWND> siblings = internal::childWindows(GetParent(window));
    auto self = std::find(siblings.begin(), siblings.end(), window);
    if (self == siblings.end()) {
        return {window};
    }
    auto start = self;
    while (start != siblings.begin() && !(styleOf(*start) & WS_GROUP)) {
        --start;
    }
    auto end = self + 1;
    while (end != siblings.end() && !(styleOf(*end) & WS_GROUP)) {
        ++end;
    }
    std::vector<HWND> group;
    for (auto it = start; it != end; ++it) {
        const DWORD style = styleOf(*it);
        if (*it == window || ((style & WS_VISIBLE) && !(style & WS_DISABLED))) {
            group.push_back(*it);
        }
    }
    return group;
}

void clickButton(HWND window)
{
    const UINT type = buttonType(window);
    const WORD check = stateOf(window).check;
    switch (type) {
    case BS_AUTOCHECKBOX:
        SendMessageW(window, BM_SETCHECK, check & BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
        break;
    case BS_AUTO3STATE:
        SendMessageW(window, BM_SETCHECK, check & BST_INDETERMINATE ? BST_UNCHECKED : check + 1, 0);
        break;
    case BS_AUTORADIOBUTTON:
        for (HWND member : groupOf(window)) {
            if (isRadioButton(member)) {
                SendMessageW(member, BM_SETCHECK, member == window ? BST_CHECKED : BST_UNCHECKED, 0);
            }
        }
        break;
    default: break;
    }
    if (IsWindow(window)) {
        notifyParent(window, BN_CLICKED);
    }
}

void paintPushButton(HWND window, HDC dc, const RECT &client, UINT type)
{
    SendMessageW(GetParent(window), WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(window));
    const ControlState &st = stateOf(window);
    const bool pushed = st.pushed;
    fillSys(dc, client, pushed ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
    frameRect(dc, client, COLOR_WINDOWFRAME, px(type == BS_DEFPUSHBUTTON ? 2 : 1));
    SetTextColor(dc,
                 GetSysColor(!IsWindowEnabled(window) ? COLOR_GRAYTEXT
                                 : pushed             ? COLOR_HIGHLIGHTTEXT
                                                      : COLOR_BTNTEXT));
    const std::u16string text = internal::windowText(window);
    RECT area = client;
    const UINT lines = (styleOf(window) & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER;
    DrawTextW(dc, text.c_str(), -1, &area, DT_CENTER | lines);
}

void paintCheckOrRadio(HWND window, HDC dc, const RECT &client, UINT type)
{
    FillRect(dc, &client, controlBrush(window, dc, WM_CTLCOLORSTATIC));
    const WORD check = stateOf(window).check;
    const int size = px(kCheckBoxAt96) + 1;
    const bool boxOnRight = (styleOf(window) & BS_LEFTTEXT) != 0;
    const int top = client.top + (client.bottom - client.top - size) / 2;
    RECT box = boxOnRight ? RECT{client.right - size, top, client.right, top + size}
                          : RECT{client.left, top, client.left + size, top + size};
    if (isRadio(type)) {
        const COLORREF white = GetSysColor(COLOR_WINDOW);
        internal::drawEllipse(dc, box, &white, GetSysColor(COLOR_WINDOWFRAME), px(1));
        if (check & BST_CHECKED) {
            RECT dot = box;
            const int inset = size / 4 + 1;
            dot.left += inset;
            dot.top += inset;
            dot.right -= inset;
            dot.bottom -= inset;
            const COLORREF black = GetSysColor(COLOR_WINDOWTEXT);
            internal::drawEllipse(dc, dot, &black, black, 0);
        }
    } else {
        fillSys(dc, box, COLOR_WINDOW);
        frameRect(dc, box, COLOR_WINDOWFRAME, px(1));
        if (check & BST_INDETERMINATE) {
            RECT inner{box.left + px(3), box.top + px(3), box.right - px(3), box.bottom - px(3)};
            fillSys(dc, inner, COLOR_BTNSHADOW);
        } else if (check & BST_CHECKED) {
            // A tick on the box's 13-pixel grid.
            auto at = [&](int x, int y) { return POINT{box.left + x * size / 13, box.top + y * size / 13}; };
            const POINT tick[] = {at(3, 6), at(5, 9), at(10, 3)};
            internal::strokePolyline(dc, tick, 3, GetSysColor(COLOR_WINDOWTEXT), px(2));
        }
    }
    // The label, half a digit's width from the box.
    RECT digit{};
    DrawTextW(dc, u"0", 1, &digit, DT_CALCRECT | DT_SINGLELINE);
    const int gap = digit.right / 2;
    RECT label = boxOnRight ? RECT{client.left, client.top, box.left - gap, client.bottom}
                            : RECT{box.right + gap, client.top, client.right, client.bottom};
    if (!IsWindowEnabled(window)) {
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    }
    const std::u16string text = internal::windowText(window);
    const UINT lines = (styleOf(window) & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER;
    DrawTextW(dc, text.c_str(), -1, &label, lines | (boxOnRight ? DT_RIGHT : DT_LEFT));
}

// Only the frame and the caption: what lies inside shows through.
void paintGroupBox(HWND window, HDC dc, const RECT &client)
{
    HBRUSH background = controlBrush(window, dc, WM_CTLCOLORSTATIC);
    const int textHeight = lineHeight(dc);
    RECT frame = client;
    frame.top += std::max(0, textHeight / 2 - 1);
    frameRect(dc, frame, COLOR_BTNSHADOW, px(1));
    const std::u16string text = internal::windowText(window);
    if (text.empty()) {
        return;
    }
    RECT label{client.left + px(kGroupTextIndentAt96), client.top, client.right - px(kGroupTextIndentAt96),
               client.top + textHeight};
    RECT measured = label;
    DrawTextW(dc, text.c_str(), -1, &measured, DT_CALCRECT | DT_SINGLELINE);
    RECT behind{measured.left - px(1), measured.top, std::min(measured.right, label.right) + px(1),
                measured.bottom};
    FillRect(dc, &behind, background);
    if (!IsWindowEnabled(window)) {
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    }
    DrawTextW(dc, text.c_str(), -1, &label, DT_SINGLELINE | DT_LEFT);
}

LRESULT CALLBACK buttonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (commonMessage(window, message, wParam, lParam, &result)) {
        return result;
    }
    ControlState &st = stateOf(window);
    const UINT type = buttonType(window);
    switch (message) {
    case WM_PAINT:
        return paintWith(window, [&](HDC dc, const RECT &client) {
            if (type == BS_GROUPBOX) {
                paintGroupBox(window, dc, client);
            } else if (isCheckOrRadio(type)) {
                paintCheckOrRadio(window, dc, client, type);
            } else {
                paintPushButton(window, dc, client, type);
            }
        });
    case BM_GETCHECK: return st.check & (BST_CHECKED | BST_INDETERMINATE);
    case BM_SETCHECK: {
        const WORD check = static_cast<WORD>(std::min<WPARAM>(wParam, maxCheckState(type)));
        // A checked radio button is the group's tab stop, as Windows keeps it.
        if (isRadio(type)) {
            const DWORD style = styleOf(window);
            SetWindowLongW(window, GWL_STYLE,
                           static_cast<LONG>(check ? style | WS_TABSTOP : style & ~WS_TABSTOP));
        }
        if (st.check != check) {
            st.check = check;
            InvalidateRect(window, nullptr, TRUE);
        }
        return 0;
    }
    case BM_GETSTATE: return st.check | (st.pushed ? BST_PUSHED : 0);
    case BM_SETSTATE:
        if (st.pushed != (wParam != 0)) {
            st.pushed = wParam != 0;
            InvalidateRect(window, nullptr, TRUE);
        }
        return 0;
    case BM_SETSTYLE: {
        const DWORD style = styleOf(window);
        SetWindowLongW(window, GWL_STYLE, static_cast<LONG>((style & ~BS_TYPEMASK) | (wParam & BS_TYPEMASK)));
        if (lParam) {
            InvalidateRect(window, nullptr, TRUE);
        }
        return 0;
    }
    case BM_CLICK:
        SendMessageW(window, WM_LBUTTONDOWN, 0, 0);
        if (IsWindow(window)) {
            SendMessageW(window, WM_LBUTTONUP, 0, 0);
        }
        return 0;
    case WM_LBUTTONDOWN:
        st.pressed = true;
        SendMessageW(window, BM_SETSTATE, TRUE, 0);
        return 0;
    case WM_LBUTTONUP: {
        if (!st.pressed) {
            return 0;
        }
        st.pressed = false;
        SendMessageW(window, BM_SETSTATE, FALSE, 0);
        RECT client;
        GetClientRect(window, &client);
        const POINT at{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
        if (PtInRect(&client, at)) {
            clickButton(window);
        }
        return 0;
    }
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

// ---- Static controls -------------------------------------------------------------------------

void setIcon(HWND window, HICON icon)
{
    ControlState &st = stateOf(window);
    st.icon = icon;
    const int size = px(kIconAt96);
    if (icon && !(styleOf(window) & SS_CENTERIMAGE)) {
        SetWindowPos(window, nullptr, 0, 0, size, size, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(window, nullptr, TRUE);
}

void paintStatic(HWND window, HDC dc, const RECT &client)
{
    FillRect(dc, &client, controlBrush(window, dc, WM_CTLCOLORSTATIC));
    const DWORD style = styleOf(window);
    const DWORD type = style & SS_TYPEMASK;
    if (type == SS_ICON) {
        if (HICON icon = stateOf(window).icon) {
            const int size = px(kIconAt96);
            const int x = (style & SS_CENTERIMAGE) ? (client.right - size) / 2 : 0;
            const int y = (style & SS_CENTERIMAGE) ? (client.bottom - size) / 2 : 0;
            DrawIconEx(dc, x, y, icon, size, size, 0, nullptr, DI_NORMAL);
        }
        return;
    }
    UINT format = 0;
    switch (type) {
    case SS_LEFT: format = DT_LEFT | DT_WORDBREAK; break;
    case SS_CENTER: format = DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: format = DT_RIGHT | DT_WORDBREAK; break;
    case SS_LEFTNOWORDWRAP: format = DT_LEFT; break;
    default: return;   // rectangles and frames: the background is all
    }
    if (style & SS_NOPREFIX) {
        format |= DT_NOPREFIX;
    }
    if (style & SS_CENTERIMAGE) {
        format = (format & ~static_cast<UINT>(DT_WORDBREAK)) | DT_SINGLELINE | DT_VCENTER;
    }
    if (!IsWindowEnabled(window)) {
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    }
    const std::u16string text = internal::windowText(window);
    RECT area = client;
    DrawTextW(dc, text.c_str(), -1, &area, format);
}

LRESULT CALLBACK staticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (commonMessage(window, message, wParam, lParam, &result)) {
        return result;
    }
    switch (message) {
    case WM_CREATE: {
        // An SS_ICON static shows the icon its text names, from the creating module.
        const auto *cs = reinterpret_cast<const CREATESTRUCTW *>(lParam);
        if ((cs->style & SS_TYPEMASK) == SS_ICON && cs->lpszName
            && (IS_INTRESOURCE(cs->lpszName) || cs->lpszName[0])) {
            const int size = px(kIconAt96);
            auto icon = static_cast<HICON>(
                LoadImageW(cs->hInstance, cs->lpszName, IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
            if (icon) {
                stateOf(window).ownIcons.push_back(icon);
                setIcon(window, icon);
            }
        }
        return 0;
    }
    case WM_PAINT:
        return paintWith(window, [&](HDC dc, const RECT &client) { paintStatic(window, dc, client); });
    case STM_SETICON: {
        HICON previous = stateOf(window).icon;
        setIcon(window, reinterpret_cast<HICON>(wParam));
        return reinterpret_cast<LRESULT>(previous);
    }
    case STM_GETICON: return reinterpret_cast<LRESULT>(stateOf(window).icon);
    case WM_LBUTTONUP:
        if (styleOf(window) & SS_NOTIFY) {
            notifyParent(window, STN_CLICKED);
        }
        return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

// ---- Edit controls ---------------------------------------------------------------------------

RECT editTextArea(HWND window, const RECT &client)
{
    RECT area = client;
    area.left += px(kFieldMarginAt96) - 1;
    area.top += 1;
    if (styleOf(window) & WS_VSCROLL) {
        area.right -= px(kScrollBarAt96);
    }
    return area;
}

UINT editFormat(HWND window)
{
    const DWORD style = styleOf(window);
    UINT format = DT_NOPREFIX | ((style & ES_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE);
    if (style & ES_CENTER) {
        format |= DT_CENTER;
    } else if (style & ES_RIGHT) {
        format |= DT_RIGHT;
    }
    return format;
}

// The height of the whole text as the control wraps it.
int editTextHeight(HWND window, HDC dc, const RECT &area)
{
    const std::u16string text = internal::windowText(window);
    RECT measured = area;
    DrawTextW(dc, text.empty() ? u" " : text.c_str(), -1, &measured, editFormat(window) | DT_CALCRECT);
    return measured.bottom - measured.top;
}

// A scroll bar at the top of its range: arrows at both ends, the thumb sized to the visible
// share of the text.
void paintScrollBar(HDC dc, const RECT &bar, int visible, int total)
{
    fillSys(dc, bar, COLOR_SCROLLBAR);
    const int width = bar.right - bar.left;
    const RECT up{bar.left, bar.top, bar.right, bar.top + width};
    const RECT down{bar.left, bar.bottom - width, bar.right, bar.bottom};
    for (const RECT &button : {up, down}) {
        fillSys(dc, button, COLOR_BTNFACE);
        frameRect(dc, button, COLOR_WINDOWFRAME, px(1));
    }
    arrow(dc, up, false);
    arrow(dc, down, true);
    const int track = bar.bottom - bar.top - 2 * width;
    if (total > visible && visible > 0 && track > 0) {
        const int thumb
            = std::max(width / 2, static_cast<int>(static_cast<long long>(track) * visible / total));
        const RECT box{bar.left, up.bottom, bar.right, up.bottom + thumb};
        fillSys(dc, box, COLOR_BTNFACE);
        frameRect(dc, box, COLOR_WINDOWFRAME, px(1));
    }
    RECT edge{bar.left, bar.top, bar.left + px(1), bar.bottom};
    fillSys(dc, edge, COLOR_WINDOWFRAME);
}

void paintEdit(HWND window, HDC dc, const RECT &client)
{
    const DWORD style = styleOf(window);
    const bool readOnly = (style & ES_READONLY) != 0;
    FillRect(dc, &client, controlBrush(window, dc, readOnly ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT));
    if (!IsWindowEnabled(window)) {
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    }
    RECT area = editTextArea(window, client);
    const std::u16string text = internal::windowText(window);
    RECT drawn = area;
    DrawTextW(dc, text.c_str(), -1, &drawn, editFormat(window));
    if (style & WS_VSCROLL) {
        const RECT bar{area.right, client.top, client.right, client.bottom};
        paintScrollBar(dc, bar, area.bottom - area.top, editTextHeight(window, dc, area));
    }
}

LRESULT CALLBACK editProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (commonMessage(window, message, wParam, lParam, &result)) {
        return result;
    }
    switch (message) {
    case WM_PAINT:
        return paintWith(window, [&](HDC dc, const RECT &client) { paintEdit(window, dc, client); });
    case EM_SETREADONLY: {
        const DWORD style = styleOf(window);
        SetWindowLongW(window, GWL_STYLE,
                       static_cast<LONG>(wParam ? style | ES_READONLY : style & ~ES_READONLY));
        InvalidateRect(window, nullptr, TRUE);
        return TRUE;
    }
    case EM_GETLINECOUNT: {
        if (!(styleOf(window) & ES_MULTILINE)) {
            return 1;
        }
        HDC dc = GetDC(nullptr);
        HGDIOBJ previous = selectControlFont(window, dc);
        RECT client;
        GetClientRect(window, &client);
        const RECT area = editTextArea(window, client);
        const int total = editTextHeight(window, dc, area);
        const int line = lineHeight(dc);
        SelectObject(dc, previous);
        ReleaseDC(nullptr, dc);
        return line > 0 ? std::max(1, total / line) : 1;
    }
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

// ---- Combo boxes -----------------------------------------------------------------------------

// The closed field: one line of the font with a little room above and below. The template's
// height is the height with the list down, kept as droppedHeight.
void fitComboField(HWND window)
{
    const int height = lineHeightOfFont(stateOf(window).font) + 2 * px(kComboPaddingAt96);
    RECT r = internal::windowRectInParent(window);
    SetWindowPos(window, nullptr, 0, 0, r.right - r.left, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool validIndex(const ControlState &st, WPARAM index)
{
    return index < st.items.size();
}

LRESULT insertItem(HWND window, ControlState &st, size_t at, LPCWSTR text)
{
    if (!text) {
        return CB_ERR;
    }
    st.items.insert(st.items.begin() + static_cast<ptrdiff_t>(at), ListItem{text, 0});
    if (st.selection >= 0 && static_cast<size_t>(st.selection) >= at) {
        ++st.selection;
    }
    InvalidateRect(window, nullptr, TRUE);
    return static_cast<LRESULT>(at);
}

void paintCombo(HWND window, HDC dc, const RECT &client)
{
    FillRect(dc, &client, controlBrush(window, dc, WM_CTLCOLOREDIT));
    const ControlState &st = stateOf(window);
    const int border = px(1);
    frameRect(dc, client, COLOR_WINDOWFRAME, border);
    const int buttonWidth = std::min(client.bottom - client.top, px(kScrollBarAt96) + 2 * border);
    const RECT button{client.right - border - buttonWidth, client.top + border, client.right - border,
                      client.bottom - border};
    fillSys(dc, button, COLOR_BTNFACE);
    const RECT edge{button.left - border, button.top, button.left, button.bottom};
    fillSys(dc, edge, COLOR_WINDOWFRAME);
    arrow(dc, button, true);
    if (st.selection < 0 || static_cast<size_t>(st.selection) >= st.items.size()) {
        return;
    }
    if (!IsWindowEnabled(window)) {
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    }
    RECT text{client.left + px(kFieldMarginAt96), client.top, edge.left - border, client.bottom};
    DrawTextW(dc, st.items[static_cast<size_t>(st.selection)].text.c_str(), -1, &text,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
}

LRESULT CALLBACK comboProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETFONT) {
        stateOf(window).font = reinterpret_cast<HFONT>(wParam);
        fitComboField(window);
        if (lParam) {
            InvalidateRect(window, nullptr, TRUE);
        }
        return 0;
    }
    LRESULT result = 0;
    if (message != WM_SETTEXT && commonMessage(window, message, wParam, lParam, &result)) {
        return result;
    }
    ControlState &st = stateOf(window);
    switch (message) {
    case WM_CREATE:
        st.droppedHeight = reinterpret_cast<const CREATESTRUCTW *>(lParam)->cy;
        fitComboField(window);
        return 0;
    case WM_PAINT:
        return paintWith(window, [&](HDC dc, const RECT &client) { paintCombo(window, dc, client); });
    case WM_GETTEXT: {
        // The field shows the selected item.
        auto buffer = reinterpret_cast<LPWSTR>(lParam);
        if (!buffer || wParam == 0) {
            return 0;
        }
        const std::u16string text = validIndex(st, static_cast<WPARAM>(st.selection))
            ? st.items[static_cast<size_t>(st.selection)].text
            : std::u16string();
        const size_t n = std::min<size_t>(text.size(), wParam - 1);
        std::copy_n(text.begin(), n, buffer);
        buffer[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return validIndex(st, static_cast<WPARAM>(st.selection))
            ? static_cast<LRESULT>(st.items[static_cast<size_t>(st.selection)].text.size())
            : 0;
    case CB_ADDSTRING: {
        auto text = reinterpret_cast<LPCWSTR>(lParam);
        size_t at = st.items.size();
        if (text && (styleOf(window) & CBS_SORT)) {
            at = static_cast<size_t>(
                std::find_if(st.items.begin(), st.items.end(),
                             [&](const ListItem &item) { return lstrcmpiW(text, item.text.c_str()) < 0; })
                - st.items.begin());
        }
        return insertItem(window, st, at, text);
    }
    case CB_INSERTSTRING: {
        const auto index = static_cast<int>(wParam);
        if (index != -1 && (index < 0 || static_cast<size_t>(index) > st.items.size())) {
            return CB_ERR;
        }
        return insertItem(window, st, index == -1 ? st.items.size() : static_cast<size_t>(index),
                          reinterpret_cast<LPCWSTR>(lParam));
    }
    case CB_DELETESTRING:
        if (!validIndex(st, wParam)) {
            return CB_ERR;
        }
        st.items.erase(st.items.begin() + static_cast<ptrdiff_t>(wParam));
        if (st.selection == static_cast<int>(wParam)) {
            st.selection = -1;
        } else if (st.selection > static_cast<int>(wParam)) {
            --st.selection;
        }
        InvalidateRect(window, nullptr, TRUE);
        return static_cast<LRESULT>(st.items.size());
    case CB_RESETCONTENT:
        st.items.clear();
        st.selection = -1;
        InvalidateRect(window, nullptr, TRUE);
        return CB_OKAY;
    case CB_GETCOUNT: return static_cast<LRESULT>(st.items.size());
    case CB_GETCURSEL: return st.selection >= 0 ? st.selection : CB_ERR;
    case CB_SETCURSEL:
        // Out of range (-1 included) clears the selection and answers CB_ERR.
        st.selection = validIndex(st, wParam) ? static_cast<int>(wParam) : -1;
        InvalidateRect(window, nullptr, TRUE);
        return st.selection >= 0 ? st.selection : CB_ERR;
    case WM_KEYDOWN: {
        // The arrow keys (a device's direction pad) step through the list and tell the parent
        // that the user chose an item and that the selection changed; with nothing selected,
        // down selects the first item. The ends do not wrap.
        if (wParam != VK_UP && wParam != VK_DOWN) {
            return DefWindowProcW(window, message, wParam, lParam);
        }
        const int last = static_cast<int>(st.items.size()) - 1;
        const int wanted
            = wParam == VK_DOWN ? std::min(st.selection + 1, last) : std::max(st.selection - 1, 0);
        if (last >= 0 && wanted != st.selection) {
            st.selection = wanted;
            InvalidateRect(window, nullptr, TRUE);
            notifyParent(window, CBN_SELENDOK);
            notifyParent(window, CBN_SELCHANGE);
        }
        return 0;
    }
    case CB_GETLBTEXT: {
        auto buffer = reinterpret_cast<LPWSTR>(lParam);
        if (!validIndex(st, wParam) || !buffer) {
            return CB_ERR;
        }
        const std::u16string &text = st.items[wParam].text;
        std::copy(text.begin(), text.end(), buffer);
        buffer[text.size()] = 0;
        return static_cast<LRESULT>(text.size());
    }
    case CB_GETLBTEXTLEN:
        return validIndex(st, wParam) ? static_cast<LRESULT>(st.items[wParam].text.size()) : CB_ERR;
    case CB_GETITEMDATA: return validIndex(st, wParam) ? st.items[wParam].data : CB_ERR;
    case CB_SETITEMDATA:
        if (!validIndex(st, wParam)) {
            return CB_ERR;
        }
        st.items[wParam].data = lParam;
        return CB_OKAY;
    case CB_FINDSTRINGEXACT: {
        auto text = reinterpret_cast<LPCWSTR>(lParam);
        const size_t count = st.items.size();
        if (!text || count == 0) {
            return CB_ERR;
        }
        // From the item after wParam, wrapping round; -1 (or out of range) starts at the top.
        const size_t start = validIndex(st, wParam) ? wParam + 1 : 0;
        for (size_t k = 0; k < count; ++k) {
            const size_t i = (start + k) % count;
            if (lstrcmpiW(st.items[i].text.c_str(), text) == 0) {
                return static_cast<LRESULT>(i);
            }
        }
        return CB_ERR;
    }
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

void registerControl(const char16_t *name, WNDPROC proc)
{
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    RegisterClassW(&wc);
}

}   // namespace

namespace internal {

void registerSystemClasses()
{
    registerControl(kButtonClass, buttonProc);
    registerControl(kStaticClass, staticProc);
    registerControl(kEditClass, editProc);
    registerControl(kComboBoxClass, comboProc);
    registerDialogClass();
    registerMenuClass();
}

// Controls' records go with their windows; a reset drops them unseen.
void resetControls()
{
    states().clear();
}

}   // namespace internal
