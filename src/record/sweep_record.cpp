// The sweep's stretches and their figures (sweep_record.h).
#include "record/sweep_record.h"

#include <cstdlib>
#include <cstring>

#include "engine/platform_seam.h"
#include "engine/wake_figures.h"
#include "verdict/judge.h"

namespace {

// Under the lock.
std::int64_t planned = 0;
std::int64_t cores = 0;
std::int64_t lengthMs = 0;
std::int64_t begun = 0;
bool ended = false;
bool completed = false;
bool wakesCounted = false;
char plannedNames[sweepLevelsMost][priorityTextCapacity];
bool resolutionsSwept = false;
SweepStretch stretches[sweepLevelsMost];
SweepCore* figures = nullptr;  // planned * cores
// Each core's wake-up figures since the start, as they were when the
// stretch being measured began.
WakeStatistics* wakesAtBegin = nullptr;
// Each core's stretch of its previous timer event, as the judge numbers
// stretches (-1 the start's, -2 before the first event).
std::int64_t* previousStretch = nullptr;
// The snapshot's, the writer's own.
SweepStretch stretchesCopy[sweepLevelsMost];
SweepCore* figuresCopy = nullptr;
CoreVerdict* verdictsCopy = nullptr;

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

// With the lock held: the wake-ups of stretch `s` are those counted since
// it began; with `next`, the next stretch begins from here.
void countStretchWakes(std::int64_t s, bool next) {
    if (!wakesCounted || s < 0) return;
    for (std::int64_t c = 0; c < cores; ++c) {
        WakeStatistics now{};
        readWakeStatistics(c, now);
        WakeStatistics& from = wakesAtBegin[c];
        SweepCore& core = figuresOf(s, c);
        core.wakes = now.events - from.events;
        for (std::int64_t b = 0; b < wakeHistogramBucketCount; ++b) core.wakeHistogram[b] = now.histogram[b] - from.histogram[b];
        if (next) from = now;
    }
}

}  // namespace

bool makeSweep(std::int64_t levels, const char* const* names, std::int64_t coreCount, std::int64_t stretchMs,
               bool withWakes) {
    freeSweep();
    if (levels < 1 || levels > sweepLevelsMost || coreCount < 1) return false;
    const auto count = static_cast<std::size_t>(levels * coreCount);
    auto* made = static_cast<SweepCore*>(std::calloc(count, sizeof(SweepCore)));
    auto* copy = static_cast<SweepCore*>(std::calloc(count, sizeof(SweepCore)));
    auto* marks = static_cast<WakeStatistics*>(std::calloc(static_cast<std::size_t>(coreCount), sizeof(WakeStatistics)));
    auto* previous = static_cast<std::int64_t*>(std::calloc(static_cast<std::size_t>(coreCount), sizeof(std::int64_t)));
    auto* verdicts = static_cast<CoreVerdict*>(std::calloc(count, sizeof(CoreVerdict)));
    if (made == nullptr || copy == nullptr || marks == nullptr || previous == nullptr || verdicts == nullptr) {
        std::free(verdicts);
        std::free(made);
        std::free(copy);
        std::free(marks);
        std::free(previous);
        return false;
    }
    for (std::int64_t c = 0; c < coreCount; ++c) previous[c] = -2;
    for (std::size_t k = 0; k < count; ++k) made[k].unjudgedUtcMs = -1;
    lockSamples();
    figures = made;
    wakesAtBegin = marks;
    previousStretch = previous;
    wakesCounted = withWakes && wakeFiguresExist();
    planned = levels;
    cores = coreCount;
    lengthMs = stretchMs;
    begun = 0;
    ended = false;
    completed = false;
    for (std::int64_t k = 0; k < levels; ++k) setPriorityText(plannedNames[k], names != nullptr ? names[k] : "");
    resolutionsSwept = false;
    unlockSamples();
    figuresCopy = copy;
    verdictsCopy = verdicts;
    return true;
}

