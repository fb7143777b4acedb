// The Windows CE calls the plug-in makes that desktop Windows lacks, built from their nearest
// desktop equivalents, so that the plug-in links into a real Windows DLL.
#include <windows.h>

#include <aygshell.h>

extern "C" DWORD WINAPI GetSystemPowerStatusEx2(PSYSTEM_POWER_STATUS_EX2 status, DWORD length, BOOL update)
{
    SYSTEM_POWER_STATUS desktop;
    if (status == NULL || !GetSystemPowerStatus(&desktop)) return 0;
    SYSTEM_POWER_STATUS_EX2 full;
    ZeroMemory(&full, sizeof full);
    full.ACLineStatus = desktop.ACLineStatus;
    full.BatteryFlag = desktop.BatteryFlag;
    full.BatteryLifePercent = desktop.BatteryLifePercent;
    full.BatteryLifeTime = desktop.BatteryLifeTime;
    full.BatteryFullLifeTime = desktop.BatteryFullLifeTime;
    full.BackupBatteryFlag = BATTERY_FLAG_UNKNOWN;
    full.BackupBatteryLifePercent = BATTERY_PERCENTAGE_UNKNOWN;
    DWORD copied = length < sizeof full ? length : (DWORD)sizeof full;
    CopyMemory(status, &full, copied);
    return copied;
}

extern "C" FARPROC WINAPI GetProcAddressW(HMODULE module, LPCWSTR procName)
{
    if (IS_INTRESOURCE(procName)) return GetProcAddress(module, (LPCSTR)procName);
    char name[256];
    int i = 0;
    for (; procName[i] != 0; i++) {
        if (i == (int)sizeof name - 1 || procName[i] > 0x7f) return NULL;   // export names are ASCII
        name[i] = (char)procName[i];
    }
    name[i] = 0;
    return GetProcAddress(module, name);
}

// ---- SHInitDialog ----------------------------------------------------------------------------
// Desktop Windows has no Pocket PC shell. The full-screen flags fill the work area, and the
// Done button becomes the caption's close box: closing sends WM_COMMAND IDOK, as a tap on the
// device's "ok" would.

static const WCHAR doneButtonProp[] = L"DurvoCeDoneButtonProc";

static LRESULT CALLBACK doneButtonProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC previous = (WNDPROC)GetPropW(dialog, doneButtonProp);
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return 0;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(dialog, GWLP_WNDPROC, (LONG_PTR)previous);
        RemovePropW(dialog, doneButtonProp);
    }
    return CallWindowProcW(previous, dialog, message, wParam, lParam);
}

extern "C" BOOL WINAPI SHInitDialog(PSHINITDLGINFO pshidi)
{
    if (pshidi == NULL || !IsWindow(pshidi->hDlg)) return FALSE;
    if (!(pshidi->dwMask & SHIDIM_FLAGS)) return TRUE;
    HWND dialog = pshidi->hDlg;
    DWORD flags = pshidi->dwFlags;
    if (flags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR)) {
        RECT work;
        if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
            SetWindowPos(dialog, NULL, work.left, work.top, work.right - work.left, work.bottom - work.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if ((flags & SHIDIF_DONEBUTTON) && GetPropW(dialog, doneButtonProp) == NULL) {
        LONG style = GetWindowLongW(dialog, GWL_STYLE);
        SetWindowLongW(dialog, GWL_STYLE, style | WS_CAPTION | WS_SYSMENU);
        SetPropW(dialog, doneButtonProp, (HANDLE)GetWindowLongPtrW(dialog, GWLP_WNDPROC));
        SetWindowLongPtrW(dialog, GWLP_WNDPROC, (LONG_PTR)doneButtonProc);
        SetWindowPos(dialog, NULL, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
    return TRUE;
}
