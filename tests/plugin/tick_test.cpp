// The one-second tick: counting, battery sensing, charge history, automatic resets, the save
// period and the repaint decision.
#include <control.h>
#include <gtest/gtest.h>

#include "meter_state.h"
#include "tick.h"

namespace {

DWORD storedDword(const WCHAR *name)
{
    HKEY key = nullptr;
    DWORD value = 0xdeadbeef, size = sizeof value;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Norvane"), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size);
        RegCloseKey(key);
    }
    return value;
}

// A device on battery at 80 % with the plug-in started and its item window just created.
class Tick : public ::testing::Test {
protected:
    void SetUp() override
    {
        control::resetDevice();
        control::setPowerStatus(AC_LINE_OFFLINE, BATTERY_FLAG_HIGH, 80);
        start();
    }
    static void start()
    {
        meterState = MeterState{};
        setDefaultSettings();
        resetTimers();
        loadMeterState();
        meterState.powerNow = PowerSample{};
        meterState.powerNow.BatteryLifePercent = 255;
        meterState.powerShown = meterState.powerNow;
        meterState.ticksSinceSave = 0;
    }
    static void tick(DWORD ms = 1000)
    {
        control::advanceClock(ms);
        meterTick();
    }
    // The next tick reads the battery even though one is known.
    static void readOnNextTick() { meterState.powerReadElapsedMs = 15000; }
};

}   // namespace

using TickCounting = Tick;
using ChargeSensors = Tick;
using ChargeHistory = Tick;
using ResetRules = Tick;
using SavePeriod = Tick;
using RepaintDecision = Tick;
using ApplicationSample = Tick;

TEST_F(TickCounting, StepsUpTo7000MsCountLongerOnesCountNothing)
{
    struct Case {
        DWORD gapMs;
        DWORD addedMs;
    } cases[] = {
        {1000, 1000},
        {7000, 7000},   // the largest counted step
        {7001, 0},      // the meter was not running
        {0, 0},
    };
    for (const Case &c : cases) {
        SetUp();
        tick(c.gapMs);
        EXPECT_EQ(meterState.onTimeMs, c.addedMs) << c.gapMs;
        EXPECT_EQ(meterState.logElapsedMs, c.addedMs) << c.gapMs;
        EXPECT_EQ(meterState.lastStepMs, c.addedMs) << c.gapMs;
        tick(1000);   // counting resumes from the later tick
        EXPECT_EQ(meterState.onTimeMs, c.addedMs + 1000) << c.gapMs;
    }
}

TEST_F(TickCounting, WrappedTickCountAddsNothingAndCountersWrapSilently)
{
    control::setTickCount(0xFFFFFF00u);
    start();
    meterState.onTimeMs = 0xFFFFFF00u;
    tick(1000);   // the tick count passes 2^32
    EXPECT_EQ(meterState.onTimeMs, 0xFFFFFF00u);
    EXPECT_EQ(meterState.lastStepMs, 0u);
    EXPECT_EQ(meterState.lastTickCount, 744u);
    tick(1000);   // measured from the wrapped value; the on-time wraps too
    EXPECT_EQ(meterState.onTimeMs, 744u);
}

TEST_F(ChargeSensors, LevelPresenceAndFullChargePerSensor)
{
    struct Case {
        DWORD sensor;
        BYTE ac, flag, percent;
        BYTE level;   // 80 was the level before the read
        DWORD present, full;
    } cases[] = {
        {1, 1, 9, 50, 100, 1, 0},    // three-state: high and charging is not full
        {1, 0, 8, 50, 101, 0, 0},    // three-state: charging alone tells no level
        {1, 1, 1, 255, 100, 1, 1},   // three-state ignores the percent
        {1, 0, 6, 255, 50, 1, 0},    // low wins over critical
        {1, 0, 4, 255, 10, 1, 0},
        {2, 1, 12, 100, 100, 1, 1},   // Dell Axim full
        {2, 1, 1, 100, 100, 1, 0},    // Dell Axim needs exactly flag 12
        {2, 1, 12, 99, 99, 1, 0},
        {2, 1, 12, 255, 80, 0, 0},    // Dell Axim uses the percent like the standard sensor
        {0, 1, 1, 100, 100, 1, 1},    // standard full
        {0, 1, 9, 100, 100, 1, 0},    // still charging
        {0, 0, 1, 100, 100, 1, 0},    // not on external power
        {0, 1, 1, 255, 80, 0, 0},     // unknown percent keeps the last level
        {0, 1, 255, 100, 80, 0, 0},   // unknown battery flag
        {0, 0, 1, 101, 101, 0, 0},    // a level above 100 is no battery
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "sensor " << c.sensor << " ac " << int(c.ac) << " flag "
                                        << int(c.flag) << " % " << int(c.percent));
        SetUp();
        meterState.settings.chargeSensor = c.sensor;
        meterState.chargeLevel = 80;
        control::setPowerStatus(c.ac, c.flag, c.percent);
        tick();
        EXPECT_EQ(meterState.chargeLevel, c.level);
        EXPECT_EQ(meterState.batteryPresent, c.present);
        EXPECT_EQ(meterState.fullyCharged, c.full);
        EXPECT_EQ(meterState.historyCount, c.present);
    }
}

