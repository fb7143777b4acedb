// What one paint of the Today item costs: composing the lines alone, and the whole paint with
// icon load, fonts and text drawing, in both views and both looks.
#include <benchmark/benchmark.h>
#include <control.h>

#include "item_paint.h"
#include "item_window.h"
#include "module.h"
#include "meter_state.h"
#include "support/durvo_fixtures.h"

#include <filesystem>

namespace {

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

// The built library's icons, for the paint to load: Durvo.dll lies beside the bench in the
// build tree. Without it the paint runs without an icon.
void useBuiltLibraryIcons()
{
    namespace fs = std::filesystem;
    fs::path buildDir = fs::read_symlink("/proc/self/exe").parent_path().parent_path();
    HMODULE library = loadBuiltDurvo(buildDir, fs::temp_directory_path() / "durvo-paint-bench");
    if (library != NULL) moduleInstance = library;
}

// A Today screen with one item of the linked plug-in code, counting since two days.
HWND startItem(DWORD ppc2002Style, DWORD briefView)
{
    control::resetDevice();
    useBuiltLibraryIcons();
    WNDCLASSW host = {};
    host.lpfnWndProc = hostProc;
    host.lpszClassName = TEXT("BenchHost");
    RegisterClassW(&host);
    HWND parent = CreateWindowExW(0, TEXT("BenchHost"), TEXT("Today"), WS_VISIBLE, 0, 0, 240, 320, NULL, NULL,
                                  NULL, NULL);
    TODAYLISTITEM item = {};
    item.fEnabled = TRUE;
    item.hinstDLL = moduleInstance;
    HWND window = InitializeCustomItem(&item, parent);
    meterState.settings.ppc2002Style = ppc2002Style;
    meterState.settings.briefView = briefView;
    meterState.settings.forecastMode = 2;
    meterState.onTimeMs = 45240000;
    meterState.chargeLevel = 85;
    // A falling charge, so that the forecast has something to learn at every paint.
    meterState.historyCount = historyCapacity;
    for (DWORD i = 0; i < historyCapacity; i++)
        meterState.history[i] = {LONG(100 - i % 100), i * 600000, 600000};
    SYSTEMTIME start = {2005, 6, 0, 8, 14, 5, 0, 0};
    meterState.startedAt = start;
    measureLineHeight(window);
    MoveWindow(window, 0, 0, 240, lineHeight + 1, FALSE);
    return window;
}

void BM_ComposeItemLines(benchmark::State &state)
{
    static MeterState meter;
    meter.settings.briefView = DWORD(state.range(0));
    meter.onTimeMs = 45240000;
    meter.chargeLevel = 85;
    LineParts parts = {TEXT("6/8/2005"), TEXT("2:05 PM"), TEXT("2d 3h"), TEXT(", 2:36 remains")};
    ItemLines lines;
    for (auto _ : state) {
        composeItemLines(meter, parts, &lines);
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_ComposeItemLines)->ArgName("brief")->Arg(0)->Arg(1);

void BM_PaintItem(benchmark::State &state)
{
    HWND window = startItem(DWORD(state.range(0)), DWORD(state.range(1)));
    state.SetLabel(moduleInstance != NULL ? "with icon" : "no icon: Durvo.dll not found");
    for (auto _ : state) paintItem(window);
    DestroyWindow(window);
}
BENCHMARK(BM_PaintItem)
    ->ArgNames({"ppc2002", "brief"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1});

}   // namespace
