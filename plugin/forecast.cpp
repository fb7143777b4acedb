#include "forecast.h"

#include "meter_state.h"
#include "time_texts.h"

// One distinct fall of the charge level seen in the history, with all its on-time.
struct ForecastPair {
    LONG fromLevel;
    LONG toLevel;
    DWORD accumulatedMs;   // summed over every occurrence of this fall
};

// 255 history rows give at most 254 consecutive pairs; one spare row keeps the table's
// size equal to the history's.
static const int forecastPairRows = 255;
static const int forecastPairLimit = 254;

// The end is never put further in the past than this: a battery that outlived its estimate
// is given a little more than a minute.
static const LONGLONG overdueMs = 65000;

static const LONGLONG largestShownMs = 0xFFFFFFFFLL;

// Collects the falls of consecutive history rows into pairs; returns the rows in use.
static int collectFalls(const ChargeHistoryEntry *history, DWORD rows, ForecastPair *pairs)
{
    int used = 0;
    for (DWORD i = 1; i < rows; i++) {
        if (used == forecastPairLimit) {
            break;
        }
        const ChargeHistoryEntry &before = history[i - 1];
        const ChargeHistoryEntry &after = history[i];
        if (before.level > 100 || after.level >= before.level) {
            continue;
        }
        int k = 0;
        while (k < used && !(pairs[k].fromLevel == before.level && pairs[k].toLevel == after.level)) {
            k++;
        }
        if (k == used) {
            used++;
        }
        pairs[k].fromLevel = before.level;
        pairs[k].toLevel = after.level;
        // On-time between the openings of the two rows; wraps with the counter.
        pairs[k].accumulatedMs += after.startOnTimeMs - before.startOnTimeMs;
    }
    return used;
}

// Every distinct fall counts once, whatever its size or how often it occurred.
static double meanMsPerLevel(const ForecastPair *pairs, int used)
{
    double sum = 0;
    for (int k = 0; k < used; k++) {
        LONGLONG drop = (LONGLONG)pairs[k].fromLevel - (LONGLONG)pairs[k].toLevel;
        sum += (double)pairs[k].accumulatedMs / (double)drop;
    }
    return sum / (double)used;
}

void forecastSuffix(WCHAR *suffix)
{
    suffix[0] = 0;

    const MeterState &state = meterState;
    const MeterSettings &settings = state.settings;
    if (settings.forecastMode == 0 || (settings.resetOnFullCharge && state.fullyCharged)) {
        return;
    }
    // An unknown level gives nothing to count down from.
    if (state.chargeLevel > 100) {
        return;
    }
    DWORD rows = state.historyCount < historyCapacity ? state.historyCount : historyCapacity;
    if (rows < 2) {
        return;
    }

    ForecastPair pairs[forecastPairRows] = {};
    int used = collectFalls(state.history, rows, pairs);
    if (used == 0) {
        return;
    }
    double meanRate = meanMsPerLevel(pairs, used);

    // Signed 64-bit from here on, so that no step wraps.
    LONGLONG levelsLeft = (LONGLONG)state.chargeLevel - (LONGLONG)settings.offLevel;
    if (levelsLeft < 0) {
        levelsLeft = 0;
    }
    LONGLONG predictedMs = (LONGLONG)((double)levelsLeft * meanRate);
    LONGLONG now = state.onTimeMs;
    // The last row's duration is on-time already spent at the current level, until the
    // history is full: then the last row takes all further time at every level, and its
    // duration says nothing about the current one.
    LONGLONG spentAtLevel = rows < historyCapacity ? (LONGLONG)state.history[rows - 1].durationMs : 0;
    LONGLONG predictedEnd = now + predictedMs - spentAtLevel;
    if (predictedEnd + overdueMs < now) {
        predictedEnd = now + overdueMs;
    }

    bool showTotal = settings.forecastMode == 1;
    LONGLONG shown = showTotal ? predictedEnd : predictedEnd - now;
    if (!showTotal && shown < 0) {
        shown = 0;   // due within the last minute: nothing remains
    }
    if (shown < 0 || shown > largestShownMs) {
        return;
    }

    HoursMinutes time = toHoursMinutes((DWORD)shown);
    if (showTotal) {
        wsprintfW(suffix, TEXT(" of %d:%02d"), (int)time.hours, (int)time.minutes);
    } else {
        wsprintfW(suffix, TEXT(", %d:%02d remains"), (int)time.hours, (int)time.minutes);
    }
}
