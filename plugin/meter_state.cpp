#include "meter_state.h"

MeterState meterState;
int lineHeight;
int uiFontHeight = 12;

static const WCHAR storeKeyName[] = TEXT("SOFTWARE\\Norvane");

// One value of the settings store. A single value is read and written whole; a log is `size`
// bytes per row for the rows its count says are in use. A count names the number of rows
// that must fit its log, so that no stored count can make a later read overrun the array.
struct StoreValue {
    LPCWSTR name;
    void *field;
    DWORD size;
    DWORD *rows;        // logs only: the count of rows in use
    DWORD countLimit;   // counts only: the largest count accepted; 0 for everything else
};

// The order is the store's own: the load reads each count before the log it sizes.
static const StoreValue storeValues[] = {
    {TEXT("dvStarted"), &meterState.startedAt, sizeof(SYSTEMTIME), nullptr, 0},
    {TEXT("dvDurvo"), &meterState.onTimeMs, sizeof(DWORD), nullptr, 0},
    {TEXT("dvLogTimeout"), &meterState.logElapsedMs, sizeof(DWORD), nullptr, 0},
    {TEXT("dvAutoReset"), &meterState.settings.resetOnFullCharge, sizeof(DWORD), nullptr, 0},
    {TEXT("dvAutoSoftReset"), &meterState.settings.resetOnSoftReset, sizeof(DWORD), nullptr, 0},
    {TEXT("dvAutoDCReset"), &meterState.settings.resetOnExternalPower, sizeof(DWORD), nullptr, 0},
    {TEXT("dvAutoLog"), &meterState.settings.logSaveMinutes, sizeof(DWORD), nullptr, 0},
    {TEXT("dvLogProcess"), &meterState.settings.gatherAppStats, sizeof(DWORD), nullptr, 0},
    {TEXT("dvBriefInfo"), &meterState.settings.briefView, sizeof(DWORD), nullptr, 0},
    {TEXT("dvPowerMode"), &meterState.settings.chargeSensor, sizeof(DWORD), nullptr, 0},
    {TEXT("dvPPC2002"), &meterState.settings.ppc2002Style, sizeof(DWORD), nullptr, 0},
    {TEXT("dvForecast"), &meterState.settings.forecastMode, sizeof(DWORD), nullptr, 0},
    {TEXT("dvOffLevel"), &meterState.settings.offLevel, sizeof(DWORD), nullptr, 0},
    {TEXT("logSize"), &meterState.appCount, sizeof(DWORD), nullptr, appCapacity},
    {TEXT("logData"), meterState.apps, sizeof(AppUsageEntry), &meterState.appCount, 0},
    {TEXT("chSize"), &meterState.historyCount, sizeof(DWORD), nullptr, historyCapacity},
    {TEXT("chData"), meterState.history, sizeof(ChargeHistoryEntry), &meterState.historyCount, 0},
};
static_assert(sizeof(storeValues) / sizeof(storeValues[0]) == 17, "the store holds 17 values");

static DWORD storedSize(const StoreValue &value)
{
    return value.rows ? *value.rows * value.size : value.size;
}

static HKEY openStore()
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, storeKeyName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

enum class StoreRead { Whole, Short, Failed };

// The size is asked first: a value longer than its field fails the load, as the design says; a
// shorter one is not read at all, so no field is left half old and half new.
static StoreRead readStoreValue(HKEY key, const StoreValue &value)
{
    DWORD expected = storedSize(value);
    DWORD size = 0;
    if (RegQueryValueExW(key, value.name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS
        || size > expected) {
        return StoreRead::Failed;
    }
    if (size < expected) {
        return StoreRead::Short;
    }
    if (value.countLimit) {
        DWORD count = 0;
        size = sizeof count;
        if (RegQueryValueExW(key, value.name, nullptr, nullptr, reinterpret_cast<BYTE *>(&count), &size)
                != ERROR_SUCCESS
            || size != sizeof count || count > value.countLimit) {
            return StoreRead::Failed;
        }
        *static_cast<DWORD *>(value.field) = count;
        return StoreRead::Whole;
    }
    size = expected;
    return RegQueryValueExW(key, value.name, nullptr, nullptr, static_cast<BYTE *>(value.field), &size)
                == ERROR_SUCCESS
            && size == expected
        ? StoreRead::Whole
        : StoreRead::Failed;
}

// What a value too short to read leaves in its field: a setting its default, the on-time and
// its counters 0, the start the current time, a log (or the count of one) no rows in use.
static void setStoreDefault(const StoreValue &value)
{
    if (value.rows) {
        *value.rows = 0;
    } else if (value.field == &meterState.startedAt) {
        GetLocalTime(&meterState.startedAt);
    } else {
        *static_cast<DWORD *>(value.field) = value.field == &meterState.settings.forecastMode ? 1 : 0;
    }
}

bool isPpc2002StylePlatform()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExW(&version);   // on failure the major version stays 0
    if (version.dwMajorVersion > 3) {
        return true;
    }
    if (version.dwMajorVersion < 3) {
        return false;
    }
    WCHAR platformType[128] = {};
    if (!SystemParametersInfoW(SPI_GETPLATFORMTYPE, 254, platformType, 0)) {
        return false;
    }
    platformType[127] = 0;
    return lstrcmpW(platformType, TEXT("PocketPC")) == 0;
}

