// For Windows builds of the plug-in: the real <windows.h>, plus the few Windows CE calls and
// values that desktop Windows lacks (their implementations are in platform/win32/ce_calls.cpp).
#ifndef DURVO_WIN32_CE_WINDOWS_H
#define DURVO_WIN32_CE_WINDOWS_H

#include_next <windows.h>

#ifndef SPI_GETPLATFORMTYPE
#define SPI_GETPLATFORMTYPE 257
#endif

// The resource compiler preprocesses as C and needs none of the C++ declarations below.
#ifndef RC_INVOKED
#include <ce_power.h>

// Windows CE names its exports in UTF-16; desktop Windows only has the 8-bit GetProcAddress.
extern "C" FARPROC WINAPI GetProcAddressW(HMODULE module, LPCWSTR procName);
#endif

#endif
