// The causes of stalls read against made-up accounting steps: which cause
// each span gets, and the figures it was decided on.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/accounting.h"
#include "engine/stall_attribution.h"

namespace {

constexpr std::int64_t ms = 1000;  // microseconds

// A usable step from..to (ms) with its thread, driver and idle time (ms).
AccountingStep step(std::int64_t from, std::int64_t to, std::int64_t threads, std::int64_t drivers, std::int64_t idle) {
    return AccountingStep{from * ms, to * ms, threads * ms, drivers * ms, idle * ms, true};
}

struct Case {
    const char* what;
    std::vector<AccountingStep> steps;
    std::int64_t endMs;
    std::int64_t lateMs;
    std::int64_t resolutionMs;
    StallCause cause;
    bool waiting;
    StallDuring during;  // in ms; -1 unknown
};

TEST(StallAttribution, CausesOfSpansAgainstSteps) {
    const AccountingStep backwards{100 * ms, 200 * ms, 0, 0, 0, false};
    const Case cases[] = {
        {"inside one busy step", {step(0, 100, 100, 0, 0)}, 60, 20, 10, StallCause::threads, false, {20, 20, 0, 0}},
        {"inside one idle step", {step(0, 100, 0, 0, 100)}, 60, 20, 10, StallCause::idle, false, {20, 0, 0, 20}},
        // Half busy: the thread time can all lie inside a short span.
        {"inside a half-busy step", {step(0, 100, 50, 0, 50)}, 60, 20, 10, StallCause::threads, false, {20, 20, 0, 0}},
        {"busy over two half-covered steps",
         {step(0, 100, 50, 0, 50), step(100, 200, 50, 0, 50)}, 150, 100, 10, StallCause::threads, false, {100, 100, 0, 0}},
        // A pause of the whole machine: its long step is idle around the span.
        {"idle over a long step",
         {step(0, 100, 0, 0, 100), step(100, 400, 10, 0, 290), step(400, 500, 0, 0, 100)}, 450, 300, 10,
         StallCause::idle, false, {300, 10, 0, 290}},
        {"threads for exactly half the span", {step(0, 100, 50, 0, 50)}, 100, 100, 10, StallCause::threads, false,
         {100, 50, 0, 50}},
        {"driver time first", {step(0, 100, 40, 60, 0)}, 80, 60, 10, StallCause::drivers, false, {60, 40, 60, 0}},
        {"nothing reaches half", {step(0, 100, 40, 20, 40)}, 100, 100, 10, StallCause::mixed, false, {100, 40, 20, 40}},
        {"a step read wrongly", {step(0, 100, 100, 0, 0), backwards, step(200, 300, 100, 0, 0)}, 250, 100, 10,
         StallCause::unknown, false, {100, -1, -1, -1}},
        {"before the oldest step kept", {step(100, 200, 100, 0, 0)}, 150, 100, 10, StallCause::unknown, false,
         {100, -1, -1, -1}},
        {"shorter than twice the resolution", {step(0, 100, 100, 0, 0)}, 50, 19, 10, StallCause::unknown, false,
         {19, -1, -1, -1}},
        {"twice the resolution", {step(0, 100, 100, 0, 0)}, 50, 20, 10, StallCause::threads, false, {20, 20, 0, 0}},
        {"core never read", {}, 50, 20, 10, StallCause::unknown, true, {20, -1, -1, -1}},
        {"steps short of its end", {step(0, 100, 100, 0, 0)}, 120, 20, 10, StallCause::unknown, true, {20, -1, -1, -1}},
        {"no resolution yet", {step(0, 100, 100, 0, 0)}, 50, 20, -1, StallCause::unknown, true, {20, -1, -1, -1}},
    };
    for (const Case& c : cases) {
        const std::int64_t resolution = c.resolutionMs < 0 ? -1 : c.resolutionMs * ms;
        const Attribution a = attributeStall(c.steps.data(), static_cast<std::int64_t>(c.steps.size()), c.endMs * ms,
                                             c.lateMs * ms, resolution);
        EXPECT_STREQ(stallCauseName(a.cause), stallCauseName(c.cause)) << c.what;
        EXPECT_EQ(a.waiting, c.waiting) << c.what;
        const auto inUs = [](std::int64_t v) { return v < 0 ? -1 : v * ms; };
        EXPECT_EQ(a.during.spanUs, inUs(c.during.spanUs)) << c.what;
        EXPECT_EQ(a.during.threadsUs, inUs(c.during.threadsUs)) << c.what;
        EXPECT_EQ(a.during.driversUs, inUs(c.during.driversUs)) << c.what;
        EXPECT_EQ(a.during.idleUs, inUs(c.during.idleUs)) << c.what;
    }
}

TEST(StallAttribution, StepsFromReadingsAndTheirResolution) {
    // 100 ns units: 10 ms is 100000. Kernel time holds idle, DPC and interrupts.
    const CoreTimes before{1000000, 1500000, 300000, 10000, 20000};
    const CoreTimes after{1900000, 2500000, 400000, 30000, 50000};
    const AccountingStep s = stepBetween(before, after, 0, 100 * ms);
    EXPECT_TRUE(s.usable);
    EXPECT_EQ(s.idleUs, 90 * ms);
    EXPECT_EQ(s.driversUs, 5 * ms);
    EXPECT_EQ(s.threadsUs, (100000 + 1000000 - 900000 - 50000) / 10);
    // Any counter running backwards, or kernel time short of its parts, is a bad reading.
    CoreTimes bad = after;
    bad.user = before.user - 1;
    EXPECT_FALSE(stepBetween(before, bad, 0, 100 * ms).usable);
    bad = after;
    bad.kernel = before.kernel + 100;
    EXPECT_FALSE(stepBetween(before, bad, 0, 100 * ms).usable);

    // 100 ms steps of a core idle (or busy) all along in 10 ms accounting:
    // consecutive steps differ by the accounting's step though none is small.
    const AccountingStep none{0, 0, 0, 0, 0, false};
    std::int64_t r = finerResolution(-1, step(0, 100, 0, 0, 100), none);
    EXPECT_EQ(r, 100 * ms);
    EXPECT_EQ(finerResolution(r, step(100, 200, 0, 0, 90), step(0, 100, 0, 0, 100)), 10 * ms);
    EXPECT_EQ(finerResolution(r, step(100, 200, 80, 30, 0), step(0, 100, 100, 0, 0)), 10 * ms);
    EXPECT_EQ(finerResolution(r, AccountingStep{0, 1, 0, 0, 1, false}, none), r);
}

TEST(StallAttribution, RingsKeepTheLastStepsOfTheCoresRead) {
    ASSERT_TRUE(makeAccounting(3));
    for (std::int64_t k = 0; k <= accountingStepsKept + 5; ++k) {
        // Two cores of three read: the third never has a step. Core 0 idles
        // 100 ms a reading, core 1 runs 10 ms of threads of each.
        const CoreTimes times[2] = {{k * 1000000, k * 1000000, 0, 0, 0}, {k * 900000, k * 1000000, 0, 0, 0}};
        storeAccountingReading(k * 100 * ms, times, 2);
    }
    AccountingStep out[accountingStepsKept];
    ASSERT_EQ(copyAccountingSteps(0, out), accountingStepsKept);
    EXPECT_EQ(out[0].fromUs, std::int64_t{5} * 100 * ms);
    EXPECT_EQ(out[accountingStepsKept - 1].toUs, (accountingStepsKept + 5) * 100 * ms);
    EXPECT_EQ(out[accountingStepsKept - 1].idleUs, 100 * ms);
    ASSERT_EQ(copyAccountingSteps(1, out), accountingStepsKept);
    EXPECT_EQ(out[0].threadsUs, 10 * ms);
    EXPECT_EQ(copyAccountingSteps(2, out), 0);
    EXPECT_EQ(accountingResolutionUs(), 10 * ms);
    EXPECT_TRUE(accountingWorks());
    stopAccounting();
    EXPECT_FALSE(accountingWorks());
    freeAccounting();
}

}  // namespace
