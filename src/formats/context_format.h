// The report's context of a run (JSON): the machine, the priority at the
// start and its changes, and a sweep's levels.
#pragma once

#include "record/run_summary.h"
#include "record/sweep_record.h"
#include "text/text_buffer.h"

// `,\n  "machine": {...},\n  "priority": {...}` and, with a sweep,
// `,\n  "sweep": [...]`; the machine and the priority are null when not known.
void appendRunContext(TextBuffer& out, const RunSummary& run);
// The resolution in force at `utcMs` in ms ("15.625"), "null" when not known.
void appendResolutionInForce(TextBuffer& out, const RunSummary& run, std::int64_t utcMs);
// Bytes the context takes at most for `coreCount` cores, with or without
// the wake-ups.
std::size_t runContextCapacity(std::int64_t coreCount, bool withWakes);
