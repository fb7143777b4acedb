// The popup menu a tap on the item opens, and its commands.
#ifndef DURVO_POPUP_MENU_H
#define DURVO_POPUP_MENU_H

#include <windows.h>

// Opens the menu with its top-left corner at client point (x, y) of the item window and
// carries out the chosen command. Returns 1.
int showPopupMenu(HWND window, int x, int y);

#endif
