#include "options_page.h"

#include <aygshell.h>

#include "item_paint.h"
#include "item_window.h"
#include "maker.h"
#include "meter_state.h"
#include "resource.h"
#include "today_host.h"

static_assert(IDD_OPTIONS == IDD_TODAY_CUSTOM, "the Today settings run the page over template 500");

static const WCHAR todayItemKey[] = TEXT("SOFTWARE\\Microsoft\\Today\\Items\\Durvo");

// A list whose entries stand for stored values: entry i stores values[i]. Any other stored value
// shows as entry 0, and any other selection (no selection included) stores 0.
struct MappedList {
    int control;
    DWORD *setting;
    int count;
    const WCHAR *items[5];
    DWORD values[5];
};

// The entries are formats without arguments, so "%%" shows as one percent sign.
static const MappedList mappedLists[] = {
    {IDC_LOG_SAVE, &meterState.settings.logSaveMinutes, 5,
     {TEXT("Save Log on demand only"), TEXT("Save Log every 5 min."), TEXT("Save Log every 10 min."),
      TEXT("Save Log every 30 min."), TEXT("Save Log hourly")},
     {0, 5, 10, 30, 60}},
    {IDC_CHARGE_SENSOR, &meterState.settings.chargeSensor, 3,
     {TEXT("Standard Charge Sensor"), TEXT("Casio-E115 3-state Charge Sensor"),
      TEXT("Dell Axim Charge Sensor")},
     {chargeSensorStandard, chargeSensorThreeState, chargeSensorDellAxim}},
    {IDC_OFF_LEVEL, &meterState.settings.offLevel, 5,
     {TEXT("PDA turns off on drain battery"), TEXT("PDA turns off on 5%% charge"),
      TEXT("PDA turns off on 10%% charge"), TEXT("PDA turns off on 15%% charge"),
      TEXT("PDA turns off on 20%% charge")},
     {0, 5, 10, 15, 20}},
};
static const int mappedListCount = sizeof mappedLists / sizeof mappedLists[0];

// The forecast list stores its selected index itself.
static const WCHAR *const forecastItems[] = {
    TEXT("Do not forecast durvo"),
    TEXT("Forecast total durvo"),
    TEXT("Forecast time reminded"),
};
static const int forecastItemCount = sizeof forecastItems / sizeof forecastItems[0];

// A check box and the flag it edits.
struct CheckBox {
    int control;
    DWORD *setting;
};
static const CheckBox checkBoxes[] = {
    {IDC_RESET_ON_FULL_CHARGE, &meterState.settings.resetOnFullCharge},
    {IDC_RESET_ON_SOFT_RESET, &meterState.settings.resetOnSoftReset},
    {IDC_RESET_ON_EXTERNAL_POWER, &meterState.settings.resetOnExternalPower},
    {IDC_GATHER_APP_STATS, &meterState.settings.gatherAppStats},
};
static const int checkBoxCount = sizeof checkBoxes / sizeof checkBoxes[0];

static const int listItemChars = 64;

void showAboutBox(HWND owner)
{
    MessageBoxW(owner, DURVO_METER_VERSION TEXT("\n") DURVO_MAKER_NOTICE TEXT("\n") DURVO_MAKER_CONTACT,
                TEXT("About"), MB_OK);
}

int unregisterPlugin(HWND owner)
{
    // Each pair of lines is joined by a line feed and a carriage return, in that order.
    if (MessageBoxW(owner,
                    TEXT("Do you really want to unregister Durvo plugin ? \n\r")
                    TEXT("Tap \"YES\" only if you prepare to uninstal this software.\n\r")
                    TEXT("Please note: uour device may perform soft reset after unregistering."),
                    TEXT("Unregister plugin"), MB_YESNO) != IDYES) {
        return 0;
    }
    if (RegDeleteKeyW(HKEY_LOCAL_MACHINE, todayItemKey) != ERROR_SUCCESS) {
        MessageBoxW(owner, TEXT("Error unregistering plugin"), TEXT("Unregistered"), MB_OK);
        return 0;
    }
    MessageBoxW(owner,
                TEXT("Durvo plugin was successfuly unregistered. Now you may uninstal Norvane Durvo."),
                TEXT("Unregistered"), MB_OK);
    // The Today screen rebuilds its items and, the key gone, leaves ours out.
    SendMessageW(HWND_BROADCAST, WM_WININICHANGE, TODAY_REFRESH_WININICHANGE, 0);
    return 1;
}

