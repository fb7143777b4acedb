// The Windows CE calls the plug-in makes that desktop Windows lacks, built from their nearest
// desktop equivalents, so that the plug-in links into a real Windows DLL.
#include <windows.h>

extern "C" DWORD WINAPI GetSystemPowerStatusEx2(PSYSTEM_POWER_STATUS_EX2 status, DWORD length,
                                                BOOL update)
{
    SYSTEM_POWER_STATUS desktop;
    if (status == NULL || !GetSystemPowerStatus(&desktop))
        return 0;
    SYSTEM_POWER_STATUS_EX2 full;
    ZeroMemory(&full, sizeof full);
    full.ACLineStatus = desktop.ACLineStatus;
    full.BatteryFlag = desktop.BatteryFlag;
    full.BatteryLifePercent = desktop.BatteryLifePercent;
    full.BatteryLifeTime = desktop.BatteryLifeTime;
    full.BatteryFullLifeTime = desktop.BatteryFullLifeTime;
    full.BackupBatteryFlag = BATTERY_FLAG_UNKNOWN;
    full.BackupBatteryLifePercent = BATTERY_PERCENTAGE_UNKNOWN;
    DWORD copied = length < sizeof full ? length : (DWORD)sizeof full;
    CopyMemory(status, &full, copied);
    return copied;
}

extern "C" FARPROC WINAPI GetProcAddressW(HMODULE module, LPCWSTR procName)
{
    if (IS_INTRESOURCE(procName))
        return GetProcAddress(module, (LPCSTR)procName);
    char name[256];
    int i = 0;
    for (; procName[i] != 0; i++) {
        if (i == (int)sizeof name - 1 || procName[i] > 0x7f)
            return NULL;   // export names are ASCII
        name[i] = (char)procName[i];
    }
    name[i] = 0;
    return GetProcAddress(module, name);
}
