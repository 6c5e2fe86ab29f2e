// The figures of the judged events and their exact percentiles, narrowed down over further readings.
#include "compare/compare_reading.h"

#include <cstdlib>

#include "engine/wake_statistics.h"
#include "text/text_buffer.h"

namespace comparison_reading {
namespace {

// The stretches of the one run that belong to `level`'s compared run (all
// of them for a run compared whole).
std::int64_t stretchesOf(const Comparison& c, std::int64_t compared) {
    const PriorityHistory& history = c.runs[compared].priority;
    if (!c.byLevel) return history.listed + 1;
    std::int64_t count = 0;
    for (std::int64_t k = -1; k < history.listed; ++k) count += sameText(levelOfStretch(history, k), c.runs[compared].name) ? 1 : 0;
    return count;
}

// The wake lines' ranks that bound the value of rank `rank` among all
// `events` judged wake-ups, of which `lines` are in the log (later than
// 1 ms), `leftOut` later than 1 ms but not in it, the rest at most 1 ms
// late: the lowest it can be (the left-out ones low) and the highest (the
// left-out ones high). 0: at most 1 ms; past `lines`: unknown.
struct WakeBounds {
    std::int64_t lowRank;
    std::int64_t highRank;
};
WakeBounds wakeBoundsOf(const ComparedCore& core, std::int64_t rank) {
    std::int64_t quiet = core.wakeEvents - core.wakeLines - core.wakeLeftOut;
    if (quiet < 0) quiet = 0;
    if (rank <= quiet) return WakeBounds{0, 0};
    return WakeBounds{rank - quiet - core.wakeLeftOut, rank - quiet};
}

// The wake lines' ranks to find for one percentile: for its rank, the
// lowest and highest; for its interval, the lowest of the lower end and the
// highest of the upper.
void wakeRanksOf(const ComparedCore& core, const PercentileRanks& ranks, std::int64_t* out) {
    const WakeBounds at = wakeBoundsOf(core, ranks.rank);
    out[0] = at.lowRank;
    out[1] = at.highRank;
    out[2] = ranks.low > 0 ? wakeBoundsOf(core, ranks.low).lowRank : 0;
    out[3] = ranks.high > 0 ? wakeBoundsOf(core, ranks.high).highRank : 0;
}

void startSelection(RankSelection& selection, std::int64_t rank, std::int64_t count, std::int64_t least, std::int64_t most) {
    // A rank outside the values is never looked for.
    if (rank < 1 || rank > count) {
        startRankSelection(selection, 1, 0, 0);
        return;
    }
    startRankSelection(selection, rank, least, most);
}

void startSelections(Reading& reading) {
    const Comparison& c = *reading.out;
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        for (std::int64_t core = 0; core < c.coreCount; ++core) {
            const ComparedCore& figures = c.runs[r].cores[core];
            RankSelection* selections = selectionsOf(reading, r, core);
            const std::int64_t least = judgedLateUs(figures.minUs);
            const std::int64_t most = judgedLateUs(figures.maxUs);
            const std::int64_t perMille[] = {990, 999};
            for (std::int64_t p = 0; p < 2; ++p) {
                const PercentileRanks ranks = percentileRanks(figures.events, perMille[p], c.intervalMiss);
                const std::int64_t wanted[] = {ranks.rank, ranks.low, ranks.high};
                for (std::int64_t k = 0; k < 3; ++k) {
                    startSelection(selections[3 * p + k], wanted[k], figures.events, least, most);
                }
                std::int64_t wakeRanks[4] = {};
                const bool wakes = c.fine && figures.wakesCounted;
                if (wakes) wakeRanksOf(figures, percentileRanks(figures.wakeEvents, perMille[p], c.intervalMiss), wakeRanks);
                for (std::int64_t k = 0; k < 4; ++k) {
                    startSelection(selections[timerSelections + 4 * p + k], wakes ? wakeRanks[k] : 0, figures.wakeLines,
                                   figures.wakeLinesMinUs, figures.wakeMaxUs);
                }
            }
        }
    }
}

// The value a selection found, when its rank was among the values.
bool foundValue(const RankSelection& selection, std::int64_t rank, std::int64_t count, std::int64_t& value) {
    if (rank < 1 || rank > count) return false;
    value = selection.low;
    return true;
}

void takeTimerPercentile(const Comparison& c, const ComparedCore& figures, const RankSelection* selections,
                         std::int64_t perMille, PercentileFigure& out) {
    const PercentileRanks ranks = percentileRanks(figures.events, perMille, c.intervalMiss);
    out = PercentileFigure{};
    out.known = figures.events > 0;
    foundValue(selections[0], ranks.rank, figures.events, out.us);
    out.lowKnown = foundValue(selections[1], ranks.low, figures.events, out.lowUs);
    out.highKnown = foundValue(selections[2], ranks.high, figures.events, out.highUs);
}

// A wake-up percentile from its bounds among the lines (wakeBoundsOf): at
// most 1 ms where its rank falls among the quiet wake-ups; just over 1 ms
// at least where it may fall among the lines left out. Its value is the
// highest it can be.
void takeWakePercentile(const Comparison& c, const ComparedCore& figures, const RankSelection* selections,
                        std::int64_t perMille, PercentileFigure& out) {
    out = PercentileFigure{};
    if (!c.fine || !figures.wakesCounted || figures.wakeEvents <= 0) return;
    const PercentileRanks ranks = percentileRanks(figures.wakeEvents, perMille, c.intervalMiss);
    std::int64_t quiet = figures.wakeEvents - figures.wakeLines - figures.wakeLeftOut;
    if (quiet < 0) quiet = 0;
    auto lowest = [&](std::int64_t rank, const RankSelection& selection, std::int64_t& value) {
        if (rank <= quiet) {
            value = 0;
            return true;
        }
        const std::int64_t lineRank = rank - quiet - figures.wakeLeftOut;
        if (lineRank < 1) {
            value = lateWakeUs + 1;
            return true;
        }
        return foundValue(selection, lineRank, figures.wakeLines, value);
    };
    auto highest = [&](std::int64_t rank, const RankSelection& selection, std::int64_t& value) {
        if (rank <= quiet) {
            value = lateWakeUs;
            return true;
        }
        return foundValue(selection, rank - quiet, figures.wakeLines, value);
    };
    out.known = true;
    if (!highest(ranks.rank, selections[1], out.us)) lowest(ranks.rank, selections[0], out.us);
    out.lowKnown = ranks.low > 0 && lowest(ranks.low, selections[2], out.lowUs);
    out.highKnown = ranks.high > 0 && highest(ranks.high, selections[3], out.highUs);
}

}  // namespace

