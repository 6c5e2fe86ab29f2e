// The wake-up samplers' portable side: the 1 ms grid, the per-core figures
// (also from several threads, for ThreadSanitizer and torn copies), and the
// graph column and label that --fine shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "engine/wake_figures.h"
#include "engine/wake_grid.h"
#include "engine/wake_loop.h"
#include "tests/support/fake_platform.h"

namespace {

// The figures exist once per process: every test uses these cores, each its own.
constexpr std::int64_t cores = 9;
constexpr std::int64_t qpc = 10000000;    // Wine's counter, 10 MHz
constexpr std::int64_t acpiPm = 3579545;  // a frequency that does not divide by 1000
constexpr std::uint64_t nearWrap = ~std::uint64_t{0} - 4999;

TEST(WakeGrid, LatenessSkipsAndNextDeadline) {
    // What, counter at the start, its frequency, deadline waited for, ticks
    // from the start to the wake-up, and the step expected.
    const std::tuple<const char*, std::uint64_t, std::int64_t, std::int64_t, std::uint64_t, WakeGridStep> cases[] = {
        {"on time", 1000, qpc, 1, 10000, {0, 0, 2, false}},
        {"90 us late", 1000, qpc, 1, 10900, {90, 0, 2, false}},
        {"a 5.2 ms stall skips 5", 1000, qpc, 1, 62000, {5200, 5, 7, false}},
        {"early: the same deadline again", 1000, qpc, 4, 39000, {-100, 0, 4, true}},
        {"3 ticks early reads 0 us but is early", 1000, qpc, 4, 39997, {0, 0, 4, true}},
        {"1 tick late is on time", 1000, qpc, 4, 40001, {0, 0, 5, false}},
        {"across the counter's wrap", nearWrap, qpc, 1, 10300, {30, 0, 2, false}},
        {"a stall across the wrap", nearWrap, qpc, 3, 55000, {2500, 2, 6, false}},
        {"rounded offsets: deadline 2 is due exactly", 7, acpiPm, 1, 7159, {1000, 1, 3, false}},
        {"a day in", 0, qpc, 86400000, 864000012340, {1234, 1, 86400002, false}},
    };
    for (const auto& [what, start, frequency, waited, elapsed, expected] : cases) {
        SCOPED_TRACE(what);
        const WakeGridStep step = stepWakeGrid(start, frequency, waited, start + elapsed);
        EXPECT_EQ(step.lateUs, expected.lateUs);
        EXPECT_EQ(step.skipped, expected.skipped);
        EXPECT_EQ(step.nextIndex, expected.nextIndex);
        EXPECT_EQ(step.early, expected.early);
        EXPECT_EQ(ticksUntilDeadline(start, frequency, step.nextIndex, start + elapsed),
                  wakeDeadlineOffset(step.nextIndex, frequency) - elapsed);
    }
    EXPECT_EQ(ticksUntilDeadline(nearWrap, qpc, 2, nearWrap + 25000), 0U) << "a past deadline";
    std::int64_t odd[] = {9, 1, 7, 3, 5};
    EXPECT_EQ(medianOf(odd, 5), 5);
}

class WakeFigures : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(createWakeFigures(cores)); }
};

