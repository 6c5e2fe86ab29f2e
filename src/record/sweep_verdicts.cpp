// The sweep's verdicts (sweep_verdicts.h).
#include "record/sweep_verdicts.h"

#include <cstring>

#include "engine/wake_statistics.h"
#include "record/sweep_record.h"

namespace {

constexpr std::int64_t lastBucket = wakeHistogramBucketCount - 1;

// The bucket that holds the value of 1-based `rank`.
std::int64_t bucketOfRank(const std::int64_t* histogram, std::int64_t rank) {
    std::int64_t seen = 0;
    for (std::int64_t b = 0; b < lastBucket; ++b) {
        seen += histogram[b];
        if (seen >= rank) return b;
    }
    return lastBucket;
}

PercentileFigure percentileOf(const std::int64_t* histogram, std::int64_t n, std::int64_t perMille, double miss) {
    PercentileFigure figure{};
    if (n <= 0) return figure;
    const PercentileRanks ranks = percentileRanks(n, perMille, miss);
    figure.known = true;
    // Above the last bound it is at least that: as high as it can be told.
    const std::int64_t at = bucketOfRank(histogram, ranks.rank);
    figure.us = wakeHistogramUpperUs[at < lastBucket ? at : lastBucket - 1];
    if (ranks.low > 0) {
        const std::int64_t low = bucketOfRank(histogram, ranks.low);
        figure.lowKnown = true;
        figure.lowUs = low == 0 ? 0 : wakeHistogramUpperUs[low - 1];
    }
    if (ranks.high > 0) {
        const std::int64_t high = bucketOfRank(histogram, ranks.high);
        figure.highKnown = high < lastBucket;
        figure.highUs = figure.highKnown ? wakeHistogramUpperUs[high] : 0;
    }
    return figure;
}

// The stalls of a histogram on the wake-ups' bounds: the buckets above
// stallLateUs, which is one of the bounds, so this is exactly isStall.
std::int64_t stallsIn(const std::int64_t* histogram) {
    std::int64_t stalls = 0;
    for (std::int64_t b = 0; b < wakeHistogramBucketCount; ++b) {
        if (b == lastBucket || isStall(wakeHistogramUpperUs[b])) stalls += histogram[b];
    }
    return stalls;
}

double missOf(const SweepSummary& sweep) {
    std::int64_t judged = 0;
    for (std::int64_t s = 0; s < sweep.stretchCount; ++s) judged += sweepStretchJudged(sweep, s) ? 1 : 0;
    // The 99th and the 99.9th percentile of every judged level and core.
    return intervalMissOf(judged * sweep.coreCount * 2);
}

}  // namespace

std::int64_t sweepBaseline(const SweepSummary& sweep) {
    // "normal" first, then, of a sweep over timer resolutions, the one that
    // asked for none (the system's default); else the first judged.
    std::int64_t best = -1;
    int bestRank = -1;
    for (std::int64_t s = 0; s < sweep.stretchCount; ++s) {
        if (!sweepStretchJudged(sweep, s)) continue;
        const SweepStretch& stretch = sweep.stretches[s];
        const int rank = (std::strcmp(stretch.level, "normal") == 0 ? 2 : 0) +
                         (sweep.resolutions && stretch.askedResolution <= 0 ? 1 : 0);
        if (rank > bestRank) {
            best = s;
            bestRank = rank;
        }
    }
    return best;
}

bool sweepHasVerdicts(const SweepSummary& sweep, std::int64_t s) {
    const std::int64_t baseline = sweepBaseline(sweep);
    return baseline >= 0 && s != baseline && s >= 0 && s < sweep.stretchCount && sweepStretchJudged(sweep, s);
}

JudgedFigures sweepFigures(const SweepSummary& sweep, std::int64_t s, std::int64_t core, JudgedSource source,
                           double intervalMiss) {
    const SweepCore& figures = sweep.cores[s * sweep.coreCount + core];
    std::int64_t histogram[wakeHistogramBucketCount];
    JudgedFigures judged{};
    if (source == JudgedSource::wake) {
        judged.events = figures.wakes - figures.wakesLeftOut;
        for (std::int64_t b = 0; b < wakeHistogramBucketCount; ++b) {
            histogram[b] = figures.wakeHistogram[b] - figures.wakesLeftOutHistogram[b];
            if (histogram[b] < 0) histogram[b] = 0;
        }
        judged.stalls = stallsIn(histogram);
    } else {
        judged.events = figures.timer.events;
        std::memcpy(histogram, figures.timerHistogram, sizeof histogram);
        judged.stalls = figures.timerStalls;
    }
    if (judged.events < 0) judged.events = 0;
    judged.p99 = percentileOf(histogram, judged.events, 990, intervalMiss);
    judged.p999 = percentileOf(histogram, judged.events, 999, intervalMiss);
    return judged;
}

void judgeSweep(const SweepSummary& sweep, CoreVerdict* verdicts) {
    const std::int64_t baseline = sweepBaseline(sweep);
    if (baseline < 0) return;
    const JudgedSource source = sweep.withWakes ? JudgedSource::wake : JudgedSource::timer;
    const double miss = missOf(sweep);
    // Judged in place: the verdicts of one sweep are decided together, so
    // they are gathered first at the front of the array, then spread out.
    std::int64_t count = 0;
    for (std::int64_t s = 0; s < sweep.stretchCount; ++s) {
        if (!sweepHasVerdicts(sweep, s)) continue;
        for (std::int64_t c = 0; c < sweep.coreCount; ++c) {
            CoreVerdict& v = verdicts[count++];
            v = judgeFigures(source, sweepFigures(sweep, s, c, source, miss), sweepFigures(sweep, baseline, c, source, miss),
                             miss);
        }
    }
    decideVerdicts(verdicts, count);
    for (std::int64_t s = sweep.stretchCount - 1; s >= 0; --s) {
        if (!sweepHasVerdicts(sweep, s)) continue;
        for (std::int64_t c = sweep.coreCount - 1; c >= 0; --c) verdicts[s * sweep.coreCount + c] = verdicts[--count];
    }
}

bool copyJudgedSweep(SweepSummary& out) {
    if (!copySweep(out)) return false;
    judgeSweep(out, sweepVerdictRoom());
    out.baseline = sweepBaseline(out);
    out.verdicts = sweepVerdictRoom();
    return true;
}
