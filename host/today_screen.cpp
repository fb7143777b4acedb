#include "today_screen.h"

#include <algorithm>
#include <limits>
#include <optional>

#include <control.h>

namespace host {
namespace {

constexpr const char16_t *kDesktopClass = u"DesktopExplorerWindow";
constexpr const char16_t *kDesktopTitle = u"Desktop";
// The Today screen asks its items for their height about every two seconds.
constexpr UINT_PTR kHeightTimer = 1;
constexpr UINT kHeightPeriodMs = 2000;
// Posted to ourselves: an item that asks for a rebuild is still on the stack when it asks.
constexpr UINT kRebuildMessage = WM_USER + 1;
constexpr DWORD kCustomItemType = 4;

using InitializeCustomItemFn = HWND(WINAPI *)(TODAYLISTITEM *, HWND);

// One Desktop window at a time: its window procedure finds the screen here.
TodayScreen *activeScreen = nullptr;

std::optional<DWORD> readDword(HKEY key, const char16_t *name)
{
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) != ERROR_SUCCESS
        || type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

std::optional<std::u16string> readString(HKEY key, const char16_t *name)
{
    WCHAR buffer[MAX_PATH]{};
    DWORD type = 0, size = sizeof buffer - sizeof(WCHAR);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size) != ERROR_SUCCESS
        || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    return std::u16string(buffer);
}

// One Today item key, as read from the registry.
struct ItemKey {
    std::u16string name;
    std::u16string dll;
    DWORD order = std::numeric_limits<DWORD>::max();   // keys without "Order" go last
    DWORD options = 0;
    DWORD flags = 0;
    bool selectable = true;
};

std::vector<ItemKey> enabledCustomItems(std::ostream &diagnostics)
{
    std::vector<ItemKey> found;
    HKEY items = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTodayItemsKey, 0, KEY_READ, &items) != ERROR_SUCCESS) return found;
    for (DWORD index = 0;; ++index) {
        WCHAR name[256]{};
        DWORD nameLength = 255;
        if (RegEnumKeyExW(items, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr)
            != ERROR_SUCCESS)
            break;
        HKEY key = nullptr;
        if (RegOpenKeyExW(items, name, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        ItemKey item;
        item.name = name;
        bool custom = readDword(key, u"Type") == kCustomItemType;
        bool enabled = readDword(key, u"Enabled").value_or(0) != 0;
        auto dll = readString(key, u"DLL");
        item.order = readDword(key, u"Order").value_or(item.order);
        item.options = readDword(key, u"Options").value_or(0);
        item.flags = readDword(key, u"Flags").value_or(0);
        item.selectable = readDword(key, u"Selectability").value_or(1) != 0;
        RegCloseKey(key);
        if (!custom || !enabled) continue;
        if (!dll || dll->empty()) {
            diagnostics << "durvo-today: Today item \"" << control::toUtf8(item.name) << "\" names no DLL\n";
            continue;
        }
        item.dll = *dll;
        found.push_back(std::move(item));
    }
    RegCloseKey(items);
    std::stable_sort(found.begin(), found.end(),
                     [](const ItemKey &a, const ItemKey &b) { return a.order < b.order; });
    return found;
}

template <size_t N> void copyInto(WCHAR (&dst)[N], const std::u16string &src)
{
    size_t n = std::min(src.size(), N - 1);
    std::copy_n(src.begin(), n, dst);
    dst[n] = 0;
}

}   // namespace

TodayScreen::TodayScreen(const ScreenLook &look, std::ostream &diagnostics)
    : look_(look), diagnostics_(diagnostics)
{ }

TodayScreen::~TodayScreen()
{
    stop();
}

