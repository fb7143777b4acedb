// The forecast suffix learned from the charge history.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "control.h"
#include "forecast.h"
#include "meter_state.h"

// From alloc_test.cpp: the heap allocations (operator new, malloc) made by body.
long countAllocations(void (*body)());

namespace {

struct Case {
    const char *why;
    std::vector<ChargeHistoryEntry> history;
    BYTE chargeLevel;
    DWORD offLevel;
    DWORD onTimeMs;
    DWORD forecastMode;
    const char *expected;
};

// The history of the worked example: two one-point falls of 600 000 ms each, 120 000 ms spent
// at the current level.
const std::vector<ChargeHistoryEntry> workedHistory
    = {{100, 0, 600000}, {99, 600000, 600000}, {98, 1200000, 120000}};

std::string suffixOf(const Case &c, DWORD historyCount)
{
    meterState = MeterState{};
    for (size_t i = 0; i < c.history.size() && i < historyCapacity; i++) {
        meterState.history[i] = c.history[i];
    }
    meterState.historyCount = historyCount;
    meterState.chargeLevel = c.chargeLevel;
    meterState.settings.offLevel = c.offLevel;
    meterState.onTimeMs = c.onTimeMs;
    meterState.settings.forecastMode = c.forecastMode;

    WCHAR suffix[forecastSuffixChars];
    for (WCHAR &unit : suffix) {
        unit = 0xBDBD;
    }
    forecastSuffix(suffix);
    return control::toUtf8(suffix);
}

std::string suffixOf(const Case &c)
{
    return suffixOf(c, (DWORD)c.history.size());
}

void expectSuffixes(const std::vector<Case> &cases)
{
    for (const Case &c : cases) {
        EXPECT_EQ(suffixOf(c), c.expected) << c.why;
    }
}

// 255 rows falling one point each, from 100 down to -154: 254 distinct falls, the i-th
// taking i seconds. The mean rate is 127 500 ms per point; the last row opens at 32 385 000.
std::vector<ChargeHistoryEntry> fullHistory()
{
    std::vector<ChargeHistoryEntry> rows;
    DWORD start = 0;
    for (LONG i = 0; i < (LONG)historyCapacity; i++) {
        start += (DWORD)i * 1000;
        rows.push_back({100 - i, start, 0});
    }
    return rows;
}

TEST(ForecastSuffix, WorkedExampleInBothModes)
{
    expectSuffixes({
        // 57 000 000 ms in all.
        {"total mode", workedHistory, 98, 5, 1320000, 1, " of 15:50"},
        // 55 680 000 ms left.
        {"remaining mode", workedHistory, 98, 5, 1320000, 2, ", 15:28 remains"},
        // Any mode other than 0 and 1 is the remaining mode.
        {"mode 3", workedHistory, 98, 5, 1320000, 3, ", 15:28 remains"},
        {"mode 0xFFFFFFFF", workedHistory, 98, 5, 1320000, 0xFFFFFFFF, ", 15:28 remains"},
    });
}

TEST(ForecastSuffix, EachDistinctFallCountsOnce)
{
    expectSuffixes({
        {"no history", {}, 98, 5, 1320000, 1, ""},
        {"a single row has no fall", {{90, 0, 600000}}, 90, 5, 600000, 1, ""},
        {"levels that only rise or stay give no fall",
         {{70, 0, 0}, {70, 600000, 0}, {75, 1200000, 0}},
         75,
         5,
         1200000,
         1,
         ""},
        // 80->79 twice, 300 000 ms each: one pair of 600 000 ms, so 79 x 600 000 ms are left;
        // two separate pairs would halve that to 6:50.
        {"a repeated fall accumulates in one pair",
         {{80, 0, 0}, {79, 300000, 0}, {80, 600000, 0}, {79, 900000, 0}},
         79,
         0,
         900000,
         1,
         " of 13:25"},
        // 80->77 in 900 000 ms is 300 000 ms per point, not 900 000.
        {"a fall of several points divides by the drop",
         {{80, 0, 0}, {77, 900000, 0}},
         77,
         0,
         900000,
         1,
         " of 6:40"},
        // 600 000 and 300 000 ms per point average to 450 000: 90 points are 40 500 000 ms.
        {"the mean of the rates of distinct falls",
         {{100, 0, 0}, {99, 600000, 0}, {97, 1200000, 0}},
         97,
         7,
         1200000,
         2,
         ", 11:15 remains"},
        // 101->99 would add a 300 000 ms rate and give 11:57.
        {"a pair that starts above 100 is skipped",
         {{101, 0, 0}, {99, 600000, 0}, {98, 1200000, 120000}},
         98,
         5,
         1320000,
         1,
         " of 15:50"},
        {"a full history: 254 pairs", fullHistory(), 50, 0, 32385000, 1, " of 10:46"},
        {"a full history, remaining", fullHistory(), 50, 0, 32385000, 2, ", 1:46 remains"},
    });

    // A stored count beyond the table is read as a full table, never past it.
    Case full{"count above capacity", fullHistory(), 50, 0, 32385000, 1, " of 10:46"};
    EXPECT_EQ(suffixOf(full, 1000), full.expected) << full.why;
}

TEST(ForecastSuffix, AFullHistorysLastRowIsNotTimeAtTheCurrentLevel)
{
    // The last row has taken an hour. Below capacity that hour was spent at the current level
    // and comes off the estimate; in a full history it holds every level since the table
    // filled, so nothing comes off.
    auto withLastHour = [](size_t rows) {
        std::vector<ChargeHistoryEntry> history = fullHistory();
        history.resize(rows);
        history.back().durationMs = 3600000;
        return history;
    };
    // 254 rows: mean 127 000 ms per point, the last row opened at 32 131 000.
    const DWORD onTime254 = 32131000 + 3600000;
    // 255 rows: mean 127 500 ms per point, the last row opened at 32 385 000.
    const DWORD onTime255 = 32385000 + 3600000;
    expectSuffixes({
        // 35 731 000 + 50 x 127 000 - 3 600 000 = 38 481 000 ms.
        {"one row below capacity, total", withLastHour(254), 50, 0, onTime254, 1, " of 10:41"},
        {"one row below capacity, remaining", withLastHour(254), 50, 0, onTime254, 2, ", 0:45 remains"},
        // 35 985 000 + 50 x 127 500 = 42 360 000 ms.
        {"full, total", withLastHour(255), 50, 0, onTime255, 1, " of 11:46"},
        {"full, remaining", withLastHour(255), 50, 0, onTime255, 2, ", 1:46 remains"},
    });
}

TEST(ForecastSuffix, LevelsLeftAndUnknownCharge)
{
    expectSuffixes({
        // No level left: the end lies 120 000 ms back and is moved to 65 000 ms ahead.
        {"charge equal to the off level", workedHistory, 5, 5, 1320000, 1, " of 0:23"},
        {"charge equal to the off level, remaining", workedHistory, 5, 5, 1320000, 2, ", 0:01 remains"},
        // Below the off level counts as none left, not as four billion points.
        {"charge below the off level", workedHistory, 3, 5, 1320000, 1, " of 0:23"},
        {"charge below the off level, remaining", workedHistory, 3, 5, 1320000, 2, ", 0:01 remains"},
        // At 30 000 ms per point, -2 points would put the end 60 000 ms back: 0:21.
        {"two points below the off level count as none",
         {{100, 0, 0}, {99, 30000, 0}},
         3,
         5,
         1320000,
         1,
         " of 0:22"},
        {"off level far above any charge", workedHistory, 98, 0xFFFFFFFF, 1320000, 2, ", 0:01 remains"},
        {"charge 101 is unknown", workedHistory, 101, 5, 1320000, 1, ""},
        {"charge 255 (never read) is unknown", workedHistory, 255, 5, 1320000, 2, ""},
        {"charge 100 is known", workedHistory, 100, 0, 1320000, 2, ", 16:38 remains"},
    });
}

TEST(ForecastSuffix, AnEndLongPastIsMovedAMinuteAhead)
{
    // No level left, so the predicted end is onTimeMs minus the time at the current level.
    auto spent = [](DWORD durationMs) {
        return std::vector<ChargeHistoryEntry>{{100, 0, 0}, {99, 600000, durationMs}};
    };
    expectSuffixes({
        // 65 000 ms back is not yet "more than 65 s": the total stays at 1 255 000 ms...
        {"exactly 65 s past, total", spent(65000), 5, 5, 1320000, 1, " of 0:20"},
        // ...and nothing remains.
        {"exactly 65 s past, remaining", spent(65000), 5, 5, 1320000, 2, ", 0:00 remains"},
        {"65.001 s past, total", spent(65001), 5, 5, 1320000, 1, " of 0:23"},
        {"65.001 s past, remaining", spent(65001), 5, 5, 1320000, 2, ", 0:01 remains"},
        {"1 ms past, remaining", spent(1), 5, 5, 1320000, 2, ", 0:00 remains"},
    });
}

TEST(ForecastSuffix, ValuesThatCannotBeShownGiveNoSuffix)
{
    expectSuffixes({
        // The end lies 30 000 ms before the count began: a negative total, not 1193:02.
        {"negative total", {{100, 0, 0}, {99, 0, 40000}}, 5, 5, 10000, 1, ""},
        {"the same end as a remaining time", {{100, 0, 0}, {99, 0, 40000}}, 5, 5, 10000, 2, ", 0:00 remains"},
        // 4 294 000 000 + 55 680 000 ms is past 32 bits; the remaining time is not.
        {"total beyond 32 bits", workedHistory, 98, 5, 4294000000u, 1, ""},
        {"remaining time of a total beyond 32 bits", workedHistory, 98, 5, 4294000000u, 2, ", 15:28 remains"},
        // 4 000 000 000 ms per point for 99 points.
        {"remaining time beyond 32 bits", {{100, 0, 0}, {99, 4000000000u, 0}}, 99, 0, 4000000000u, 2, ""},
        // 100 - INT_MIN does not fit in 32 bits; the rate is tiny and positive, not negative.
        {"a fall to a level far below zero",
         {{100, 0, 0}, {INT_MIN, 600000, 0}},
         98,
         5,
         1320000,
         1,
         " of 0:22"},
    });
}

TEST(ForecastSuffix, NotMadeWhenSwitchedOff)
{
    Case c{"", workedHistory, 98, 5, 1320000, 0, ""};
    EXPECT_EQ(suffixOf(c), "") << "mode 0";

    c.forecastMode = 1;
    suffixOf(c);
    meterState.settings.resetOnFullCharge = 1;
    meterState.fullyCharged = 1;
    WCHAR suffix[forecastSuffixChars] = {'x', 0};
    forecastSuffix(suffix);
    EXPECT_EQ(control::toUtf8(suffix), "") << "count held at full charge";
}

TEST(ForecastSuffix, AllocatesNothing)
{
    ASSERT_EQ(countAllocations([] { ::operator delete(::operator new(16)); }), 1)
        << "the counter sees allocations";
    Case c{"", fullHistory(), 50, 0, 32385000, 2, ""};
    suffixOf(c);
    EXPECT_EQ(countAllocations([] {
                  WCHAR suffix[forecastSuffixChars];
                  forecastSuffix(suffix);
              }),
              0);
}

}   // namespace
