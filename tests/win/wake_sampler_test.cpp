// The real wake-up samplers of two cores for about a second: the chosen wait,
// the resolution, and figures that move like a 1 ms grid.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/platform_seam.h"
#include "engine/wake_figures.h"
#include "engine/wake_sampler.h"

namespace {

constexpr std::int64_t testCores = 2;
constexpr DWORD settleMs = 200;
constexpr DWORD measuredMs = 1000;
// Deadlines reached between the two readings may differ from the elapsed
// milliseconds by the wake-ups in flight at either end.
constexpr std::int64_t gridSlackMs = 20;

std::int64_t elapsedMs(std::int64_t from, std::int64_t to) {
    return (to - from) * 1000 / performanceCounterFrequency();
}

TEST(WakeSampler, TwoCoresWakeOnceAMillisecondAndMostlyOnTime) {
    ASSERT_TRUE(createWakeFigures(testCores));
    const std::int64_t choiceStart = readPerformanceCounter();
    ASSERT_TRUE(startWakeSamplers(testCores));
    const std::int64_t choiceMs = elapsedMs(choiceStart, readPerformanceCounter());
    const std::string method = wakeMethodName();
    std::printf("method \"%s\", resolution %lld us, chosen in %lld ms\n", method.c_str(),
                static_cast<long long>(wakeResolutionUs()), static_cast<long long>(choiceMs));
    for (std::int64_t m = 0; m < wakeCandidateCount; ++m) {
        std::printf("  candidate \"%s\": median %lld us\n", wakeCandidateName(m),
                    static_cast<long long>(wakeCandidateMedianUs(m)));
    }
    EXPECT_TRUE(method == "high-resolution timer" || method == "waitable timer" || method == "sleep") << method;
    EXPECT_LT(choiceMs, 400) << "the choice should take about 0.1 s";
    EXPECT_GE(wakeResolutionUs(), 0);

    Sleep(settleMs);
    WakeStatistics before[testCores];
    for (std::int64_t c = 0; c < testCores; ++c) readWakeStatistics(c, before[c]);
    const std::int64_t from = readPerformanceCounter();
    Sleep(measuredMs);
    WakeStatistics after[testCores];
    for (std::int64_t c = 0; c < testCores; ++c) readWakeStatistics(c, after[c]);
    const std::int64_t span = elapsedMs(from, readPerformanceCounter());

    for (std::int64_t c = 0; c < testCores; ++c) {
        SCOPED_TRACE("core " + std::to_string(c));
        const WakeStatistics& s = after[c];
        const std::int64_t events = s.events - before[c].events;
        const std::int64_t deadlines = events + s.skipped - before[c].skipped;
        std::printf("core %lld: %lld wake-ups and %lld skipped in %lld ms; min %lld us, mean %lld us, max %lld us\n",
                    static_cast<long long>(c), static_cast<long long>(events),
                    static_cast<long long>(deadlines - events), static_cast<long long>(span),
                    static_cast<long long>(s.minUs), static_cast<long long>(s.sumUs / (s.events > 0 ? s.events : 1)),
                    static_cast<long long>(s.maxUs));
        EXPECT_NEAR(deadlines, span, gridSlackMs) << "one deadline per millisecond, woken or skipped";
        EXPECT_GT(events, span / 2) << "most deadlines are woken, not skipped";
        EXPECT_GE(s.minUs, 0);
        EXPECT_LE(s.minUs, s.maxUs);
        // The chosen wait should wake most deadlines within half a
        // millisecond; a wait that costs a round trip to a server rounded to
        // whole milliseconds would not.
        std::int64_t withinHalfMs = 0;
        for (std::int64_t b = 0; b < wakeHistogramBucketCount - 1 && wakeHistogramUpperUs[b] <= 500; ++b) {
            withinHalfMs += s.histogram[b];
        }
        EXPECT_GT(withinHalfMs * 2, s.events) << "at most half the wake-ups later than 0.5 ms";
        std::int64_t counted = 0;
        for (const std::int64_t n : s.histogram) counted += n;
        EXPECT_EQ(counted, s.events);
    }
}

}  // namespace