bool TodayScreen::start(const std::function<void()> &beforeItemsStart)
{
    if (desktop_) return true;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = desktopProc;
    wc.hInstance = instance;
    wc.lpszClassName = kDesktopClass;
    RegisterClassW(&wc);
    activeScreen = this;
    desktop_ = CreateWindowExW(0, kDesktopClass, kDesktopTitle, WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                               look_.width, look_.height, nullptr, nullptr, instance, nullptr);
    if (!desktop_) {
        activeScreen = nullptr;
        UnregisterClassW(kDesktopClass, instance);
        return false;
    }
    SetTimer(desktop_, kHeightTimer, kHeightPeriodMs, nullptr);
    loadItems(beforeItemsStart);
    queryHeights();
    layout();
    InvalidateRect(desktop_, nullptr, TRUE);
    return true;
}

void TodayScreen::stop()
{
    if (!desktop_) return;
    KillTimer(desktop_, kHeightTimer);
    unloadItems();
    DestroyWindow(desktop_);
    desktop_ = nullptr;
    UnregisterClassW(kDesktopClass, GetModuleHandleW(nullptr));
    if (activeScreen == this) activeScreen = nullptr;
}

std::vector<TodayScreen::ItemView> TodayScreen::items() const
{
    std::vector<ItemView> views;
    for (const Item &item : items_)
        views.push_back({item.record->szName, item.window,
                         RECT{0, item.top, look_.width, item.top + item.height}, item.module,
                         item.record->fOptions != 0});
    return views;
}

void TodayScreen::loadItems(const std::function<void()> &beforeItemsStart)
{
    std::vector<Item> loaded;
    for (const ItemKey &key : enabledCustomItems(diagnostics_)) {
        HMODULE module = LoadLibraryW(key.dll.c_str());
        if (!module) {
            diagnostics_ << "durvo-today: cannot load " << control::toUtf8(key.dll) << " for Today item \""
                         << control::toUtf8(key.name) << "\" (error " << GetLastError() << ")\n";
            continue;
        }
        Item item;
        item.module = module;
        item.selectable = key.selectable;
        item.record = std::make_unique<TODAYLISTITEM>();
        TODAYLISTITEM &r = *item.record;
        copyInto(r.szName, key.name);
        r.tlit = tlitCustom;
        r.dwOrder = key.order == std::numeric_limits<DWORD>::max() ? 0 : key.order;
        r.fEnabled = TRUE;
        r.fOptions = key.options != 0;
        r.grflags = key.flags;
        copyInto(r.szDLLPath, key.dll);
        r.hinstDLL = module;
        loaded.push_back(std::move(item));
    }
    if (beforeItemsStart) beforeItemsStart();
    for (Item &item : loaded) {
        FARPROC proc = GetProcAddressW(item.module, MAKEINTRESOURCEW(ORDINAL_INITIALIZE_CUSTOM_ITEM));
        // An export's real type is known only to its caller, as with any GetProcAddress.
        auto init = reinterpret_cast<InitializeCustomItemFn>(reinterpret_cast<void (*)()>(proc));
        if (!init) {
            diagnostics_ << "durvo-today: " << control::toUtf8(item.record->szDLLPath) << " has no export "
                         << ORDINAL_INITIALIZE_CUSTOM_ITEM << "\n";
            FreeLibrary(item.module);
            continue;
        }
        item.window = init(item.record.get(), desktop_);
        item.record->hwndCustom = item.window;
        if (!item.window) {   // the item chose not to be shown
            FreeLibrary(item.module);
            continue;
        }
        items_.push_back(std::move(item));
    }
}

void TodayScreen::unloadItems()
{
    // Windows first: a library's window procedure must not outlive its code.
    for (Item &item : items_)
        if (IsWindow(item.window)) DestroyWindow(item.window);
    for (Item &item : items_) FreeLibrary(item.module);
    items_.clear();
    selected_ = nullptr;
}

void TodayScreen::queryHeights()
{
    bool changed = false;
    for (Item &item : items_) {
        LRESULT answer = SendMessageW(item.window, WM_TODAYCUSTOM_QUERYREFRESHCACHE,
                                      reinterpret_cast<WPARAM>(item.record.get()), 0);
        if (answer != 0 || static_cast<int>(item.record->cyp) != item.height) changed = true;
    }
    if (changed) layout();
}

