// The Today item window: library entry, item initialisation (ordinal 240), window procedure.
#ifndef DURVO_ITEM_WINDOW_H
#define DURVO_ITEM_WINDOW_H

#include <windows.h>

extern HWND itemWindow;
extern HINSTANCE moduleInstance;
extern UINT uiMetricChangeMessage;

LRESULT requestRepaint();

#endif
