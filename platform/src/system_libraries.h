// The device's system libraries as a loaded CE library sees them: which calls COREDLL.dll and
// AYGSHELL.dll offer, and the address each import is bound to.
#ifndef DURVO_PLATFORM_SYSTEM_LIBRARIES_H
#define DURVO_PLATFORM_SYSTEM_LIBRARIES_H

#include <windows.h>
#include <aygshell.h>

#include <string_view>

namespace internal {

// True for the libraries the system provides in its tables ("coredll.dll", any case).
bool isSystemLibrary(std::string_view library);

// The address a call of a system library is bound to, or null when the library does not offer
// it. On the ARM device it is the call's entry thunk, which takes a call from CE code (a stack
// aligned to 4 bytes only) into this platform's code (which needs 8); elsewhere it is the call.
FARPROC systemCall(std::string_view library, std::string_view call);

// The entry thunk for a call of this platform that CE code calls (the call itself where no thunk
// is needed); made once per call.
FARPROC entryThunk(FARPROC call);

// SHGetUIMetrics, which AYGSHELL gives out only through GetProcAddressW (modules.cpp).
HRESULT shGetUIMetrics(SHUIMETRIC shuim, PVOID pvBuffer, DWORD cbBufferSize, DWORD *pcbRequired);

}   // namespace internal

#endif