// The figures, then the percentiles, once the runs are known.
bool readFigures(Reading& reading, const LogSource* sources, std::int64_t count, char* chunk, char* error) {
    Comparison& c = *reading.out;
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        c.runs[r].cores = static_cast<ComparedCore*>(std::calloc(static_cast<std::size_t>(c.coreCount), sizeof(ComparedCore)));
        if (c.runs[r].cores == nullptr) return fail(error, sources[0].name, ": not enough memory", "");
        for (std::int64_t core = 0; core < c.coreCount; ++core) c.runs[r].cores[core].wakeMaxUs = -1;
    }
    reading.phase = readingFigures;
    if (!readAll(reading, sources, count, chunk, error)) return false;
    c.passes = 2;
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        for (std::int64_t core = 0; core < c.coreCount; ++core) {
            ComparedCore& figures = c.runs[r].cores[core];
            figures.wakesCounted = figures.wakeStretches == stretchesOf(c, r) && figures.wakeEvents >= figures.wakeLines;
            if (figures.wakeStalls < 0) figures.wakeStalls = 0;
            if (figures.events > 0) {
                // Rounded half away from zero, as the page shows it.
                const std::int64_t half = figures.events / 2;
                figures.meanUs = figures.sumUs >= 0 ? (figures.sumUs + half) / figures.events
                                                    : -((-figures.sumUs + half) / figures.events);
            }
        }
    }

    const auto cores = static_cast<std::size_t>(c.runCount * c.coreCount);
    reading.selections = static_cast<RankSelection*>(std::calloc(selectionsPerCore * cores, sizeof(RankSelection)));
    if (reading.selections == nullptr) return fail(error, sources[0].name, ": not enough memory", "");
    startSelections(reading);
    reading.phase = readingRanks;
    for (;;) {
        bool open = false;
        for (std::size_t k = 0; k < selectionsPerCore * cores; ++k) open = open || !reading.selections[k].found;
        if (!open || c.passes == passesMost) break;
        if (!readAll(reading, sources, count, chunk, error)) return false;
        ++c.passes;
        for (std::size_t k = 0; k < selectionsPerCore * cores; ++k) narrowRankSelection(reading.selections[k]);
    }
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        for (std::int64_t core = 0; core < c.coreCount; ++core) {
            ComparedCore& figures = c.runs[r].cores[core];
            const RankSelection* selections = selectionsOf(reading, r, core);
            takeTimerPercentile(c, figures, selections, 990, figures.p99);
            takeTimerPercentile(c, figures, selections + 3, 999, figures.p999);
            takeWakePercentile(c, figures, selections + timerSelections, 990, figures.wakeP99);
            takeWakePercentile(c, figures, selections + timerSelections + 4, 999, figures.wakeP999);
            figures.p99Us = figures.p99.us;
            figures.p999Us = figures.p999.us;
        }
    }
    return true;
}

}  // namespace comparison_reading
