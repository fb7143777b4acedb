// The options page: the dialog procedure the Today settings run over dialog template 500.
#ifndef DURVO_OPTIONS_PAGE_H
#define DURVO_OPTIONS_PAGE_H

#include <windows.h>

extern "C" INT_PTR CALLBACK CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                                     LPARAM lParam);

#endif