TEST_F(ChargeSensors, FailedCallKeepsLevel)
{
    meterState.chargeLevel = 80;
    control::setPowerCallFails(true);
    tick();
    EXPECT_EQ(meterState.batteryPresent, 0u);
    EXPECT_EQ(meterState.chargeLevel, 80);
}

TEST_F(ChargeSensors, KnownBatteryIsReadOnceMoreThan15sHavePassed)
{
    tick();
    EXPECT_EQ(meterState.chargeLevel, 80);
    control::setPowerStatus(AC_LINE_OFFLINE, BATTERY_FLAG_HIGH, 70);
    for (int i = 0; i < 15; ++i) {
        tick();
    }
    EXPECT_EQ(meterState.chargeLevel, 80);   // 15000 ms since the read: not yet
    tick();
    EXPECT_EQ(meterState.chargeLevel, 70);
    EXPECT_EQ(meterState.powerReadElapsedMs, 0u);
    // Without a battery every tick reads.
    control::setPowerCallFails(true);
    readOnNextTick();
    tick();
    control::setPowerCallFails(false);
    tick();
    EXPECT_EQ(meterState.batteryPresent, 1u);
}

TEST_F(ChargeHistory, ANewRowNeedsMoreThan30sInTheLastOne)
{
    struct Case {
        int ticksAt80;
        DWORD rows;
    } cases[] = {
        {40, 2},
        {31, 2},   // the row has lasted 31 s
        {30, 1},   // exactly 30 s: relabelled only
        {20, 1},
    };
    for (const Case &c : cases) {
        SetUp();
        for (int i = 0; i < c.ticksAt80; ++i) {
            tick();
        }
        control::setPowerStatus(AC_LINE_OFFLINE, BATTERY_FLAG_HIGH, 79);
        readOnNextTick();
        tick();
        ASSERT_EQ(meterState.historyCount, c.rows) << c.ticksAt80;
        const ChargeHistoryEntry &last = meterState.history[c.rows - 1];
        EXPECT_EQ(last.level, 79);
        EXPECT_EQ(last.startOnTimeMs, c.rows == 1 ? 1000u : meterState.onTimeMs);
        EXPECT_EQ(last.durationMs, c.rows == 1 ? meterState.onTimeMs : 1000u);
        if (c.rows == 2) {
            EXPECT_EQ(meterState.history[0].level, 80);
        }
    }
}

TEST_F(ChargeHistory, FullHistoryGrowsItsLastRow)
{
    tick();
    meterState.historyCount = 255;
    meterState.history[254] = {80, 1000, 50000};
    control::setPowerStatus(AC_LINE_OFFLINE, BATTERY_FLAG_HIGH, 79);
    readOnNextTick();
    tick();
    EXPECT_EQ(meterState.historyCount, 255u);
    EXPECT_EQ(meterState.history[254].level, 79);
    EXPECT_EQ(meterState.history[254].durationMs, 51000u);
}

