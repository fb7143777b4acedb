#include "options_page.h"

// The options page is not built yet: every message goes unhandled.
extern "C" INT_PTR CALLBACK CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                                     LPARAM lParam)
{
    return FALSE;
}
