// What Testlib, the library the module tests load, shares with them.
#ifndef DURVO_TESTS_TESTLIB_H
#define DURVO_TESTS_TESTLIB_H

#ifndef RC_INVOKED
#include <windows.h>
#endif

// DllMain posts this thread message for every call: wParam = the reason, lParam = the module
// handle it was given. The message outlives the library, so a test sees the detach too.
#define TESTLIB_DLLMAIN_MESSAGE (WM_APP + 0x100)

// Export ordinals, as in testlib.def.
#define TESTLIB_ORDINAL_NEXT_COUNT 1   // NONAME
#define TESTLIB_ORDINAL_NAMED 2        // also exported by its name "testlibNamed"
#define TESTLIB_NAMED_RESULT 42

// Testprog's WinMain posts this thread message: wParam = whether its instance is the current
// program (GetModuleHandleA(NULL)), lParam = whether its previous instance is null.
#define TESTPROG_MESSAGE (WM_APP + 0x101)
// The size of Testprog's "PAYLOAD" resource (testprog.rc).
#define TESTPROG_PAYLOAD_SIZE 7

// Resources, as in testlib.rc.
#define TESTLIB_RCDATA_ORDINAL 7
// Control ids of TESTDIALOG and TESTDIALOGEX.
#define TESTLIB_TITLE_ID 100
#define TESTLIB_EDIT_ID 101
#define TESTLIB_GROUP_ID 102

#ifndef RC_INVOKED
typedef int (*TestlibIntProc)();
#endif

#endif
