// A comparison with --fine: the wake-ups decide where the logs count them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "compare_support.h"

namespace {

// With --fine the wake-ups decide where the logs count them; the timer
// events' verdict is beside.
TEST(Comparison, WithFineTheWakeUpsDecide) {
    auto fineRun = [](std::int64_t wakeStalls, std::int64_t fromMs) {
        std::string text = note(fromMs, "vantrel=1.8.0") + note(fromMs, "priority=normal;class=normal");
        for (std::int64_t k = 1; k <= 600; ++k) text += timer(fromMs + 100 * k, 0, 400 + k % 500);
        // The stalls' lines, and some late wake-ups under 5 ms.
        for (std::int64_t k = 0; k < wakeStalls; ++k) text += wake(fromMs + 250 * k + 3, 0, 7000 + 13 * k);
        for (std::int64_t k = 0; k < 100; ++k) text += wake(fromMs + 500 * k + 7, 0, 1500 + k);
        text += note(fromMs + 60050, "wakes=0/60000/" + std::to_string(wakeStalls) + "/0");
        return text;
    };
    std::vector<MemoryLog> logs{{header + fineRun(200, 0)}, {header + fineRun(20, 100000)}};
    const Compared c(logs, {"a.csv", "b.csv"}, -1, true);
    ASSERT_TRUE(c.good) << c.error;
    const ComparedCore& a = c.comparison.runs[0].cores[0];
    EXPECT_TRUE(a.wakesCounted);
    EXPECT_EQ(a.wakeEvents, 60000);
    EXPECT_EQ(a.wakeStalls, 200);
    EXPECT_EQ(a.wakeLines, 300);
    // 60,000 wake-ups: the 99th percentile's rank, 59,400, falls among the
    // 59,700 at most 1 ms late.
    EXPECT_EQ(a.wakeP99.us, 1000);
    EXPECT_EQ(a.wakeP999.us, 7000 + 13 * 139) << "the 60th largest of 200 stalls";
    const CoreVerdict& v = c.of(1, 0);
    EXPECT_EQ(v.source, JudgedSource::wake);
    EXPECT_EQ(v.verdict, Verdict::better);
    ASSERT_NE(c.comparison.timerVerdicts, nullptr);
    EXPECT_EQ(c.comparison.timerVerdicts[verdictIndex(c.comparison, 1, 0)].verdict, Verdict::noDifference);
    EXPECT_NE(c.verdict(0).find("better beyond noise (stall rate, 99.9th percentile) by the wake-ups; timer events: no "
                                "difference beyond noise"),
              std::string::npos)
        << c.verdict(0);
    // Without --fine the timer events decide.
    const Compared timerOnly(logs, {"a.csv", "b.csv"});
    ASSERT_TRUE(timerOnly.good);
    EXPECT_EQ(timerOnly.of(1, 0).source, JudgedSource::timer);
    EXPECT_EQ(timerOnly.comparison.timerVerdicts, nullptr);
}

}  // namespace
