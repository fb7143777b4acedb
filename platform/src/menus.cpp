// Popup menus. A menu is a list of items behind an HMENU until DestroyMenu. TrackPopupMenuEx
// shows it as Windows does, as a top-level popup window (class "#32768") with its top-left
// corner at the point unless the alignment flags say otherwise, moved to lie on the screen;
// the window paints the items with our GDI. The scripted user picks an item or dismisses the
// menu; the window is gone before the call returns.
#include "internal.h"
#include "user.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr const char16_t *kMenuClass = u"#32768";
// Handle values: never 0 and never handed out twice, not even across a device reset.
constexpr uintptr_t kFirstMenuHandle = 0x100000;
constexpr uintptr_t kMenuHandleStep = 4;
// Pocket PC menus use Tahoma 8 points, not bold.
constexpr int kMenuFontPoints = 8;
constexpr const char16_t *kMenuFontFace = u"Tahoma";
// Layout at 96 dpi: a column for check marks left of the text, room right of it, padding
// above and below each line, and the height of a separator.
constexpr int kCheckColumnAt96 = 14;
constexpr int kRightPaddingAt96 = 12;
constexpr int kSubmenuColumnAt96 = 10;
constexpr int kItemPaddingAt96 = 3;
constexpr int kSeparatorAt96 = 7;
constexpr int kSeparatorInsetAt96 = 2;

struct MenuItem {
    UINT flags = 0;
    UINT_PTR id = 0;
    std::u16string text;
    HMENU submenu = nullptr;
};

struct Menu {
    std::vector<MenuItem> items;
};

struct MenuSystem {
    std::map<uintptr_t, Menu> menus;
    uintptr_t nextHandle = kFirstMenuHandle;
    std::map<HWND, HMENU> windows;   // the menu each open menu window shows
};

MenuSystem &sys()
{
    static MenuSystem system;
    return system;
}

Menu *menuOf(HMENU handle)
{
    auto it = sys().menus.find(reinterpret_cast<uintptr_t>(handle));
    return it == sys().menus.end() ? nullptr : &it->second;
}

Menu *menuOrError(HMENU handle)
{
    Menu *menu = menuOf(handle);
    if (!menu) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
    }
    return menu;
}

HMENU newMenu()
{
    MenuSystem &s = sys();
    const uintptr_t value = s.nextHandle;
    s.nextHandle += kMenuHandleStep;
    s.menus.emplace(value, Menu{});
    return reinterpret_cast<HMENU>(value);
}

bool isSeparator(const MenuItem &item)
{
    return (item.flags & MF_SEPARATOR) != 0;
}

// An item the user can choose: enabled, not a separator and not a submenu, here or below.
bool offersCommand(const Menu &menu, UINT_PTR id)
{
    for (const MenuItem &item : menu.items) {
        if (isSeparator(item) || (item.flags & (MF_GRAYED | MF_DISABLED))) {
            continue;
        }
        if (item.flags & MF_POPUP) {
            if (const Menu *sub = menuOf(item.submenu); sub && offersCommand(*sub, id)) {
                return true;
            }
            continue;
        }
        if (item.id == id) {
            return true;
        }
    }
    return false;
}

// ---- Layout and painting ---------------------------------------------------------------------

HFONT createMenuFont()
{
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(kMenuFontPoints, internal::screenDpi(), 72);
    lf.lfWeight = FW_NORMAL;
    std::copy_n(kMenuFontFace, std::char_traits<char16_t>::length(kMenuFontFace), lf.lfFaceName);
    return CreateFontIndirectW(&lf);
}

struct Layout {
    SIZE size{};              // the client area
    std::vector<RECT> rows;   // one per item, in client coordinates
};

Layout layoutMenu(const Menu &menu, HDC dc)
{
    Layout layout;
    const int padding = internal::scaleToDpi(kItemPaddingAt96);
    bool hasSubmenu = false;
    int widest = 0;
    int y = 0;
    for (const MenuItem &item : menu.items) {
        int height = internal::scaleToDpi(kSeparatorAt96);
        if (!isSeparator(item)) {
            RECT measured{};
            DrawTextW(dc, item.text.empty() ? u" " : item.text.c_str(), -1, &measured,
                      DT_CALCRECT | DT_SINGLELINE);
            widest = std::max(widest, static_cast<int>(measured.right));
            height = measured.bottom + 2 * padding;
        }
        hasSubmenu = hasSubmenu || (item.flags & MF_POPUP);
        layout.rows.push_back(RECT{0, y, 0, y + height});
        y += height;
    }
    int width = internal::scaleToDpi(kCheckColumnAt96) + widest + internal::scaleToDpi(kRightPaddingAt96);
    if (hasSubmenu) {
        width += internal::scaleToDpi(kSubmenuColumnAt96);
    }
    for (RECT &row : layout.rows) {
        row.right = width;
    }
    layout.size = SIZE{width, y};
    return layout;
}

