// The Windows CE power status record and call, shared by our own <windows.h> and the Windows
// build's (desktop Windows has neither).
#ifndef DURVO_CE_POWER_H
#define DURVO_CE_POWER_H

#include <cstddef>

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
static_assert(offsetof(SYSTEM_POWER_STATUS_EX2, BatteryLifePercent) == 2, "byte 2");
static_assert(offsetof(SYSTEM_POWER_STATUS_EX2, BatteryChemistry) == 52, "last field");

extern "C" DWORD WINAPI GetSystemPowerStatusEx2(PSYSTEM_POWER_STATUS_EX2 pSystemPowerStatusEx2, DWORD dwLen,
                                                BOOL fUpdate);

#endif
