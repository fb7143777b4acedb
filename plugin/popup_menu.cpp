#include "popup_menu.h"

#include "meter_state.h"
#include "module.h"
#include "options_page.h"
#include "report.h"
#include "resource.h"

static void confirmReset(HWND window)
{
    if (MessageBoxW(window, TEXT("Do you really want to reset timers ?"), TEXT("Reset confirmation"),
                    MB_YESNO)
        == IDYES) {
        resetTimers();
    }
}

// The options page from the library's own template, as the Today settings run it.
static void runOptionsPage(HWND window)
{
    HRSRC found = FindResourceW(moduleInstance, MAKEINTRESOURCEW(IDD_OPTIONS), RT_DIALOG);
    HGLOBAL loaded = found != NULL ? LoadResource(moduleInstance, found) : NULL;
    if (loaded != NULL) {
        DialogBoxIndirectParamW(moduleInstance, (LPCDLGTEMPLATEW)LockResource(loaded), window,
                                CustomItemOptionsDlgProc, 0);
    }
    saveMeterState();
}

int showPopupMenu(HWND window, int x, int y)
{
    RECT itemRect;
    GetWindowRect(window, &itemRect);

    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, IDM_CREATE_REPORT, TEXT("Create Durvo report"));
    AppendMenuW(menu, MF_STRING, IDM_RESET_TIMER, TEXT("Reset timer"));
    AppendMenuW(menu, MF_STRING, IDM_SETTINGS, TEXT("Settings"));
    AppendMenuW(menu, MF_STRING, IDM_ABOUT, TEXT("About"));
    AppendMenuW(menu, MF_SEPARATOR, 0, TEXT(""));
    AppendMenuW(menu, MF_STRING, IDM_UNREGISTER, TEXT("Unregister plugin"));

    // The menu's top-left corner lies at the tap; 0 means it was dismissed.
    int command = TrackPopupMenuEx(menu, TPM_RETURNCMD, itemRect.left + x, itemRect.top + y, window, NULL);
    switch (command) {
    case IDM_ABOUT: showAboutBox(window); break;
    case IDM_RESET_TIMER: confirmReset(window); break;
    case IDM_CREATE_REPORT: writeReport(ReportMode::Interactive); break;
    case IDM_UNREGISTER: unregisterPlugin(window); break;
    case IDM_SETTINGS: runOptionsPage(window); break;
    default: break;   // dismissed
    }

    // Whatever happened, a reset, a report or new settings are stored and shown at once.
    saveMeterState();
    DestroyMenu(menu);
    requestRepaint();
    return 1;
}
