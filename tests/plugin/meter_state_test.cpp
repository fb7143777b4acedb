// The meter state record: defaults, the reset of the count, the platform check, file-time
// differences and the settings store's save and load, including damaged stores.
#include <control.h>
#include <gtest/gtest.h>

#include "meter_state.h"
#include "support/fault_sweep.h"

#include <vector>

namespace {

const WCHAR storeKey[] = TEXT("SOFTWARE\\Norvane");
const WCHAR *const storeNames[17]
    = {TEXT("dvStarted"),       TEXT("dvDurvo"),       TEXT("dvLogTimeout"), TEXT("dvAutoReset"),
       TEXT("dvAutoSoftReset"), TEXT("dvAutoDCReset"), TEXT("dvAutoLog"),    TEXT("dvLogProcess"),
       TEXT("dvBriefInfo"),     TEXT("dvPowerMode"),   TEXT("dvPPC2002"),    TEXT("dvForecast"),
       TEXT("dvOffLevel"),      TEXT("logSize"),       TEXT("logData"),      TEXT("chSize"),
       TEXT("chData")};

// What library attach does, on a freshly loaded library.
void startModule()
{
    meterState = MeterState{};
    setDefaultSettings();
    resetTimers();
    loadMeterState();
}

std::vector<BYTE> dwordBytes(DWORD value)
{
    return {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)};
}

// Each store value as {type, size}; size -1 when the value is missing.
struct StoredValue {
    DWORD type;
    long size;
};
std::vector<StoredValue> storedValues()
{
    std::vector<StoredValue> values;
    HKEY key = nullptr;
    bool open = RegOpenKeyExW(HKEY_LOCAL_MACHINE, storeKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
    for (const WCHAR *name : storeNames) {
        DWORD type = 0, size = 0;
        bool found = open && RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
        values.push_back({type, found ? long(size) : -1});
    }
    if (open) {
        RegCloseKey(key);
    }
    return values;
}

// A change to one value of a saved store; type REG_NONE with no data deletes it.
struct Edit {
    const WCHAR *name;
    DWORD type;
    std::vector<BYTE> data;
};
void applyEdit(const Edit &edit)
{
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, storeKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    if (edit.type == REG_NONE && edit.data.empty()) {
        RegDeleteValueW(key, edit.name);
    } else {
        RegSetValueExW(key, edit.name, 0, edit.type, edit.data.data(), DWORD(edit.data.size()));
    }
    RegCloseKey(key);
}

// Saves a store in which every value differs from its default, then starts afresh in memory.
const DWORD savedOnTimeMs = 123456;
void saveKnownStore()
{
    startModule();
    meterState.settings = {1, 1, 0, 5, 1, 1, chargeSensorDellAxim, 0, 2, 10};
    meterState.onTimeMs = savedOnTimeMs;
    meterState.logElapsedMs = 777;
    meterState.appCount = 2;
    lstrcpyW(meterState.apps[0].title, TEXT("Word"));
    meterState.apps[0].usageMs = 5000;
    meterState.historyCount = 3;
    meterState.history[2] = {42, 1000, 31000};
    saveMeterState();
    meterState = MeterState{};
    setDefaultSettings();
    resetTimers();
}

class MeterStore : public ::testing::Test {
protected:
    void SetUp() override { control::resetDevice(); }
};

}   // namespace

TEST_F(MeterStore, FirstRunWritesCompleteStoreWithDefaults)
{
    control::advanceClock(5000);
    startModule();
    EXPECT_EQ(meterState.settings.forecastMode, 1u);
    EXPECT_EQ(meterState.settings.offLevel, 0u);
    EXPECT_EQ(meterState.settings.logSaveMinutes, 0u);
    EXPECT_EQ(meterState.settings.ppc2002Style, 1u);   // the device reports 4.20 "PocketPC"
    EXPECT_EQ(meterState.onTimeMs, 0u);
    EXPECT_EQ(meterState.chargeLevel, 255);
    EXPECT_EQ(meterState.lastTickCount, 5000u);
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(meterState.startedAt.wYear, now.wYear);
    EXPECT_EQ(meterState.startedAt.wHour, now.wHour);
    EXPECT_EQ(meterState.startedAt.wSecond, now.wSecond);

    std::vector<StoredValue> values = storedValues();
    for (int i = 0; i < 17; ++i) {
        long expectedSize = i == 0 ? 16 : (i == 14 || i == 16) ? 0 : 4;
        EXPECT_EQ(values[i].size, expectedSize) << control::toUtf8(storeNames[i]);
        EXPECT_EQ(values[i].type, DWORD(REG_BINARY)) << control::toUtf8(storeNames[i]);
    }
}

