// What one sample of the usage log costs with a full log: 99 rows and 50 visible windows whose
// titles sit in the second half of the rows, so each window's search passes 49 rows or more.
#include <benchmark/benchmark.h>
#include <control.h>

#include <string>

#include "app_usage.h"
#include "meter_state.h"
#include "support/durvo_fixtures.h"

namespace {

void BM_SampleFullLogFiftyWindows(benchmark::State &state)
{
    control::resetDevice();
    meterState = MeterState{};
    const DWORD rows = appCapacity - 1;
    fillAppRows(rows);
    for (DWORD i = rows - 50; i < rows; ++i) {
        control::addForeignWindow(control::fromUtf8("Program " + std::to_string(i)));
    }

    for (auto _ : state) {
        meterState.appSampleElapsedMs = 5100;
        sampleAppUsage();
    }
    benchmark::DoNotOptimize(meterState.apps[rows - 1].usageMs);
}

}   // namespace

BENCHMARK(BM_SampleFullLogFiftyWindows);
