// The battery as the control surface describes it. GetSystemPowerStatusEx2 reports the cached
// record; there is no driver to refresh, so the update flag changes nothing.
#include <windows.h>

#include "control.h"
#include "internal.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr BYTE kBatteryChemistryLion = 0x04;
constexpr DWORD kUnknownLifeTime = 0xFFFFFFFF;

// Power-on default: on external power, main battery high and full.
SYSTEM_POWER_STATUS_EX2 defaultStatus()
{
    SYSTEM_POWER_STATUS_EX2 status{};
    status.ACLineStatus = AC_LINE_ONLINE;
    status.BatteryFlag = BATTERY_FLAG_HIGH;
    status.BatteryLifePercent = 100;
    status.BatteryLifeTime = kUnknownLifeTime;
    status.BatteryFullLifeTime = kUnknownLifeTime;
    status.BackupBatteryFlag = BATTERY_FLAG_HIGH;
    status.BackupBatteryLifePercent = 100;
    status.BackupBatteryLifeTime = kUnknownLifeTime;
    status.BackupBatteryFullLifeTime = kUnknownLifeTime;
    status.BatteryVoltage = 4100;   // millivolts
    status.BatteryChemistry = kBatteryChemistryLion;
    return status;
}

struct Power {
    SYSTEM_POWER_STATUS_EX2 status = defaultStatus();
    bool callFails = false;
};
Power power;

}   // namespace

DWORD WINAPI GetSystemPowerStatusEx2(PSYSTEM_POWER_STATUS_EX2 pSystemPowerStatusEx2, DWORD dwLen,
                                     BOOL fUpdate)
{
    if (pSystemPowerStatusEx2 == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (power.callFails) return 0;
    const DWORD copied = std::min<DWORD>(dwLen, sizeof(SYSTEM_POWER_STATUS_EX2));
    std::memcpy(pSystemPowerStatusEx2, &power.status, copied);
    return copied;
}

namespace internal {
void resetPower()
{
    power = Power{};
}
}   // namespace internal

namespace control {

void setPowerStatus(const SYSTEM_POWER_STATUS_EX2 &status)
{
    power.status = status;
}

void setPowerStatus(BYTE acLineStatus, BYTE batteryFlag, BYTE batteryLifePercent)
{
    power.status.ACLineStatus = acLineStatus;
    power.status.BatteryFlag = batteryFlag;
    power.status.BatteryLifePercent = batteryLifePercent;
}

void setPowerCallFails(bool fails)
{
    power.callFails = fails;
}

}   // namespace control
