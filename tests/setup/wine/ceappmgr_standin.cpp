// A stand-in for the synchronisation software's application manager, for the test that runs
// DurvoSetup under Wine: it writes the command line it was started with, byte for byte, into a
// file beside itself ("CEAppMgr.exe" writes "CEAppMgr.cmdline") and ends. A copy of it named
// "Program.exe" in C:\ shows whether a path with spaces was left unquoted.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    char path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (length < 4 || length >= MAX_PATH) return 1;
    lstrcpyA(path + length - 4, ".cmdline");   // in place of ".exe"
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const char *line = GetCommandLineA();
    DWORD written = 0;
    BOOL wrote = WriteFile(file, line, (DWORD)lstrlenA(line), &written, NULL);
    BOOL closed = CloseHandle(file);
    return wrote && closed && written == (DWORD)lstrlenA(line) ? 0 : 1;
}