TEST_F(WakeFigures, StatisticsHistogramAndQueueOfHandWorkedWakes) {
    constexpr std::int64_t core = 1;
    const std::int64_t wakes[][3] = {{90, 0, 0}, {120, 0, 0}, {1500, 1, 5001}, {40, 0, 0}, {52000, 52, 5060}, {1000, 0, 0}};
    for (const auto& w : wakes) recordWake(core, w[0], w[1], w[2]);  // lateness, skipped, time of day
    WakeStatistics s;
    readWakeStatistics(core, s);
    EXPECT_EQ(s.events, 6);
    EXPECT_EQ(s.skipped, 53);
    EXPECT_EQ(s.minUs, 40);
    EXPECT_EQ(s.maxUs, 52000);
    EXPECT_EQ(s.maxAtUtcMs, 5060);
    EXPECT_EQ(s.sumUs, 54750);
    EXPECT_EQ(s.over1ms, 2) << "exactly 1 ms is not over";
    EXPECT_EQ(std::vector<std::int64_t>(s.histogram, s.histogram + wakeHistogramBucketCount),
              (std::vector<std::int64_t>{1, 1, 1, 0, 1, 1, 0, 0, 0, 0, 1, 0}));

    WakeEvent late[4];
    ASSERT_EQ(popLateWakes(core, late, 4), 2);
    EXPECT_EQ(late[0].lateUs, 1500);
    EXPECT_EQ(late[0].utcMs, 5001);
    EXPECT_EQ(late[1].lateUs, 52000);
    EXPECT_EQ(popLateWakes(core, late, 4), 0);
    EXPECT_EQ(takeColumnWorstUs(core), 52000);
    EXPECT_EQ(takeColumnWorstUs(core), -1) << "taken means reset: no wake-up since";

    // A full queue counts what it drops, and takes wake-ups again after a
    // pop: each wake-up in a second of its own, so the limit leaves all in.
    for (std::int64_t i = 0; i < lateWakeQueueCapacity + 3; ++i) {
        recordWake(core, 1001 + i, 0, i);
        endWakeLineSecond(core);
    }
    EXPECT_EQ(lateWakesDropped(core), 3);
    std::vector<WakeEvent> out(lateWakeQueueCapacity + 3);
    ASSERT_EQ(popLateWakes(core, out.data(), 10), 10);
    EXPECT_EQ(out[9].utcMs, 9) << "oldest first";
    recordWake(core, 5000, 0, 999);
    ASSERT_EQ(popLateWakes(core, out.data(), static_cast<std::int64_t>(out.size())), lateWakeQueueCapacity - 9);
    EXPECT_EQ(out[lateWakeQueueCapacity - 11].utcMs, lateWakeQueueCapacity - 1);
    EXPECT_EQ(out[lateWakeQueueCapacity - 10].utcMs, 999);
}

TEST_F(WakeFigures, WorstWakesLargestFirstAndNeedOfTheTime) {
    constexpr std::int64_t core = 2;
    // 100, 200, ..., 2500 us in a shuffled order, the time of day equal to the
    // lateness; then a tie with the worst, which stays behind it.
    for (std::int64_t i = 0; i < 25; ++i) {
        const std::int64_t late = (i * 7 % 25 + 1) * 100;
        EXPECT_TRUE(i >= worstWakesKept || wakeNeedsTime(core, late)) << "the list is not full yet";
        recordWake(core, late, 0, late);
    }
    EXPECT_FALSE(wakeNeedsTime(core, 600)) << "not above the 20th worst and not over 1 ms";
    EXPECT_TRUE(wakeNeedsTime(core, 700));
    recordWake(core, 2500, 0, 1);
    WakeEvent worst[worstWakesKept + 5];
    ASSERT_EQ(readWorstWakes(core, worst, worstWakesKept + 5), worstWakesKept);
    EXPECT_EQ(worst[0].utcMs, 2500);
    EXPECT_EQ(worst[1].utcMs, 1) << "a tie goes after the first to reach the figure";
    for (std::int64_t i = 2; i < worstWakesKept; ++i) EXPECT_EQ(worst[i].lateUs, (26 - i) * 100) << "place " << i;

    // The run's list is every core's own, merged: on a tie the earlier
    // wake-up leads whatever its core, then the lower core.
    recordWake(4, 2500, 0, 77);
    recordWake(0, 2500, 0, 77);
    std::vector<WakeEvent> all;
    for (std::int64_t c = 0; c < cores; ++c) all.insert(all.end(), worst, worst + readWorstWakes(c, worst, worstWakesKept));
    std::sort(all.begin(), all.end(), [](const WakeEvent& a, const WakeEvent& b) {
        return a.lateUs != b.lateUs ? a.lateUs > b.lateUs : a.utcMs != b.utcMs ? a.utcMs < b.utcMs : a.core < b.core;
    });
    WakeEvent run[worstWakesKept];
    ASSERT_EQ(readWorstWakesOfRun(run, worstWakesKept), worstWakesKept);
    for (std::int64_t i = 0; i < worstWakesKept; ++i) {
        EXPECT_EQ(run[i].core, all[i].core) << "place " << i;
        EXPECT_EQ(run[i].utcMs, all[i].utcMs) << "place " << i;
    }
}

