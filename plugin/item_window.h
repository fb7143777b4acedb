// The library's front door: process attach and detach, the item initialisation the Today
// screen calls at ordinal 240, and the Today item window.
#ifndef DURVO_ITEM_WINDOW_H
#define DURVO_ITEM_WINDOW_H

#include <windows.h>
#include <today_host.h>

extern UINT uiMetricChangeMessage;   // the number of the registered "SH_UIMETRIC_CHANGE"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
extern "C" HWND WINAPI InitializeCustomItem(TODAYLISTITEM *item, HWND parent);

// Loads the state afresh and (re)registers the item window class "DURVOR". Returns TRUE.
BOOL registerItemClass();

LRESULT CALLBACK itemWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
