// Set-ups that the plug-in's tests and benchmarks share.
#ifndef DURVO_TESTS_DURVO_FIXTURES_H
#define DURVO_TESTS_DURVO_FIXTURES_H

#include <control.h>

#include "meter_state.h"
#include "tick.h"

#include <filesystem>
#include <vector>

// The meter's store and the item's Today key, as the plug-in names them.
inline const WCHAR *const storeKey = TEXT("SOFTWARE\\Norvane");
inline const WCHAR *const todayItemKey = TEXT("SOFTWARE\\Microsoft\\Today\\Items\\Durvo");

inline bool keyExists(const WCHAR *path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// A top-level window that stands for the Today screen: it notes the wParam of every
// WM_WININICHANGE it gets, so a test sees the refresh broadcast.
inline std::vector<WPARAM> broadcastsSeen;
inline LRESULT CALLBACK broadcastListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_WININICHANGE) broadcastsSeen.push_back(wParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

// A visible 240 x 320 top-level window of broadcastListenerProc, standing for the Today screen or
// its settings, with the item's Today key in place, as a page or menu under test finds them.
inline HWND openTodayStandIn(const WCHAR *title)
{
    WNDCLASSW standIn = {};
    standIn.lpfnWndProc = broadcastListenerProc;
    standIn.lpszClassName = TEXT("TodayStandIn");
    RegisterClassW(&standIn);   // fails harmlessly once registered
    HKEY item = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, todayItemKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &item, nullptr);
    RegCloseKey(item);
    return CreateWindowExW(0, TEXT("TodayStandIn"), title, WS_VISIBLE, 0, 0, 240, 320, NULL, NULL, NULL,
                           NULL);
}

// The usage log with `rows` programs, titled "Program 0", "Program 1", ...
inline void fillAppRows(DWORD rows)
{
    for (DWORD i = 0; i < rows; ++i) wsprintfW(meterState.apps[i].title, TEXT("Program %u"), i);
    meterState.appCount = rows;
}

// Both logs at their largest: 255 history rows of 40 s at 80 %, and 99 programs.
inline void fillFullLogs()
{
    for (DWORD i = 0; i < historyCapacity; ++i) meterState.history[i] = {80, i * 40000, 40000};
    meterState.historyCount = historyCapacity;
    fillAppRows(appCapacity - 1);
}

// A meter running on battery (80 %, unplugged) with both logs full, after a load, a tick and a
// save have created the store's key and values at the sizes every later save writes.
inline void startWithFullLogs()
{
    control::resetDevice();
    control::setPowerStatus(AC_LINE_OFFLINE, BATTERY_FLAG_HIGH, 80);
    meterState = MeterState{};
    setDefaultSettings();
    resetTimers();
    loadMeterState();
    control::advanceClock(1000);
    meterTick();
    fillFullLogs();
    saveMeterState();
}

// Installs the built plug-in library at \Windows\Durvo.dll of a device rooted at deviceRoot
// and loads it as the Today screen would. NULL when it is not built or does not load.
inline HMODULE loadBuiltDurvo(const std::filesystem::path &buildDir, const std::filesystem::path &deviceRoot)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(deviceRoot / "Windows", error);
    fs::copy_file(buildDir / "plugin" / "Durvo.dll", deviceRoot / "Windows" / "Durvo.dll",
                  fs::copy_options::overwrite_existing, error);
    if (error) return NULL;
    control::setDeviceRoot(deviceRoot);
    return LoadLibraryW(TEXT("\\Windows\\Durvo.dll"));
}

#endif
