// Cost of one timer event: the graph step and the label, each under the lock.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "bench/bench_settings.h"
#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "engine/timer_event.h"
#include "record/recorder.h"
#include "tests/support/fake_platform.h"

namespace {

void prepare(std::int64_t core) {
    createSampleTables();
    sampleTables.coreCount = core + 1;
    createSampleLock();
    setFakeTick(0);
    sampleTables.lastTick[core] = 0;
}

// A punctual timer: one column per event, the common case.
void BM_RecordTimerEventPunctual(benchmark::State& state) {
    prepare(1);
    // The loop variable only drives the benchmark loop.
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        advanceFakeTick(101);
        recordTimerEvent(1);
    }
    benchmark::DoNotOptimize(sampleTables.graphColumns[graphStride]);
}
BENCHMARK(BM_RecordTimerEventPunctual)->Repetitions(9)->ReportAggregatesOnly(true);

// The same while the run is recorded with a log (--log): the performance
// counter and the time of day are read, and the event goes to the
// statistics and the log queue. The queue is emptied now and then, outside
// the timing, so that no event is dropped.
void BM_RecordTimerEventRecorded(benchmark::State& state) {
    prepare(1);
    const std::filesystem::path log = std::filesystem::temp_directory_path() / "vantrel-record-bench.csv";
    char error[messageCapacity];
    if (!startRecorder(benchSettings(log.c_str(), 250000, 256, readUtcMilliseconds()), error)) {
        state.SkipWithError(error);
        return;
    }
    timerEventSink = recordEvent;
    markTimerBaseline(1);
    std::int64_t queued = 0;
    // The loop variable only drives the benchmark loop.
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        advanceFakeTick(101);
        recordTimerEvent(1);
        if (++queued == 100000) {
            state.PauseTiming();
            recorderStep(readUtcMilliseconds(), 0, false);
            queued = 0;
            state.ResumeTiming();
        }
    }
    finishRecorder(readUtcMilliseconds(), 0, 0);
    timerEventSink = nullptr;
    std::filesystem::remove(log);
}
BENCHMARK(BM_RecordTimerEventRecorded)->Repetitions(9)->ReportAggregatesOnly(true);

// A stall of 13 s: the whole graph scrolls at once, the most work one event does.
void BM_RecordTimerEventWholeGraph(benchmark::State& state) {
    prepare(1);
    // The loop variable only drives the benchmark loop.
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        advanceFakeTick(13100);
        recordTimerEvent(1);
    }
    benchmark::DoNotOptimize(sampleTables.graphColumns[graphStride]);
}
BENCHMARK(BM_RecordTimerEventWholeGraph)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_FormatLabel(benchmark::State& state) {
    char out[labelCapacity];
    std::int64_t m = 0;
    // The loop variable only drives the benchmark loop.
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        formatLabel(m, out);
        m = (m + 37) % 10000;
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_FormatLabel)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace
