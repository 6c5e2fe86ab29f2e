// Writes the processes that ran around a stall caused by threads, in the
// JSON report and in the console's summary line; html_causes.cpp draws the
// page's cells and table of them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/stall_cause.h"
#include "record/run_summary.h"
#include "text/text_buffer.h"

// Bytes one stall's suspects may take in the report, names escaped.
constexpr std::size_t suspectsJsonBytes = 96 + static_cast<std::size_t>(suspectsKept) * (320 + 6 * suspectNameCapacity);

// The suspects of worst entry `k` (of the wake-ups with `wake`), or null
// when the run has none for it.
const StallSuspects* suspectsOf(const RunSummary& run, bool wake, std::int64_t k);

// `, "suspects": [{"process": ..., "pid": ..., "cpu_ms": ..., "window_ms": ...,
// "base_priority": ..., "above_sampler": ..., "thread": ...}, ...]` of a worst
// entry whose cause is threads (`null` when a snapshot was missing); nothing
// for any other cause.
void appendSuspects(TextBuffer& out, StallCause cause, const StallSuspects* suspects);

// For the console's summary: the first suspect of the run's worst stall
// (the worst wake-up with --fine, else the worst timer event), as
// "suspect: NAME (pid N), 150 ms of CPU time in the 412 ms around it".
// Writes nothing and answers false when that stall is not caused by threads
// or has no suspect.
bool appendWorstStallSuspect(TextBuffer& out, const RunSummary& run);
