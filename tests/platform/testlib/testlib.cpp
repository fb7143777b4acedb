// Testlib: a library for the module tests. It keeps a count in static storage (which must start
// afresh when the library is loaded again) and reports each DllMain call as a thread message.
#include "testlib.h"

static int count;

extern "C" int testlibNextCount()
{
    return ++count;
}

extern "C" int testlibNamed()
{
    return TESTLIB_NAMED_RESULT;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved)
{
    PostMessageW(NULL, TESTLIB_DLLMAIN_MESSAGE, fdwReason, (LPARAM)hinstDLL);
    return TRUE;
}
