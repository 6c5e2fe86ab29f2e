// How a run ended, said alike by the report, the page and the console: why
// it ended, whether that was before its time (--duration, a sweep's
// levels), and of a sweep, the levels never measured and the one cut short.
#pragma once

#include <cstdint>

#include "record/run_summary.h"
#include "text/text_buffer.h"

// The run was meant to measure a time and ended before it: closed,
// interrupted, the session's end or a problem, not its own timer.
bool runEndedEarly(const RunSummary& run);
// "closed after 12.3 s of the 60 s planned" (with "interrupted", "ended with
// the session", "ended by a problem"); nothing unless it ended early.
void appendEarlyEnd(TextBuffer& out, const RunSummary& run);
// The sweep has ended with levels not measured or its last cut short.
bool sweepFellShort(const RunSummary& run);
// "levels not measured: high, realtime; above normal cut short after 4.1 s
// of 10 s (not judged)"; nothing unless sweepFellShort.
void appendSweepShortfall(TextBuffer& out, const RunSummary& run);
// The report's `,\n  "ended": "closed",\n  "planned_seconds": 60.000`, and
// with a sweep `,\n  "sweep_not_measured": ["high", "realtime"]`.
void appendEndJson(TextBuffer& out, const RunSummary& run);
