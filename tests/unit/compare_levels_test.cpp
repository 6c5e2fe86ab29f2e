// The levels of one run compared: each its own, the first period after each change not judged.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "compare_support.h"

namespace {

// One run at two levels: each level its own, the first event of each core
// after a change not judged, stalls counted with the causes the log names.
TEST(Comparison, LevelsOfOneRunLeaveOutTheFirstPeriodAfterEachChange) {
    std::string text = header + note(0, "vantrel=1.8.0") + note(0, "priority=normal;class=normal");
    for (std::int64_t k = 1; k <= 10; ++k) text += timer(100 * k, 0, 2000);
    // An event in the very millisecond of the change is the new level's,
    // and the first of its period: not judged.
    text += note(1100, "priority=high;class=high");
    text += timer(1100, 0, 90000);
    for (std::int64_t k = 12; k <= 20; ++k) text += timer(100 * k, 0, k == 15 ? 7000 : 500);
    text += note(1500, "stall=0/threads");
    text += note(2050, "priority=normal;class=normal");
    for (std::int64_t k = 21; k <= 30; ++k) text += timer(100 * k, 0, k == 21 ? 40000 : 2000);
    // The unjudged stalls' causes, their notes after the next change.
    text += note(1100, "stall=0/idle") + note(2100, "stall=0/drivers");
    std::vector<MemoryLog> logs{{text}};
    const Compared c(logs, {"levels.csv"}, 30000);
    ASSERT_TRUE(c.good) << c.error;
    ASSERT_TRUE(c.comparison.byLevel);
    ASSERT_EQ(c.comparison.runCount, 2);
    EXPECT_EQ(std::string(c.comparison.runs[0].name), "normal");
    EXPECT_EQ(std::string(c.comparison.runs[1].name), "high");
    EXPECT_EQ(c.comparison.baseline, 0);
    const ComparedCore& normal = c.comparison.runs[0].cores[0];
    const ComparedCore& high = c.comparison.runs[1].cores[0];
    EXPECT_EQ(normal.events, 19) << "the start's first event is judged, 2100's is not";
    EXPECT_EQ(normal.unjudged, 1);
    EXPECT_EQ(normal.maxUs, 2000) << "the 40 ms of 2100 is left out, and 1100's is not filed under normal";
    EXPECT_EQ(high.events, 9);
    EXPECT_EQ(high.unjudged, 1);
    EXPECT_EQ(high.maxUs, 7000) << "the 90 ms of the unjudged period is left out";
    EXPECT_EQ(high.stalls, 1);
    EXPECT_EQ(high.causes[static_cast<int>(StallCause::threads)], 1);
    EXPECT_EQ(high.causes[static_cast<int>(StallCause::idle)], 0) << "the unjudged stall's cause is left out with it";
    EXPECT_EQ(normal.causes[static_cast<int>(StallCause::drivers)], 0);
    EXPECT_EQ(normal.causes[static_cast<int>(StallCause::idle)], 0);
    // Each level's time, from its first judged event to its last.
    EXPECT_EQ(c.comparison.runs[0].fromUtcMs, c.comparison.runs[1].fromUtcMs - 1100);
    EXPECT_EQ(c.comparison.runs[1].toUtcMs - c.comparison.runs[1].fromUtcMs, 800);
    EXPECT_EQ(c.comparison.runs[0].toUtcMs - c.comparison.runs[0].fromUtcMs, 2900);
    // Neither unjudged event crossed the limit of 30 ms: the same rule as the exit code's.
    EXPECT_FALSE(c.comparison.runs[0].crossed);
    EXPECT_FALSE(c.comparison.runs[1].crossed);
    EXPECT_EQ(c.verdictOf(1, 0), Verdict::tooFew);
    const std::string page = c.page();
    EXPECT_NE(page.find("1: 1 threads"), std::string::npos);
    EXPECT_NE(page.find("measured from 2026-12-07T14:03:01.200Z to 2026-12-07T14:03:02.000Z"), std::string::npos) << page;
    EXPECT_NE(page.find("No event later than the limit of 30.000 ms in any run"), std::string::npos);
}

// A sweep's levels, an hour at each: 60 stalls in 3,000 events against 2
// names the level worse.
TEST(Comparison, ALevelWithManyMoreStallsIsWorse) {
    std::string text = header + note(0, "vantrel=1.8.0") + note(0, "priority=idle;class=idle");
    std::int64_t ms = 0;
    const char* const levels[] = {"normal", "high"};
    for (int level = 0; level < 2; ++level) {
        text += note(ms + 50, std::string("priority=") + levels[level] + ";class=" + levels[level]);
        for (std::int64_t k = 0; k < 3000; ++k) {
            ms += 100;
            const bool stall = level == 1 ? k % 50 == 3 : (k == 500 || k == 2500);
            text += timer(ms, 0, stall ? 9000 : 700 + k % 300);
        }
    }
    std::vector<MemoryLog> logs{{text}};
    const Compared c(logs, {"sweep.csv"});
    ASSERT_TRUE(c.good) << c.error;
    ASSERT_EQ(c.comparison.runCount, 3);
    EXPECT_EQ(std::string(c.comparison.runs[c.comparison.baseline].name), "normal") << "normal is the baseline when measured";
    EXPECT_EQ(c.comparison.runs[2].cores[0].stalls, 60);
    EXPECT_EQ(c.verdictOf(2, 0), Verdict::worse) << c.verdict(0);
    EXPECT_EQ(c.verdictOf(0, 0), Verdict::tooFew) << "idle measured no judged event";
    EXPECT_FALSE(c.comparison.runs[0].timed);
}

}  // namespace
