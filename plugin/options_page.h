// The options page: the dialog procedure the Today settings run over dialog template 500, and
// unregistering the item from the Today screen.
#ifndef DURVO_OPTIONS_PAGE_H
#define DURVO_OPTIONS_PAGE_H

#include <windows.h>

extern "C" INT_PTR CALLBACK CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Asks, then deletes the Today item key and has the Today screen drop the item. Message boxes
// are owned by `owner`. Returns 1 when the key was deleted, else 0.
int unregisterPlugin(HWND owner);

// The About box, owned by `owner`: the version and the maker's notice and contact lines.
void showAboutBox(HWND owner);

#endif