LONGLONG fileTimeDiffSeconds(FILETIME first, FILETIME second)
{
    ULONGLONG from = (ULONGLONG(first.dwHighDateTime) << 32) | first.dwLowDateTime;
    ULONGLONG to = (ULONGLONG(second.dwHighDateTime) << 32) | second.dwLowDateTime;
    // Unsigned subtraction wraps instead of overflowing; read back as signed it is the distance.
    return LONGLONG(to - from) / 10000000;
}

void resetTimers()
{
    GetLocalTime(&meterState.startedAt);
    meterState.lastTickCount = GetTickCount();
    meterState.lastStepMs = 0;
    meterState.onTimeMs = 0;
    meterState.logElapsedMs = 0;
    meterState.appSampleElapsedMs = 0;
    meterState.appCount = 0;
    meterState.historyCount = 0;
}

void setDefaultSettings()
{
    MeterSettings &settings = meterState.settings;
    settings.resetOnFullCharge = 0;
    settings.resetOnSoftReset = 0;
    settings.resetOnExternalPower = 0;
    settings.logSaveMinutes = 0;
    settings.gatherAppStats = 0;
    settings.briefView = 0;
    settings.chargeSensor = chargeSensorStandard;
    settings.ppc2002Style = isPpc2002StylePlatform();
    settings.forecastMode = 1;
    settings.offLevel = 0;

    meterState.lastStepMs = 0;
    meterState.fullyCharged = 0;
    meterState.batteryPresent = 0;
    meterState.logElapsedMs = 0;
    meterState.appSampleElapsedMs = 0;
    meterState.powerReadElapsedMs = 0;
    meterState.chargeLevel = chargeLevelUnknown;
}

void saveMeterState()
{
    HKEY key = openStore();
    for (const StoreValue &value : storeValues) {
        RegSetValueExW(key, value.name, 0, REG_BINARY, static_cast<const BYTE *>(value.field),
                       storedSize(value));
    }
    if (key) {
        RegCloseKey(key);
    }
    meterState.ticksSinceSave = 0;
}

void loadMeterState()
{
    HKEY key = openStore();
    bool complete = true;
    bool countWasShort = false;
    for (const StoreValue &value : storeValues) {
        // A log whose count could not be read has no rows in use, whatever it holds.
        if (value.rows && countWasShort) {
            countWasShort = false;
            continue;
        }
        StoreRead read = readStoreValue(key, value);
        if (read == StoreRead::Failed) {
            complete = false;
            break;
        }
        if (read == StoreRead::Short) {
            setStoreDefault(value);
            countWasShort = value.countLimit != 0;
        }
    }
    if (key) {
        RegCloseKey(key);
    }

    // A first run lands here too: the key is new and empty. What was read stays; the rest of
    // the store is rewritten from memory with a fresh count.
    if (!complete) {
        meterState.settings.offLevel = 0;
        meterState.settings.ppc2002Style = isPpc2002StylePlatform();
        meterState.settings.forecastMode = 1;
        resetTimers();
        saveMeterState();
    }
    if (isPpc2002StylePlatform()) {
        meterState.settings.ppc2002Style = 1;
    }
    // The first tick after a load counts only the time since the load.
    meterState.lastTickCount = GetTickCount();
    meterState.lastStepMs = 0;
}
