// The suspects of stalls read against made-up process snapshots: the window
// arithmetic and the ranking, the thread level, the ring's reach and a
// snapshot missing, and the stall causes waiting for the snapshot after.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/accounting.h"
#include "engine/platform_seam.h"
#include "engine/ticks.h"
#include "processes/process_snapshots.h"
#include "processes/suspects.h"
#include "record/stall_causes.h"
#include "tests/support/fake_platform.h"

namespace {

constexpr std::int64_t ms = 1000;  // microseconds
constexpr std::int64_t own = 77;   // Vantrel's own process

struct Proc {
    std::int64_t pid;
    std::int64_t cpuMs;
    const char* name;
    std::int64_t created = 1;
    std::int32_t priority = 8;
    std::vector<ThreadReading> threads = {};  // cpu in 100 ns
};

// One reading taken at atMs (the call lasting 1 ms).
bool store(std::int64_t atMs, const std::vector<Proc>& procs) {
    std::vector<ProcessReading> readings;
    std::vector<ThreadReading> threads;
    for (const Proc& p : procs) {
        readings.push_back({p.pid, p.created, p.cpuMs * 10000, p.priority, p.name, std::string(p.name).size(),
                            static_cast<std::int64_t>(threads.size()), static_cast<std::int64_t>(p.threads.size())});
        threads.insert(threads.end(), p.threads.begin(), p.threads.end());
    }
    return storeProcessReading(atMs * ms, atMs * ms + ms, readings.data(), static_cast<std::int64_t>(readings.size()),
                               threads.data(), static_cast<std::int64_t>(threads.size()));
}

std::string listOf(const StallSuspects& s) {
    if (!s.known) return "null";
    std::string text;
    for (std::int64_t k = 0; k < s.count; ++k) {
        text += std::string(k == 0 ? "" : " ") + s.list[k].process + "=" + std::to_string(s.list[k].cpuUs / ms);
    }
    return text;
}

struct Case {
    const char* what;
    std::vector<std::vector<Proc>> snapshots;  // one a second from 0 on
    std::int64_t fromMs;
    std::int64_t toMs;
    const char* suspects;  // "null" for a snapshot missing
    std::int64_t windowMs;
};

TEST(Suspects, WindowArithmeticAndRankingOnTablesOfSnapshots) {
    const Proc idle{0, 9000, "Idle"};
    const Case cases[] = {
        {"one grew by the stall's length",
         {{idle, {own, 100, "vantrel.exe"}, {8, 10, "spin.exe"}}, {{own, 101, "vantrel.exe"}, {8, 160, "spin.exe"}}},
         500, 650, "spin.exe=150", 1001},
        {"two shared it, at most three, ties to the lower id",
         {{{5, 0, "a"}, {6, 0, "b"}, {7, 0, "c"}, {9, 0, "d"}}, {{5, 70, "a"}, {6, 80, "b"}, {7, 5, "c"}, {9, 5, "d"}}},
         500, 650, "b=80 a=70 c=5", 1001},
        {"started inside counts from zero, also on a reused id",
         {{{5, 300, "old"}}, {{5, 30, "new", 2}, {6, 40, "late"}}}, 500, 650, "late=40 new=30", 1001},
        {"ended inside counts to its last reading",
         {{{5, 100, "gone"}, {6, 0, "stays"}}, {{5, 190, "gone"}, {6, 10, "stays"}}, {{6, 20, "stays"}}}, 500, 1900,
         "gone=90 stays=20", 2001},
        {"Vantrel's own and the idle process never",
         {{idle, {own, 0, "vantrel.exe"}}, {{0, 9900, "Idle"}, {own, 900, "vantrel.exe"}}}, 500, 650, "", 1001},
        {"a counter that went backwards is a bad reading, not a suspect",
         {{{5, 100, "bad"}, {6, 0, "ok"}}, {{5, 50, "bad"}, {6, 5, "ok"}}}, 500, 650, "ok=5", 1001},
        {"the stall began before the first snapshot", {{{5, 0, "a"}}, {{5, 50, "a"}}}, -100, 650, "null", 0},
        {"the window spans several snapshots", {{{5, 0, "a"}}, {{5, 50, "a"}}, {{5, 80, "a"}}}, 500, 1500, "a=80", 2001},
        {"a snapshot ending exactly at the stall's start is the one before",
         {{{5, 0, "a"}}, {{5, 50, "a"}}}, 1, 650, "a=50", 1001},
        {"only the last snapshot before and the first after",
         {{{5, 0, "a"}}, {{5, 50, "a"}}, {{5, 80, "a"}}, {{5, 200, "a"}}}, 1500, 1650, "a=30", 1001},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(makeProcessSnapshots(own, 1, 1, 1));  // every reading grows the buffers
        // Storing and ranking have a lock of their own: the samplers never wait for them.
        const std::int64_t sampleLocksBefore = sampleLocksTaken();
        for (std::size_t k = 0; k < c.snapshots.size(); ++k) ASSERT_TRUE(store(static_cast<std::int64_t>(k) * 1000, c.snapshots[k]));
        StallSuspects s{};
        EXPECT_TRUE(findStallSuspects(c.fromMs * ms, c.toMs * ms, false, s)) << c.what;
        EXPECT_EQ(sampleLocksTaken(), sampleLocksBefore) << c.what;
        EXPECT_EQ(listOf(s), c.suspects) << c.what;
        EXPECT_EQ(s.windowUs, c.windowMs * ms) << c.what;
    }
    freeProcessSnapshots();
}

TEST(Suspects, ThreadLevelAndPriorityAgainstVantrelsOwnThreads) {
    // Vantrel's samplers at 10; spin.exe's busy thread at 15 where thread
    // times move; wine.exe's thread stays at its start's time (as under
    // Wine): no thread, its base 8.
    const auto at = [](std::int64_t cpu100ns) {
        return std::vector<Proc>{{own, 0, "vantrel.exe", 1, 8, {{1, 0, 10}, {2, 0, 9}}},
                                 {8, cpu100ns / 10000, "spin.exe", 1, 8, {{80, cpu100ns, 15}, {81, 0, 8}}},
                                 {9, cpu100ns / 10000, "wine.exe", 1, 8, {{90, 500000, 8}}}};
    };
    ASSERT_TRUE(makeProcessSnapshots(own, 3, 4, 16));
    ASSERT_TRUE(store(0, at(0)));
    ASSERT_TRUE(store(1000, at(1400000)));
    StallSuspects s{};
    ASSERT_TRUE(findStallSuspects(500 * ms, 650 * ms, false, s));
    ASSERT_EQ(listOf(s), "spin.exe=140 wine.exe=140");
    EXPECT_EQ(s.list[0].threadId, 80);
    EXPECT_EQ(s.list[0].threadCpuUs, 140 * ms);
    EXPECT_EQ(s.list[0].threadPriority, 15);
    EXPECT_TRUE(s.list[0].aboveSampler);
    EXPECT_EQ(s.list[1].threadId, -1);
    EXPECT_FALSE(s.list[1].aboveSampler);
    freeProcessSnapshots();
}

// Above the samplers means strictly above the highest priority of
// Vantrel's own threads (10 here): a thread at 10 is their equal.
TEST(Suspects, AboveTheSamplersOnlyWhenStrictlyHigher) {
    for (const std::int32_t priority : {9, 10, 11}) {
        SCOPED_TRACE(priority);
        const auto at = [priority](std::int64_t cpu100ns) {
            return std::vector<Proc>{{own, 0, "vantrel.exe", 1, 8, {{1, 0, 10}, {2, 0, 9}}},
                                     {8, cpu100ns / 10000, "spin.exe", 1, 8, {{80, cpu100ns, priority}}}};
        };
        ASSERT_TRUE(makeProcessSnapshots(own, 2, 3, 16));
        ASSERT_TRUE(store(0, at(0)));
        ASSERT_TRUE(store(1000, at(1400000)));
        StallSuspects s{};
        ASSERT_TRUE(findStallSuspects(500 * ms, 650 * ms, false, s));
        ASSERT_EQ(listOf(s), "spin.exe=140");
        EXPECT_EQ(s.list[0].aboveSampler, priority > 10);
        freeProcessSnapshots();
    }
}

TEST(Suspects, ASnapshotMissingOrLostIsNullAndOnlyTheOneToComeIsWaitedFor) {
    ASSERT_TRUE(makeProcessSnapshots(own, 4, 4, 64));
    ASSERT_TRUE(store(0, {{5, 0, "a"}}));
    StallSuspects s{};
    EXPECT_FALSE(findStallSuspects(500 * ms, 650 * ms, false, s)) << "the snapshot after may still come";
    EXPECT_TRUE(findStallSuspects(500 * ms, 650 * ms, true, s));
    EXPECT_EQ(listOf(s), "null");
    noteSnapshotFailure(700 * ms);
    EXPECT_TRUE(findStallSuspects(500 * ms, 650 * ms, false, s)) << "the reading after the stall failed";
    EXPECT_EQ(listOf(s), "null");
    // The ring reaches back snapshotsKept readings, no further.
    for (std::int64_t k = 1; k <= snapshotsKept; ++k) ASSERT_TRUE(store(k * 1000, {{5, k * 10, "a"}}));
    EXPECT_TRUE(findStallSuspects(500 * ms, 650 * ms, false, s));
    EXPECT_EQ(listOf(s), "null");
    EXPECT_TRUE(findStallSuspects(1500 * ms, 1650 * ms, false, s));
    EXPECT_EQ(listOf(s), "a=10");
    EXPECT_EQ(processSnapshotsTaken(), snapshotsKept + 1);
    EXPECT_EQ(processSnapshotFailures(), 1);
    stopProcessSnapshots();
    EXPECT_TRUE(findStallSuspects(snapshotsKept * 1000 * ms + 500 * ms, snapshotsKept * 1000 * ms + 600 * ms, false, s))
        << "no reader, nothing to wait for";
    freeProcessSnapshots();
}

TEST(Suspects, AStallCausedByThreadsWaitsForTheSnapshotAfterItAndKeepsItsSuspects) {
    ASSERT_TRUE(createSampleLock());
    // The tally counts the stalls the run is judged on: timer stalls, or
    // with --fine the wake-ups' (a timer stall of a --fine run is not one).
    for (const bool fine : {false, true}) {
        SCOPED_TRACE(fine ? "--fine" : "timer events only");
        const auto nowMs = [] { return ticksToMicroseconds(readPerformanceCounter(), performanceCounterFrequency()) / ms; };
        ASSERT_TRUE(makeAccounting(2));
        ASSERT_TRUE(makeProcessSnapshots(own, 4, 4, 64));
        ASSERT_TRUE(makeStallCauses(2, fine));
        const std::int64_t t0 = nowMs();
        ASSERT_TRUE(store(t0, {{8, 0, "spin.exe"}}));
        // Core 1 busy all along, core 0 idle in 90 and 100 ms steps: 10 ms accounting.
        for (std::int64_t k = 0; k <= 5; ++k) {
            const CoreTimes times[2] = {{k * 950000, k * 1000000, 0, 0, 0}, {0, k * 1000000, 0, 0, 0}};
            storeAccountingReading((t0 + k * 100) * ms, times, 2);
        }
        advanceFakeCounter(350 * ms * 10);
        const TimerEvent stall{1, 150, 150 * ms, 1796652180000};
        lockSamples();
        noteTimerStall(stall);
        unlockSamples();
        attributeStalls(false, -1);
        const WorstEvent worst{1, stall.utcMs, stall.lateUs, stall.lateMs};
        RunSummary run{};
        run.coreCount = 2;
        run.worstTimer = &worst;
        run.worstTimerCount = 1;
        describeStallCauses(run);
        EXPECT_EQ(run.stallCauses[1].timer[static_cast<int>(StallCause::threads)], 0) << "still waiting";
        ASSERT_TRUE(store(nowMs() + 20, {{8, 150, "spin.exe"}}));
        attributeStalls(false, -1);
        describeStallCauses(run);
        EXPECT_EQ(run.stallCauses[1].timer[static_cast<int>(StallCause::threads)], 1);
        ASSERT_TRUE(run.suspects && run.worstTimerSuspects != nullptr);
        EXPECT_EQ(run.worstTimerCause[0], StallCause::threads);
        EXPECT_EQ(listOf(run.worstTimerSuspects[0]), "spin.exe=150");
        ASSERT_NE(run.suspectTally, nullptr);
        EXPECT_EQ(run.suspectTally->stalls, fine ? 0 : 1);
        EXPECT_EQ(run.suspectTally->count, fine ? 0 : 1);
        if (!fine) {
            EXPECT_EQ(run.suspectTally->kept[0].first, 1);
        }
        EXPECT_EQ(run.suspectSnapshots, 2);
        freeStallCauses();
        freeProcessSnapshots();
        freeAccounting();
    }
}

}  // namespace
