#include "item_window.h"

HWND itemWindow;
HINSTANCE moduleInstance;
UINT uiMetricChangeMessage;

// The item window is not built yet: there is nothing to repaint.
LRESULT requestRepaint()
{
    return 0;
}
