// aygshell.h — the Pocket PC shell extension library's declarations that Durvo uses.
// "SHGetUIMetrics" is looked up at run time in "AYGSHELL" (it is absent on older shells);
// SHInitDialog is linked.
#ifndef DURVO_CE_AYGSHELL_H
#define DURVO_CE_AYGSHELL_H

#include <windows.h>

typedef enum {
    SHUIM_INVALID = 0,
    SHUIM_FONTSIZE_POINT = 1,
    SHUIM_FONTSIZE_PIXEL = 2,
    SHUIM_FONTSIZE_PERCENTAGE = 3,
} SHUIMETRIC;

// The shell's calls are WINAPI (__stdcall on 32-bit x86): a pointer of the C convention would
// leave the stack off by the arguments' size after every call.
extern "C" HRESULT WINAPI SHGetUIMetrics(SHUIMETRIC shuim, PVOID pvBuffer, DWORD cbBufferSize,
                                         DWORD *pcbRequired);
typedef HRESULT(WINAPI *PFN_SHGetUIMetrics)(SHUIMETRIC shuim, PVOID pvBuffer, DWORD cbBufferSize,
                                            DWORD *pcbRequired);
static_assert(__is_same(PFN_SHGetUIMetrics, decltype(&SHGetUIMetrics)),
              "the pointer type has the call's convention");

// SHInitDialog: a full-screen dialog with the OK button in its caption.
#define SHIDIM_FLAGS 0x0001

#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010
#define SHIDIF_EMPTYMENU 0x0020

typedef struct tagSHINITDIALOG {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
} SHINITDLGINFO, *PSHINITDLGINFO;

extern "C" BOOL WINAPI SHInitDialog(PSHINITDLGINFO pshidi);

#endif
