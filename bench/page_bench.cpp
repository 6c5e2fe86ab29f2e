// Cost of the page's pieces: one event into the timeline (under the
// samplers' lock), a merge of all slots of 64 cores, and the whole page of 64
// cores over a week.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "formats/html_format.h"
#include "record/timeline.h"

namespace {

constexpr std::int64_t startMs = 1796652180000;
constexpr std::int64_t cores = 64;

// The common case: an event 100 ms after the previous one of its core.
void BM_AddToTimeline(benchmark::State& state) {
    Timeline timeline{};
    makeTimeline(timeline, cores, startMs, false);
    std::int64_t at = startMs;
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        at += 100;
        addToTimeline(timeline, 5, at, 1500, false);
    }
    benchmark::DoNotOptimize(timeline.timerLateUs[5 * timelineSlots]);
    freeTimeline(timeline);
}
BENCHMARK(BM_AddToTimeline)->Repetitions(9)->ReportAggregatesOnly(true);

// The rare event that finds every slot used: all 64 cores' slots merge.
void BM_AddToTimelineMerging(benchmark::State& state) {
    Timeline timeline{};
    makeTimeline(timeline, cores, startMs, true);
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        state.PauseTiming();
        timeline.slotMs = timelineFirstSlotMs;
        timeline.slotsUsed = timelineSlots;
        state.ResumeTiming();
        addToTimeline(timeline, 0, startMs + timelineSlots * timelineFirstSlotMs, 1500, false);
    }
    benchmark::DoNotOptimize(timeline.timerLateUs[0]);
    freeTimeline(timeline);
}
BENCHMARK(BM_AddToTimelineMerging)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_FormatHtmlWeek64Cores(benchmark::State& state) {
    Timeline timeline{};
    makeTimeline(timeline, cores, startMs, true);
    constexpr std::int64_t weekMs = 7 * 86400000LL;
    for (std::int64_t at = 0; at < weekMs; at += 60000) {
        for (std::int64_t c = 0; c < cores; ++c) {
            addToTimeline(timeline, c, startMs + at, (at / 60000 * 7919 + c * 104729) % 3000000, false);
            addToTimeline(timeline, c, startMs + at, (at / 60000 * 104729 + c * 7919) % 30000, true);
        }
    }
    std::vector<CoreStatistics> statistics(cores, CoreStatistics{});
    std::vector<WakeStatistics> wakes(cores, WakeStatistics{});
    std::vector<WorstEvent> worst(worstEventsKept, WorstEvent{3, startMs + 86400000, 2000000, 2000});
    RunSummary run{};
    run.version = "1.2.0";
    run.machineName = "BENCH";
    run.systemVersion = "Windows 10.0.19045";
    run.startedUtcMs = startMs;
    run.updatedUtcMs = startMs + weekMs;
    run.elapsedMs = weekMs;
    run.failAboveUs = 50000;
    run.coreCount = cores;
    run.cores = statistics.data();
    run.worstTimer = worst.data();
    run.worstTimerCount = worstEventsKept;
    run.wakes = wakes.data();
    run.timeline = &timeline;
    TextBuffer out{};
    makeTextBuffer(out, htmlCapacity(cores, true));
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
        formatHtml(run, out);
    }
    state.counters["bytes"] = static_cast<double>(out.size);
    freeTextBuffer(out);
    freeTimeline(timeline);
}
BENCHMARK(BM_FormatHtmlWeek64Cores)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

}  // namespace