TEST_F(MeterStore, SaveThenLoadRestoresEveryStoredField)
{
    saveKnownStore();
    loadMeterState();
    const MeterSettings &s = meterState.settings;
    EXPECT_EQ(s.resetOnFullCharge, 1u);
    EXPECT_EQ(s.resetOnSoftReset, 1u);
    EXPECT_EQ(s.logSaveMinutes, 5u);
    EXPECT_EQ(s.briefView, 1u);
    EXPECT_EQ(s.chargeSensor, DWORD(chargeSensorDellAxim));
    EXPECT_EQ(s.forecastMode, 2u);
    EXPECT_EQ(s.offLevel, 10u);
    EXPECT_EQ(meterState.onTimeMs, savedOnTimeMs);
    EXPECT_EQ(meterState.logElapsedMs, 777u);
    EXPECT_EQ(meterState.appCount, 2u);
    EXPECT_EQ(control::toUtf8(meterState.apps[0].title), "Word");
    EXPECT_EQ(meterState.apps[0].usageMs, 5000u);
    EXPECT_EQ(meterState.historyCount, 3u);
    EXPECT_EQ(meterState.history[2].level, 42);
    EXPECT_EQ(meterState.history[2].durationMs, 31000u);
    // Numbers are 4-byte little-endian binaries, and a save writes only the rows in use.
    std::string text = control::registryToRegText();
    EXPECT_NE(text.find("\"dvDurvo\"=hex:40,e2,01,00"), std::string::npos) << text;
    std::vector<StoredValue> values = storedValues();
    EXPECT_EQ(values[14].size, 2 * 112);
    EXPECT_EQ(values[16].size, 3 * 12);
}

TEST_F(MeterStore, DamagedStoreFallsBackToFreshCount)
{
    std::vector<BYTE> rows100(100 * 112), rows101(101 * 112), ch255(255 * 12), ch256(256 * 12);
    struct Case {
        std::vector<Edit> edits;
        bool loads;
    } cases[] = {
        {{{TEXT("chData"), REG_NONE, {}}}, false},                        // last value missing
        {{{TEXT("dvDurvo"), REG_BINARY, {1, 2}}}, true},                  // too short: left out
        {{{TEXT("dvDurvo"), REG_BINARY, std::vector<BYTE>(8)}}, false},   // number too long
        {{{TEXT("dvStarted"), REG_BINARY, std::vector<BYTE>(17)}}, false},
        {{{TEXT("logData"), REG_BINARY, std::vector<BYTE>(2 * 112 + 1)}}, false},   // longer
        {{{TEXT("logData"), REG_BINARY, std::vector<BYTE>(2 * 112 - 1)}}, true},    // shorter
        {{{TEXT("logSize"), REG_BINARY, dwordBytes(0)}, {TEXT("logData"), REG_BINARY, {}}}, true},
        // A count the arrays cannot hold fails even when its blob matches it.
        {{{TEXT("logSize"), REG_BINARY, dwordBytes(101)}, {TEXT("logData"), REG_BINARY, rows101}}, false},
        {{{TEXT("logSize"), REG_BINARY, dwordBytes(100)}, {TEXT("logData"), REG_BINARY, rows100}},
         true},   // the hundredth slot exists
        {{{TEXT("chSize"), REG_BINARY, dwordBytes(256)}, {TEXT("chData"), REG_BINARY, ch256}}, false},
        {{{TEXT("chSize"), REG_BINARY, dwordBytes(255)}, {TEXT("chData"), REG_BINARY, ch255}}, true},
        {{{TEXT("dvBriefInfo"), REG_DWORD, dwordBytes(1)}}, true},   // the type is ignored
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        control::resetDevice();
        saveKnownStore();
        for (const Edit &edit : cases[i].edits) {
            applyEdit(edit);
        }
        control::advanceClock(2000);
        loadMeterState();
        if (cases[i].loads) {
            EXPECT_EQ(meterState.logElapsedMs, 777u);   // a failed load restarts the count
            EXPECT_EQ(meterState.settings.offLevel, 10u);
            EXPECT_EQ(meterState.settings.forecastMode, 2u);
        } else {
            EXPECT_EQ(meterState.onTimeMs, 0u);
            EXPECT_EQ(meterState.appCount, 0u);
            EXPECT_EQ(meterState.historyCount, 0u);
            EXPECT_EQ(meterState.settings.offLevel, 0u);
            EXPECT_EQ(meterState.settings.forecastMode, 1u);
            std::vector<StoredValue> values = storedValues();   // rewritten from memory
            EXPECT_EQ(values[1].size, 4);
            EXPECT_EQ(values[14].size, 0);
            EXPECT_EQ(values[16].size, 0);
        }
        EXPECT_EQ(meterState.lastTickCount, GetTickCount());
        EXPECT_LE(meterState.appCount, 100u);
        EXPECT_LE(meterState.historyCount, 255u);
    }
}

