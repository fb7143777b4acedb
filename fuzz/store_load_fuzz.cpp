// Feeds the settings-store loader arbitrary stores: the 17 value names and others, any type,
// any size (exact, near and far from what the field holds), any bytes, counts around the
// capacities. After the load the counts must fit the logs; the meter then ticks and saves on
// what it loaded, as it would on the device. Overruns are AddressSanitizer's to find.
#include <control.h>
#include <fuzzer/FuzzedDataProvider.h>

#include "meter_state.h"
#include "registry_snapshot.h"
#include "tick.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

const WCHAR storeKey[] = TEXT("SOFTWARE\\Norvane");

struct KnownValue {
    const char16_t *name;
    DWORD size;              // whole value, or one row for a log
    const char16_t *count;   // logs: the value that holds their row count
};
const KnownValue knownValues[] = {
    {u"dvStarted", 16, nullptr},  {u"dvDurvo", 4, nullptr},         {u"dvLogTimeout", 4, nullptr},
    {u"dvAutoReset", 4, nullptr}, {u"dvAutoSoftReset", 4, nullptr}, {u"dvAutoDCReset", 4, nullptr},
    {u"dvAutoLog", 4, nullptr},   {u"dvLogProcess", 4, nullptr},    {u"dvBriefInfo", 4, nullptr},
    {u"dvPowerMode", 4, nullptr}, {u"dvPPC2002", 4, nullptr},       {u"dvForecast", 4, nullptr},
    {u"dvOffLevel", 4, nullptr},  {u"logSize", 4, nullptr},         {u"logData", 112, u"logSize"},
    {u"chSize", 4, nullptr},      {u"chData", 12, u"chSize"},
};

constexpr int maxStrangerValues = 8;
std::filesystem::path deviceRoot;

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

std::vector<BYTE> countBytes(FuzzedDataProvider &input)
{
    static const DWORD counts[] = {0, 1, 2, 99, 100, 101, 254, 255, 256, 0x7FFFFFFF, 0xFFFFFFFF};
    DWORD count = counts[input.ConsumeIntegralInRange<size_t>(0, std::size(counts) - 1)];
    return {BYTE(count), BYTE(count >> 8), BYTE(count >> 16), BYTE(count >> 24)};
}

// Changes one value of the saved store, or leaves it. Most values stay as saved, so that the
// load gets past them to the damaged one; a count is written before the log it sizes, so a
// "sound" log follows whatever count is stored at that moment.
void damageValue(HKEY key, FuzzedDataProvider &input, const std::u16string &name, const KnownValue *known)
{
    BYTE mode = input.ConsumeIntegral<BYTE>();
    static const DWORD types[] = {REG_BINARY, REG_BINARY, REG_DWORD, REG_SZ};
    DWORD type = types[(mode >> 3) & 3];
    DWORD sound = known ? soundSize(key, *known) : 4;
    std::vector<BYTE> data;
    switch (mode & 7) {
    case 0:
    case 1:
    case 2: return;   // as saved
    case 3: RegDeleteValueW(key, name.c_str()); return;
    case 4:   // the sound size, any bytes
        data = input.ConsumeBytes<BYTE>(sound);
        data.resize(sound);
        break;
    case 5:   // a count around a capacity
        data = countBytes(input);
        break;
    case 6: {   // a little off the sound size
        int size = int(sound) + input.ConsumeIntegralInRange<int>(-3, 3);
        data = input.ConsumeBytes<BYTE>(size < 0 ? 0 : size);
        data.resize(size < 0 ? 0 : size);
        break;
    }
    default: data = input.ConsumeBytes<BYTE>(input.ConsumeIntegralInRange<size_t>(0, 40000)); break;
    }
    fuzzing::setValueWithMemoryAfter(key, name, type, data, input.ConsumeIntegral<uint16_t>());
}

}   // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    deviceRoot = std::filesystem::temp_directory_path() / ("durvo-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(deviceRoot / "My Documents");
    control::resetDevice();
    control::setDeviceRoot(deviceRoot);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t length)
{
    FuzzedDataProvider input(bytes, length);
    control::clearRegistry();
    control::setLocalTime({2005, 6, 5, 10, 8, 0, 0, 0});
    control::setTickCount(input.ConsumeIntegral<DWORD>());
    // One input in 256 writes the report (see below), chosen by a hash of the whole input: a
    // byte of its own would be learnt by the fuzzer's comparison tracing and set on most inputs.
    const bool writesReport
        = std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char *>(bytes), length)) % 256
        == 0;

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
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, storeKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    for (const KnownValue &value : knownValues) {
        damageValue(key, input, value.name, &value);
    }
    // Values the plug-in never wrote. A few show that the load passes them by; more would only
    // spend the run on the registry's lookups.
    for (int i = 0; i < maxStrangerValues && input.remaining_bytes() > 0; ++i) {
        std::string name = input.ConsumeRandomLengthString(40);
        damageValue(key, input, std::u16string(name.begin(), name.end()), nullptr);
    }
    RegCloseKey(key);

    loadMeterState();
    if (meterState.appCount > appCapacity || meterState.historyCount > historyCapacity) {
        std::fprintf(stderr, "load left appCount %u, historyCount %u\n", meterState.appCount,
                     meterState.historyCount);
        std::abort();
    }

    // The meter runs on what it loaded: ticks, a usage sample, a save. A fuzzed dvAutoLog with a
    // fuzzed dvLogTimeout makes the autosave due on nearly every input, and creating the
    // report's files (a new inode each time) took half the run inside the file system. For
    // most inputs the device has no file system, so the file cannot be created without a
    // system call (a path resolved on disk at each of the 7 ticks cost a fifth of the run); the
    // report's code handles that failure too.
    control::setPowerStatus(AC_LINE_OFFLINE, BATTERY_FLAG_HIGH, 80);
    if (!writesReport) control::setDeviceRoot({});
    for (int i = 0; i < 7; ++i) {
        control::advanceClock(1000);
        meterTick();
    }
    control::setDeviceRoot(deviceRoot);
    saveMeterState();
    if (meterState.appCount > appCapacity || meterState.historyCount > historyCapacity) {
        std::abort();
    }
    return 0;
}
