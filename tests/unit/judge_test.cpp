// The judge (verdict/judge.h): its rules, and its statistics against tables
// computed independently with scipy 1.10 (the python line that made each
// table is beside it), and its verdicts on made-up runs.
#include "verdict/judge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string wordsOf(const CoreVerdict& v) {
    TextBuffer text{};
    EXPECT_TRUE(makeTextBuffer(text, 4096));
    appendVerdictWords(text, v);
    std::string words(text.data, text.size);
    freeTextBuffer(text);
    return words;
}

std::string figuresTextOf(const CoreVerdict& v) {
    TextBuffer text{};
    EXPECT_TRUE(makeTextBuffer(text, 4096));
    appendVerdictFigures(text, v);
    std::string words(text.data, text.size);
    freeTextBuffer(text);
    return words;
}

// A made-up run's figures of one core, as a caller finds them: early events
// as 0 late, the percentiles and their intervals at the judge's ranks.
PercentileFigure percentileOf(const std::vector<std::int64_t>& sorted, std::int64_t perMille, double miss) {
    const PercentileRanks ranks = percentileRanks(static_cast<std::int64_t>(sorted.size()), perMille, miss);
    PercentileFigure figure{};
    figure.known = !sorted.empty();
    if (!figure.known) return figure;
    figure.us = sorted[static_cast<std::size_t>(ranks.rank - 1)];
    figure.lowKnown = ranks.low > 0;
    figure.lowUs = figure.lowKnown ? sorted[static_cast<std::size_t>(ranks.low - 1)] : 0;
    figure.highKnown = ranks.high > 0;
    figure.highUs = figure.highKnown ? sorted[static_cast<std::size_t>(ranks.high - 1)] : 0;
    return figure;
}

JudgedFigures figuresOf(std::vector<std::int64_t> lateUs, double miss = 0.05) {
    JudgedFigures figures{};
    for (std::int64_t& late : lateUs) {
        if (isStall(late)) ++figures.stalls;
        late = judgedLateUs(late);
    }
    std::sort(lateUs.begin(), lateUs.end());
    figures.events = static_cast<std::int64_t>(lateUs.size());
    figures.p99 = percentileOf(lateUs, 990, miss);
    figures.p999 = percentileOf(lateUs, 999, miss);
    return figures;
}

// A generator that gives the same numbers on every platform (the standard
// library's distributions do not).
struct Random {
    std::uint64_t state;
    std::uint64_t next() {
        state += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 <= value < bound
    std::int64_t below(std::int64_t bound) { return static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(bound)); }
};

// Timer lateness like a quiet machine's: most within a few ms (some early),
// a stall (6 to 60 ms) in about `stallPerMille` of 1000.
std::vector<std::int64_t> madeUpRun(Random& random, std::int64_t events, std::int64_t stallPerMille) {
    std::vector<std::int64_t> lateUs;
    for (std::int64_t k = 0; k < events; ++k) {
        if (random.below(1000) < stallPerMille) {
            lateUs.push_back(6000 + random.below(54000));
        } else {
            lateUs.push_back(random.below(3000) - 500 + (random.below(50) == 0 ? random.below(2000) : 0));
        }
    }
    return lateUs;
}

}  // namespace

// --- The rules ---------------------------------------------------------------

TEST(JudgeRules, AStallIsStrictlyMoreThanFiveMilliseconds) {
    EXPECT_FALSE(isStall(5000)) << "5,000 us exactly is not a stall";
    EXPECT_TRUE(isStall(5001));
    EXPECT_FALSE(isStall(-3000));
    EXPECT_EQ(stallLateUs, 5000);
}

TEST(JudgeRules, EarlyEventsCountAsOnTime) {
    EXPECT_EQ(judgedLateUs(-40000), 0);
    EXPECT_EQ(judgedLateUs(0), 0);
    EXPECT_EQ(judgedLateUs(1234), 1234);
}

