// Resource ids of the Durvo library; no number is used for two kinds of resource.
#ifndef DURVO_RESOURCE_H
#define DURVO_RESOURCE_H

// Icon groups: the item's icon in the classic look, and in the Pocket PC 2002 look.
#define IDI_DURVO 101
#define IDI_DURVO_PPC2002 105

// The options page the Today settings run over CustomItemOptionsDlgProc.
#define IDD_OPTIONS 500

// Its controls.
#define IDC_RESET_ON_FULL_CHARGE 1001
#define IDC_RESET_ON_SOFT_RESET 1002
#define IDC_BRIEF_VIEW 1003
#define IDC_DETAILED_VIEW 1004
#define IDC_LOG_SAVE 1005
#define IDC_RESET_ON_EXTERNAL_POWER 1006
#define IDC_CHARGE_SENSOR 1007
#define IDC_GATHER_APP_STATS 1008
#define IDC_ABOUT 1009
#define IDC_UNREGISTER 1010
#define IDC_PPC2002_STYLE 1012
#define IDC_FORECAST 1013
#define IDC_OFF_LEVEL 1014

// Commands of the popup menu a tap on the item opens.
#define IDM_ABOUT 1235
#define IDM_RESET_TIMER 1236
#define IDM_CREATE_REPORT 1237
#define IDM_UNREGISTER 1238
#define IDM_SETTINGS 1239

#endif