// One writer at full speed of 1500 us wake-ups, so that every whole copy has
// sumUs == 1500 * events and all of them in one bucket; the queue hands out
// every wake-up once, in order, or counts it dropped.
TEST_F(WakeFigures, ReadersSeeWholeCopiesWhileTheWriterRuns) {
    constexpr std::int64_t core = 5;
    constexpr std::int64_t writes = 1000000;
    constexpr std::int64_t late = 1500;
    std::atomic<bool> done{false};
    std::atomic<bool> readerReady{false};  // a writer done before the reader starts tests nothing
    std::thread writer([&] {
        while (!readerReady.load()) std::this_thread::yield();
        for (std::int64_t i = 1; i <= writes; ++i) {
            recordWake(core, late, 1, i);
            if (i % 25 == 0) endWakeLineSecond(core);  // 20 lines of 25 wake-ups
        }
        done.store(true);
    });
    std::int64_t tornCopies = 0;
    std::thread statisticsReader([&] {
        WakeStatistics s;
        WakeEvent worst[worstWakesKept];
        readerReady.store(true);
        while (!done.load()) {
            readWakeStatistics(core, s);
            if (s.sumUs != late * s.events || s.skipped != s.events || s.histogram[5] != s.events) ++tornCopies;
            const std::int64_t n = readWorstWakes(core, worst, worstWakesKept);
            for (std::int64_t i = 0; i < n; ++i) tornCopies += worst[i].utcMs != i + 1 ? 1 : 0;
        }
    });
    std::int64_t popped = 0;
    std::int64_t outOfOrder = 0;
    std::int64_t lastUtc = 0;
    std::int64_t columnMax = 0;
    WakeEvent batch[64];
    for (bool finished = false, emptied = false; !(finished && emptied);) {
        finished = done.load();  // before the pop: once the writer is done, an empty pop is final
        const std::int64_t n = popLateWakes(core, batch, 64);
        emptied = n == 0;
        for (std::int64_t i = 0; i < n; ++i) {
            outOfOrder += batch[i].utcMs <= lastUtc ? 1 : 0;
            lastUtc = batch[i].utcMs;
        }
        popped += n;
        columnMax = std::max(columnMax, takeColumnWorstUs(core));
    }
    writer.join();
    statisticsReader.join();
    EXPECT_EQ(tornCopies, 0);
    EXPECT_EQ(outOfOrder, 0);
    WakeStatistics s;
    readWakeStatistics(core, s);
    EXPECT_EQ(popped + lateWakesDropped(core) + s.linesNotLogged, writes);
    EXPECT_EQ(columnMax, late);
}

// The wake-up loop as its thread runs it, on the fake clock: every wait ends 1.1 ms late (so every
// other deadline is skipped), and once a second, after the limit is reached, a little later still.
TEST_F(WakeFigures, LoopOfWakesJustOver1msLogsALimitedSampleWithEachSecondsWorst) {
    constexpr std::int64_t core = 6;  // a core no other test wakes
    setFakeTick(0);
    const std::int64_t startUtcMs = readUtcMilliseconds();
    const WakeWait lateWait = [](void*, std::uint64_t start, std::int64_t index) {
        const std::int64_t lateUs = 1100 + (index % 1000 == 701 ? 100 * (index / 1000 + 1) : 0);  // 1.2, 1.3, 1.4 ms
        const auto due = static_cast<std::int64_t>(start + wakeDeadlineOffset(index, performanceCounterFrequency()));
        advanceFakeCounter(due + lateUs * 10 - readPerformanceCounter());
    };
    WakeLoop loop = startWakeLoop(core, lateWait, nullptr);
    while (loop.index < 3000) runWakeOnce(loop);
    WakeStatistics s;
    readWakeStatistics(core, s);
    EXPECT_EQ(std::make_tuple(s.events, s.skipped, s.over1ms, s.maxUs, lateWakesDropped(core)), std::make_tuple(1500, 1500, 1500, 1400, 0));
    WakeEvent lines[lateWakeQueueCapacity];
    const std::int64_t n = popLateWakes(core, lines, lateWakeQueueCapacity);
    EXPECT_EQ(n + s.linesNotLogged, s.over1ms) << "each wake-up over 1 ms a line or counted";
    std::vector<std::int64_t> perSecond(4), worstPerSecond(4);
    for (std::int64_t i = 0; i < n; ++i) {
        const auto second = static_cast<std::size_t>((lines[i].utcMs - startUtcMs) / 1000);  // at() throws beyond 4 s
        ++perSecond.at(second);
        worstPerSecond.at(second) = std::max(worstPerSecond.at(second), lines[i].lateUs);
    }
    EXPECT_EQ(perSecond, (std::vector<std::int64_t>{wakeLinesPerSecond, wakeLinesPerSecond, wakeLinesPerSecond, 1}));
    EXPECT_EQ(worstPerSecond, (std::vector<std::int64_t>{1200, 1300, 1400, 1100}));
}