TEST_F(ResetRules, ExternalPowerRestartsTheCountEveryTick)
{
    meterState.settings.resetOnExternalPower = 1;
    control::setPowerStatus(AC_LINE_ONLINE, BATTERY_FLAG_HIGH | BATTERY_FLAG_CHARGING, 90);
    for (int i = 0; i < 5; ++i) {
        tick();
        EXPECT_EQ(meterState.historyCount, 0u);
        EXPECT_EQ(meterState.onTimeMs, 0u);
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(meterState.startedAt.wSecond, now.wSecond);   // follows the clock
    // Off external power the history starts afresh at the next read.
    control::setPowerStatus(AC_LINE_OFFLINE, BATTERY_FLAG_HIGH, 90);
    for (int i = 0; i < 17; ++i) {
        tick();
    }
    EXPECT_EQ(meterState.historyCount, 1u);
    EXPECT_GT(meterState.onTimeMs, 0u);
    // No battery known: the rule does not apply.
    SetUp();
    meterState.settings.resetOnExternalPower = 1;
    control::setPowerStatus(AC_LINE_ONLINE, BATTERY_FLAG_UNKNOWN, 90);
    tick();
    tick();
    EXPECT_EQ(meterState.onTimeMs, 2000u);
}

TEST_F(ResetRules, FullChargeAndMissingStartRestartTheCount)
{
    struct Case {
        DWORD resetOnFullCharge;
        BYTE flag;
        WORD startYear;   // 0: no start time was ever set
        bool restarts;
    } cases[] = {
        {1, BATTERY_FLAG_HIGH, 2005, true},
        {0, BATTERY_FLAG_HIGH, 2005, false},                           // the setting is off
        {1, BATTERY_FLAG_HIGH | BATTERY_FLAG_CHARGING, 2005, false},   // not full yet
        {0, BATTERY_FLAG_HIGH, 0, true},
    };
    for (const Case &c : cases) {
        SetUp();
        meterState.settings.resetOnFullCharge = c.resetOnFullCharge;
        meterState.startedAt.wYear = c.startYear;
        control::setPowerStatus(AC_LINE_ONLINE, c.flag, 100);
        tick();
        EXPECT_EQ(meterState.onTimeMs, c.restarts ? 0u : 1000u) << int(c.flag);
        EXPECT_EQ(meterState.historyCount, c.restarts ? 0u : 1u) << int(c.flag);
        EXPECT_EQ(meterState.startedAt.wYear, 2005);
    }
}

TEST_F(ResetRules, FlagsActAtOneOnly)
{
    // A store edited by hand may hold any number; only 1 switches a rule on, as the item
    // window's soft-reset rule reads it.
    struct Case {
        const char *flag;
        DWORD MeterSettings::*setting;
        BYTE ac, batteryFlag;   // conditions under which the rule would act
        DWORD value;
        bool acts;
    } cases[] = {
        {"resetOnExternalPower", &MeterSettings::resetOnExternalPower, AC_LINE_ONLINE,
         BATTERY_FLAG_HIGH | BATTERY_FLAG_CHARGING, 0, false},
        {"resetOnExternalPower", &MeterSettings::resetOnExternalPower, AC_LINE_ONLINE,
         BATTERY_FLAG_HIGH | BATTERY_FLAG_CHARGING, 1, true},
        {"resetOnExternalPower", &MeterSettings::resetOnExternalPower, AC_LINE_ONLINE,
         BATTERY_FLAG_HIGH | BATTERY_FLAG_CHARGING, 2, false},
        {"resetOnFullCharge", &MeterSettings::resetOnFullCharge, AC_LINE_ONLINE, BATTERY_FLAG_HIGH, 0, false},
        {"resetOnFullCharge", &MeterSettings::resetOnFullCharge, AC_LINE_ONLINE, BATTERY_FLAG_HIGH, 1, true},
        {"resetOnFullCharge", &MeterSettings::resetOnFullCharge, AC_LINE_ONLINE, BATTERY_FLAG_HIGH, 2, false},
        {"resetOnFullCharge", &MeterSettings::resetOnFullCharge, AC_LINE_ONLINE, BATTERY_FLAG_HIGH,
         0xFFFFFFFF, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.flag << " = " << c.value);
        SetUp();
        meterState.settings.*c.setting = c.value;
        control::setPowerStatus(c.ac, c.batteryFlag, 100);
        tick();
        tick();
        EXPECT_EQ(meterState.onTimeMs, c.acts ? 0u : 2000u);
    }
}

TEST_F(ApplicationSample, GatheringActsAtOneOnly)
{
    struct Case {
        DWORD gatherAppStats;
        DWORD rows;
    } cases[] = {{0, 0}, {1, 1}, {2, 0}, {0xFFFFFFFF, 0}};
    for (const Case &c : cases) {
        SetUp();
        control::addForeignWindow(u"Calculator");
        meterState.settings.gatherAppStats = c.gatherAppStats;
        for (int i = 0; i < 6; ++i) {
            tick();
        }
        EXPECT_EQ(meterState.appCount, c.rows) << c.gatherAppStats;
        EXPECT_EQ(meterState.appSampleElapsedMs, 0u) << c.gatherAppStats;   // cleared either way
    }
}

TEST_F(SavePeriod, TheTickAt30SavesThenThirtyOnlyCount)
{
    meterState.ticksSinceSave = 30;
    tick();
    EXPECT_EQ(meterState.ticksSinceSave, 0u);
    EXPECT_EQ(storedDword(TEXT("dvDurvo")), 1000u);
    for (int i = 0; i < 30; ++i) {
        tick();
    }
    EXPECT_EQ(meterState.ticksSinceSave, 30u);
    EXPECT_EQ(storedDword(TEXT("dvDurvo")), 1000u);
    tick();
    EXPECT_EQ(meterState.ticksSinceSave, 0u);
    EXPECT_EQ(storedDword(TEXT("dvDurvo")), 32000u);
}

TEST_F(RepaintDecision, ShownMinuteIsTheMinuteWithinTheHour)
{
    struct Case {
        DWORD ms;
        DWORD minute;
    } cases[] = {
        {0, 0},           {59999, 0}, {60000, 1}, {3599999, 59},   // 0:59:59
        {3600000, 0},                                              // 1:00:00
        {0xFFFFFFFFu, 2},                                          // 1193:02:47
    };
    for (const Case &c : cases) {
        EXPECT_EQ(shownMinute(c.ms), c.minute) << c.ms;
    }
}

TEST_F(RepaintDecision, MinuteOrPowerBytesChanged)
{
    struct Case {
        DWORD paintedMs, onTimeMs;
        BYTE ac, flag, percent;   // of powerNow; powerShown is on battery, flag 1, 80 %
        DWORD lifeTime;           // a byte the item does not show
        bool repaint;
    } cases[] = {
        {0, 59999, 0, 1, 80, 0, false},
        {3599000, 3600000, 0, 1, 80, 0, true},   // 59:59 -> 1:00:00
        {60000, 3660000, 0, 1, 80, 0, false},    // the hour alone changed
        {0, 0, 1, 1, 80, 0, true},
        {0, 0, 0, 9, 80, 0, true},
        {0, 0, 0, 1, 79, 0, true},
        {0, 0, 0, 1, 80, 3600, false},
    };
    for (const Case &c : cases) {
        meterState.powerShown = PowerSample{};
        meterState.powerShown.BatteryFlag = 1;
        meterState.powerShown.BatteryLifePercent = 80;
        meterState.powerNow = meterState.powerShown;
        meterState.powerNow.ACLineStatus = c.ac;
        meterState.powerNow.BatteryFlag = c.flag;
        meterState.powerNow.BatteryLifePercent = c.percent;
        meterState.powerNow.BatteryLifeTime = c.lifeTime;
        meterState.paintedOnTimeMs = c.paintedMs;
        meterState.onTimeMs = c.onTimeMs;
        EXPECT_EQ(shownValuesChanged(), c.repaint) << c.paintedMs << " " << c.onTimeMs;
    }
}

TEST_F(RepaintDecision, TickTakesTheWholeReadingAsShown)
{
    SYSTEM_POWER_STATUS_EX2 status = {};
    status.BatteryFlag = BATTERY_FLAG_LOW;
    status.BatteryLifePercent = 30;
    status.BatteryVoltage = 3700;
    status.BatteryChemistry = 5;
    control::setPowerStatus(status);
    tick();
    EXPECT_EQ(meterState.powerShown.BatteryVoltage, 3700u);
    EXPECT_EQ(meterState.powerShown.BatteryChemistry, 5);
    EXPECT_EQ(meterState.powerShown.BatteryLifePercent, 30);
}

TEST_F(ApplicationSample, ClockClearsAfterMoreThan5s)
{
    for (int i = 0; i < 5; ++i) {
        tick();
    }
    EXPECT_EQ(meterState.appSampleElapsedMs, 5000u);
    tick();   // cleared whether or not the usage log is kept
    EXPECT_EQ(meterState.appSampleElapsedMs, 0u);
}
