// Feeds the settings-store loader arbitrary stores: the 17 value names and others, any type,
// any size (exact, near and far from what the field holds), any bytes, counts around the
// capacities. After the load the counts must fit the logs; the meter then ticks and saves on
// what it loaded, as it would on the device. Overruns are AddressSanitizer's to find.
#include <control.h>
#include <fuzzer/FuzzedDataProvider.h>

#include "meter_state.h"
#include "tick.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

const WCHAR storeKey[] = TEXT("SOFTWARE\\Norvane");

struct KnownValue {
    const char16_t *name;
    DWORD size;            // whole value, or one row for a log
    const char16_t *count; // logs: the value that holds their row count
};
const KnownValue knownValues[] = {
    {u"dvStarted", 16, nullptr}, {u"dvDurvo", 4, nullptr},      {u"dvLogTimeout", 4, nullptr},
    {u"dvAutoReset", 4, nullptr}, {u"dvAutoSoftReset", 4, nullptr},
    {u"dvAutoDCReset", 4, nullptr}, {u"dvAutoLog", 4, nullptr}, {u"dvLogProcess", 4, nullptr},
    {u"dvBriefInfo", 4, nullptr}, {u"dvPowerMode", 4, nullptr}, {u"dvPPC2002", 4, nullptr},
    {u"dvForecast", 4, nullptr}, {u"dvOffLevel", 4, nullptr},  {u"logSize", 4, nullptr},
    {u"logData", 112, u"logSize"}, {u"chSize", 4, nullptr},     {u"chData", 12, u"chSize"},
};
const size_t knownCount = sizeof knownValues / sizeof knownValues[0];

DWORD storedCount(HKEY key, const char16_t *name)
{
    DWORD value = 0, size = sizeof value;
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size)
            != ERROR_SUCCESS
        || size != sizeof value) {
        return 0;
    }
    return value;
}

// The size a value would have if it were sound, from the counts stored at this moment.
DWORD soundSize(HKEY key, const KnownValue &value)
{
    if (!value.count) {
        return value.size;
    }
    DWORD rows = storedCount(key, value.count);
    return rows <= 300 ? rows * value.size : value.size;
}

void writeOneValue(HKEY key, FuzzedDataProvider &input)
{
    BYTE kind = input.ConsumeIntegral<BYTE>();
    std::u16string name;
    const KnownValue *known = nullptr;
    if (kind % 20 < knownCount) {
        known = &knownValues[kind % 20];
        name = known->name;
    } else {
        std::string bytes = input.ConsumeRandomLengthString(40);
        name.assign(bytes.begin(), bytes.end());
    }
    if (kind & 0x80) {
        RegDeleteValueW(key, name.c_str());
        return;
    }
    static const DWORD types[] = {REG_BINARY, REG_DWORD, REG_SZ, REG_NONE};
    DWORD type = types[(kind >> 5) & 3];

    DWORD size = 0;
    std::vector<BYTE> data;
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:   // the sound size
        size = known ? soundSize(key, *known) : 4;
        break;
    case 1:   // a little off
        size = known ? soundSize(key, *known) : 4;
        size += input.ConsumeIntegralInRange<int>(-3, 3);
        size = size > 0x10000 ? 0 : size;
        break;
    case 2: {  // a count around a capacity
        DWORD counts[] = {0, 1, 99, 100, 101, 254, 255, 256, 0x7FFFFFFF, 0xFFFFFFFF};
        DWORD count = counts[input.ConsumeIntegralInRange<size_t>(0, std::size(counts) - 1)];
        data.assign(reinterpret_cast<BYTE *>(&count), reinterpret_cast<BYTE *>(&count) + 4);
        size = 4;
        break;
    }
    default:
        size = input.ConsumeIntegralInRange<DWORD>(0, 40000);
        break;
    }
    if (data.empty()) {
        data = input.ConsumeBytes<BYTE>(size);
        data.resize(size);
    }
    RegSetValueExW(key, name.c_str(), 0, type, data.data(), size);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("durvo-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(root / "My Documents");
    control::resetDevice();
    control::setDeviceRoot(root);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t length)
{
    FuzzedDataProvider input(bytes, length);
    control::clearRegistry();
    control::setLocalTime({2005, 6, 5, 10, 8, 0, 0, 0});
    control::setTickCount(input.ConsumeIntegral<DWORD>());

    // Before the load memory holds a running meter, as after the item's first load.
    meterState = MeterState{};
    setDefaultSettings();
    resetTimers();
    if (input.ConsumeBool()) {   // start from a store the plug-in wrote itself, logs full
        meterState.historyCount = historyCapacity;
        meterState.appCount = appCapacity - 1;
    }
    saveMeterState();

    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, storeKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    int values = input.ConsumeIntegralInRange<int>(0, 24);
    for (int i = 0; i < values && input.remaining_bytes() > 0; ++i) {
        writeOneValue(key, input);
    }
    RegCloseKey(key);

    loadMeterState();
    if (meterState.appCount > appCapacity || meterState.historyCount > historyCapacity) {
        std::fprintf(stderr, "load left appCount %u, historyCount %u\n", meterState.appCount,
                     meterState.historyCount);
        std::abort();
    }

    // The meter runs on what it loaded: ticks, a usage sample, a save.
    control::setPowerStatus(AC_LINE_OFFLINE, BATTERY_FLAG_HIGH, 80);
    for (int i = 0; i < 7; ++i) {
        control::advanceClock(1000);
        meterTick();
    }
    saveMeterState();
    if (meterState.appCount > appCapacity || meterState.historyCount > historyCapacity) {
        std::abort();
    }
    return 0;
}
