// The bookkeeping of a sweep (--sweep): the run measures one priority level
// after another, and each level's stretch keeps its own figures per core.
// What is judged is the judge's (verdict/judge.h): the first timer event of
// each core after a change is not, its period began under the level before
// (the first level's events are all judged, as a run's start's are); nor is
// a wake-up stall whose wait began before the change. A stretch holds the
// events whose time lies in it, so an event measured just before a change
// counts for the level it was measured at, whenever it was recorded.
//
// Global state, made with the record; the samplers' path (addToSweep) runs
// with the lock held, everything else takes it itself.
#pragma once

#include <cstdint>

#include "engine/stall_cause.h"
#include "engine/timer_event.h"
#include "engine/wake_statistics.h"
#include "record/priority_history.h"
#include "record/statistics.h"
#include "verdict/judge.h"

// Stretches at most: the seven levels, or levels crossed with timer
// resolutions (--resolutions), as many as the command line allows.
constexpr std::int64_t sweepLevelsMost = 16;

struct SweepCore {
    CoreStatistics timer;  // the judged events
    std::int64_t unjudged;
    std::int64_t unjudgedUtcMs;  // the unjudged event's time; -1 before it
    std::int64_t stalls[stallCauseCount];  // judged timer events over 5 ms, by cause (once attributed)
    // The judged timer events that are stalls (the judge's isStall), and
    // the histogram of their lateness in us, early as 0, on the wake-ups'
    // bounds (wake_statistics.h), so that both sources are judged alike.
    std::int64_t timerStalls;
    std::int64_t timerHistogram[wakeHistogramBucketCount];
    std::int64_t wakeStalls[stallCauseCount];  // wake-ups over 5 ms that began in the stretch
    // With the wake-up samplers: the core's wake-ups counted in the stretch
    // and their histogram (wake_statistics.h), so far while it is measured.
    std::int64_t wakes;
    std::int64_t wakeHistogram[wakeHistogramBucketCount];
    // Of those, the stalls whose wait began before the stretch: not judged.
    std::int64_t wakesLeftOut;
    std::int64_t wakesLeftOutHistogram[wakeHistogramBucketCount];
};

struct SweepStretch {
    char level[priorityTextCapacity];
    char granted[priorityTextCapacity];  // "" when unknown
    std::int64_t fromUtcMs;
    std::int64_t toUtcMs;  // -1 while it is measured
    // A sweep over timer resolutions: the one asked for the stretch (0:
    // none, "default") and the one in force as read at its start (-1: not
    // known), both in 100 ns units.
    std::int64_t askedResolution;
    std::int64_t resolution;
};

// What the outputs read: `stretchCount` stretches begun, in the order
// measured, of `levelsPlanned` (named in `planned`); the cores of stretch s
// from cores + s * coreCount. `completed`: the last level measured its whole
// time and the sweep ended there, not closed before.
struct SweepSummary {
    std::int64_t levelsPlanned;
    std::int64_t stretchMs;
    std::int64_t stretchCount;
    std::int64_t coreCount;
    const SweepStretch* stretches;
    const SweepCore* cores;
    bool completed;
    bool withWakes;
    char planned[sweepLevelsMost][priorityTextCapacity];
    // The verdicts of each core of each level against the baseline
    // (sweep_verdicts.h), decided with the copy; null in a summary made by hand.
    std::int64_t baseline;
    const CoreVerdict* verdicts;
    bool resolutions;  // the stretches name their timer resolutions
};

// Before the run: room for `levels` stretches of `coreCount` cores, each
// `stretchMs` long, the levels' names in the order planned (null: not
// known yet); `withWakes` counts each stretch's wake-ups from the wake-up
// samplers' figures. False without the memory.
bool makeSweep(std::int64_t levels, const char* const* names, std::int64_t coreCount, std::int64_t stretchMs,
               bool withWakes);
void freeSweep();
bool sweepMade();
// The next level begins at `utcMs` (the first at the record's start); the
// one before ends there. Beyond the levels planned, or once the sweep
// ended, it changes nothing.
void beginSweepStretch(std::int64_t utcMs, const char* level, const char* granted);
// The stretch begun last was measured at the timer resolution `asked` (0:
// none asked), `inForce` read at its start (takes the lock).
void setSweepStretchResolution(std::int64_t asked, std::int64_t inForce);
// A timer event, with the lock held.
void addToSweep(const TimerEvent& event);
// An attributed stall, by the record's writer (takes the lock): counted in
// the stretch it belongs to, unless it is a stretch's unjudged event.
void countSweepStall(std::int64_t core, std::int64_t utcMs, std::int64_t lateUs, bool wake, StallCause cause);
// The last level measured its whole time (takes the lock); the sweep ends
// at the recording's stop that follows.
void completeSweep();
// The recording stopped at `utcMs`, with the lock held: the last stretch ends.
void endSweep(std::int64_t utcMs);
// A copy for a snapshot (takes the lock), its verdicts not yet decided
// (copyJudgedSweep, sweep_verdicts.h, decides them); its arrays are the
// sweep's own copies, valid until the next copy. False when there is no
// sweep.
bool copySweep(SweepSummary& out);
// Room for the verdicts of a copy (levelsPlanned * coreCount), made with
// the sweep; null before.
CoreVerdict* sweepVerdictRoom();

// Stretch `s` was ended before its time (the run was closed during it).
bool sweepStretchCutShort(const SweepSummary& sweep, std::int64_t s);
// Stretch `s` is judged: it measured its whole time, or, cut short, more
// than half of it; one still measured is judged on what it has so far.
bool sweepStretchJudged(const SweepSummary& sweep, std::int64_t s);
