// A simulated day on the emulated Today screen: how many simulated seconds durvo-today gets
// through per wall-clock second, the whole program included (start, item loading, one tick and
// one height query after another, the usage log sampling, saves, the registry file at exit).
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// 16 hours: eight times 30 minutes of use with other programs on screen and the battery
// falling, each followed by 30 minutes asleep.
constexpr double kRunSeconds = 8 * 30 * 60;
constexpr double kSleepSeconds = 8 * 30 * 60;

std::string dayScript()
{
    std::string s = "clock 2005-06-13 07:00:00\npower 0 1 100\nsetting dvLogProcess 1\nboot\n";
    for (int hour = 0; hour < 8; ++hour) {
        std::string program = "Program " + std::to_string(hour % 3);
        s += "window " + program + "\nrun 15m\npower 0 1 " + std::to_string(98 - 6 * hour) + "\nrun 15m\n";
        s += "close " + program + "\nsleep 30m\n";
    }
    return s;
}

fs::path todayBinary()
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return self.parent_path().parent_path() / "host" / "durvo-today";
}

void BM_SimulatedDay(benchmark::State &state)
{
    fs::path binary = todayBinary();
    if (!fs::exists(binary)) {
        state.SkipWithError(("durvo-today is not built: " + binary.string()).c_str());
        return;
    }
    fs::path dir = fs::temp_directory_path() / ("durvo-day-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "day.txt") << dayScript();
    std::string command
        = "cd '" + dir.string() + "' && '" + binary.string() + "' --device device day.txt >/dev/null";
    for (auto _ : state) {
        fs::remove_all(dir / "device");
        int status = std::system(command.c_str());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("durvo-today failed on the day script");
            break;
        }
    }
    fs::remove_all(dir);
    state.counters["sim_s_per_s"]
        = benchmark::Counter((kRunSeconds + kSleepSeconds) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["run_s_per_s"]
        = benchmark::Counter(kRunSeconds * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SimulatedDay)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}   // namespace
