#include "module.h"

HINSTANCE moduleInstance;
HWND itemWindow;

LRESULT requestRepaint()
{
    if (itemWindow == NULL) return 0;
    RECT rect;
    GetClientRect(itemWindow, &rect);
    rect.bottom += 1;
    return InvalidateRect(itemWindow, &rect, TRUE);
}
