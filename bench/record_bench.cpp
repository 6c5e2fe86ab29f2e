// Cost of one timer event: the graph step and the label, each under the lock.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampling.h"
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
