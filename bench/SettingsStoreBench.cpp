// The settings work of one run: the reads at start-up and the six writes when the main window
// closes, each write a locked, flushed replacement of the settings file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "support/SettingsStore.h"

namespace {

class TScratchConfig {
public:
    TScratchConfig() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-bench-XXXXXX").string();
        if (mkdtemp(pattern.data())) folder_ = pattern;
        setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    }
    ~TScratchConfig() { std::filesystem::remove_all(folder_); }

private:
    std::string folder_;
};

void Configure(TSettingsStore& store) {
    store.SetPath("\\Software\\Quorvel1980Dax");
    store.SetPathType(ptRegistry);
}

void WriteAll(TSettingsStore& store, int round) {
    store.WriteText("Connection", "User", "ann");
    store.WriteText("Connection", "URL", "http://example.invalid/poll.php");
    store.WriteNumber("Connection", "Delay", round % 60 + 1);
    store.WriteFlag("Connection", "Mins", round % 2 == 0);
    store.WriteText("Connection", "Pass", "secret");
    store.WriteFlag("Caching", "SavePass", true);
}

void BM_StartUpReads(benchmark::State& state) {
    TScratchConfig config;
    {
        TSettingsStore writer;
        Configure(writer);
        WriteAll(writer, 0);
    }
    for (auto _ : state) {
        TSettingsStore store;
        Configure(store);
        benchmark::DoNotOptimize(store.ReadText("Connection", "User", ""));
        benchmark::DoNotOptimize(store.ReadText("Connection", "URL", ""));
        benchmark::DoNotOptimize(store.ReadNumber("Connection", "Delay", 5));
        benchmark::DoNotOptimize(store.ReadFlag("Connection", "Mins", false));
        benchmark::DoNotOptimize(store.ReadFlag("Caching", "SavePass", false));
        benchmark::DoNotOptimize(store.ReadText("Connection", "Pass", ""));
    }
}
BENCHMARK(BM_StartUpReads)->Unit(benchmark::kMicrosecond);

// Every round changes Delay and Mins, so at least those two writes replace the file.
void BM_ClosingWrites(benchmark::State& state) {
    TScratchConfig config;
    TSettingsStore store;
    Configure(store);
    int round = 0;
    for (auto _ : state) WriteAll(store, ++round);
}
BENCHMARK(BM_ClosingWrites)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