SIZE measureMenu(const Menu &menu)
{
    HDC dc = GetDC(nullptr);
    HFONT font = createMenuFont();
    HGDIOBJ previous = SelectObject(dc, font);
    const SIZE size = layoutMenu(menu, dc).size;
    SelectObject(dc, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    return size;
}

void paintMenu(HWND window, HDC dc, const Menu &menu)
{
    HFONT font = createMenuFont();
    HGDIOBJ previous = SelectObject(dc, font);
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_MENU));
    SetBkMode(dc, TRANSPARENT);
    const Layout layout = layoutMenu(menu, dc);
    const int check = internal::scaleToDpi(kCheckColumnAt96);
    for (size_t i = 0; i < menu.items.size(); ++i) {
        const MenuItem &item = menu.items[i];
        const RECT &row = layout.rows[i];
        if (isSeparator(item)) {
            const int inset = internal::scaleToDpi(kSeparatorInsetAt96);
            const int middle = (row.top + row.bottom) / 2;
            RECT line{row.left + inset, middle, row.right - inset, middle + internal::scaleToDpi(1)};
            FillRect(dc, &line, GetSysColorBrush(COLOR_BTNSHADOW));
            continue;
        }
        const bool grayed = (item.flags & (MF_GRAYED | MF_DISABLED)) != 0;
        const COLORREF color = GetSysColor(grayed ? COLOR_GRAYTEXT : COLOR_MENUTEXT);
        SetTextColor(dc, color);
        RECT text{row.left + check, row.top, row.right, row.bottom};
        DrawTextW(dc, item.text.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
        const int height = row.bottom - row.top;
        if (item.flags & MF_CHECKED) {
            auto at = [&](int x, int y) {
                return POINT{row.left + x * check / 14, row.top + (height - check) / 2 + y * check / 14};
            };
            const POINT tick[] = {at(3, 7), at(5, 10), at(10, 4)};
            internal::strokePolyline(dc, tick, 3, color, internal::scaleToDpi(2));
        }
        if (item.flags & MF_POPUP) {
            const int size = internal::scaleToDpi(4);
            const int x = row.right - internal::scaleToDpi(kRightPaddingAt96) / 2 - size;
            const int y = (row.top + row.bottom) / 2;
            const POINT arrow[] = {{x, y - size}, {x + size, y}, {x, y + size}};
            internal::fillPolygon(dc, arrow, 3, color);
        }
    }
    SelectObject(dc, previous);
    DeleteObject(font);
}

LRESULT CALLBACK menuWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        sys().windows[window]
            = static_cast<HMENU>(reinterpret_cast<const CREATESTRUCTW *>(lParam)->lpCreateParams);
        return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        auto it = sys().windows.find(window);
        if (dc && it != sys().windows.end()) {
            if (const Menu *menu = menuOf(it->second)) {
                paintMenu(window, dc, *menu);
            }
        }
        EndPaint(window, &ps);
        return 0;
    }
    case WM_NCDESTROY: sys().windows.erase(window); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

// Where the menu window goes: the alignment flags place it against the point, then it is moved
// inside the screen (Windows moves a menu without an exclusion rectangle the same way).
RECT placeMenu(int x, int y, SIZE size, UINT flags)
{
    if (flags & TPM_RIGHTALIGN) {
        x -= size.cx;
    } else if (flags & TPM_CENTERALIGN) {
        x -= size.cx / 2;
    }
    if (flags & TPM_BOTTOMALIGN) {
        y -= size.cy;
    } else if (flags & TPM_VCENTERALIGN) {
        y -= size.cy / 2;
    }
    const SIZE screen = internal::screenSize();
    x = std::max(0, std::min<int>(x, screen.cx - size.cx));
    y = std::max(0, std::min<int>(y, screen.cy - size.cy));
    return RECT{x, y, x + size.cx, y + size.cy};
}

std::string describe(const control::MenuShown &shown)
{
    std::string list;
    for (const control::MenuItemShown &item : shown.items) {
        if (item.flags & MF_SEPARATOR) {
            continue;
        }
        list += (list.empty() ? "" : ", ") + user::quoted(item.text);
    }
    return "popup menu (" + list + ") was not answered";
}

}   // namespace

namespace internal {

void registerMenuClass()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = menuWindowProc;
    wc.lpszClassName = kMenuClass;
    RegisterClassW(&wc);
}

// Menus are the device's; handles keep counting so that an old one names nothing.
void resetMenus()
{
    sys().menus.clear();
    sys().windows.clear();
}

int liveMenuCount()
{
    return static_cast<int>(sys().menus.size());
}

}   // namespace internal

HMENU WINAPI CreatePopupMenu()
{
    return newMenu();
}

HMENU WINAPI CreateMenu()
{
    return newMenu();
}

