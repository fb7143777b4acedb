// The meter's one state record and the registry key that keeps it across soft resets.
#ifndef DURVO_METER_STATE_H
#define DURVO_METER_STATE_H

#include <windows.h>

// One power status reading; the meter uses bytes 0 (AC line), 1 (battery flag) and 2 (percent).
typedef SYSTEM_POWER_STATUS_EX2 PowerSample;

// A row of the charge history, stored byte for byte in "chData".
struct ChargeHistoryEntry {
    LONG level;            // charge percent 0..100 the battery showed during this row
    DWORD startOnTimeMs;   // onTimeMs when the row was opened
    DWORD durationMs;      // counted on-time spent in this row
};
static_assert(sizeof(ChargeHistoryEntry) == 12, "chData rows are 12 bytes");
static_assert(FIELD_OFFSET(ChargeHistoryEntry, startOnTimeMs) == 4, "chData row layout");
static_assert(FIELD_OFFSET(ChargeHistoryEntry, durationMs) == 8, "chData row layout");

// Units kept per title: 46 characters, the terminator and one spare.
const int appTitleUnits = 48;

// A row of the application usage log, stored byte for byte in "logData".
struct AppUsageEntry {
    WCHAR title[appTitleUnits];   // units after the terminator are leftovers, never read
    DWORD usageMs;
    DWORD launchCount;
    DWORD running;          // flag: present at the latest sample
    DWORD seenThisSample;   // flag: scratch mark of a sampling pass
};
static_assert(sizeof(AppUsageEntry) == 112, "logData rows are 112 bytes");
static_assert(FIELD_OFFSET(AppUsageEntry, usageMs) == 96, "logData row layout");
static_assert(FIELD_OFFSET(AppUsageEntry, launchCount) == 100, "logData row layout");
static_assert(FIELD_OFFSET(AppUsageEntry, running) == 104, "logData row layout");
static_assert(FIELD_OFFSET(AppUsageEntry, seenThisSample) == 108, "logData row layout");

// The user's settings, edited by the options page. Flags hold 0 or 1.
struct MeterSettings {
    DWORD resetOnFullCharge;
    DWORD resetOnSoftReset;
    DWORD resetOnExternalPower;
    DWORD logSaveMinutes;   // 0 = report only on demand; 5, 10, 30, 60
    DWORD gatherAppStats;
    DWORD briefView;
    DWORD chargeSensor;   // one of the ChargeSensor values
    DWORD ppc2002Style;
    DWORD forecastMode;   // 0 none, 1 total on-time, 2 remaining on-time
    DWORD offLevel;       // percent at which the device turns itself off
};

enum ChargeSensor : DWORD {
    chargeSensorStandard = 0,
    chargeSensorThreeState = 1,   // the "Casio-E115 3-state Charge Sensor" entry
    chargeSensorDellAxim = 2,
};

// Fixed capacities: the logs never grow on the heap.
const DWORD historyCapacity = 255;
const DWORD appCapacity = 100;         // the usage log fills at most 99 of them
const BYTE chargeLevelUnknown = 255;   // any level above 100 means unknown

struct MeterState {
    MeterSettings settings;

    // The count: durations are counted on-time in ms and wrap modulo 2^32.
    SYSTEMTIME startedAt;   // local time; year 0 = never set
    DWORD onTimeMs;
    DWORD logElapsedMs;         // since the report file was last written
    DWORD appSampleElapsedMs;   // since the last application sample
    DWORD powerReadElapsedMs;   // since the last power status read
    DWORD lastTickCount;        // GetTickCount against which the next step is measured
    DWORD lastStepMs;
    DWORD ticksSinceSave;    // 0..30
    DWORD paintedOnTimeMs;   // onTimeMs at the start of the last paint

    PowerSample powerNow;     // the latest reading
    PowerSample powerShown;   // the reading the last repaint decision was taken on
    DWORD batteryPresent;     // flag: the last read gave a usable level
    BYTE chargeLevel;         // 0..100, above 100 unknown
    DWORD fullyCharged;       // flag: the sensor's full-charge rule held at the last tick

    DWORD historyCount;
    ChargeHistoryEntry history[historyCapacity];
    DWORD appCount;
    AppUsageEntry apps[appCapacity];
};

extern MeterState meterState;

// Display values kept beside the state for the life of the library.
extern int lineHeight;     // pixels of one text line of the item
extern int uiFontHeight;   // the shell's user-interface font size; 12 until the shell says

bool isPpc2002StylePlatform();
// Whole seconds from first to second (negative when second is earlier), truncated toward zero.
LONGLONG fileTimeDiffSeconds(FILETIME first, FILETIME second);
// Starts a new count now; the settings and the power readings stay, nothing is saved.
void resetTimers();
void setDefaultSettings();
void saveMeterState();
void loadMeterState();

#endif
