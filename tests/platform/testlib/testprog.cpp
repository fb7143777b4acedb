// Testprog: a program for the runProgram tests. It posts a thread message saying whether its
// instance is the current program's module (wParam) and hands its command line on to WinExec,
// where the test's launcher sees it; its exit code is the size of its own resource "Payload",
// found through a null module, and grows by one each run if its statics survived.
#include "testlib.h"

static int runs;

extern "C" int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    PostMessageW(NULL, TESTPROG_MESSAGE, instance == GetModuleHandleA(NULL), previous == NULL);
    WinExec(commandLine, SW_SHOW);
    HRSRC payload = FindResourceA(NULL, "payload", MAKEINTRESOURCEA(10));
    return payload ? (int)SizeofResource(NULL, payload) + runs++ : -1;
}
