// The stall causes' parts of the report (JSON), written into its objects.
#pragma once

#include <cstdint>

#include "engine/stall_cause.h"
#include "record/run_summary.h"
#include "text/text_buffer.h"

// `, "cause": "threads", "during": {"span_ms": ..., ...}`: the figures
// unknown (-1) are null.
void appendStallCause(TextBuffer& out, StallCause cause, const StallDuring& during);

// `,\n      "causes": {"timer": {...}, "wake": {...}}` of one core (the wake-up
// counts with `withWakes`), or null when the run has no accounting.
void appendCoreCauses(TextBuffer& out, const RunSummary& run, std::int64_t core);

// `,\n  "accounting": {"resolution_us": N}`, or null without accounting.
void appendAccounting(TextBuffer& out, const RunSummary& run);

// The entry of run.worstTimer that is `core`'s event at utcMs, lateMs late;
// -1 when none is.
std::int64_t findWorstTimer(const RunSummary& run, std::int64_t core, std::int64_t utcMs, std::int64_t lateMs);
