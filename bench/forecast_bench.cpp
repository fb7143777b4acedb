// What the forecast costs at each paint in its worst case: a full history of 255 rows whose
// 254 consecutive pairs are all distinct falls, so every search runs through all pairs in use.
#include <benchmark/benchmark.h>

#include "forecast.h"
#include "meter_state.h"

namespace {

void BM_ForecastFullHistoryDistinctFalls(benchmark::State &state)
{
    meterState = MeterState{};
    meterState.settings.forecastMode = 2;
    meterState.chargeLevel = 50;
    meterState.historyCount = historyCapacity;
    DWORD start = 0;
    for (DWORD i = 0; i < historyCapacity; ++i) {
        start += i * 1000;
        meterState.history[i] = {100 - (LONG)i, start, 0};
    }
    meterState.onTimeMs = start;

    WCHAR suffix[forecastSuffixChars];
    for (auto _ : state) {
        forecastSuffix(suffix);
        benchmark::DoNotOptimize(suffix);
    }
}

}   // namespace

BENCHMARK(BM_ForecastFullHistoryDistinctFalls);
