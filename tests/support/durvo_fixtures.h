// Set-ups that the plug-in's tests and benchmarks share.
#ifndef DURVO_TESTS_DURVO_FIXTURES_H
#define DURVO_TESTS_DURVO_FIXTURES_H

#include <control.h>

#include "meter_state.h"
#include "tick.h"

#include <filesystem>

// The usage log with `rows` programs, titled "Program 0", "Program 1", ...
inline void fillAppRows(DWORD rows)
{
    for (DWORD i = 0; i < rows; ++i)
        wsprintfW(meterState.apps[i].title, TEXT("Program %u"), i);
    meterState.appCount = rows;
}

// Both logs at their largest: 255 history rows of 40 s at 80 %, and 99 programs.
inline void fillFullLogs()
{
    for (DWORD i = 0; i < historyCapacity; ++i)
        meterState.history[i] = {80, i * 40000, 40000};
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
inline HMODULE loadBuiltDurvo(const std::filesystem::path &buildDir,
                              const std::filesystem::path &deviceRoot)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(deviceRoot / "Windows", error);
    fs::copy_file(buildDir / "plugin" / "Durvo.dll", deviceRoot / "Windows" / "Durvo.dll",
                  fs::copy_options::overwrite_existing, error);
    if (error)
        return NULL;
    control::setDeviceRoot(deviceRoot);
    return LoadLibraryW(TEXT("\\Windows\\Durvo.dll"));
}

#endif
