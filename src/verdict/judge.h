// The judge: the one place that decides what a stall is, whether the limit
// (--fail-above) was crossed, which events are not judged, and whether one
// set of figures differs from another beyond noise. The recorder, the
// console, the formats, the sweep and the comparison ask it; none decides
// for itself. Portable: plain structs and functions, no <windows.h>, nothing
// above src/engine (and src/text for its words).
//
// How a caller uses it, for one page or report:
//   1. While reading events: isStall, crossesLimit, judgedLateUs (an early
//      event is 0 late), and the first-period rule (timerEventJudged,
//      wakeJudged) with stretchAt for the stretch of a time.
//   2. For each run (or level) and core: the figures of the source that
//      decides (timer events, or wake-ups with --fine): events, stalls, and
//      the 99th and 99.9th percentiles with their intervals, which hold
//      together at 95 % over the page (intervalMissOf); the ranks to look
//      up come from percentileRanks, the values at them from the caller
//      (the comparison's rank_select finds them in fixed memory).
//   3. judgeFigures for each run against the baseline (the first run; of
//      levels "normal" when measured, else the first), then decideVerdicts
//      once over all of them: Holm's step-down over every stall-rate test
//      of the page, then each verdict. A page thus finds a difference by
//      chance in at most 5 % of stall rates' tests and 5 % of percentiles'.
//   4. appendVerdictWords / verdictName for what a person reads.
#pragma once

#include <cstdint>

#include "engine/stall_cause.h"
#include "text/text_buffer.h"

// ---------------------------------------------------------------------------
// What a stall is, the limit, and the events not judged.

// A stall: strictly more than stallLateUs (5 ms) late; 5,000 us exactly is
// not one. For timer events and wake-ups alike.
constexpr bool isStall(std::int64_t lateUs) {
    return lateUs > stallLateUs;
}

// The stalls among wake-ups counted in a histogram of the wake statistics
// (wakeHistogramUpperUs): those in buckets above stallLateUs.
std::int64_t wakeStallsInHistogram(const std::int64_t* histogram);

// An early event counts as on time (0 late) in every verdict: its value for
// the percentiles the judge compares. The mean is shown, never judged.
constexpr std::int64_t judgedLateUs(std::int64_t lateUs) {
    return lateUs > 0 ? lateUs : 0;
}

// Whether one judged event crossed the limit `failAboveUs` (-1: no limit).
// A timer event by its late_ms (the tick count's measure, as its figures'
// maximum and the exit code read it), a wake-up by its microseconds.
constexpr bool crossesLimit(std::int64_t failAboveUs, bool wake, std::int64_t lateMs, std::int64_t lateUs) {
    return failAboveUs >= 0 && (wake ? lateUs > failAboveUs : lateMs * 1000 > failAboveUs);
}

// Stretches of a run: -1 the start, k the stretch that the k-th priority
// change (0-based) begins. An event at the very millisecond of a change
// belongs to the new level. `changeUtcMs` in time order, `count` of them.
std::int64_t stretchAt(const std::int64_t* changeUtcMs, std::int64_t count, std::int64_t utcMs);

// The first period after a priority change is not judged (it began under
// the level before), everywhere: in the stall rate, the percentiles, the
// causes and the limit (so the exit code, the page and the comparison
// agree). For timer events: a core's first timer event in a stretch begun
// by a change. `previousStretch` is the stretch of the core's previous
// timer event (-2 before its first); the events of the start are judged.
constexpr bool timerEventJudged(std::int64_t previousStretch, std::int64_t stretch) {
    return stretch < 0 || stretch == previousStretch;
}

// Wake-ups belong to the stretch of the time they came (as the log's
// counts of wake-ups per stretch count them). The one whose wait began
// before the change that begins its stretch (its deadline, the time less
// its lateness, at or before the change) is not judged: one per core and
// change. `stretchFromUtcMs` is the time of that change, -1 for the start,
// whose wake-ups are all judged.
constexpr bool wakeJudged(std::int64_t stretchFromUtcMs, std::int64_t utcMs, std::int64_t lateUs) {
    return stretchFromUtcMs < 0 || utcMs - (lateUs > 0 ? lateUs / 1000 : 0) > stretchFromUtcMs;
}

// ---------------------------------------------------------------------------
// The statistics (exact; doubles, no library).

// P(X <= k) for X ~ Binomial(n, p).
double binomialCdf(std::int64_t k, std::int64_t n, double p);
// The two-sided exact binomial test of k successes in n trials at p, as
// scipy.stats.binomtest(k, n, p).pvalue (likelihood ordering).
double binomialTest(std::int64_t k, std::int64_t n, double p);
// The smallest k in 0..n with binomialCdf(k, n, p) >= probability
// (scipy.stats.binom.ppf).
std::int64_t binomialQuantile(double probability, std::int64_t n, double p);
// The regularized incomplete beta function I_x(a, b), and its inverse in x.
double incompleteBeta(double a, double b, double x);
double inverseIncompleteBeta(double a, double b, double probability);

// A rate's exact 95 % interval (Clopper-Pearson), of `k` in `n` (n > 0).
struct RateInterval {
    double low;
    double high;
};
RateInterval clopperPearson(std::int64_t k, std::int64_t n);

// Two stall rates, k1 of n1 against k2 of n2: the binomial test of k1 given
// k1 + k2 with p = n1 / (n1 + n2) (the rates of two Poisson counts). 1 when
// neither has a stall, or either has no events.
double stallRateTest(std::int64_t k1, std::int64_t n1, std::int64_t k2, std::int64_t n2);

// The nearest rank of a percentile of n values: ceil(n * perMille / 1000),
// at least 1 (0 for none).
constexpr std::int64_t nearestRank(std::int64_t n, std::int64_t perMille) {
    if (n <= 0) return 0;
    const std::int64_t rank = n / 1000 * perMille + (n % 1000 * perMille + 999) / 1000;
    return rank < 1 ? 1 : rank;
}

// The ranks (1-based, ascending) of a percentile of n values: `rank` the
// nearest rank, ceil(n * perMille / 1000), at least 1; `low` and `high` the
// order statistics that bound its distribution-free interval, which misses
// the percentile with a chance of at most `miss`: the miss/2 point of
// Binomial(n, q) and the 1 - miss/2 point plus one (miss 0.05: the 95 %
// interval). 0 when the rank falls outside 1..n: that end is unknown (the
// 99th percentile of 115 values has no upper end). All 0 when n is 0.
struct PercentileRanks {
    std::int64_t rank;
    std::int64_t low;
    std::int64_t high;
};
PercentileRanks percentileRanks(std::int64_t n, std::int64_t perMille, double miss);
// The fewest values whose percentile has both ends of its interval.
std::int64_t valuesForPercentileInterval(std::int64_t perMille, double miss);
// The miss of each percentile interval of a page or report that shows
// `intervals` of them, so that all hold together at 95 % (Bonferroni): two
// percentiles then differ by chance on no more than 5 % of pages, however
// many runs and cores they compare. 0.05 for one interval.
double intervalMissOf(std::int64_t intervals);

// Holm's step-down at `alpha` over `count` p-values: `rejected[k]` whether
// test k is a difference, `adjusted[k]` its Holm-adjusted p-value (both
// arrays of `count`). Takes no memory: O(count^2).
void holmStepDown(const double* pValues, std::int64_t count, double alpha, bool* rejected, double* adjusted);

// ---------------------------------------------------------------------------
// The verdict of one run (or level) against the baseline, on one core.

enum class JudgedSource : std::uint8_t { timer, wake };

// The floor under which two percentiles never differ, however clear: 1 ms
// for timer events (the tick count's step), 0.1 ms for wake-ups.
constexpr std::int64_t timerFloorUs = 1000;
constexpr std::int64_t wakeFloorUs = 100;
constexpr std::int64_t floorUsOf(JudgedSource source) {
    return source == JudgedSource::wake ? wakeFloorUs : timerFloorUs;
}
// The events of a core per minute, to say how long to measure: a timer
// event every 100 ms, a wake-up every 1 ms.
constexpr std::int64_t eventsPerMinuteOf(JudgedSource source) {
    return source == JudgedSource::wake ? 60000 : 600;
}
// The whole page or report is held at this chance of a false difference.
constexpr double verdictAlpha = 0.05;
// Events each run needs to tell a halving of a stall rate r, with 80 %
// power at 5 %: (1.96 + 0.84)^2 * (r + r/2) / (r/2)^2 = about 47 / r.
constexpr double halvingEventsTimesRate = 47.0;

