// SHInitDialog, the Pocket PC shell's set-up of a full-screen dialog.
//
// The screen here has no separate navigation bar window: a dialog's caption is drawn as tall as
// the navigation bar, across the top of the screen, where the device shows the dialog's title.
// So "full screen" is the whole width and the screen's height less the menu bar at the bottom
// (26 pixels at 96 dpi), or the whole screen with SHIDIF_FULLSCREENNOMENUBAR. There is no soft
// input panel, so SHIDIF_SIZEDLG sizes as SHIDIF_SIZEDLGFULLSCREEN and SHIDIF_SIPDOWN changes
// nothing. SHIDIF_DONEBUTTON puts the OK button in the caption (WS_EX_CAPTIONOKBTN), adding a
// caption if the dialog has none; a tap on it sends WM_COMMAND IDOK.
#include <aygshell.h>

#include "internal.h"

namespace {

constexpr int kMenuBarHeightAt96 = 26;

}   // namespace

extern "C" BOOL WINAPI SHInitDialog(PSHINITDLGINFO pshidi)
{
    if (!pshidi || !IsWindow(pshidi->hDlg)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!(pshidi->dwMask & SHIDIM_FLAGS)) {
        return TRUE;
    }
    HWND dialog = pshidi->hDlg;
    const DWORD flags = pshidi->dwFlags;
    internal::noteShellFlags(dialog, flags);
    if (flags & SHIDIF_DONEBUTTON) {
        const DWORD style = static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE));
        const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE));
        SetWindowLongW(dialog, GWL_STYLE, static_cast<LONG>(style | WS_CAPTION));
        SetWindowLongW(dialog, GWL_EXSTYLE, static_cast<LONG>(exStyle | WS_EX_CAPTIONOKBTN));
    }
    if (flags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR)) {
        const SIZE screen = internal::screenSize();
        const int menuBar
            = (flags & SHIDIF_FULLSCREENNOMENUBAR) ? 0 : internal::scaleToDpi(kMenuBarHeightAt96);
        SetWindowPos(dialog, nullptr, 0, 0, screen.cx, screen.cy - menuBar, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return TRUE;
}