// A value longer than its field ends the load; a shorter one is not read, leaves its field at
// its default, and the rest of the store loads.
TEST_F(MeterStore, ShortValueTakesItsDefaultAndLongValueEndsTheLoad)
{
    struct Case {
        Edit edit;
        DWORD logSaveMinutes;   // "dvAutoLog" is 5 in the store
        DWORD briefView;        // "dvBriefInfo" is 1 in the store
        DWORD chargeSensor;     // "dvPowerMode" comes after it and is 2 in the store
        WCHAR firstTitleUnit;   // "logData" holds "Word" in its first row
        DWORD appCount;         // "logSize" is 2
        DWORD historyCount;     // "chSize" is 3; 0 when the load failed and the count restarted
    } cases[] = {
        // A 2-byte setting once wiped the on-time and every later setting.
        {{TEXT("dvAutoLog"), REG_BINARY, {5, 0}}, 0, 1, 2, 'W', 2, 3},
        // The short value starts with the stored 1: a partial read would show it.
        {{TEXT("dvBriefInfo"), REG_BINARY, {1, 0}}, 5, 0, 2, 'W', 2, 3},
        {{TEXT("dvBriefInfo"), REG_BINARY, {1, 0, 0, 0, 0}}, 5, 0, 0, 0, 0, 0},
        {{TEXT("logData"), REG_BINARY, std::vector<BYTE>{'W', 0, 'o', 0}}, 5, 1, 2, 0, 0, 3},
        // A short count empties its log, whatever the log holds.
        {{TEXT("logSize"), REG_BINARY, {2}}, 5, 1, 2, 0, 0, 3},
        // chData missing: every setting up to it is read.
        {{TEXT("chData"), REG_NONE, {}}, 5, 1, 2, 'W', 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(control::toUtf8(c.edit.name));
        control::resetDevice();
        saveKnownStore();
        applyEdit(c.edit);
        loadMeterState();
        EXPECT_EQ(meterState.settings.logSaveMinutes, c.logSaveMinutes);
        EXPECT_EQ(meterState.settings.briefView, c.briefView);
        EXPECT_EQ(meterState.settings.chargeSensor, c.chargeSensor);
        EXPECT_EQ(meterState.apps[0].title[0], c.firstTitleUnit);
        EXPECT_EQ(meterState.appCount, c.appCount);
        EXPECT_EQ(meterState.historyCount, c.historyCount);
        EXPECT_EQ(meterState.onTimeMs, c.historyCount ? savedOnTimeMs : 0u);
    }
}

TEST_F(MeterStore, UnwritableRegistryRunsFromMemory)
{
    control::setFaults({.points = {control::FaultPoint::RegCreateKey, control::FaultPoint::RegOpenKey,
                                   control::FaultPoint::RegSetValue}});
    startModule();
    EXPECT_EQ(meterState.settings.forecastMode, 1u);
    EXPECT_EQ(meterState.onTimeMs, 0u);
    EXPECT_NE(meterState.startedAt.wYear, 0);
    meterState.onTimeMs = 5000;
    saveMeterState();
    EXPECT_EQ(meterState.ticksSinceSave, 0u);
    control::setFaults({});
    EXPECT_EQ(storedValues()[1].size, -1);
}

// Every registry call of a save failed in turn, once each. By design a save tells no one; it
// loses nothing all the same: memory keeps the state, and the next save, 31 ticks on, writes
// the store whole again.
TEST_F(MeterStore, EachFailingCallOfASaveLosesNothing)
{
    saveKnownStore();
    loadMeterState();
    const std::string before = control::registryToRegText();
    meterState.onTimeMs += 60000;
    meterState.historyCount = 4;
    meterState.history[3] = {41, savedOnTimeMs, 60000};
    const MeterState wanted = meterState;
    saveMeterState();
    const std::string whole = control::registryToRegText();

    FaultSweep sweep;
    sweep.operation = "store save";
    sweep.prepare = [&] {
        std::string error;
        ASSERT_TRUE(control::registryFromRegText(before, &error)) << error;
        meterState = wanted;
    };
    sweep.run = [] { saveMeterState(); };
    sweep.check = [&](control::FaultPoint) {
        EXPECT_EQ(meterState.onTimeMs, wanted.onTimeMs);
        EXPECT_EQ(meterState.historyCount, 4u);
        saveMeterState();
        EXPECT_EQ(control::registryToRegText(), whole);
    };
    EXPECT_EQ(sweepFaults(sweep), 18u);   // the key and 17 values
}

TEST_F(MeterStore, PlatformCheckDecidesPpc2002Style)
{
    struct Case {
        DWORD major;
        const char16_t *platformType;
        bool typeCallFails;
        bool versionCallFails;
        bool expected;
    } cases[] = {
        {4, u"Smartphone", false, false, true},   // newer than 3: the type is not asked
        {0x80000000u, u"", false, false, true},   // unsigned compare
        {3, u"PocketPC", false, false, true},
        {3, u"Smartphone", false, false, false},
        {3, u"PocketPC", true, false, false},   // the type query fails
        {2, u"PocketPC", false, false, false},
        {4, u"PocketPC", false, true, false},   // no version: treated as old
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.major);
        control::resetDevice();
        control::setOsVersion(c.major, 0);
        control::setPlatformType(c.platformType);
        control::setPlatformTypeCallFails(c.typeCallFails);
        control::setVersionCallFails(c.versionCallFails);
        EXPECT_EQ(isPpc2002StylePlatform(), c.expected);
    }
}

