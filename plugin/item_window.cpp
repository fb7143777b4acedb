#include "item_window.h"

#include "item_paint.h"
#include "meter_state.h"
#include "module.h"
#include "popup_menu.h"
#include "tick.h"

UINT uiMetricChangeMessage;

static LPCWSTR const itemClassName = TEXT("DURVOR");

// Where the action key opens the menu, in client coordinates of the item.
const int actionMenuX = 20;
const int actionMenuY = 10;

BOOL registerItemClass()
{
    setDefaultSettings();
    resetTimers();
    loadMeterState();

    WNDCLASSW windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = itemWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = moduleInstance;
    windowClass.hIcon = NULL;
    windowClass.hCursor = NULL;
    // In the Pocket PC 2002 look the host paints its watermark behind the item instead.
    windowClass.hbrBackground
        = meterState.settings.ppc2002Style == 1 ? NULL : CreateSolidBrush(GetSysColor(COLOR_WINDOW));
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = itemClassName;

    // A registered class owns its brush and deletes it when unregistered. While windows of the
    // class still exist the old class stays and the new brush would belong to no one.
    UnregisterClassW(itemClassName, moduleInstance);
    if (RegisterClassW(&windowClass) == 0 && windowClass.hbrBackground != NULL)
        DeleteObject(windowClass.hbrBackground);
    return TRUE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        moduleInstance = instance;
        registerItemClass();
        return TRUE;
    case DLL_PROCESS_DETACH:
        // Nothing is saved: the tick saved at most 30 s ago.
        UnregisterClassW(itemClassName, moduleInstance);
        return TRUE;
    default: return TRUE;
    }
}

extern "C" HWND WINAPI InitializeCustomItem(TODAYLISTITEM *item, HWND parent)
{
    if (item == NULL || item->fEnabled == 0) return NULL;
    moduleInstance = item->hinstDLL;
    registerItemClass();

    // The charge level is unknown until the first tick reads the battery.
    PowerSample unknownPower = {};
    unknownPower.BatteryLifePercent = chargeLevelUnknown;
    meterState.powerNow = unknownPower;
    meterState.powerShown = unknownPower;

    uiMetricChangeMessage = RegisterWindowMessageW(SH_UIMETRIC_CHANGE);
    // The host sizes the item from lineHeight before the item window exists.
    measureLineHeight(parent);

    itemWindow = CreateWindowExW(0, itemClassName, TEXT("Durvo"), WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                                 NULL, moduleInstance, NULL);
    return itemWindow;
}

static LRESULT onCreate(HWND window)
{
    meterState.ticksSinceSave = 0;
    loadMeterState();
    if (meterState.settings.resetOnSoftReset == 1) resetTimers();
    SetTimer(window, tickTimerId, tickPeriodMs, NULL);
    return 0;
}

static LRESULT onEraseBackground(HWND window, HDC dc)
{
    TODAYDRAWWATERMARKINFO watermark;
    watermark.hdc = dc;
    GetClientRect(window, &watermark.rc);
    watermark.hwnd = window;
    SendMessageW(GetParent(window), TODAYM_DRAWWATERMARK, 0, (LPARAM)&watermark);
    return 1;
}

// The host asks whether the item's height changed; the item never resizes itself.
static LRESULT onQueryRefresh(TODAYLISTITEM *item)
{
    if (item == NULL) return FALSE;
    DWORD height = (DWORD)(lineHeight + 1);
    if (item->cyp == height) return FALSE;
    requestRepaint();
    item->cyp = height;
    return TRUE;
}

LRESULT CALLBACK itemWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (uiMetricChangeMessage != 0 && message == uiMetricChangeMessage) {
        measureLineHeight(window);
        return 0;
    }

    switch (message) {
    case WM_CREATE: return onCreate(window);
    case WM_DESTROY:
        // Nothing is saved: the tick saved at most 30 s ago.
        KillTimer(window, tickTimerId);
        if (window == itemWindow)
            itemWindow = NULL;   // a later repaint request must not reach a reused handle
        return 0;
    case WM_PAINT: paintItem(window); return 0;
    case WM_ERASEBKGND:
        // Read at every erase, so a style switched on the options page shows at once.
        if (meterState.settings.ppc2002Style == 1) return onEraseBackground(window, (HDC)wParam);
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_TIMER:
        if (wParam == tickTimerId) meterTick();
        return 0;
    case WM_LBUTTONDOWN:
        PostMessageW(GetParent(window), TODAYM_TOOKSELECTION, (WPARAM)window, (LPARAM)window);
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_LBUTTONUP: showPopupMenu(window, LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_TODAYCUSTOM_QUERYREFRESHCACHE: return onQueryRefresh((TODAYLISTITEM *)wParam);
    case WM_TODAYCUSTOM_RECEIVEDSELECTION:
    case WM_TODAYCUSTOM_LOSTSELECTION: return TRUE;
    case WM_TODAYCUSTOM_USERNAVIGATION: return FALSE;
    case WM_TODAYCUSTOM_ACTION: showPopupMenu(window, actionMenuX, actionMenuY); return FALSE;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}
