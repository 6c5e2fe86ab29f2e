// The report's context of a run (JSON): the machine, the priority at the
// start and its changes, and a sweep's levels.
#pragma once

#include "record/run_summary.h"
#include "record/sweep_record.h"
#include "text/text_buffer.h"

// `,\n  "machine": {...},\n  "priority": {...}` and, with a sweep,
// `,\n  "sweep": [...]`; the machine and the priority are null when not known.
void appendRunContext(TextBuffer& out, const RunSummary& run);
// A sweep's stretch's timer resolution: "1 ms", "default (15.625 ms)",
// "1 ms, asked 0.5" when the system granted another than asked.
void appendStretchResolution(TextBuffer& out, const SweepStretch& stretch);
// The resolution in force at `utcMs` in ms ("15.625"), "null" when not known.
void appendResolutionInForce(TextBuffer& out, const RunSummary& run, std::int64_t utcMs);
// Bytes the context takes at most for `coreCount` cores, with or without
// the wake-ups.
std::size_t runContextCapacity(std::int64_t coreCount, bool withWakes);

// The console's lines of a sweep (sweep_format.cpp): what decides and the
// baseline, then one line per level in the order measured: "high (class
// high): core 0 stalls 3 of 98, p99 <= 20 ms: worse beyond noise (stall
// rate); core 1 ...", each ended by a newline; nothing without a sweep.
void appendSweepLines(TextBuffer& out, const RunSummary& run);