// A string item with a null string becomes a separator, as in Wine. Bitmap and owner-drawn
// items keep their place and flags but show no text.
BOOL WINAPI AppendMenuW(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem)
{
    Menu *menu = menuOrError(hMenu);
    if (!menu) {
        return FALSE;
    }
    MenuItem item;
    item.flags = uFlags & ~static_cast<UINT>(MF_BYPOSITION);
    item.id = uIDNewItem;
    if (uFlags & MF_POPUP) {
        item.submenu = reinterpret_cast<HMENU>(uIDNewItem);
        if (!menuOf(item.submenu) || item.submenu == hMenu) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
    }
    const bool stringItem = !(uFlags & (MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW));
    if (stringItem && !lpNewItem) {
        item.flags |= MF_SEPARATOR;
    } else if (stringItem) {
        item.text = lpNewItem;
    }
    menu->items.push_back(std::move(item));
    return TRUE;
}

// Submenus go with the menu that holds them, as on Windows.
BOOL WINAPI DestroyMenu(HMENU hMenu)
{
    Menu *menu = menuOrError(hMenu);
    if (!menu) {
        return FALSE;
    }
    std::vector<HMENU> submenus;
    for (const MenuItem &item : menu->items) {
        if (item.flags & MF_POPUP) {
            submenus.push_back(item.submenu);
        }
    }
    sys().menus.erase(reinterpret_cast<uintptr_t>(hMenu));
    for (HMENU sub : submenus) {
        if (menuOf(sub)) {
            DestroyMenu(sub);
        }
    }
    return TRUE;
}

int WINAPI GetMenuItemCount(HMENU hMenu)
{
    Menu *menu = menuOrError(hMenu);
    return menu ? static_cast<int>(menu->items.size()) : -1;
}

// The exclusion rectangle is not used: the menu is only kept on the screen.
BOOL WINAPI TrackPopupMenuEx(HMENU hMenu, UINT uFlags, int x, int y, HWND hwnd, LPTPMPARAMS lptpm)
{
    if (!menuOrError(hMenu)) {
        return FALSE;
    }
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const bool notify = !(uFlags & TPM_NONOTIFY);
    if (notify) {
        SendMessageW(hwnd, WM_ENTERMENULOOP, TRUE, 0);
        SendMessageW(hwnd, WM_INITMENU, reinterpret_cast<WPARAM>(hMenu), 0);
        SendMessageW(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(hMenu), 0);
    }
    const Menu *menu = menuOf(hMenu);
    if (!menu || menu->items.empty()) {
        if (notify && IsWindow(hwnd)) {
            SendMessageW(hwnd, WM_EXITMENULOOP, TRUE, 0);
        }
        return FALSE;   // nothing to show
    }

    control::MenuShown shown;
    shown.owner = hwnd;
    shown.point = POINT{x, y};
    shown.flags = uFlags;
    for (const MenuItem &item : menu->items) {
        shown.items.push_back(control::MenuItemShown{static_cast<UINT>(item.id), item.flags, item.text});
    }
    const RECT place = placeMenu(
        x, y,
        [&] {
            RECT frame{0, 0, 0, 0};
            SIZE client = measureMenu(*menu);
            frame.right = client.cx;
            frame.bottom = client.cy;
            AdjustWindowRectEx(&frame, WS_POPUP | WS_BORDER, FALSE, WS_EX_TOPMOST);
            return SIZE{frame.right - frame.left, frame.bottom - frame.top};
        }(),
        uFlags);
    shown.window = CreateWindowExW(WS_EX_TOPMOST, kMenuClass, u"", WS_POPUP | WS_BORDER | WS_VISIBLE,
                                   place.left, place.top, place.right - place.left, place.bottom - place.top,
                                   hwnd, nullptr, nullptr, hMenu);
    if (shown.window) {
        UpdateWindow(shown.window);
    }

    control::MenuAnswer answer = user::menuAnswer();
    int choice = -1;
    std::string unanswered = describe(shown);
    if (answer) {
        choice = answer(shown);
    } else {
        unanswered += " (no user to answer it)";
    }
    if (shown.window && IsWindow(shown.window)) {
        DestroyWindow(shown.window);
    }
    if (notify && IsWindow(hwnd)) {
        SendMessageW(hwnd, WM_EXITMENULOOP, TRUE, 0);
    }

    const Menu *after = menuOf(hMenu);
    if (choice > 0 && !(after && offersCommand(*after, static_cast<UINT_PTR>(choice)))) {
        unanswered += " (no enabled item has the id " + std::to_string(choice) + ")";
        choice = -1;
    }
    if (choice < 0) {
        internal::recordUnanswered(unanswered);
        return FALSE;
    }
    if (uFlags & TPM_RETURNCMD) {
        return choice;
    }
    if (choice > 0 && IsWindow(hwnd)) {
        PostMessageW(hwnd, WM_COMMAND, static_cast<WPARAM>(choice), 0);
    }
    return TRUE;
}

BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int nReserved, HWND hWnd,
                           const RECT *prcRect)
{
    return TrackPopupMenuEx(hMenu, uFlags, x, y, hWnd, nullptr);
}
