// Cost of recording one wake-up, as a wake-up thread does every millisecond:
// statistics, worst list, graph column and, when late, the queue for the log.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "engine/wake_figures.h"

namespace {

constexpr std::int64_t cores = 2;

// The usual case: well under 1 ms, so neither the queue nor the worst list
// changes after the first few.
void BM_RecordWakeOnTime(benchmark::State& state) {
    createWakeFigures(cores);
    std::int64_t late = 0;
    // The loop variable only drives the benchmark loop.
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        late = (late + 37) % 400;
        recordWake(0, late, 0, 0);
    }
}
BENCHMARK(BM_RecordWakeOnTime);

// Every wake-up late, rising, so each also enters the worst list and the
// queue (which fills and then counts drops).
void BM_RecordWakeLateAndWorst(benchmark::State& state) {
    createWakeFigures(cores);
    std::int64_t late = lateWakeUs;
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        ++late;
        recordWake(1, late, 1, late);
    }
}
BENCHMARK(BM_RecordWakeLateAndWorst);

}  // namespace
