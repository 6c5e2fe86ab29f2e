// Cost of handing one timer event to the recorder, as a sampler does with
// the lock held: statistics, the fail-above check and the log queue.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "bench/bench_settings.h"
#include "engine/platform_seam.h"
#include "record/recorder.h"

namespace {

// The most cores the tables hold: the log queue then takes 153,600 events.
constexpr std::int64_t cores = 256;
// Emptied well before it fills, so every event is queued, none dropped.
constexpr std::int64_t eventsBetweenDrains = 100000;

void BM_RecordEventWithLog(benchmark::State& state) {
    const std::filesystem::path log = std::filesystem::temp_directory_path() / "vantrel-recorder-bench.csv";
    createSampleLock();
    char error[messageCapacity];
    if (!startRecorder(benchSettings(log.c_str(), -1, cores, 0), error)) {
        state.SkipWithError(error);
        return;
    }
    TimerEvent event{0, 0, 0, 1796652180000};
    std::int64_t queued = 0;
    // The loop variable only drives the benchmark loop.
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        event.core = (event.core + 1) % cores;
        event.lateMs = queued % 23;
        event.lateUs = event.lateMs * 1000 + 417;
        event.utcMs += 100;
        recordEvent(event);
        if (++queued == eventsBetweenDrains) {
            state.PauseTiming();
            recorderStep(event.utcMs, 0, false);
            queued = 0;
            state.ResumeTiming();
        }
    }
    finishRecorder(event.utcMs, 0, 0);
    std::filesystem::remove(log);
}
BENCHMARK(BM_RecordEventWithLog)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace
