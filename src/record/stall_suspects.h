// The suspects of the run's stalls, on the record's side: each stall that
// stall_causes attributes to threads is read against the process snapshots
// (processes/suspects.h), and the processes named are tallied for the run.
// The record's writer only.
#pragma once

#include <cstdint>

#include "processes/suspects.h"
#include "record/run_summary.h"

// A new run's tally, empty; with makeStallCauses.
void clearSuspectTally();

// The suspects of a stall caused by threads that spanned fromUs..toUs.
// Answers false while the snapshot after it may still come (ask again at a
// later step), unless `lastTry`. `counted`: the stall is of the kind the
// tally counts (wake-ups with --fine, else timer events), so that a stall
// both saw counts once.
bool suspectsOfStall(std::int64_t fromUs, std::int64_t toUs, bool lastTry, bool counted, StallSuspects& out);

// The suspects' figures of a snapshot of the run (not those of its worst
// entries, which stall_causes copies beside their causes).
void describeSuspects(RunSummary& run);
