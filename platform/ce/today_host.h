// The Today screen's contract with the items it hosts: the item record, the messages the host
// sends an item window and those the item sends its parent. Items and hosts both include it.
#ifndef DURVO_CE_TODAY_HOST_H
#define DURVO_CE_TODAY_HOST_H

#include <windows.h>

// ---- The host's item record ------------------------------------------------------------------

#define MAX_ITEMNAME 32

typedef enum _TODAYLISTITEMTYPE {
    tlitOwnerInfo = 0,
    tlitAppointments,
    tlitMail,
    tlitTasks,
    tlitCustom,
    tlitNil,
} TODAYLISTITEMTYPE;

// The published layout of the host's record. Only cyp, fEnabled and hinstDLL are touched.
// The fields before hinstDLL are all 4-byte values and WCHAR arrays, so the offsets are the
// same on every build; hinstDLL lands at 608, which is a multiple of 8 as well as of 4, so a
// 64-bit pointer needs no padding before it. Behind hinstDLL a 64-bit build lays the rest out
// with its own pointer sizes; nothing of ours reads it.
typedef struct _TODAYLISTITEM {
    WCHAR szName[MAX_ITEMNAME];
    TODAYLISTITEMTYPE tlit;
    DWORD dwOrder;
    DWORD cyp;   // item height in pixels, written on the refresh query
    BOOL fEnabled;
    BOOL fOptions;
    DWORD grflags;
    WCHAR szDLLPath[MAX_PATH];
    HINSTANCE hinstDLL;
    HWND hwndCustom;
    BOOL fSizeOnDraw;
    BYTE *prgbCachedData;
    DWORD cbCachedData;
} TODAYLISTITEM, *PTODAYLISTITEM;

static_assert(sizeof(WCHAR) == 2, "the record's strings are UTF-16");
static_assert(sizeof(TODAYLISTITEMTYPE) == 4, "tlit is a 4-byte enum");
static_assert(FIELD_OFFSET(TODAYLISTITEM, cyp) == 72, "published offset of cyp");
static_assert(FIELD_OFFSET(TODAYLISTITEM, fEnabled) == 76, "published offset of fEnabled");
static_assert(FIELD_OFFSET(TODAYLISTITEM, hinstDLL) == 608, "published offset of hinstDLL");

// ---- Host to item window ---------------------------------------------------------------------

#define WM_TODAYCUSTOM_CLEARCACHE (WM_USER + 242)          // 1266
#define WM_TODAYCUSTOM_QUERYREFRESHCACHE (WM_USER + 243)   // 1267, wParam = TODAYLISTITEM *
#define WM_TODAYCUSTOM_RECEIVEDSELECTION (WM_USER + 244)   // 1268
#define WM_TODAYCUSTOM_LOSTSELECTION (WM_USER + 245)       // 1269
#define WM_TODAYCUSTOM_USERNAVIGATION (WM_USER + 246)      // 1270
#define WM_TODAYCUSTOM_ACTION (WM_USER + 247)              // 1271

// ---- Item window to its parent, the host -----------------------------------------------------

#define TODAYM_GETCOLOR (WM_USER + 100)        // 1124, sent; wParam = TODAYCOLOR_*
#define TODAYM_DRAWWATERMARK (WM_USER + 101)   // 1125, sent; lParam = TODAYDRAWWATERMARKINFO *
#define TODAYM_TOOKSELECTION (WM_USER + 102)   // 1126, posted; wParam = lParam = item window

#define TODAYCOLOR_TEXT 0x10000004

typedef struct {
    HDC hdc;
    RECT rc;
    HWND hwnd;
} TODAYDRAWWATERMARKINFO;

// The registered message the shell broadcasts when the user-interface font size changes.
#define SH_UIMETRIC_CHANGE TEXT("SH_UIMETRIC_CHANGE")

// wParam of a WM_WININICHANGE broadcast that makes the host rebuild its item list.
#define TODAY_REFRESH_WININICHANGE 0xF2

// The exports of an item library, which the host reaches by ordinal only.
#define ORDINAL_INITIALIZE_CUSTOM_ITEM 240
#define ORDINAL_CUSTOM_ITEM_OPTIONS 241

// The dialog template the Today settings run export 241 over.
#define IDD_TODAY_CUSTOM 500

#endif