TEST_F(MeterStore, LoadForcesPpc2002StyleWhereThePlatformHasIt)
{
    struct Case {
        DWORD major;
        std::vector<BYTE> stored;
        DWORD expected;
    } cases[] = {
        {4, dwordBytes(0), 1},   // platform override of a stored 0
        {3, dwordBytes(0), 0},   // 3.x that is not "PocketPC": the stored 0 stays
        {3, dwordBytes(1), 1},   // the user's choice stays
    };
    for (const Case &c : cases) {
        control::resetDevice();
        control::setPlatformType(u"Smartphone");
        saveKnownStore();
        applyEdit({TEXT("dvPPC2002"), REG_BINARY, c.stored});
        control::setOsVersion(c.major, 0);
        loadMeterState();
        EXPECT_EQ(meterState.onTimeMs, savedOnTimeMs);
        EXPECT_EQ(meterState.settings.ppc2002Style, c.expected) << "major " << c.major;
    }
}

TEST(FileTimeDiff, WholeSecondsTowardZero)
{
    const ULONGLONG base = 0x01C56D8A12345678ull;   // 2005, with a borrow across the low word
    struct Case {
        LONGLONG delta;
        LONGLONG expected;
    } cases[] = {
        {36000000000ll, 3600}, {-36000000000ll, -3600}, {9999999, 0},   // truncated, not rounded
        {-9999999, 0},                                                  // toward zero, not down
        {10000000, 1},         {-0x100000000ll, -429},                  // the high word alone moves
    };
    for (const Case &c : cases) {
        ULONGLONG second = base + ULONGLONG(c.delta);
        FILETIME a{DWORD(base), DWORD(base >> 32)}, b{DWORD(second), DWORD(second >> 32)};
        EXPECT_EQ(fileTimeDiffSeconds(a, b), c.expected) << c.delta;
    }
}

TEST_F(MeterStore, ResetTimersStartsCountAndKeepsTheRest)
{
    startModule();
    meterState.settings.briefView = 1;
    meterState.onTimeMs = meterState.logElapsedMs = meterState.appSampleElapsedMs = 9000;
    meterState.powerReadElapsedMs = 8000;
    meterState.ticksSinceSave = 12;
    meterState.paintedOnTimeMs = 7000;
    meterState.chargeLevel = 64;
    meterState.batteryPresent = 1;
    meterState.fullyCharged = 1;
    meterState.appCount = 3;
    meterState.historyCount = 4;
    meterState.history[0].level = 55;
    std::string storeBefore = control::registryToRegText();
    control::advanceClock(60000);

    resetTimers();
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(meterState.startedAt.wMinute, now.wMinute);
    EXPECT_EQ(meterState.lastTickCount, GetTickCount());
    EXPECT_EQ(meterState.onTimeMs, 0u);
    EXPECT_EQ(meterState.logElapsedMs, 0u);
    EXPECT_EQ(meterState.appSampleElapsedMs, 0u);
    EXPECT_EQ(meterState.appCount, 0u);
    EXPECT_EQ(meterState.historyCount, 0u);
    EXPECT_EQ(meterState.history[0].level, 55);   // rows stay; the count takes them out of use
    EXPECT_EQ(meterState.powerReadElapsedMs, 8000u);
    EXPECT_EQ(meterState.ticksSinceSave, 12u);
    EXPECT_EQ(meterState.paintedOnTimeMs, 7000u);
    EXPECT_EQ(meterState.chargeLevel, 64);
    EXPECT_EQ(meterState.batteryPresent, 1u);
    EXPECT_EQ(meterState.fullyCharged, 1u);
    EXPECT_EQ(meterState.settings.briefView, 1u);
    EXPECT_EQ(control::registryToRegText(), storeBefore);
}
