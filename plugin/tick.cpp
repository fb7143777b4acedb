#include "tick.h"

#include "app_usage.h"
#include "module.h"
#include "report.h"

// A longer pause between two ticks means the meter was not running: it counts nothing.
static const DWORD largestCountedStepMs = 7000;
// While a battery is known the status is read at most this often; the driver's cached
// status changes slowly and the read is not free.
static const DWORD powerReadIntervalMs = 15000;
static const DWORD appSampleIntervalMs = 5000;
// A level change within a row's first 30 s only relabels it, so a flickering reading does not
// fill the history with short rows.
static const DWORD historyRowMinimumMs = 30000;
// Save on every 31st tick, so that at most 30 s of counting is lost when the process ends.
static const DWORD savePeriodTicks = 30;
static const DWORD msPerMinute = 60000;

static const BYTE acLineOnline = 1;
static const BYTE batteryFlagUnknown = 255;
static const BYTE batteryFlagHigh = 1;
static const BYTE batteryFlagLow = 2;
static const BYTE batteryFlagCritical = 4;
static const BYTE batteryFlagCharging = 8;
// The Dell Axim shows its full charge on external power as exactly this flag value.
static const BYTE dellAximFullFlag = 12;
static const BYTE percentUnknown = 255;

static DWORD measureStep(DWORD now)
{
    if (now < meterState.lastTickCount) {   // the tick count has wrapped
        meterState.lastStepMs = 0;
        return 0;
    }
    meterState.lastStepMs = now - meterState.lastTickCount;
    if (meterState.lastStepMs > largestCountedStepMs) {
        meterState.lastStepMs = 0;
    }
    return meterState.lastStepMs;
}

static BYTE threeStateLevel(BYTE batteryFlag)
{
    if (batteryFlag & batteryFlagHigh) {
        return 100;
    }
    if (batteryFlag & batteryFlagLow) {
        return 50;
    }
    if (batteryFlag & batteryFlagCritical) {
        return 10;
    }
    return 101;
}

static void readPower()
{
    meterState.powerReadElapsedMs = 0;
    const PowerSample &power = meterState.powerNow;
    DWORD sensor = meterState.settings.chargeSensor;
    // The cached status: asking the driver for a fresh one every read would cost battery.
    if (!GetSystemPowerStatusEx2(&meterState.powerNow, sizeof(PowerSample), FALSE)
        || power.BatteryFlag == batteryFlagUnknown
        || (power.BatteryLifePercent == percentUnknown && sensor != chargeSensorThreeState)) {
        meterState.batteryPresent = 0;
        return;
    }
    meterState.batteryPresent = 1;
    meterState.chargeLevel
        = sensor == chargeSensorThreeState ? threeStateLevel(power.BatteryFlag) : power.BatteryLifePercent;
    if (meterState.chargeLevel > 100) {
        meterState.batteryPresent = 0;
    }
}

static DWORD fullChargeRuleHolds()
{
    const PowerSample &power = meterState.powerNow;
    if (!meterState.batteryPresent || power.ACLineStatus != acLineOnline || meterState.chargeLevel != 100) {
        return 0;
    }
    if (meterState.settings.chargeSensor == chargeSensorDellAxim) {
        return power.BatteryFlag == dellAximFullFlag;
    }
    return !(power.BatteryFlag & batteryFlagCharging);
}

static void recordChargeHistory(DWORD step)
{
    DWORD &count = meterState.historyCount;
    BYTE level = meterState.chargeLevel;
    bool openRow = count == 0;
    if (count > 0 && count < historyCapacity) {
        const ChargeHistoryEntry &last = meterState.history[count - 1];
        openRow = last.level != level && last.durationMs > historyRowMinimumMs;
    }
    if (openRow) {
        ++count;
        meterState.history[count - 1].durationMs = 0;
        meterState.history[count - 1].startOnTimeMs = meterState.onTimeMs;
    }
    // Once the history is full its last row takes all further time at the current level.
    ChargeHistoryEntry &last = meterState.history[count - 1];
    last.durationMs += step;
    last.level = level;
}

DWORD shownMinute(DWORD onTimeMs)
{
    return onTimeMs / 1000 % 3600 / 60;
}

bool shownValuesChanged()
{
    const PowerSample &now = meterState.powerNow;
    const PowerSample &shown = meterState.powerShown;
    return shownMinute(meterState.paintedOnTimeMs) != shownMinute(meterState.onTimeMs)
        || now.BatteryLifePercent != shown.BatteryLifePercent || now.ACLineStatus != shown.ACLineStatus
        || now.BatteryFlag != shown.BatteryFlag;
}

void meterTick()
{
    MeterState &state = meterState;
    const MeterSettings &settings = meterState.settings;

    DWORD now = GetTickCount();
    DWORD step = measureStep(now);
    state.onTimeMs += step;
    state.logElapsedMs += step;
    state.appSampleElapsedMs += step;
    state.powerReadElapsedMs += step;

    // Without a known battery every tick reads, so a battery that appears is seen at once.
    if (!state.batteryPresent || state.powerReadElapsedMs > powerReadIntervalMs) {
        readPower();
    }
    state.fullyCharged = fullChargeRuleHolds();

    // The report clears logElapsedMs once written; a failed write is tried again next tick.
    if (settings.logSaveMinutes != 0 && state.logElapsedMs > settings.logSaveMinutes * msPerMinute) {
        writeReport(ReportMode::Silent);
    }

    if (state.appSampleElapsedMs > appSampleIntervalMs) {
        if (settings.gatherAppStats == 1) {
            sampleAppUsage();   // reads appSampleElapsedMs before it is cleared
        }
        state.appSampleElapsedMs = 0;
    }

    if (state.batteryPresent) {
        if (state.chargeLevel <= 100) {
            recordChargeHistory(step);
        }
        if (settings.resetOnExternalPower == 1 && state.powerNow.ACLineStatus == acLineOnline) {
            resetTimers();
        }
    }
    // The flags act at 1 only, as resetOnSoftReset does at window creation: a hand-edited
    // store value of 2 must not mean one thing here and another there.
    if ((state.fullyCharged == 1 && settings.resetOnFullCharge == 1) || state.startedAt.wYear == 0) {
        resetTimers();
    }

    if (state.ticksSinceSave < savePeriodTicks) {
        ++state.ticksSinceSave;
    } else {
        saveMeterState();
    }

    if (shownValuesChanged()) {
        requestRepaint();
    }

    state.powerShown = state.powerNow;
    // Measured from this tick's start even when a reset above took a later tick count.
    state.lastTickCount = now;
}
