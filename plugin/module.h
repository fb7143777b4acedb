// What every part of the library reaches: its module handle and the Today item's window.
#ifndef DURVO_MODULE_H
#define DURVO_MODULE_H

#include <windows.h>

extern HINSTANCE moduleInstance;
extern HWND itemWindow;   // the window of the last item initialisation, or null

// Invalidates the whole item window, one pixel below it included. Returns 0 without a window.
LRESULT requestRepaint();

#endif