static void addListItems(HWND dialog, int control, const WCHAR *const *items, int count)
{
    for (int i = 0; i < count; i++) {
        WCHAR text[listItemChars];
        wsprintfW(text, items[i]);
        SendDlgItemMessageW(dialog, control, CB_ADDSTRING, 0, (LPARAM)text);
    }
}

static int mappedIndex(const MappedList &list, DWORD value)
{
    for (int i = 0; i < list.count; i++) {
        if (list.values[i] == value) {
            return i;
        }
    }
    return 0;
}

static DWORD selectedIndex(HWND dialog, int control)
{
    // No selection answers CB_ERR, whose low 16 bits (65535) are kept as they are.
    return LOWORD(SendDlgItemMessageW(dialog, control, CB_GETCURSEL, 0, 0));
}

static bool isChecked(HWND dialog, int control)
{
    return SendDlgItemMessageW(dialog, control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

static INT_PTR initOptionsPage(HWND dialog)
{
    MeterSettings &settings = meterState.settings;

    SHINITDLGINFO fullScreen;
    fullScreen.dwMask = SHIDIM_FLAGS;
    fullScreen.hDlg = dialog;
    fullScreen.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
    SHInitDialog(&fullScreen);

    for (int i = 0; i < checkBoxCount; i++) {
        SendDlgItemMessageW(dialog, checkBoxes[i].control, BM_SETCHECK,
                            *checkBoxes[i].setting != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    // Where the platform has the Pocket PC 2002 look there is nothing to choose.
    if (isPpc2002StylePlatform()) {
        ShowWindow(GetDlgItem(dialog, IDC_PPC2002_STYLE), SW_HIDE);
        settings.ppc2002Style = 1;
    } else {
        SendDlgItemMessageW(dialog, IDC_PPC2002_STYLE, BM_SETCHECK,
                            settings.ppc2002Style != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    CheckRadioButton(dialog, IDC_BRIEF_VIEW, IDC_DETAILED_VIEW,
                     settings.briefView != 0 ? IDC_BRIEF_VIEW : IDC_DETAILED_VIEW);

    for (int i = 0; i < mappedListCount; i++) {
        const MappedList &list = mappedLists[i];
        addListItems(dialog, list.control, list.items, list.count);
        SendDlgItemMessageW(dialog, list.control, CB_SETCURSEL, mappedIndex(list, *list.setting), 0);
    }
    // A stored mode outside the list leaves it without a selection.
    addListItems(dialog, IDC_FORECAST, forecastItems, forecastItemCount);
    SendDlgItemMessageW(dialog, IDC_FORECAST, CB_SETCURSEL, LOWORD(settings.forecastMode), 0);
    return TRUE;
}

static INT_PTR acceptOptionsPage(HWND dialog)
{
    MeterSettings &settings = meterState.settings;

    // The usage log is kept only when gathering was on before OK and still is after it.
    if (settings.gatherAppStats == 0) {
        meterState.appCount = 0;
    }
    for (int i = 0; i < mappedListCount; i++) {
        const MappedList &list = mappedLists[i];
        DWORD index = selectedIndex(dialog, list.control);
        *list.setting = index < (DWORD)list.count ? list.values[index] : 0;
    }
    for (int i = 0; i < checkBoxCount; i++) {
        *checkBoxes[i].setting = isChecked(dialog, checkBoxes[i].control) ? 1 : 0;
    }
    settings.briefView = isChecked(dialog, IDC_BRIEF_VIEW) ? 1 : 0;
    settings.ppc2002Style =
        isPpc2002StylePlatform() || isChecked(dialog, IDC_PPC2002_STYLE) ? 1 : 0;
    settings.forecastMode = selectedIndex(dialog, IDC_FORECAST);

    // The view and the look decide the item's height, which the host asks for next.
    measureLineHeight(itemWindow);
    if (settings.gatherAppStats == 0) {
        meterState.appCount = 0;
    }
    saveMeterState();
    EndDialog(dialog, IDOK);
    return TRUE;
}

static INT_PTR onOptionsCommand(HWND dialog, int command)
{
    switch (command) {
    case IDC_UNREGISTER:
        // The page stays open whatever the answer; its settings are still saved at OK.
        unregisterPlugin(dialog);
        return FALSE;
    case IDC_ABOUT:
        showAboutBox(dialog);
        return TRUE;
    case IDOK:
        return acceptOptionsPage(dialog);
    default:
        // Cancel included: the page ends through OK only.
        return FALSE;
    }
}

extern "C" INT_PTR CALLBACK CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                                     LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return initOptionsPage(dialog);
    case WM_COMMAND:
        return onOptionsCommand(dialog, LOWORD(wParam));
    default:
        return FALSE;
    }
}
