// For Windows builds of the plug-in: the real <windows.h>, plus the few Windows CE calls and
// values that desktop Windows lacks (their implementations are in platform/win32/ce_calls.cpp).
#ifndef DURVO_WIN32_CE_WINDOWS_H
#define DURVO_WIN32_CE_WINDOWS_H

#include_next <windows.h>

#ifndef SPI_GETPLATFORMTYPE
#define SPI_GETPLATFORMTYPE 257
#endif

typedef struct _SYSTEM_POWER_STATUS_EX2 {
    BYTE ACLineStatus;
    BYTE BatteryFlag;
    BYTE BatteryLifePercent;
    BYTE Reserved1;
    DWORD BatteryLifeTime;
    DWORD BatteryFullLifeTime;
    BYTE Reserved2;
    BYTE BackupBatteryFlag;
    BYTE BackupBatteryLifePercent;
    BYTE Reserved3;
    DWORD BackupBatteryLifeTime;
    DWORD BackupBatteryFullLifeTime;
    DWORD BatteryVoltage;
    DWORD BatteryCurrent;
    DWORD BatteryAverageCurrent;
    DWORD BatteryAverageInterval;
    DWORD BatterymAHourConsumed;
    DWORD BatteryTemperature;
    DWORD BackupBatteryVoltage;
    BYTE BatteryChemistry;
} SYSTEM_POWER_STATUS_EX2, *PSYSTEM_POWER_STATUS_EX2, *LPSYSTEM_POWER_STATUS_EX2;
static_assert(sizeof(SYSTEM_POWER_STATUS_EX2) == 56, "SYSTEM_POWER_STATUS_EX2 is 56 bytes");

extern "C" DWORD WINAPI GetSystemPowerStatusEx2(PSYSTEM_POWER_STATUS_EX2 status, DWORD length,
                                                BOOL update);
// Windows CE names its exports in UTF-16; desktop Windows only has the 8-bit GetProcAddress.
extern "C" FARPROC WINAPI GetProcAddressW(HMODULE module, LPCWSTR procName);

#endif
