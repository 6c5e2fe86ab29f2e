// A machine that sleeps: the spans the record keeps, and the rule by which a
// sampler drops an interval that saw a suspend and starts afresh.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "engine/suspend_state.h"
#include "engine/timer_event.h"
#include "engine/wake_figures.h"
#include "engine/wake_loop.h"
#include "record/suspended_spans.h"
#include "tests/support/fake_platform.h"

namespace {

// 's': suspend at `at`; 'r': resume at `at`, the system counting `slept` ms asleep.
using PowerStep = std::tuple<char, std::int64_t, std::int64_t>;

TEST(SuspendedSpans, KeepTwentyCountTheRestAndTotalTheirTime) {
    std::vector<PowerStep> many;
    for (std::int64_t k = 0; k < 25; ++k) many.insert(many.end(), {{'s', k * 1000, 0}, {'r', k * 1000 + 100, 0}});
    // Steps, the snapshot's time; the spans listed and counted, their total, and the first (from, to).
    const std::tuple<const char*, std::vector<PowerStep>, std::int64_t, std::int64_t, std::int64_t, std::int64_t, SuspendedSpan> cases[] = {
        {"one sleep", {{'s', 1000, 0}, {'r', 4000, 0}}, 9000, 1, 1, 3000, {1000, 4000}},
        {"both resume messages for one wake", {{'s', 1000, 0}, {'r', 4000, 0}, {'r', 4050, 0}}, 9000, 1, 1, 3000, {1000, 4000}},
        {"a second suspend keeps the first start", {{'s', 1000, 0}, {'s', 2000, 0}, {'r', 4000, 0}}, 9000, 1, 1, 3000, {1000, 4000}},
        {"a resume alone, nothing counted asleep", {{'r', 4000, 0}}, 9000, 0, 0, 0, {0, 0}},
        {"a resume alone, dated by the time asleep", {{'r', 10000, 2500}}, 12000, 1, 1, 2500, {7500, 10000}},
        {"asleep at the end", {{'s', 1000, 0}}, 9000, 1, 1, 8000, {1000, 9000}},
        {"clock set back while asleep", {{'s', 5000, 0}, {'r', 4000, 0}}, 9000, 1, 1, 0, {5000, 5000}},
        {"twenty-five sleeps", many, 30000, 20, 25, 2500, {0, 100}},
    };
    for (const auto& [name, steps, endAt, listed, count, totalMs, first] : cases) {
        SCOPED_TRACE(name);
        SuspendedSpans spans{}, settled{};
        clearSuspendedSpans(spans);
        for (const auto& [kind, at, slept] : steps) {
            kind == 's' ? openSuspendedSpan(spans, at) : closeSuspendedSpan(spans, at, slept);
        }
        settleSuspendedSpans(spans, endAt, settled);
        EXPECT_EQ(std::make_tuple(settled.listed, settled.count, settled.totalMs), std::make_tuple(listed, count, totalMs));
        if (listed > 0) { EXPECT_EQ(std::make_tuple(settled.kept[0].fromUtcMs, settled.kept[0].toUtcMs), std::make_tuple(first.fromUtcMs, first.toUtcMs)); }
    }
}

TEST(SuspendWatch, DropsFromTheSuspendUntilTheFirstIntervalAfterTheResume) {
    // One interval of a sampler: a suspend message, a resume message, the
    // growth of the time asleep (100 ns units), and whether its event is dropped.
    const std::tuple<const char*, bool, bool, std::int64_t, bool> intervals[] = {
        {"first event: the watch takes its bearings", false, false, 0, false},
        {"quiet", false, false, 0, false},
        {"the suspend message came", true, false, 0, true},
        {"still asleep, events coming in late", false, false, 0, true},
        {"the resume message came", false, true, 0, true},
        {"the first full period after the resume", false, false, 0, false},
        {"suspended and resumed within one interval", true, true, 0, true},
        {"quiet again", false, false, 0, false},
        {"asleep without a message, 3 s", false, false, 30000000, true},
        {"time asleep grown by 5 ms, the tolerance", false, false, 50000, false},
        {"by 5 ms and 100 ns", false, false, 50001, true},
        {"quiet at last", false, false, 0, false},
    };
    SuspendWatch watch{};
    std::int64_t slept = 123456789;  // asleep before the run: not this run's sleep
    for (const auto& [what, suspendMessage, resumeMessage, sleptGrowth, dropped] : intervals) {
        if (suspendMessage) noteSystemSuspending();
        if (resumeMessage) noteSystemResumed();
        setFakeSleptTime(slept += sleptGrowth);
        EXPECT_EQ(intervalSuspended(watch), dropped) << what;
    }
    setFakeSleptTime(0);
}

std::vector<TimerEvent> recorded;
void keepEvent(const TimerEvent& event) { recorded.push_back(event); }

TEST(SuspendWatch, TimerSamplerDropsTheSleepAndMeasuresTheNextPeriodFromTheResume) {
    createSampleTables();
    sampleTables.coreCount = 2;
    setFakeTick(5000);
    timerEventSink = keepEvent;
    markTimerBaseline(1);
    advanceFakeTick(100);
    recordTimerEvent(1);  // takes its bearings
    recorded.clear();

    noteSystemSuspending();
    advanceFakeTick(3000000);  // an hour asleep, then the late event
    recordTimerEvent(1);
    advanceFakeTick(40);  // the resume comes between two events
    noteSystemResumed();
    advanceFakeTick(60);
    recordTimerEvent(1);
    EXPECT_TRUE(recorded.empty()) << "an event from the sleep reached the record, " << recorded[0].lateMs << " ms late";
    EXPECT_STREQ(sampleTables.labelText[1], "+0ms");

    advanceFakeTick(102);  // a full period from the dropped event
    recordTimerEvent(1);
    EXPECT_EQ(recorded.size() == 1 ? recorded[0].lateMs : -1, 2) << recorded.size() << " events";
    timerEventSink = nullptr;
}

TEST(SuspendWatch, WakeSamplerWaitsOnAFreshGridFromTheResume) {
    ASSERT_TRUE(createWakeFigures(2));
    // Each wait ends on its deadline, `sleepMs` later while the machine sleeps.
    struct Waited { std::uint64_t start; std::int64_t index, sleepMs; } waited{};
    const WakeWait wait = [](void* context, std::uint64_t start, std::int64_t index) {
        auto& w = *static_cast<Waited*>(context);
        w = Waited{start, index, w.sleepMs};
        const auto due = static_cast<std::int64_t>(start + wakeDeadlineOffset(index, performanceCounterFrequency()));
        advanceFakeCounter(due - readPerformanceCounter() + w.sleepMs * 10000);
    };
    WakeLoop loop = startWakeLoop(1, wait, &waited);
    runWakeOnce(loop);
    waited.sleepMs = 3600000;
    noteSystemSuspending();
    noteSystemResumed();
    runWakeOnce(loop);
    const auto resumedAt = static_cast<std::uint64_t>(readPerformanceCounter());
    waited.sleepMs = 0;
    runWakeOnce(loop);
    EXPECT_EQ(waited.start, resumedAt);
    EXPECT_EQ(waited.index, 1);
    WakeStatistics s;
    readWakeStatistics(1, s);
    EXPECT_EQ(std::make_tuple(s.events, s.maxUs), std::make_tuple(2, 0)) << "the wake-up of the sleep is dropped";
    freeWakeFigures();
}

}  // namespace