// A percentile as the caller found it. Values are judged lateness (early is
// 0), in microseconds. `atMost` marks a value (or end) only known to be at
// most that many microseconds (wake-ups not in the log: at most 1 ms).
struct PercentileFigure {
    bool known;  // there are values
    std::int64_t us;
    bool lowKnown;  // the interval's lower end
    std::int64_t lowUs;
    bool highKnown;  // the interval's upper end
    std::int64_t highUs;
};

// One run's (or level's) judged figures of one source on one core.
struct JudgedFigures {
    std::int64_t events;  // judged events, early and on time included
    std::int64_t stalls;  // of those, isStall
    PercentileFigure p99;
    PercentileFigure p999;
};

enum class Verdict : std::uint8_t { noDifference, better, worse, mixed, tooFew };

// How one figure compares with the baseline's: -1 lower (better), +1
// higher (worse), 0 no difference beyond noise.
struct CoreVerdict {
    JudgedSource source;
    JudgedFigures run;
    JudgedFigures baseline;
    RateInterval runRate;  // 95 %, when its events > 0
    RateInterval baselineRate;
    double pValue;      // of the stall-rate test, as it is
    double holmPValue;  // after Holm's step-down over the page (decideVerdicts)
    bool rateDiffers;   // the stall rates differ, after Holm
    int rateDirection;  // after Holm
    int p99Direction;
    int p999Direction;  // 0 also when its intervals are not known
    bool p999Judged;    // both 99.9th percentiles have their intervals
    double intervalMiss;
    Verdict verdict;    // set by decideVerdicts
    // When the verdict is tooFew: the events each run needs (to tell a
    // halving of the stall rate of both together, and to know the 99th
    // percentile's interval) and the minutes that takes at the event rate.
    std::int64_t eventsNeeded;
    std::int64_t minutesNeeded;
    // The same minutes with the wake-ups (--fine), which see every stall of
    // their core: -1 when not known (the caller sets it from the wake-ups'
    // figures with minutesToTellHalving; the words then say "fewer").
    std::int64_t fineMinutesNeeded;
};

// The figures compared; the verdict itself waits for decideVerdicts.
// `intervalMiss`: the miss the percentiles' intervals were found with
// (intervalMissOf the page's intervals).
CoreVerdict judgeFigures(JudgedSource source, const JudgedFigures& run, const JudgedFigures& baseline, double intervalMiss);
// Every verdict of one page or report together: Holm over their stall-rate
// tests, then each one's verdict: "better" or "worse" when its figures that
// differ beyond noise all point one way, "mixed" when they point both ways,
// else "no difference" when the events were enough to see a difference that
// matters (a halving of the stall rate; the 99th percentile's interval),
// else "too few events".
void decideVerdicts(CoreVerdict* verdicts, std::int64_t count);

// "better", "worse", "mixed", "no difference", "too few events".
const char* verdictName(Verdict verdict);
// One word for each, for a page's class names: "better", "worse", "mixed",
// "same", "few".
const char* verdictKey(Verdict verdict);
// The minutes to measure a source at a stall rate of `stalls` in `events`
// (both runs together) to tell a halving; at least the minutes for the 99th
// percentile's interval. -1 when there are no events.
std::int64_t minutesToTellHalving(JudgedSource source, std::int64_t stalls, std::int64_t events, double intervalMiss);

// What a person reads, as plain text (escape it for HTML):
// "better beyond noise", "worse beyond noise", "mixed: ...",
// "no difference beyond noise", "too few events to tell (measure about N
// minutes)".
void appendVerdictWords(TextBuffer& out, const CoreVerdict& verdict);
// The figures behind it: "stalls 40 of 36000 (0.11 %, 95 %: 0.08 to
// 0.15 %) against 3 of 36000 (...), p = 1.2e-9; 99th 2.1 ms (1.9 to 2.4)
// against ...".
void appendVerdictFigures(TextBuffer& out, const CoreVerdict& verdict);
// A probability for a person: "0.034", "1.2e-9", "1".
void appendProbability(TextBuffer& out, double p);
