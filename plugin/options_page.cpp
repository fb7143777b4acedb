#include "options_page.h"

#include <aygshell.h>
#include <today_host.h>

#include "item_paint.h"
#include "maker.h"
#include "meter_state.h"
#include "module.h"
#include "resource.h"

static_assert(IDD_OPTIONS == IDD_TODAY_CUSTOM, "the Today settings run the page over template 500");

static const WCHAR todayItemKey[] = TEXT("SOFTWARE\\Microsoft\\Today\\Items\\Durvo");

// The mapped lists store the value of the selected entry: a stored value no entry stands for
// shows as entry 0, and any other selection (no selection included) stores 0.
static const DWORD logSaveValues[] = {0, 5, 10, 30, 60};
static const DWORD chargeSensorValues[]
    = {chargeSensorStandard, chargeSensorThreeState, chargeSensorDellAxim};
static const DWORD offLevelValues[] = {0, 5, 10, 15, 20};

// A list of the page and the setting it edits.
struct OptionList {
    int control;
    DWORD *setting;
    int count;
    const WCHAR *items[5];
    const DWORD *values;   // NULL: the selected index is stored as it is
};

// In the order the page fills them. The entries are formats without arguments, so "%%" shows
// as one percent sign.
enum { logSaveList, chargeSensorList, forecastList, offLevelList, optionListCount };
static const OptionList optionLists[optionListCount] = {
    {IDC_LOG_SAVE,
     &meterState.settings.logSaveMinutes,
     5,
     {TEXT("Save Log on demand only"), TEXT("Save Log every 5 min."), TEXT("Save Log every 10 min."),
      TEXT("Save Log every 30 min."), TEXT("Save Log hourly")},
     logSaveValues},
    {IDC_CHARGE_SENSOR,
     &meterState.settings.chargeSensor,
     3,
     {TEXT("Standard Charge Sensor"), TEXT("Casio-E115 3-state Charge Sensor"),
      TEXT("Dell Axim Charge Sensor")},
     chargeSensorValues},
    // A stored mode outside the list leaves it without a selection. Spelling as users know it
    // ("reminded" for remaining): keep.
    {IDC_FORECAST,
     &meterState.settings.forecastMode,
     3,
     {TEXT("Do not forecast durvo"), TEXT("Forecast total durvo"), TEXT("Forecast time reminded")},
     NULL},
    {IDC_OFF_LEVEL,
     &meterState.settings.offLevel,
     5,
     {TEXT("PDA turns off on drain battery"), TEXT("PDA turns off on 5%% charge"),
      TEXT("PDA turns off on 10%% charge"), TEXT("PDA turns off on 15%% charge"),
      TEXT("PDA turns off on 20%% charge")},
     offLevelValues},
};

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
    // Each pair of lines is joined by a line feed and a carriage return, in that order. Spelling
    // as users know it ("uninstal", "uour", "successfuly"; the failure's title "Unregistered"):
    // keep.
    static const WCHAR question[]
        = TEXT("Do you really want to unregister Durvo plugin ? \n\r"
               "Tap \"YES\" only if you prepare to uninstal this software.\n\r"
               "Please note: uour device may perform soft reset after unregistering.");
    if (MessageBoxW(owner, question, TEXT("Unregister plugin"), MB_YESNO) != IDYES) {
        return 0;
    }
    if (RegDeleteKeyW(HKEY_LOCAL_MACHINE, todayItemKey) != ERROR_SUCCESS) {
        MessageBoxW(owner, TEXT("Error unregistering plugin"), TEXT("Unregistered"), MB_OK);
        return 0;
    }
    MessageBoxW(owner, TEXT("Durvo plugin was successfuly unregistered. Now you may uninstal Norvane Durvo."),
                TEXT("Unregistered"), MB_OK);
    // The Today screen rebuilds its items and, the key gone, leaves ours out.
    SendMessageW(HWND_BROADCAST, WM_WININICHANGE, TODAY_REFRESH_WININICHANGE, 0);
    return 1;
}

static void showList(HWND dialog, const OptionList &list)
{
    for (int i = 0; i < list.count; i++) {
        WCHAR text[listItemChars];
        wsprintfW(text, list.items[i]);
        SendDlgItemMessageW(dialog, list.control, CB_ADDSTRING, 0, (LPARAM)text);
    }
    int index = 0;
    if (list.values == NULL) {
        index = LOWORD(*list.setting);
    } else {
        for (int i = 0; i < list.count; i++) {
            if (list.values[i] == *list.setting) {
                index = i;
                break;
            }
        }
    }
    SendDlgItemMessageW(dialog, list.control, CB_SETCURSEL, index, 0);
}

static void storeList(HWND dialog, const OptionList &list)
{
    // No selection answers CB_ERR, whose low 16 bits (65535) are kept as they are.
    DWORD index = LOWORD(SendDlgItemMessageW(dialog, list.control, CB_GETCURSEL, 0, 0));
    if (list.values == NULL) {
        *list.setting = index;
    } else {
        *list.setting = index < (DWORD)list.count ? list.values[index] : 0;
    }
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

    for (int i = 0; i < optionListCount; i++) {
        showList(dialog, optionLists[i]);
    }
    return TRUE;
}

static INT_PTR acceptOptionsPage(HWND dialog)
{
    MeterSettings &settings = meterState.settings;

    // The usage log is kept only when gathering was on before OK and still is after it.
    if (settings.gatherAppStats == 0) {
        meterState.appCount = 0;
    }
    storeList(dialog, optionLists[logSaveList]);
    storeList(dialog, optionLists[chargeSensorList]);
    for (int i = 0; i < checkBoxCount; i++) {
        *checkBoxes[i].setting = isChecked(dialog, checkBoxes[i].control) ? 1 : 0;
    }
    settings.briefView = isChecked(dialog, IDC_BRIEF_VIEW) ? 1 : 0;
    settings.ppc2002Style = isPpc2002StylePlatform() || isChecked(dialog, IDC_PPC2002_STYLE) ? 1 : 0;
    storeList(dialog, optionLists[forecastList]);
    storeList(dialog, optionLists[offLevelList]);

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
    case IDC_ABOUT: showAboutBox(dialog); return TRUE;
    case IDOK: return acceptOptionsPage(dialog);
    default:
        // Cancel included: the page ends through OK only.
        return FALSE;
    }
}

extern "C" INT_PTR CALLBACK CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: return initOptionsPage(dialog);
    case WM_COMMAND: return onOptionsCommand(dialog, LOWORD(wParam));
    default: return FALSE;
    }
}