TEST(JudgeRules, TheLimitIsCrossedAboveIt) {
    EXPECT_FALSE(crossesLimit(-1, false, 500, 500000)) << "no limit";
    EXPECT_FALSE(crossesLimit(50000, false, 50, 50900)) << "timer events by late_ms: 50 ms is not above 50 ms";
    EXPECT_TRUE(crossesLimit(50000, false, 51, 50100));
    EXPECT_FALSE(crossesLimit(50000, true, 50, 50000));
    EXPECT_TRUE(crossesLimit(50000, true, 50, 50001)) << "wake-ups by their microseconds";
}

TEST(JudgeRules, AnEventAtTheMillisecondOfAChangeBelongsToTheNewLevel) {
    const std::int64_t changes[] = {1000, 2000, 2000, 5000};
    EXPECT_EQ(stretchAt(changes, 4, 999), -1);
    EXPECT_EQ(stretchAt(changes, 4, 1000), 0);
    EXPECT_EQ(stretchAt(changes, 4, 1999), 0);
    EXPECT_EQ(stretchAt(changes, 4, 2000), 2) << "two changes in one millisecond: the later";
    EXPECT_EQ(stretchAt(changes, 4, 4999), 2);
    EXPECT_EQ(stretchAt(changes, 4, 5000), 3);
    EXPECT_EQ(stretchAt(changes, 0, 5000), -1);
}