void freeSweep() {
    lockSamples();
    std::free(figures);
    figures = nullptr;
    std::free(wakesAtBegin);
    wakesAtBegin = nullptr;
    std::free(previousStretch);
    previousStretch = nullptr;
    planned = 0;
    begun = 0;
    unlockSamples();
    std::free(figuresCopy);
    figuresCopy = nullptr;
    std::free(verdictsCopy);
    verdictsCopy = nullptr;
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
        countStretchWakes(begun - 1, true);
        if (begun == 0 && wakesCounted) {
            for (std::int64_t c = 0; c < cores; ++c) readWakeStatistics(c, wakesAtBegin[c]);
        }
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
    const std::int64_t stretch = stretchAt(event.utcMs);
    SweepCore& core = figuresOf(stretch, event.core);
    // The judge numbers the start's stretch -1, the first change's 0.
    std::int64_t& previous = previousStretch[event.core];
    const bool judged = timerEventJudged(previous, stretch - 1);
    previous = stretch - 1;
    if (!judged) {
        // The first period after the change began before it.
        core.unjudgedUtcMs = event.utcMs;
        ++core.unjudged;
        return;
    }
    addToStatistics(core.timer, event);
    if (isStall(event.lateUs)) ++core.timerStalls;
    ++core.timerHistogram[histogramBucket(judgedLateUs(event.lateUs), wakeHistogramUpperUs, wakeHistogramBucketCount)];
}

void countSweepStall(std::int64_t core, std::int64_t utcMs, std::int64_t lateUs, bool wake, StallCause cause) {
    lockSamples();
    if (figures != nullptr && begun > 0 && core >= 0 && core < cores) {
        // A stall counts in the stretch of the time it came; a wake-up whose
        // wait began before that stretch's change is not judged, and is
        // taken out of the wake-ups counted for it.
        const std::int64_t stretch = stretchAt(utcMs);
        SweepCore& figuresOfCore = figuresOf(stretch, core);
        const bool unjudged = !wake && utcMs == figuresOfCore.unjudgedUtcMs;
        const bool beganBefore = wake && !wakeJudged(stretch == 0 ? -1 : stretches[stretch].fromUtcMs, utcMs, lateUs);
        if (beganBefore) {
            ++figuresOfCore.wakesLeftOut;
            ++figuresOfCore.wakesLeftOutHistogram[histogramBucket(lateUs, wakeHistogramUpperUs, wakeHistogramBucketCount)];
        }
        const auto index = static_cast<int>(cause);
        if (!unjudged && !beganBefore && index >= 0 && index < stallCauseCount) {
            ++(wake ? figuresOfCore.wakeStalls : figuresOfCore.stalls)[index];
        }
    }
    unlockSamples();
}

void completeSweep() {
    lockSamples();
    if (figures != nullptr && begun == planned && !ended) completed = true;
    unlockSamples();
}

void endSweep(std::int64_t utcMs) {
    if (figures != nullptr && !ended && begun > 0 && stretches[begun - 1].toUtcMs < 0) {
        stretches[begun - 1].toUtcMs = utcMs;
        countStretchWakes(begun - 1, false);
    }
    ended = true;
}

bool copySweep(SweepSummary& out) {
    lockSamples();
    const bool made = figures != nullptr && figuresCopy != nullptr;
    if (made) {
        std::memcpy(stretchesCopy, stretches, sizeof stretches);
        if (!ended) countStretchWakes(begun - 1, false);
        std::memcpy(figuresCopy, figures, sizeof(SweepCore) * static_cast<std::size_t>(planned * cores));
        out = SweepSummary{planned, lengthMs, begun, cores, stretchesCopy, figuresCopy, completed, wakesCounted, {}, -1, nullptr, resolutionsSwept};
        std::memcpy(out.planned, plannedNames, sizeof plannedNames);
    }
    unlockSamples();
    return made;
}

CoreVerdict* sweepVerdictRoom() {
    return verdictsCopy;
}

bool sweepStretchCutShort(const SweepSummary& sweep, std::int64_t s) {
    const SweepStretch& stretch = sweep.stretches[s];
    return s == sweep.stretchCount - 1 && stretch.toUtcMs >= 0 && !sweep.completed;
}

bool sweepStretchJudged(const SweepSummary& sweep, std::int64_t s) {
    const SweepStretch& stretch = sweep.stretches[s];
    return !sweepStretchCutShort(sweep, s) || (stretch.toUtcMs - stretch.fromUtcMs) * 2 > sweep.stretchMs;
}