// Wake-ups 1.1 ms late from deadline `first` on pass every other deadline: 958 passes 959 ... 999 (21 in
// the first second, the last two tied for its worst), then 1001; 959 passes 960 ... 998, then 1000.
TEST_F(WakeFigures, WakeLinesSecondStartsAtDeadline1000AndTheEarliestOfTiesIsLogged) {
    const WakeWait lateWait = [](void*, std::uint64_t start, std::int64_t index) {
        advanceFakeCounter(static_cast<std::int64_t>(start + wakeDeadlineOffset(index, qpc)) + 11000 - readPerformanceCounter());
    };
    // Core, first deadline, wake-ups; lines logged and not.
    for (const auto& [core, first, wakes, logged, notLogged] : {std::tuple{7, 958, 22, 21, 1}, std::tuple{8, 959, 21, 21, 0}}) {
        WakeLoop loop = startWakeLoop(core, lateWait, nullptr);
        loop.index = first;
        for (int k = 0; k < wakes; ++k) runWakeOnce(loop);
        WakeStatistics s;
        readWakeStatistics(core, s);
        WakeEvent lines[lateWakeQueueCapacity]{};
        const std::int64_t n = popLateWakes(core, lines, lateWakeQueueCapacity);
        EXPECT_EQ(std::make_tuple(n, s.linesNotLogged), std::make_tuple(logged, notLogged)) << "core " << core;
        EXPECT_EQ(lines[19].utcMs - lines[18].utcMs, 2) << "core " << core << ": the earliest of the tied worst";
    }
}

TEST(FineColumns, HeightAndLabelOfTheWorstLateness) {
    const std::tuple<std::int64_t, std::int64_t, std::string> cases[] = {  // lateness, height, label
        {0, 0, "+0.0ms"},     {666, 0, "+0.6ms"},   {667, 1, "+0.6ms"},   {2449, 3, "+2.4ms"}, {9999, 14, "+9.9ms"},
        {10000, 15, "+10ms"}, {12999, 19, "+12ms"}, {50000, 75, "+50ms"}, {20000000, 30000, "+9999ms"}};
    for (const auto& [lateUs, height, label] : cases) {
        SCOPED_TRACE(lateUs);
        EXPECT_EQ(fineColumnHeight(lateUs), height);
        char text[labelCapacity];
        EXPECT_EQ(formatFineLabel(lateUs, text), static_cast<std::int64_t>(label.size()));
        EXPECT_EQ(text, label);
    }
}

TEST_F(WakeFigures, FineTimerEventsScrollOneColumnAndLabelTheWorstOfFifteen) {
    constexpr std::int64_t core = 3;
    createSampleTables();
    sampleTables.coreCount = cores;
    setFakeTick(1000);
    sampleTables.lastTick[core] = 1000;
    fineColumns = true;
    const std::int64_t* row = &sampleTables.graphColumns[core * graphStride];
    auto timerEvent = [&](std::int64_t worstUs) {
        recordWake(core, worstUs, 0, 0);
        advanceFakeTick(100);
        recordTimerEvent(core);
    };
    timerEvent(2400);
    EXPECT_EQ(row[127], 4);
    EXPECT_STREQ(sampleTables.labelText[core], "+2.4ms");
    timerEvent(50000);
    EXPECT_EQ(row[126], 4) << "a 50 ms wake-up scrolls one column, not five";
    EXPECT_EQ(row[127], 15);
    EXPECT_EQ(sampleTables.trayPeak[core], 75);
    EXPECT_STREQ(sampleTables.labelText[core], "+50ms");
    for (int i = 0; i < 15; ++i) timerEvent(300);
    EXPECT_EQ(row[127], 1);
    EXPECT_STREQ(sampleTables.labelText[core], "+0.3ms") << "the 50 ms column left the last fifteen";
    fineColumns = false;
}

}  // namespace
