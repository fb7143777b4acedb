// A stand-in for the Pocket PC shell library, which desktop Windows lacks: its one call that the
// item looks up at run time. Beside today-host.exe it is what LoadLibraryW("AYGSHELL") finds.
#include <windows.h>

#include <aygshell.h>

// The user-interface font size of a 96-dpi Pocket PC shell.
static const DWORD fontSizePixels = 12;

extern "C" HRESULT WINAPI SHGetUIMetrics(SHUIMETRIC shuim, PVOID pvBuffer, DWORD cbBufferSize,
                                         DWORD *pcbRequired)
{
    if (pcbRequired != NULL) *pcbRequired = sizeof(DWORD);
    if (shuim != SHUIM_FONTSIZE_PIXEL) return E_INVALIDARG;
    if (pvBuffer == NULL || cbBufferSize < sizeof(DWORD)) return E_INVALIDARG;
    *(DWORD *)pvBuffer = fontSizePixels;
    return S_OK;
}
