// What one tick of the meter costs: in its steady state, with a power status read (every 15 s
// of on-time with a battery, every tick without one), and with the save of every 31st tick when
// both logs are full.
#include <benchmark/benchmark.h>
#include <control.h>

#include "meter_state.h"
#include "support/durvo_fixtures.h"
#include "tick.h"

namespace {

// Each tick is one second after the previous one, as the timer delivers it. Setting the tick
// count and the field stores of `prepare` are timed with the tick: pausing the timer around
// them would cost more than they do.
template <typename Prepare> void runTicks(benchmark::State &state, Prepare prepare)
{
    startWithFullLogs();
    DWORD now = GetTickCount();
    for (auto _ : state) {
        now += 1000;
        control::setTickCount(now);
        prepare();
        meterTick();
    }
    benchmark::DoNotOptimize(meterState.onTimeMs);
}

void BM_SteadyTick(benchmark::State &state)
{
    runTicks(state, [] { meterState.ticksSinceSave = 0; });
}

void BM_TickWithPowerRead(benchmark::State &state)
{
    runTicks(state, [] {
        meterState.ticksSinceSave = 0;
        meterState.powerReadElapsedMs = 15000;
    });
}

void BM_TickSavingFullLogs(benchmark::State &state)
{
    runTicks(state, [] { meterState.ticksSinceSave = 30; });
}

}   // namespace

BENCHMARK(BM_SteadyTick);
BENCHMARK(BM_TickWithPowerRead);
BENCHMARK(BM_TickSavingFullLogs);

BENCHMARK_MAIN();
