// The device's installer over the costliest cabinets of up to 1 MB: the time of one install and
// the process's peak memory after it ("peak_MB", the high-water mark of the whole run so far).
// Every limit keeps them bounded: 1,024 files coming to at most 64 MB, 128 MB of folder data
// unpacked, MAX_PATH for paths, 512 levels and 255 characters for registry keys.
#include <benchmark/benchmark.h>

#include <control.h>
#include <device_installer.h>

#include <cabinet_writer.h>
#include <setup_record.h>
#include <setup_record_format.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kArm = 2577;

std::vector<uint8_t> cabinetOf(const package::SetupRecord &record, const std::vector<uint8_t> &library)
{
    std::vector<uint8_t> recordBytes, cabinet;
    std::string error;
    if (!package::layOutSetupRecord(record, &recordBytes, &error)
        || !package::writeCabinet({{"DURVO~1.000", recordBytes}, {"00Durvo.001", library}}, {}, &cabinet,
                                  &error))
        std::fprintf(stderr, "cabinet_install_bench: %s\n", error.c_str());
    return cabinet;
}

// `count` file entries in one folder below \Windows, each naming member 1.
package::SetupRecord manyFiles(size_t count)
{
    package::SetupRecord r = package::durvoSetupRecord(kArm);
    r.strings.push_back({8, "Many"});
    r.directories.push_back({3, {1, 8}});
    for (size_t i = 0; i < count; ++i)
        r.files.push_back({static_cast<uint16_t>(2 + i), 3, 1, 0, "f" + std::to_string(i)});
    return r;
}

// `count` keys, each 512 levels of a one-letter name: a string reference per level.
package::SetupRecord deepKeys(size_t count)
{
    package::SetupRecord r = package::durvoSetupRecord(kArm);
    r.strings.push_back({8, "k"});
    for (size_t i = 0; i < count; ++i) {
        r.strings.push_back({static_cast<uint16_t>(9 + i), "n" + std::to_string(i)});
        std::vector<uint16_t> path(511, 8);
        path.push_back(static_cast<uint16_t>(9 + i));
        r.keys.push_back({static_cast<uint16_t>(2 + i), package::ce::kRootCurrentUser, path});
    }
    return r;
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void installRepeatedly(benchmark::State &state, const std::vector<uint8_t> &cabinet)
{
    const fs::path root = fs::temp_directory_path() / ("durvo-install-bench-" + std::to_string(getpid()));
    control::resetDevice();
    control::setDeviceRoot(root);
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(root);
        fs::create_directories(root / "Windows");
        control::clearRegistry();
        state.ResumeTiming();
        host::InstallOutcome outcome;
        std::string error;
        if (!host::installCabinet(cabinet, host::InstallTarget{kArm}, &outcome, &error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.counters["cabinet_KB"] = static_cast<double>(cabinet.size()) / 1024.0;
    state.counters["peak_MB"] = peakMegabytes();
    fs::remove_all(root);
    control::resetDevice();
}

// The most bytes a cabinet may put on the device: 1,023 entries naming one 64 KB member come
// to just under 64 MB (the member is unpacked once).
void BM_InstallSixtyFourMegabytesFromOneMember(benchmark::State &state)
{
    installRepeatedly(state, cabinetOf(manyFiles(1022), std::vector<uint8_t>(64 * 1024, 0x5A)));
}
BENCHMARK(BM_InstallSixtyFourMegabytesFromOneMember)->Unit(benchmark::kMillisecond)->Iterations(3);

// The most files, 1,024, in one folder: each new name is looked up in the folder ignoring case.
void BM_InstallThousandFilesInOneFolder(benchmark::State &state)
{
    installRepeatedly(state, cabinetOf(manyFiles(1023), std::vector<uint8_t>(16, 0x5A)));
}
BENCHMARK(BM_InstallThousandFilesInOneFolder)->Unit(benchmark::kMillisecond)->Iterations(3);

// The most string references: 1,000 keys of 512 levels (half a million references) in a
// cabinet of about 1 MB.
void BM_InstallThousandKeysFiveHundredTwelveDeep(benchmark::State &state)
{
    installRepeatedly(state, cabinetOf(deepKeys(1000), std::vector<uint8_t>(16, 0x5A)));
}
BENCHMARK(BM_InstallThousandKeysFiveHundredTwelveDeep)->Unit(benchmark::kMillisecond)->Iterations(3);

}   // namespace