void TodayScreen::layout()
{
    int top = look_.itemsTop();
    for (Item &item : items_) {
        item.top = top;
        item.height = static_cast<int>(item.record->cyp);
        MoveWindow(item.window, 0, item.top, look_.width, item.height, TRUE);
        top += item.height;
    }
    if (desktop_) InvalidateRect(desktop_, nullptr, TRUE);
}

void TodayScreen::refreshHeader()
{
    if (!desktop_ || currentHeader() == shownHeader_) return;
    RECT header = headerRect(look_);
    InvalidateRect(desktop_, &header, FALSE);
}

void TodayScreen::paint()
{
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(desktop_, &ps);
    shownHeader_ = currentHeader();
    if (dc) paintScreen(dc, look_, shownHeader_);
    EndPaint(desktop_, &ps);
}

const TodayScreen::Item *TodayScreen::itemOf(HWND window) const
{
    for (const Item &item : items_)
        if (item.window == window) return &item;
    return nullptr;
}

void TodayScreen::drawWatermark(const TODAYDRAWWATERMARKINFO &info)
{
    // The item's client area sits at its slot on the screen; an unknown window gets the
    // background as if it sat at the top of the item area.
    const Item *item = itemOf(info.hwnd);
    POINT origin{0, item ? item->top : look_.itemsTop()};
    RECT area = info.rc;
    OffsetRect(&area, origin.x, origin.y);
    paintBackground(info.hdc, look_, area, origin);
}

void TodayScreen::select(HWND itemWindow)
{
    const Item *item = itemOf(itemWindow);
    if (!item || !item->selectable || selected_ == itemWindow) return;
    takeSelection(itemWindow);
    SendMessageW(itemWindow, WM_TODAYCUSTOM_RECEIVEDSELECTION, 0, 0);
}

void TodayScreen::holdRebuild(bool hold)
{
    rebuildHeld_ = hold;
    if (!hold && rebuildPending_) rebuild();
}

void TodayScreen::rebuild()
{
    rebuildPending_ = false;
    unloadItems();
    loadItems({});
    queryHeights();
    layout();
}

void TodayScreen::takeSelection(HWND itemWindow)
{
    const Item *item = itemOf(itemWindow);
    if (!item || !item->selectable || selected_ == itemWindow) return;
    if (selected_ && IsWindow(selected_)) SendMessageW(selected_, WM_TODAYCUSTOM_LOSTSELECTION, 0, 0);
    selected_ = itemWindow;
}

LRESULT CALLBACK TodayScreen::desktopProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (activeScreen && activeScreen->desktop_ == window)
        return activeScreen->handle(message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TodayScreen::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: paint(); return 0;
    case WM_ERASEBKGND: return 1;   // WM_PAINT covers every pixel
    case WM_TIMER:
        if (wParam == kHeightTimer) {
            queryHeights();
            refreshHeader();
        }
        return 0;
    case TODAYM_GETCOLOR: return wParam == TODAYCOLOR_TEXT ? static_cast<LRESULT>(itemTextColour()) : 0;
    case TODAYM_DRAWWATERMARK:
        if (lParam) drawWatermark(*reinterpret_cast<const TODAYDRAWWATERMARKINFO *>(lParam));
        return TRUE;
    case TODAYM_TOOKSELECTION: takeSelection(reinterpret_cast<HWND>(wParam)); return 0;
    case WM_WININICHANGE:
        if (wParam == TODAY_REFRESH_WININICHANGE) {
            rebuildPending_ = true;
            PostMessageW(desktop_, kRebuildMessage, 0, 0);
        }
        return 0;
    case kRebuildMessage:
        if (rebuildPending_ && !rebuildHeld_) rebuild();
        return 0;
    default: return DefWindowProcW(desktop_, message, wParam, lParam);
    }
}

}   // namespace host
