// A sweep's verdicts as the report, the console and the page say them: on
// each core, each level against the baseline (record/sweep_verdicts.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "record/run_summary.h"
#include "record/sweep_record.h"
#include "text/text_buffer.h"
#include "verdict/judge.h"

// The report's `,\n      "verdicts": [{"core": 0, "level": "high", "verdict":
// "worse", ...}, ...]` of stretch `s`, one object per core with the figures
// behind it; nothing for the baseline or a level not judged.
void appendSweepVerdictsJson(TextBuffer& out, const RunSummary& run, std::int64_t s);
// `,\n  "sweep_baseline": "normal"` (null when no level is judged), and
// what decides: `"sweep_judged_by": "timer events"` or `"wake-ups"`.
void appendSweepBaselineJson(TextBuffer& out, const RunSummary& run);
// The verdict of stretch `s` on `core`, or null (the baseline, a level not
// judged, a summary without verdicts).
const CoreVerdict* sweepVerdictOf(const RunSummary& run, std::int64_t s, std::int64_t core);
// The figures shown for stretch `s` on `core` from the source that decides:
// its verdict's, the baseline's from a verdict against it, else its own.
JudgedFigures sweepShownFigures(const RunSummary& run, std::int64_t s, std::int64_t core);
// "stalls 3 of 98, p99 <= 20 ms", or "no events".
void appendJudgedBrief(TextBuffer& out, const JudgedFigures& figures);
// A verdict object's bytes at most, per core and level.
constexpr std::size_t sweepVerdictJsonBytes = 1024;
// A sweep's stretch's timer resolution: "1 ms", "default (15.625 ms)",
// "1 ms, asked 0.5" when the system granted another than asked.
void appendStretchResolution(TextBuffer& out, const SweepStretch& stretch);
// The console's lines of a sweep: what decides and the
// baseline, then one line per level in the order measured: "high (class
// high): core 0 stalls 3 of 98, p99 <= 20 ms: worse beyond noise (stall
// rate); core 1 ...", each ended by a newline; nothing without a sweep.
void appendSweepLines(TextBuffer& out, const RunSummary& run);
