// A sweep's bookkeeping on tables of made-up events: each stretch keeps its
// level's figures per core, the first event of each core in a stretch is not
// judged, an event counts for the stretch its time lies in, stalls count
// where they belong, and the best level of each core is the lowest 99th
// percentile bound; and the percentile bound of a histogram.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "console/summary_lines.h"
#include "engine/platform_seam.h"
#include "formats/context_format.h"
#include "formats/run_end.h"
#include "formats/sweep_format.h"
#include "record/context_record.h"
#include "record/problem_list.h"
#include "record/run_summary.h"
#include "record/statistics.h"
#include "record/sweep_record.h"
#include "record/sweep_verdicts.h"

namespace {

constexpr std::int64_t t0 = 1796652180000;  // 2026-12-07T14:03:00.000Z

void event(std::int64_t core, std::int64_t lateUs, std::int64_t utcMs) {
    lockSamples();
    addToSweep(TimerEvent{core, lateUs / 1000, lateUs, utcMs});
    unlockSamples();
}

CoreStatistics withEvents(const std::vector<std::int64_t>& lateMs) {
    CoreStatistics s{};
    for (const std::int64_t ms : lateMs) addToStatistics(s, TimerEvent{0, ms, ms * 1000, t0});
    return s;
}

TEST(Statistics, PercentileBoundIsTheBucketOfTheNearestRank) {
    struct Case {
        std::vector<std::int64_t> lateMs;
        std::int64_t perMille;
        std::int64_t bound;
        bool above;
    };
    std::vector<std::int64_t> ninetyNineQuiet(99, 1);
    ninetyNineQuiet.push_back(300);  // rank 99 of 100 is still quiet
    std::vector<std::int64_t> ninetyEightQuiet(98, 1);
    ninetyEightQuiet.insert(ninetyEightQuiet.end(), {300, 300});  // rank 99 is the first stall
    const Case cases[] = {
        {{-20}, 990, 0, false},         {{3}, 990, 5, false},        {ninetyNineQuiet, 990, 1, false},
        {ninetyEightQuiet, 990, 500, false}, {ninetyNineQuiet, 1000, 500, false}, {{20000}, 990, 10000, true},
        {{5, 5, 5, 11}, 500, 5, false},
    };
    for (const Case& c : cases) {
        std::int64_t bound = -1;
        bool above = false;
        ASSERT_TRUE(percentileBoundMs(withEvents(c.lateMs), c.perMille, bound, above));
        EXPECT_EQ(bound, c.bound) << c.lateMs.size() << " events, " << c.perMille;
        EXPECT_EQ(above, c.above);
    }
    std::int64_t bound = 0;
    bool above = false;
    EXPECT_FALSE(percentileBoundMs(CoreStatistics{}, 990, bound, above)) << "no events, no percentile";
}

TEST(Sweep, StretchesJudgeAllButTheFirstPeriodAfterAChangeAndKeepTheirOwnFigures) {
    ASSERT_TRUE(createSampleLock());
    ASSERT_TRUE(makeSweep(3, nullptr, 2, 1000, false));
    beginSweepStretch(t0, "idle", "idle");
    // The first level is the run's start: every event of it is judged.
    for (const auto& [lateUs, at] : std::vector<std::pair<std::int64_t, std::int64_t>>{{90000, 100}, {1000, 200}, {2000, 300}, {3000, 400}}) {
        event(0, lateUs, t0 + at);
    }
    event(1, 50000, t0 + 150);
    beginSweepStretch(t0 + 1000, "high", "high");
    // Measured before the change, recorded after it: still idle's.
    event(0, 4000, t0 + 990);
    event(0, 70000, t0 + 1100);  // high's first period: not judged
    event(0, 500, t0 + 1200);
    event(1, 9000, t0 + 1050);   // not judged
    event(1, 8000, t0 + 1150);
    // A stall's cause counts where it came, unless it was not judged: a
    // timer event's first period, a wake-up whose wait began before.
    countSweepStall(0, t0 + 1100, 70000, false, StallCause::threads);   // unjudged: left out
    countSweepStall(1, t0 + 1150, 8000, false, StallCause::threads);    // high
    countSweepStall(1, t0 + 150, 50000, false, StallCause::idle);       // idle's
    countSweepStall(0, t0 + 1010, 30000, true, StallCause::drivers);    // began in idle: left out of high
    countSweepStall(0, t0 + 1300, 30000, true, StallCause::mixed);      // began in high
    lockSamples();
    endSweep(t0 + 2000);
    unlockSamples();
    beginSweepStretch(t0 + 2500, "realtime", "high");  // after the end: nothing

    SweepSummary sweep{};
    ASSERT_TRUE(copyJudgedSweep(sweep));
    ASSERT_EQ(sweep.stretchCount, 2);
    EXPECT_EQ(sweep.stretches[0].toUtcMs, t0 + 1000);
    EXPECT_EQ(sweep.stretches[1].toUtcMs, t0 + 2000) << "the end of the record ends the last stretch";
    const SweepCore& idle0 = sweep.cores[0 * 2 + 0];
    EXPECT_EQ(idle0.unjudged, 0);
    EXPECT_EQ(idle0.timer.events, 5);
    EXPECT_EQ(idle0.timerStalls, 1);
    const SweepCore& idle1 = sweep.cores[0 * 2 + 1];
    EXPECT_EQ(idle1.timer.events, 1);
    EXPECT_EQ(idle1.stalls[static_cast<int>(StallCause::idle)], 1);
    const SweepCore& high0 = sweep.cores[1 * 2 + 0];
    EXPECT_EQ(high0.timer.events, 1);
    EXPECT_EQ(high0.timerStalls, 0) << "the unjudged 70 ms is no stall of high's";
    EXPECT_EQ(high0.unjudgedUtcMs, t0 + 1100);
    EXPECT_EQ(high0.stalls[static_cast<int>(StallCause::threads)], 0);
    EXPECT_EQ(high0.wakeStalls[static_cast<int>(StallCause::drivers)], 0);
    EXPECT_EQ(high0.wakesLeftOut, 1);
    EXPECT_EQ(high0.wakeStalls[static_cast<int>(StallCause::mixed)], 1);
    const SweepCore& high1 = sweep.cores[1 * 2 + 1];
    EXPECT_EQ(high1.timer.events, 1);
    EXPECT_EQ(high1.timerStalls, 1);
    EXPECT_EQ(high1.stalls[static_cast<int>(StallCause::threads)], 1);
    freeSweep();
}

// The verdicts of a sweep, on made-up stretches of 3,000 events per core:
// the baseline is "normal" though it came second; a level whose core 1
// stalls often is worse there; early events win nothing; an event of
// exactly 5 ms is no stall; the first period's stall after a change is
// not counted; a level cut short before half its time has no verdict, and
// nothing is marked better from noise.
TEST(Sweep, LevelsAreJudgedAgainstNormalBeyondNoiseOnly) {
    constexpr std::int64_t events = 3000;
    constexpr std::int64_t stretchMs = events * 100;
    struct Level {
        const char* name;
        std::int64_t core0Us;   // every judged event of core 0 but its first
        std::int64_t core1Us;
        std::int64_t core1StallEvery;  // a 30 ms stall every this many (0: none)
        const char* core0;      // verdicts against normal
        const char* core1;
    };
    const Level levels[] = {
        {"low", -3000, 800, 0, "no difference", "no difference"},  // early is not better
        {"normal", 600, 600, 0, nullptr, nullptr},
        {"high", 5000, 700, 50, "worse", "worse"},  // 5 ms exactly: no stall, but a later 99th percentile
        {"realtime", 600, 600, 0, nullptr, nullptr},                // cut short: not judged
    };
    ASSERT_TRUE(createSampleLock());
    const char* const names[] = {"low", "normal", "high", "realtime"};
    ASSERT_TRUE(makeSweep(4, names, 2, stretchMs, false));
    std::int64_t from = t0;
    for (const Level& level : levels) {
        beginSweepStretch(from, level.name, "");
        const std::int64_t count = level.name == std::string("realtime") ? events / 4 : events;
        for (std::int64_t k = 0; k < count; ++k) {
            const std::int64_t at = from + 50 + k * 100;
            // The first period after a change: a stall measured at the level
            // before (the start's first is judged: no stall there).
            const bool first = k == 0 && from != t0;
            event(0, first ? 400000 : level.core0Us, at);
            const bool stall = level.core1StallEvery > 0 && k % level.core1StallEvery == 1;
            event(1, first ? 400000 : stall ? 30000 : level.core1Us, at);
        }
        from += count * 100;
    }
    lockSamples();
    endSweep(from);
    unlockSamples();
    SweepSummary sweep{};
    ASSERT_TRUE(copyJudgedSweep(sweep));
    EXPECT_EQ(sweep.baseline, 1) << "normal was measured: it is the baseline";
    RunSummary run{};
    run.sweep = &sweep;
    run.ended = endedByClose;
    for (std::int64_t s = 0; s < 4; ++s) {
        const char* const expected[2] = {levels[s].core0, levels[s].core1};
        for (std::int64_t c = 0; c < 2; ++c) {
            const CoreVerdict* v = sweepVerdictOf(run, s, c);
            if (expected[c] == nullptr) {
                EXPECT_EQ(v, nullptr) << levels[s].name << " core " << c << ": the baseline or not judged";
                continue;
            }
            ASSERT_NE(v, nullptr) << levels[s].name << " core " << c;
            EXPECT_STREQ(verdictName(v->verdict), expected[c]) << levels[s].name << " core " << c << ", p " << v->pValue;
            EXPECT_EQ(v->run.events, events - (s == 0 ? 0 : 1)) << "the first period after a change is left out";
        }
    }
    EXPECT_EQ(sweepShownFigures(run, 2, 0).stalls, 0) << "5,000 us is no stall, nor the unjudged 400 ms";
    EXPECT_EQ(sweepVerdictOf(run, 2, 0)->rateDirection, 0);
    TextBuffer text{};
    ASSERT_TRUE(makeTextBuffer(text, 1 << 16));
    appendSweepLines(text, run);
    const std::string lines(text.data, text.size);
    EXPECT_NE(lines.find("levels against normal, judged by the timer events"), std::string::npos) << lines;
    EXPECT_NE(lines.find("realtime: cut short, not judged\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("; core 1 stalls 60 of 2999, p99 <= 50 ms: worse beyond noise (stall rate, 99th percentile)"), std::string::npos) << lines;
    freeTextBuffer(text);
    freeSweep();
}

// How a sweep ended, as the console's verdict and sweep lines, the report
// and the page say it: levels never measured, the last one cut short
// (judged only when it measured most of its time), a timed run closed early.
TEST(Sweep, AnEndBeforeItsTimeIsSaidWithTheLevelsLeftAndTheOneCutShort) {
    struct Case {
        std::int64_t begun;      // of the three levels planned, 1000 ms each
        std::int64_t lastMs;     // what the last begun measured
        bool completed;          // the sweep stepped past its last level
        const char* ended;
        const char* shortfall;   // "" when none
        bool lastJudged;
        const char* verdict;
    };
    const char* const names[] = {"low", "normal", "high"};
    const Case cases[] = {
        {3, 1000, true, endedByDuration, "", true, "exit 0: the record is complete\n"},
        {2, 600, false, endedByClose, "level not measured: high; normal cut short after 0.6 s of 1.0 s (judged: it measured most of its time)",
         true, "exit 0: the record is complete; closed after 1.6 s of the 3.0 s planned\n"},
        {3, 400, false, endedBySessionEnd, "high cut short after 0.4 s of 1.0 s (not judged)", false,
         "exit 0: the record is complete; ended with the session after 2.4 s of the 3.0 s planned\n"},
        {1, 500, false, endedByInterrupt, "levels not measured: normal, high; low cut short after 0.5 s of 1.0 s (not judged)",
         false, "exit 0: the record is complete; interrupted after 0.5 s of the 3.0 s planned\n"},
    };
    ASSERT_TRUE(createSampleLock());
    TextBuffer text{};
    ASSERT_TRUE(makeTextBuffer(text, 4096));
    for (const Case& c : cases) {
        ASSERT_TRUE(makeSweep(3, names, 1, 1000, false));
        for (std::int64_t k = 0; k < c.begun; ++k) beginSweepStretch(t0 + k * 1000, names[k], "normal");
        if (c.completed) completeSweep();
        const std::int64_t endMs = (c.begun - 1) * 1000 + c.lastMs;
        lockSamples();
        endSweep(t0 + endMs);
        unlockSamples();
        SweepSummary sweep{};
        ASSERT_TRUE(copyJudgedSweep(sweep));
        RunSummary run{};
        run.sweep = &sweep;
        run.ended = c.ended;
        run.plannedMs = 3000;
        run.failAboveUs = -1;
        run.elapsedMs = endMs;
        clearText(text);
        appendSweepShortfall(text, run);
        EXPECT_EQ(std::string(text.data, text.size), c.shortfall) << c.ended;
        EXPECT_EQ(sweepFellShort(run), c.shortfall[0] != '\0') << c.ended;
        EXPECT_EQ(sweepStretchJudged(sweep, c.begun - 1), c.lastJudged) << c.ended;
        EXPECT_TRUE(sweepStretchJudged(sweep, 0) || c.begun == 1) << "a level the sweep went on from is whole";
        clearText(text);
        appendVerdictLine(text, &run, exitComplete, nullptr);
        EXPECT_EQ(std::string(text.data, text.size), c.verdict);
        clearText(text);
        appendEndJson(text, run);
        EXPECT_NE(std::string(text.data, text.size).find(std::string("\"ended\": \"") + c.ended + "\""), std::string::npos);
        EXPECT_EQ(std::string(text.data, text.size).find("\"high\"") != std::string::npos, c.begun < 3)
            << "the levels not measured are listed: " << text.data;
    }
    freeTextBuffer(text);
    freeSweep();
}

}  // namespace

// Of a sweep over timer resolutions, the baseline is "normal" at the
// resolution that asked for none, wherever it stands in the order given.
TEST(Sweep, TheBaselineOfResolutionsIsNormalAtTheDefault) {
    const struct {
        const char* levels[3];
        std::int64_t asked[3];
        bool resolutions;
        std::int64_t baseline;
    } cases[] = {
        {{"normal", "normal", "high"}, {10000, 0, 0}, true, 1},
        {{"high", "normal", "normal"}, {0, 5000, 0}, true, 2},
        {{"high", "idle", "high"}, {10000, 0, 5000}, true, 1},  // no normal: the default
        {{"high", "normal", "idle"}, {0, 10000, 0}, false, 1},  // no resolutions: normal
    };
    for (const auto& c : cases) {
        SweepStretch stretches[3]{};
        for (std::int64_t s = 0; s < 3; ++s) {
            setPriorityText(stretches[s].level, c.levels[s]);
            stretches[s].fromUtcMs = s * 1000;
            stretches[s].toUtcMs = s * 1000 + 1000;
            stretches[s].askedResolution = c.asked[s];
        }
        SweepSummary sweep{};
        sweep.levelsPlanned = 3;
        sweep.stretchMs = 1000;
        sweep.stretchCount = 3;
        sweep.completed = true;
        sweep.stretches = stretches;
        sweep.resolutions = c.resolutions;
        EXPECT_EQ(sweepBaseline(sweep), c.baseline) << c.levels[0] << "," << c.levels[1] << "," << c.levels[2];
    }
}
