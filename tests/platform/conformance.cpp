#include "conformance.h"

namespace conformance {

#if OUR_LAYER_ONLY

void freshStart()
{
    control::resetDevice();
}

int drain()
{
    return control::pumpMessages();
}

void passTime(DWORD ms)
{
    control::advanceClock(ms);
}

#else

namespace {

// Registry keys the tests make below the roots; each is deleted with everything in it.
const struct {
    HKEY root;
    const WCHAR *path;
} kTestKeys[] = {
    {HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane")},
    {HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\A")},
    {HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Microsoft\\Today")},
    {HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Microsoft\\Windows CE Services")},
    {HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\E")},
    {HKEY_CURRENT_USER, TEXT("Temp")},
    {HKEY_CURRENT_USER, TEXT("Names")},
};

// Window classes the tests register, with the instances they register them under.
const WCHAR *const kTestClasses[] = {TEXT("TestWindow"), TEXT("GdiTestWindow"),
                                     TEXT("GdiRecordWindow")};
const HINSTANCE kTestInstances[] = {nullptr, reinterpret_cast<HINSTANCE>(0x1000),
                                    reinterpret_cast<HINSTANCE>(0x2000)};

BOOL CALLBACK destroyOne(HWND hwnd, LPARAM)
{
    DestroyWindow(hwnd);
    return TRUE;
}

}  // namespace

void freshStart()
{
    EnumThreadWindows(GetCurrentThreadId(), destroyOne, 0);
    for (const WCHAR *name : kTestClasses) {
        for (HINSTANCE instance : kTestInstances) UnregisterClassW(name, instance);
        UnregisterClassW(name, GetModuleHandleW(nullptr));
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    for (const auto &key : kTestKeys) RegDeleteTreeW(key.root, key.path);
    SetLastError(0);
}

int drain()
{
    int count = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
        ++count;
    }
    return count;
}

void passTime(DWORD ms)
{
    Sleep(ms);
}

#endif

}  // namespace conformance
