// The sweep's verdicts: on each core, each level judged against the
// baseline ("normal" when it was measured, else the first level), by the
// judge (verdict/judge.h), all of one sweep decided together (Holm). With
// the wake-up samplers the wake-ups decide; the timer events are shown
// beside them. Percentiles come from the stretches' histograms, so each is
// known to a bucket: its value the bucket's upper bound, its interval from
// the lower bound of the bucket of the interval's lower rank to the upper
// bound of that of its upper rank (wider than the exact one, never wrong).
#pragma once

#include <cstdint>

#include "verdict/judge.h"

struct SweepSummary;

// The baseline stretch: "normal" when it was measured and is judged, else
// the first judged one; -1 when none is.
std::int64_t sweepBaseline(const SweepSummary& sweep);
// Stretch `s` has verdicts: it is judged and is not the baseline.
bool sweepHasVerdicts(const SweepSummary& sweep, std::int64_t s);
// The judged figures of stretch `s` on `core` from one source, their
// percentiles' intervals found with `intervalMiss`.
JudgedFigures sweepFigures(const SweepSummary& sweep, std::int64_t s, std::int64_t core, JudgedSource source,
                           double intervalMiss);
// Every verdict of the sweep into `verdicts` (levelsPlanned * coreCount,
// stretch s's of core c at s * coreCount + c; only those of stretches
// sweepHasVerdicts are set).
void judgeSweep(const SweepSummary& sweep, CoreVerdict* verdicts);

// copySweep, then every verdict of the copy decided outside the lock (the
// samplers never wait for the statistics): its baseline and verdicts set.
bool copyJudgedSweep(SweepSummary& out);