TEST(JudgeRules, TheFirstPeriodAfterAChangeIsNotJudged) {
    // The start's events are all judged, its first included.
    EXPECT_TRUE(timerEventJudged(-2, -1));
    EXPECT_TRUE(timerEventJudged(-1, -1));
    // The first event of a core after a change is not; the next one is.
    EXPECT_FALSE(timerEventJudged(-1, 0));
    EXPECT_TRUE(timerEventJudged(0, 0));
    EXPECT_FALSE(timerEventJudged(0, 2)) << "after two changes with no event between";
    EXPECT_FALSE(timerEventJudged(-2, 1)) << "a core whose first event comes after a change";
    // Wake-ups: the one whose wait began before the change (its deadline at
    // or before it) is not judged.
    EXPECT_FALSE(wakeJudged(10'000, 10'020, 20'500)) << "a stall that began before the change";
    EXPECT_TRUE(wakeJudged(10'000, 10'025, 20'000)) << "a stall that began after it";
    EXPECT_FALSE(wakeJudged(10'000, 10'000, 300));
    EXPECT_TRUE(wakeJudged(10'000, 10'001, 300));
    EXPECT_TRUE(wakeJudged(-1, 5, 90'000)) << "the start's";
}

// --- The statistics against scipy ------------------------------------------

struct RateTestCase {
    std::int64_t k1, n1, k2, n2;
    double p;
};
// /usr/bin/python3 -c "from scipy.stats import binomtest
// for k1,n1,k2,n2 in [(1,115,0,115),(40,36000,3,36000),(3,36000,40,36000),(60,3000,2,3000),(0,100,1,100),(5,1000,5,1000),(10,5000,30,6000),(120,360000,80,360000),(7,200,0,50),(2,3000,60,3000)]: print('{%d, %d, %d, %d, %r},'%(k1,n1,k2,n2,binomtest(k1,k1+k2,n1/(n1+n2)).pvalue))"
const RateTestCase rateTests[] = {
    {1, 115, 0, 115, 1.0},
    {40, 36000, 3, 36000, 3.0213413992896676e-09},
    {3, 36000, 40, 36000, 3.0213413992896676e-09},
    {60, 3000, 2, 3000, 8.474124180146703e-16},
    {0, 100, 1, 100, 1.0},
    {5, 1000, 5, 1000, 1.0},
    {10, 5000, 30, 6000, 0.010413310743892769},
    {120, 360000, 80, 360000, 0.005685155996750306},
    {7, 200, 0, 50, 0.35774720000000004},
    {2, 3000, 60, 3000, 8.474124180146703e-16},
};

TEST(JudgeStatistics, StallRateTestAsScipysBinomtest) {
    for (const RateTestCase& c : rateTests) {
        const double p = stallRateTest(c.k1, c.n1, c.k2, c.n2);
        EXPECT_NEAR(p, c.p, c.p * 1e-6) << c.k1 << " of " << c.n1 << " against " << c.k2 << " of " << c.n2;
    }
    EXPECT_EQ(stallRateTest(0, 36000, 0, 36000), 1.0) << "no stall on either side";
    EXPECT_EQ(stallRateTest(3, 0, 0, 100), 1.0) << "no events";
}

struct IntervalCase {
    std::int64_t k, n;
    double low, high;
};
// /usr/bin/python3 -c "from scipy.stats import beta
// for k,n in [(0,100),(1,115),(3,36000),(40,36000),(60,3000),(100,100),(50,100),(1,3600000)]: print('{%d, %d, %r, %r},'%(k,n,0.0 if k==0 else beta.ppf(0.025,k,n-k+1),1.0 if k==n else beta.ppf(0.975,k+1,n-k)))"
const IntervalCase intervals[] = {
    {0, 100, 0.0, 0.03621669264517641},
    {1, 115, 0.00022013061973618432, 0.047496946884995214},
    {3, 36000, 1.718566646067228e-05, 0.00024351585630092665},
    {40, 36000, 0.0007939090293335529, 0.0015127138852099094},
    {60, 3000, 0.015295943667775794, 0.025669811989113413},
    {100, 100, 0.9637833073548235, 1.0},
    {50, 100, 0.39832112950330106, 0.6016788704966989},
    {1, 3600000, 7.0327244153509144e-09, 1.5476777370510787e-06},
};

TEST(JudgeStatistics, ClopperPearsonAsScipysBeta) {
    for (const IntervalCase& c : intervals) {
        const RateInterval got = clopperPearson(c.k, c.n);
        EXPECT_NEAR(got.low, c.low, c.low * 1e-6 + 1e-15) << c.k << " of " << c.n;
        EXPECT_NEAR(got.high, c.high, c.high * 1e-6) << c.k << " of " << c.n;
    }
}

struct RankCase {
    std::int64_t n, perMille, low, high;  // high past n: unknown
};
// /usr/bin/python3 -c "from scipy.stats import binom
// for n,q in [(115,990),(367,990),(368,990),(1000,990),(36000,990),(36000,999),(3600,999),(3700,999),(100,500),(3600000,990),(10,500)]: print('{%d, %d, %d, %d},'%(n,q,int(binom.ppf(0.025,n,q/1000)),int(binom.ppf(0.975,n,q/1000))+1))"
const RankCase rankCases[] = {
    {115, 990, 111, 116},     {367, 990, 359, 368},     {368, 990, 360, 368},
    {1000, 990, 983, 997},    {36000, 990, 35603, 35678}, {36000, 999, 35952, 35976},
    {3600, 999, 3592, 3601},  {3700, 999, 3692, 3700},  {100, 500, 40, 61},
    {3600000, 990, 3563630, 3564371}, {10, 500, 2, 9},
};

TEST(JudgeStatistics, OrderStatisticRanksAsScipysBinomPpf) {
    for (const RankCase& c : rankCases) {
        const PercentileRanks ranks = percentileRanks(c.n, c.perMille, 0.05);
        EXPECT_EQ(ranks.low, c.low) << c.n << " values, " << c.perMille << " per mille";
        EXPECT_EQ(ranks.high, c.high <= c.n ? c.high : 0) << c.n << " values, " << c.perMille << " per mille";
    }
    EXPECT_EQ(percentileRanks(115, 990, 0.05).rank, 114);
    EXPECT_EQ(percentileRanks(1000, 999, 0.05).rank, 999);
    EXPECT_EQ(percentileRanks(0, 990, 0.05).rank, 0);
    // /usr/bin/python3 -c "from scipy.stats import binom
    // print([next(n for n in range(1,10**5) if binom.ppf(0.025,n,q)>=1 and binom.ppf(0.975,n,q)+1<=n) for q in (.99,.999)])"
    EXPECT_EQ(valuesForPercentileInterval(990, 0.05), 368);
    EXPECT_EQ(valuesForPercentileInterval(999, 0.05), 3688);
}

// The intervals of a page of 256 of them, which hold together at 95 %:
// /usr/bin/python3 -c "from scipy.stats import binom; m=0.05/256
// for n,q in [(36000,990),(36000,999),(1000,990),(916,990),(3600000,990)]: print('{%d, %d, %d, %d},'%(n,q,int(binom.ppf(m/2,n,q/1000)),int(binom.ppf(1-m/2,n,q/1000))+1))
// print([next(n for n in range(1,10**6) if binom.ppf(m/2,n,q)>=1 and binom.ppf(1-m/2,n,q)+1<=n) for q in (.99,)])"
const RankCase pageRankCases[] = {
    {36000, 990, 35568, 35709}, {36000, 999, 35940, 35985}, {1000, 990, 976, 1000},
    {916, 990, 894, 917},       {3600000, 990, 3563295, 3564702},
};

TEST(JudgeStatistics, IntervalsOfAPageHoldTogether) {
    const double miss = intervalMissOf(256);
    EXPECT_DOUBLE_EQ(miss, 0.05 / 256);
    EXPECT_DOUBLE_EQ(intervalMissOf(1), 0.05);
    EXPECT_DOUBLE_EQ(intervalMissOf(0), 0.05);
    for (const RankCase& c : pageRankCases) {
        const PercentileRanks ranks = percentileRanks(c.n, c.perMille, miss);
        EXPECT_EQ(ranks.low, c.low) << c.n << " values, " << c.perMille << " per mille";
        EXPECT_EQ(ranks.high, c.high <= c.n ? c.high : 0) << c.n << " values, " << c.perMille << " per mille";
    }
    EXPECT_EQ(valuesForPercentileInterval(990, miss), 919);
}

TEST(JudgeStatistics, HolmStepDownAsByHand) {
    // /usr/bin/python3 -c "p=[0.01,0.04,0.03,0.005,0.2,0.0001,0.03];m=len(p);o=sorted(range(m),key=lambda i:(p[i],i));rej=[0]*m;adj=[0]*m;mx=0;stop=0
    // for r,i in enumerate(o):
    //   mx=max(mx,min(1,(m-r)*p[i]));adj[i]=mx
    //   if not stop and p[i]<=0.05/(m-r): rej[i]=1
    //   else: stop=1
    // print(rej,adj)"
    const double p[] = {0.01, 0.04, 0.03, 0.005, 0.2, 0.0001, 0.03};
    const bool expectRejected[] = {true, false, false, true, false, true, false};
    const double expectAdjusted[] = {0.05, 0.12, 0.12, 0.03, 0.2, 0.0007, 0.12};
    bool rejected[7];
    double adjusted[7];
    holmStepDown(p, 7, 0.05, rejected, adjusted);
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(rejected[k], expectRejected[k]) << "test " << k;
        EXPECT_NEAR(adjusted[k], expectAdjusted[k], 1e-12) << "test " << k;
    }
    // A step fails and stops every one after it, however small.
    const double q[] = {0.03, 0.03, 0.001};
    bool r[3];
    double a[3];
    holmStepDown(q, 3, 0.05, r, a);
    EXPECT_TRUE(r[2]);
    EXPECT_FALSE(r[0]) << "0.03 > 0.05 / 2";
    EXPECT_FALSE(r[1]) << "below 0.05, but after a step that failed";
}

// --- The verdicts -------------------------------------------------------------

TEST(JudgeVerdicts, OneStallAgainstNoneInAHundredIsTooFew) {
    // The run A: one 409 ms stall in 115 events, B none.
    std::vector<std::int64_t> a(115, 1500);
    a[40] = 409000;
    const std::vector<std::int64_t> b(115, 1400);
    CoreVerdict v = judgeFigures(JudgedSource::timer, figuresOf(a), figuresOf(b), 0.05);
    decideVerdicts(&v, 1);
    EXPECT_EQ(v.verdict, Verdict::tooFew);
    EXPECT_FALSE(v.run.p99.highKnown) << "the 99th percentile of 115 events has no upper end";
    // 47 / (1 / 230) events: 10,810, 18.02 minutes at 10 a second.
    EXPECT_EQ(v.eventsNeeded, 10810);
    EXPECT_EQ(v.minutesNeeded, 19);
    EXPECT_EQ(wordsOf(v), "too few events to tell (measure about 19 minutes; fewer with --fine, whose wake-ups see every stall)");
    v.fineMinutesNeeded = 3;
    EXPECT_EQ(wordsOf(v), "too few events to tell (measure about 19 minutes, or about 3 with --fine)");
}

TEST(JudgeVerdicts, FortyStallsAgainstThreeInAnHourDiffer) {
    Random random{33};
    std::vector<std::int64_t> many = madeUpRun(random, 36000, 0);
    std::vector<std::int64_t> few = madeUpRun(random, 36000, 0);
    for (std::size_t k = 0; k < 40; ++k) many[k * 900] = 20000;
    for (std::size_t k = 0; k < 3; ++k) few[k * 9000] = 20000;
    CoreVerdict v[2] = {judgeFigures(JudgedSource::timer, figuresOf(few), figuresOf(many), 0.05),
                        judgeFigures(JudgedSource::timer, figuresOf(many), figuresOf(few), 0.05)};
    decideVerdicts(v, 2);
    EXPECT_EQ(v[0].verdict, Verdict::better) << wordsOf(v[0]) << ": " << figuresTextOf(v[0]);
    EXPECT_EQ(v[1].verdict, Verdict::worse);
    EXPECT_EQ(v[0].rateDirection, -1);
    EXPECT_EQ(v[0].p99Direction, 0) << "the 99th percentiles are alike";
    EXPECT_EQ(v[0].p999Direction, -1) << "the 99.9th falls among the 40 stalls of 20 ms";
    EXPECT_NEAR(v[0].pValue, 3.0213413992896676e-09, 1e-14);
    EXPECT_EQ(wordsOf(v[0]), "better beyond noise (stall rate, 99.9th percentile)");
    EXPECT_NE(figuresTextOf(v[0]).find("stalls 3 of 36000 (0.0083 %, 95 %: 0.0017 % to 0.024 %) against 40 of 36000"),
              std::string::npos)
        << figuresTextOf(v[0]);
}

TEST(JudgeVerdicts, SixtyStallsInThreeThousandAgainstTwoIsWorse) {
    std::vector<std::int64_t> bad(3000, 800);
    std::vector<std::int64_t> good(3000, 800);
    for (std::size_t k = 0; k < 60; ++k) bad[k * 50] = 7000;
    good[10] = good[2000] = 7000;
    CoreVerdict v = judgeFigures(JudgedSource::timer, figuresOf(bad), figuresOf(good), 0.05);
    decideVerdicts(&v, 1);
    EXPECT_EQ(v.verdict, Verdict::worse) << figuresTextOf(v);
    EXPECT_EQ(v.rateDirection, 1);
}

TEST(JudgeVerdicts, EarlyEventsAreNotBetter) {
    // 30 % of the events 40 ms early: as on time, so the runs are alike.
    Random random{7};
    std::vector<std::int64_t> early = madeUpRun(random, 36000, 1);
    const std::vector<std::int64_t> plain = madeUpRun(random, 36000, 1);
    for (std::size_t k = 0; k < early.size(); k += 3) early[k] = -40000;
    CoreVerdict v = judgeFigures(JudgedSource::timer, figuresOf(early), figuresOf(plain), 0.05);
    decideVerdicts(&v, 1);
    EXPECT_NE(v.verdict, Verdict::better) << figuresTextOf(v);
    EXPECT_NE(v.verdict, Verdict::mixed);
}

TEST(JudgeVerdicts, PercentilesDifferOnlyBeyondTheirIntervalsAndTheFloor) {
    // 99th percentiles 0.9 ms apart with intervals far apart: under the
    // timer events' floor of 1 ms, no difference; over the wake-ups' 0.1 ms.
    std::vector<std::int64_t> low(10000, 100);
    std::vector<std::int64_t> high(10000, 1000);
    CoreVerdict timer = judgeFigures(JudgedSource::timer, figuresOf(low), figuresOf(high), 0.05);
    CoreVerdict wake = judgeFigures(JudgedSource::wake, figuresOf(low), figuresOf(high), 0.05);
    EXPECT_EQ(timer.p99Direction, 0);
    EXPECT_EQ(wake.p99Direction, -1);
    EXPECT_EQ(wake.p999Direction, -1);
    // 1.1 ms apart: beyond the timer events' floor too.
    std::vector<std::int64_t> higher(10000, 1200);
    CoreVerdict beyond = judgeFigures(JudgedSource::timer, figuresOf(low), figuresOf(higher), 0.05);
    EXPECT_EQ(beyond.p99Direction, -1);
    CoreVerdict verdicts[] = {timer, beyond};
    decideVerdicts(verdicts, 2);
    EXPECT_EQ(verdicts[0].verdict, Verdict::noDifference);
    EXPECT_EQ(verdicts[1].verdict, Verdict::better);
    EXPECT_EQ(wordsOf(verdicts[1]), "better beyond noise (99th percentile, 99.9th percentile)");
    // Intervals that overlap: no difference however far the values.
    std::vector<std::int64_t> spread(400, 0);
    for (std::size_t k = 390; k < 400; ++k) spread[k] = 50000;
    std::vector<std::int64_t> other(400, 0);
    for (std::size_t k = 396; k < 400; ++k) other[k] = 50000;
    const JudgedFigures a = figuresOf(spread);
    const JudgedFigures b = figuresOf(other);
    EXPECT_NE(a.p99.us, b.p99.us);
    EXPECT_EQ(judgeFigures(JudgedSource::timer, a, b, 0.05).p99Direction, 0);
}

TEST(JudgeVerdicts, MixedWhenOneFigureIsBetterAndAnotherWorse) {
    // No stalls but a 99th percentile of 4.5 ms, against 0.5 % stalls of
    // 30 ms over 0.2 ms.
    std::vector<std::int64_t> run(20000, 200);
    for (std::size_t k = 0; k < 400; ++k) run[k * 50] = 4500;
    std::vector<std::int64_t> baseline(20000, 200);
    for (std::size_t k = 0; k < 100; ++k) baseline[k * 200] = 30000;
    CoreVerdict v = judgeFigures(JudgedSource::timer, figuresOf(run), figuresOf(baseline), 0.05);
    decideVerdicts(&v, 1);
    EXPECT_EQ(v.verdict, Verdict::mixed) << figuresTextOf(v);
    EXPECT_EQ(wordsOf(v), "mixed: better in stall rate, 99.9th percentile, worse in 99th percentile");
}

TEST(JudgeVerdicts, NoStallsAndKnownPercentilesIsNoDifference) {
    const std::vector<std::int64_t> a(6000, 900);
    const std::vector<std::int64_t> b(6000, 1100);
    CoreVerdict v = judgeFigures(JudgedSource::timer, figuresOf(a), figuresOf(b), 0.05);
    decideVerdicts(&v, 1);
    EXPECT_EQ(v.verdict, Verdict::noDifference);
    EXPECT_EQ(wordsOf(v), "no difference beyond noise");
    // No events on one side: too few.
    CoreVerdict none = judgeFigures(JudgedSource::timer, figuresOf(a), figuresOf({}), 0.05);
    decideVerdicts(&none, 1);
    EXPECT_EQ(none.verdict, Verdict::tooFew);
    EXPECT_EQ(none.minutesNeeded, 1) << "368 events for the 99th percentile's interval";
}

TEST(JudgeVerdicts, HowLongToMeasure) {
    // 47 / r events: at one stall in 1,000 timer events, 47,000 events, 79
    // minutes at 10 a second; wake-ups at 1,000 a second.
    EXPECT_EQ(minutesToTellHalving(JudgedSource::timer, 10, 10000, 0.05), 79);
    EXPECT_EQ(minutesToTellHalving(JudgedSource::wake, 10, 100000, 0.05), 8);
    EXPECT_EQ(minutesToTellHalving(JudgedSource::timer, 0, 10000, 0.05), 1);
}

TEST(JudgeVerdicts, ManyRunsOfOneDistributionShowNoDifference) {
    // Eight runs of 16 cores, each an hour of one distribution with about a
    // stall in 100 events; every run against the first, Holm over the page.
    constexpr std::size_t runs = 8;
    constexpr std::size_t cores = 16;
    Random random{20261209};
    const double miss = intervalMissOf(static_cast<std::int64_t>(runs * cores * 2));
    std::vector<JudgedFigures> figures;
    for (std::size_t r = 0; r < runs; ++r) {
        for (std::size_t c = 0; c < cores; ++c) figures.push_back(figuresOf(madeUpRun(random, 36000, 10), miss));
    }
    std::vector<CoreVerdict> verdicts;
    for (std::size_t r = 1; r < runs; ++r) {
        for (std::size_t c = 0; c < cores; ++c) {
            verdicts.push_back(judgeFigures(JudgedSource::timer, figures[r * cores + c], figures[c], miss));
        }
    }
    decideVerdicts(verdicts.data(), static_cast<std::int64_t>(verdicts.size()));
    for (const CoreVerdict& v : verdicts) {
        EXPECT_EQ(v.verdict, Verdict::noDifference) << wordsOf(v) << ": " << figuresTextOf(v);
    }
}

TEST(JudgeVerdicts, HolmKeepsAPageOfManyTestsAtFivePercent) {
    // One test at p = 0.01 alone is a difference; among 112 it is not.
    std::vector<CoreVerdict> verdicts(112);
    for (CoreVerdict& v : verdicts) {
        v = judgeFigures(JudgedSource::timer, figuresOf(std::vector<std::int64_t>(1000, 100)),
                         figuresOf(std::vector<std::int64_t>(1000, 100)), 0.05);
    }
    verdicts[5].run.events = verdicts[5].baseline.events = 1000;
    verdicts[5].run.stalls = 2;
    verdicts[5].baseline.stalls = 20;
    verdicts[5].pValue = 0.01;
    CoreVerdict alone = verdicts[5];
    decideVerdicts(&alone, 1);
    EXPECT_EQ(alone.verdict, Verdict::better);
    decideVerdicts(verdicts.data(), 112);
    EXPECT_NE(verdicts[5].verdict, Verdict::better);
    EXPECT_NEAR(verdicts[5].holmPValue, 1.0, 1e-12);
}

TEST(JudgeWords, Probabilities) {
    const struct {
        double p;
        const char* text;
    } cases[] = {{1.0, "1"}, {0.5, "0.5"}, {0.034, "0.034"}, {0.0012, "0.0012"}, {3.0213e-9, "3e-9"},
                 {1.26e-9, "1.3e-9"}, {0.0, "0"}, {9.96e-5, "1e-4"}};
    for (const auto& c : cases) {
        TextBuffer text{};
        ASSERT_TRUE(makeTextBuffer(text, 64));
        appendProbability(text, c.p);
        EXPECT_EQ(std::string(text.data, text.size), c.text) << c.p;
        freeTextBuffer(text);
    }
}

TEST(JudgeWords, VerdictNames) {
    EXPECT_STREQ(verdictName(Verdict::better), "better");
    EXPECT_STREQ(verdictName(Verdict::worse), "worse");
    EXPECT_STREQ(verdictName(Verdict::mixed), "mixed");
    EXPECT_STREQ(verdictName(Verdict::noDifference), "no difference");
    EXPECT_STREQ(verdictName(Verdict::tooFew), "too few events");
}
