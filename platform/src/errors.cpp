// The last-error value. The device runs everything on one thread, so one value per process is
// what a caller of GetLastError sees on Windows CE as well.
#include <windows.h>

namespace {
DWORD lastError = ERROR_SUCCESS;
}

DWORD WINAPI GetLastError()
{
    return lastError;
}

void WINAPI SetLastError(DWORD error)
{
    lastError = error;
}
