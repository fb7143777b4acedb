// Loading and saving the registry's .reg text as it grows: the time per key or value must stay
// flat (linear, or n log n) from 10,000 to 200,000, whatever order the file lists them in.
#include <benchmark/benchmark.h>

#include <control.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

// A fixed shuffle, so that every run reads the same text and no key arrives in sorted order.
std::vector<size_t> shuffled(size_t count)
{
    std::vector<size_t> order(count);
    for (size_t i = 0; i < count; ++i) order[i] = i;
    uint64_t seed = 0x9E3779B97F4A7C15ull;
    for (size_t i = count - 1; i > 0; --i) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        std::swap(order[i], order[(seed >> 33) % (i + 1)]);
    }
    return order;
}

std::string siblingKeys(size_t count)
{
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    char line[96];
    for (size_t i : shuffled(count)) {
        std::snprintf(line, sizeof line,
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Many\\Key%07zu]\n\"v\"=dword:%08zx\n\n", i, i);
        text += line;
    }
    return text;
}

std::string valuesInOneKey(size_t count)
{
    std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Many]\n";
    char line[64];
    for (size_t i : shuffled(count)) {
        std::snprintf(line, sizeof line, "\"Value%07zu\"=hex:01,02,03,04\n", i);
        text += line;
    }
    return text;
}

void load(benchmark::State &state, const std::string &text)
{
    control::resetDevice();
    std::string error;
    for (auto _ : state) {
        if (!control::registryFromRegText(text, &error)) state.SkipWithError(error.c_str());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void BM_LoadSiblingKeys(benchmark::State &state)
{
    load(state, siblingKeys(static_cast<size_t>(state.range(0))));
}

void BM_LoadValuesInOneKey(benchmark::State &state)
{
    load(state, valuesInOneKey(static_cast<size_t>(state.range(0))));
}

void BM_SaveSiblingKeys(benchmark::State &state)
{
    control::resetDevice();
    std::string error;
    control::registryFromRegText(siblingKeys(static_cast<size_t>(state.range(0))), &error);
    for (auto _ : state) {
        std::string text = control::registryToRegText();
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}   // namespace

BENCHMARK(BM_LoadSiblingKeys)->Arg(10000)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadValuesInOneKey)->Arg(10000)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveSiblingKeys)->Arg(10000)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond);
