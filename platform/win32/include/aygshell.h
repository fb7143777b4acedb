// The Pocket PC shell extension declarations Durvo uses, for Windows builds (desktop Windows has
// no aygshell.h).
#ifndef DURVO_WIN32_AYGSHELL_H
#define DURVO_WIN32_AYGSHELL_H

#include <windows.h>

typedef enum {
    SHUIM_INVALID = 0,
    SHUIM_FONTSIZE_POINT = 1,
    SHUIM_FONTSIZE_PIXEL = 2,
    SHUIM_FONTSIZE_PERCENTAGE = 3,
} SHUIMETRIC;

typedef HRESULT (*PFN_SHGetUIMetrics)(SHUIMETRIC shuim, PVOID pvBuffer, DWORD cbBufferSize,
                                      DWORD *pcbRequired);

#endif
