// The sweep's stretches and their figures (sweep_record.h).
#include "record/sweep_record.h"

#include <cstdlib>
#include <cstring>

#include "engine/platform_seam.h"

namespace {

// Under the lock.
std::int64_t planned = 0;
std::int64_t cores = 0;
std::int64_t lengthMs = 0;
std::int64_t begun = 0;
bool ended = false;
bool resolutionsSwept = false;
SweepStretch stretches[sweepLevelsMost];
SweepCore* figures = nullptr;  // planned * cores
// The snapshot's, the writer's own.
SweepStretch stretchesCopy[sweepLevelsMost];
SweepCore* figuresCopy = nullptr;

SweepCore& figuresOf(std::int64_t stretch, std::int64_t core) {
    return figures[stretch * cores + core];
}

// The stretch that holds `utcMs`: the last begun at or before it (the
// first for a time before every stretch); -1 before the first begins.
std::int64_t stretchAt(std::int64_t utcMs) {
    std::int64_t at = begun - 1;
    while (at > 0 && stretches[at].fromUtcMs > utcMs) --at;
    return at;
}

}  // namespace

bool makeSweep(std::int64_t levels, std::int64_t coreCount, std::int64_t stretchMs) {
    freeSweep();
    if (levels < 1 || levels > sweepLevelsMost || coreCount < 1) return false;
    const auto count = static_cast<std::size_t>(levels * coreCount);
    auto* made = static_cast<SweepCore*>(std::calloc(count, sizeof(SweepCore)));
    auto* copy = static_cast<SweepCore*>(std::calloc(count, sizeof(SweepCore)));
    if (made == nullptr || copy == nullptr) {
        std::free(made);
        std::free(copy);
        return false;
    }
    for (std::size_t k = 0; k < count; ++k) made[k].unjudgedUtcMs = -1;
    lockSamples();
    figures = made;
    planned = levels;
    cores = coreCount;
    lengthMs = stretchMs;
    begun = 0;
    ended = false;
    resolutionsSwept = false;
    unlockSamples();
    figuresCopy = copy;
    return true;
}

void freeSweep() {
    lockSamples();
    std::free(figures);
    figures = nullptr;
    planned = 0;
    begun = 0;
    unlockSamples();
    std::free(figuresCopy);
    figuresCopy = nullptr;
}

bool sweepMade() {
    lockSamples();
    const bool made = figures != nullptr;
    unlockSamples();
    return made;
}

void beginSweepStretch(std::int64_t utcMs, const char* level, const char* granted) {
    lockSamples();
    if (figures != nullptr && begun < planned && !ended) {
        if (begun > 0) stretches[begun - 1].toUtcMs = utcMs;
        SweepStretch& next = stretches[begun++];
        setPriorityText(next.level, level);
        setPriorityText(next.granted, granted);
        next.fromUtcMs = utcMs;
        next.toUtcMs = -1;
        next.askedResolution = 0;
        next.resolution = -1;
    }
    unlockSamples();
}

void setSweepStretchResolution(std::int64_t asked, std::int64_t inForce) {
    lockSamples();
    if (figures != nullptr && begun > 0 && !ended) {
        stretches[begun - 1].askedResolution = asked > 0 ? asked : 0;
        stretches[begun - 1].resolution = inForce > 0 ? inForce : -1;
        resolutionsSwept = true;
    }
    unlockSamples();
}

void addToSweep(const TimerEvent& event) {
    if (figures == nullptr || begun == 0 || event.core < 0 || event.core >= cores) return;
    SweepCore& core = figuresOf(stretchAt(event.utcMs), event.core);
    if (core.unjudgedUtcMs < 0) {
        // The first period of the stretch began before it.
        core.unjudgedUtcMs = event.utcMs;
        ++core.unjudged;
        return;
    }
    addToStatistics(core.timer, event);
}

void countSweepStall(std::int64_t core, std::int64_t utcMs, std::int64_t lateUs, bool wake, StallCause cause) {
    lockSamples();
    if (figures != nullptr && begun > 0 && core >= 0 && core < cores) {
        // A wake-up counts where its stall began, a timer event where it came.
        const std::int64_t stretch = stretchAt(wake ? utcMs - lateUs / 1000 : utcMs);
        SweepCore& figuresOfCore = figuresOf(stretch, core);
        const bool unjudged = !wake && utcMs == figuresOfCore.unjudgedUtcMs;
        const bool beganBefore = wake && utcMs - lateUs / 1000 < stretches[stretch].fromUtcMs;
        const auto index = static_cast<int>(cause);
        if (!unjudged && !beganBefore && index >= 0 && index < stallCauseCount) {
            ++(wake ? figuresOfCore.wakeStalls : figuresOfCore.stalls)[index];
        }
    }
    unlockSamples();
}

void endSweep(std::int64_t utcMs) {
    ended = true;
    if (figures != nullptr && begun > 0 && stretches[begun - 1].toUtcMs < 0) stretches[begun - 1].toUtcMs = utcMs;
}

bool copySweep(SweepSummary& out) {
    lockSamples();
    const bool made = figures != nullptr && figuresCopy != nullptr;
    if (made) {
        std::memcpy(stretchesCopy, stretches, sizeof stretches);
        std::memcpy(figuresCopy, figures, sizeof(SweepCore) * static_cast<std::size_t>(planned * cores));
        out = SweepSummary{planned, lengthMs, begun, cores, stretchesCopy, figuresCopy, resolutionsSwept};
    }
    unlockSamples();
    return made;
}

std::int64_t bestSweepStretch(const SweepSummary& sweep, std::int64_t core) {
    std::int64_t best = -1;
    std::int64_t bestBound = 0;
    for (std::int64_t s = 0; s < sweep.stretchCount; ++s) {
        const CoreStatistics& figuresOfCore = sweep.cores[s * sweep.coreCount + core].timer;
        std::int64_t bound = 0;
        bool above = false;
        if (!percentileBoundMs(figuresOfCore, 990, bound, above)) continue;
        // Above the last bound ranks after any bound.
        if (above) bound = INT64_MAX;
        if (best >= 0) {
            const CoreStatistics& b = sweep.cores[best * sweep.coreCount + core].timer;
            const double mean = static_cast<double>(figuresOfCore.sumUs) / static_cast<double>(figuresOfCore.events);
            const double bestMean = static_cast<double>(b.sumUs) / static_cast<double>(b.events);
            const bool better = bound < bestBound ||
                                (bound == bestBound && (mean < bestMean || (mean == bestMean && figuresOfCore.maxUs < b.maxUs)));
            if (!better) continue;
        }
        best = s;
        bestBound = bound;
    }
    return best;
}
