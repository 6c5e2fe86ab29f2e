// The judge's rules and verdicts (judge.h): the stretch of a time, one run's
// figures against the baseline's, the verdicts of a page decided together,
// and their words.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "engine/wake_statistics.h"
#include "verdict/judge.h"
#include "verdict/judge_parts.h"

std::int64_t wakeStallsInHistogram(const std::int64_t* histogram) {
    // Bucket b holds the values above bound b - 1 up to bound b: those whose
    // lower bound is stallLateUs or more are all stalls.
    static_assert(wakeHistogramUpperUs[6] == stallLateUs, "a bucket ends at the stall's bound");
    std::int64_t stalls = 0;
    for (std::int64_t b = 1; b < wakeHistogramBucketCount; ++b) {
        if (wakeHistogramUpperUs[b - 1] >= stallLateUs) stalls += histogram[b];
    }
    return stalls;
}

std::int64_t stretchAt(const std::int64_t* changeUtcMs, std::int64_t count, std::int64_t utcMs) {
    // The last change at or before the time: binary search, the changes in
    // time order.
    std::int64_t low = 0;
    std::int64_t high = count;
    while (low < high) {
        const std::int64_t middle = low + (high - low) / 2;
        if (changeUtcMs[middle] <= utcMs) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low - 1;
}

namespace {

// -1 better, +1 worse, 0 no difference beyond noise: the intervals must not
// overlap and the difference must be above the floor.
int percentileDirection(const PercentileFigure& run, const PercentileFigure& baseline, std::int64_t floorUs) {
    if (!run.known || !baseline.known) return 0;
    const std::int64_t difference = run.us - baseline.us;
    if (difference < -floorUs && run.highKnown && baseline.lowKnown && run.highUs < baseline.lowUs) return -1;
    if (difference > floorUs && baseline.highKnown && run.lowKnown && baseline.highUs < run.lowUs) return 1;
    return 0;
}

bool intervalKnown(const PercentileFigure& figure) {
    return figure.known && figure.lowKnown && figure.highKnown;
}

double rateOf(const JudgedFigures& figures) {
    return figures.events > 0 ? static_cast<double>(figures.stalls) / static_cast<double>(figures.events) : 0.0;
}

// Events each run needs: a halving of the stall rate of both together, and
// the 99th percentile's interval.
std::int64_t eventsToTell(std::int64_t stalls, std::int64_t events, double intervalMiss) {
    std::int64_t needed = valuesForPercentileInterval(990, intervalMiss);
    if (stalls > 0 && events > 0) {
        const double forRate = std::ceil(halvingEventsTimesRate * static_cast<double>(events) / static_cast<double>(stalls));
        if (forRate > static_cast<double>(needed)) needed = forRate >= 9e18 ? INT64_MAX : static_cast<std::int64_t>(forRate);
    }
    return needed;
}

std::int64_t minutesFor(JudgedSource source, std::int64_t events) {
    const std::int64_t perMinute = eventsPerMinuteOf(source);
    return events / perMinute + (events % perMinute != 0 ? 1 : 0);
}

}  // namespace

CoreVerdict judgeFigures(JudgedSource source, const JudgedFigures& run, const JudgedFigures& baseline, double intervalMiss) {
    CoreVerdict v{};
    v.intervalMiss = intervalMiss;
    v.source = source;
    v.run = run;
    v.baseline = baseline;
    v.runRate = clopperPearson(run.stalls, run.events);
    v.baselineRate = clopperPearson(baseline.stalls, baseline.events);
    v.pValue = stallRateTest(run.stalls, run.events, baseline.stalls, baseline.events);
    v.holmPValue = v.pValue;
    const std::int64_t floorUs = floorUsOf(source);
    v.p99Direction = percentileDirection(run.p99, baseline.p99, floorUs);
    v.p999Judged = intervalKnown(run.p999) && intervalKnown(baseline.p999);
    v.p999Direction = v.p999Judged ? percentileDirection(run.p999, baseline.p999, floorUs) : 0;
    v.verdict = Verdict::tooFew;
    v.fineMinutesNeeded = -1;
    return v;
}

void decideVerdicts(CoreVerdict* verdicts, std::int64_t count) {
    holmOverVerdicts(verdicts, count);
    for (std::int64_t k = 0; k < count; ++k) {
        CoreVerdict& v = verdicts[k];
        v.rateDirection = 0;
        if (v.rateDiffers && v.run.events > 0 && v.baseline.events > 0) {
            v.rateDirection = rateOf(v.run) < rateOf(v.baseline) ? -1 : 1;
        }
        const int directions[] = {v.rateDirection, v.p99Direction, v.p999Direction};
        bool better = false;
        bool worse = false;
        for (const int direction : directions) {
            better = better || direction < 0;
            worse = worse || direction > 0;
        }
        v.eventsNeeded = 0;
        v.minutesNeeded = 0;
        if (better || worse) {
            v.verdict = better && worse ? Verdict::mixed : better ? Verdict::better : Verdict::worse;
            continue;
        }
        const std::int64_t stalls = v.run.stalls + v.baseline.stalls;
        const std::int64_t events = v.run.events + v.baseline.events;
        const std::int64_t needed = eventsToTell(stalls, events, v.intervalMiss);
        const std::int64_t fewer = v.run.events < v.baseline.events ? v.run.events : v.baseline.events;
        const bool enough = fewer >= needed && intervalKnown(v.run.p99) && intervalKnown(v.baseline.p99);
        v.verdict = enough ? Verdict::noDifference : Verdict::tooFew;
        if (!enough) {
            v.eventsNeeded = needed;
            v.minutesNeeded = minutesFor(v.source, needed);
        }
    }
}

namespace {

// By Verdict's value: the words a person reads, and one word for a page's
// class names.
struct VerdictWords {
    const char* name;
    const char* key;
};
constexpr VerdictWords verdictWords[] = {
    {"no difference", "same"}, {"better", "better"}, {"worse", "worse"}, {"mixed", "mixed"}, {"too few events", "few"}};

const VerdictWords& wordsOf(Verdict verdict) {
    const auto at = static_cast<std::size_t>(verdict);
    return verdictWords[at < std::size(verdictWords) ? at : std::size(verdictWords) - 1];
}

}  // namespace

const char* verdictName(Verdict verdict) { return wordsOf(verdict).name; }
const char* verdictKey(Verdict verdict) { return wordsOf(verdict).key; }

std::int64_t minutesToTellHalving(JudgedSource source, std::int64_t stalls, std::int64_t events, double intervalMiss) {
    return minutesFor(source, eventsToTell(stalls, events, intervalMiss));
}

// ---------------------------------------------------------------------------
// Words.

void appendProbability(TextBuffer& out, double p) {
    if (!(p > 0.0)) {
        appendChar(out, '0');
        return;
    }
    if (p >= 1.0) {
        appendChar(out, '1');
        return;
    }
    if (p >= 0.001) {
        // Two significant digits, at most 4 decimals: "0.034", "0.5", "0.0012".
        const int decimals = p >= 0.1 ? 2 : p >= 0.01 ? 3 : 4;
        std::int64_t unit = 1;
        for (int d = 0; d < decimals; ++d) unit *= 10;
        appendExactDecimal(out, static_cast<std::int64_t>(std::llround(p * static_cast<double>(unit))), unit);
        return;
    }
    // "1.2e-9"
    int exponent = static_cast<int>(std::floor(std::log10(p)));
    std::int64_t tenths = std::llround(p / std::pow(10.0, exponent) * 10.0);
    if (tenths >= 100) {
        tenths /= 10;
        ++exponent;
    }
    appendExactDecimal(out, tenths, 10);
    appendText(out, "e");
    appendInteger(out, exponent);
}

namespace {

// A rate as a percentage, two significant digits: "0.11 %", "12 %", "0 %".
void appendPercent(TextBuffer& out, double rate) {
    const double percent = rate * 100.0;
    if (!(percent > 0.0)) {
        appendText(out, "0 %");
        return;
    }
    // Two significant digits: a decimal more for each power of ten under 10.
    int decimals = 0;
    std::int64_t unit = 1;
    while (decimals < 6 && percent * static_cast<double>(unit) < 10.0) {
        ++decimals;
        unit *= 10;
    }
    appendExactDecimal(out, static_cast<std::int64_t>(std::llround(percent * static_cast<double>(unit))), unit);
    appendText(out, " %");
}

void appendMs(TextBuffer& out, std::int64_t us) {
    appendExactDecimal(out, us, 1000);
    appendText(out, " ms");
}

void appendRate(TextBuffer& out, const JudgedFigures& figures, const RateInterval& interval) {
    appendInteger(out, figures.stalls);
    appendText(out, " of ");
    appendInteger(out, figures.events);
    if (figures.events <= 0) return;
    appendText(out, " (");
    appendPercent(out, rateOf(figures));
    appendText(out, ", 95 %: ");
    appendPercent(out, interval.low);
    appendText(out, " to ");
    appendPercent(out, interval.high);
    appendChar(out, ')');
}

void appendPercentile(TextBuffer& out, const PercentileFigure& figure) {
    if (!figure.known) {
        appendText(out, "none");
        return;
    }
    appendMs(out, figure.us);
    appendText(out, " (95 %: ");
    if (figure.lowKnown) {
        appendExactDecimal(out, figure.lowUs, 1000);
    } else {
        appendText(out, "?");
    }
    appendText(out, " to ");
    if (figure.highKnown) {
        appendExactDecimal(out, figure.highUs, 1000);
    } else {
        appendText(out, "? (too few events)");
    }
    appendChar(out, ')');
}

void appendNames(TextBuffer& out, const CoreVerdict& v, int direction) {
    const int directions[] = {v.rateDirection, v.p99Direction, v.p999Direction};
    const char* const names[] = {"stall rate", "99th percentile", "99.9th percentile"};
    const char* separator = "";
    for (int k = 0; k < 3; ++k) {
        if (directions[k] != direction) continue;
        appendText(out, separator);
        appendText(out, names[k]);
        separator = ", ";
    }
}

}  // namespace

void appendVerdictWords(TextBuffer& out, const CoreVerdict& v) {
    switch (v.verdict) {
    case Verdict::better:
    case Verdict::worse:
        appendText(out, v.verdict == Verdict::better ? "better beyond noise (" : "worse beyond noise (");
        appendNames(out, v, v.verdict == Verdict::better ? -1 : 1);
        appendChar(out, ')');
        return;
    case Verdict::mixed:
        appendText(out, "mixed: better in ");
        appendNames(out, v, -1);
        appendText(out, ", worse in ");
        appendNames(out, v, 1);
        return;
    case Verdict::noDifference:
        appendText(out, "no difference beyond noise");
        return;
    case Verdict::tooFew:
        appendText(out, "too few events to tell (measure about ");
        appendInteger(out, v.minutesNeeded);
        appendText(out, v.minutesNeeded == 1 ? " minute" : " minutes");
        if (v.source == JudgedSource::timer && v.fineMinutesNeeded >= 0) {
            appendText(out, ", or about ");
            appendInteger(out, v.fineMinutesNeeded);
            appendText(out, " with --fine");
        } else if (v.source == JudgedSource::timer) {
            appendText(out, "; fewer with --fine, whose wake-ups see every stall");
        }
        appendChar(out, ')');
        return;
    }
}

void appendVerdictFigures(TextBuffer& out, const CoreVerdict& v) {
    appendText(out, v.source == JudgedSource::wake ? "wake-up stalls " : "stalls ");
    appendRate(out, v.run, v.runRate);
    appendText(out, " against ");
    appendRate(out, v.baseline, v.baselineRate);
    appendText(out, ", p = ");
    appendProbability(out, v.pValue);
    if (v.holmPValue != v.pValue) {
        appendText(out, " (Holm ");
        appendProbability(out, v.holmPValue);
        appendChar(out, ')');
    }
    appendText(out, "; 99th ");
    appendPercentile(out, v.run.p99);
    appendText(out, " against ");
    appendPercentile(out, v.baseline.p99);
    if (v.p999Judged) {
        appendText(out, "; 99.9th ");
        appendPercentile(out, v.run.p999);
        appendText(out, " against ");
        appendPercentile(out, v.baseline.p999);
    }
}
