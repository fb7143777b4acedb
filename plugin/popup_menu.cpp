#include "popup_menu.h"

// The menu is not built yet: a tap does nothing.
int showPopupMenu(HWND window, int x, int y)
{
    return 1;
}
