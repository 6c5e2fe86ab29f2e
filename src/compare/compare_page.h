// The page that compares runs: one self-contained HTML file (inline CSS and
// SVG, no script, nothing fetched), or its comparison alone, for the end of
// the page of a run that measured several levels. Parts a test can point
// at: the element with id "comparison" holds "compared-runs" (one item per
// run, data-run its name), "compare-verdicts" (one line per core, data-core
// its number: each run's verdict against the baseline), "how-to-read", and
// per core N a table "compare-core-N" (one row per run, data-run,
// data-p99-us, data-verdict: "better", "worse", "mixed", "no difference",
// "too few events" or "baseline") and the histograms of every run on one
// axis, "compare-histogram-core-N". The verdicts are the judge's
// (verdict/judge.h); the page only prints them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "compare/compare_runs.h"
#include "text/text_buffer.h"

// "core 1: B against A: better beyond noise (stall rate); C against A: no
// difference beyond noise", as text.
void appendCoreVerdict(TextBuffer& out, const Comparison& comparison, std::int64_t core);
// The comparison as JSON for --report with --from: the runs, the baseline,
// and for each core of each run other than the baseline an object with
// "core", "run" (and "level" for levels), "verdict" and the figures behind
// it. `version` is the program's.
void formatComparisonJson(const Comparison& comparison, const char* version, TextBuffer& out);
std::size_t comparisonJsonCapacity(std::int64_t runCount, std::int64_t coreCount);
// The section with id "comparison".
void appendComparisonSection(TextBuffer& out, const Comparison& comparison);
// The whole page; `version` is the program's.
void formatComparisonPage(const Comparison& comparison, const char* version, TextBuffer& out);
// Bytes either takes at most.
std::size_t comparisonCapacity(std::int64_t runCount, std::int64_t coreCount);
// What --from tells on the console of a comparison: "compared 3 runs
// against A (a.csv): ...", a verdict line per core (appendCoreVerdict), and
// the line of the exit code: "exit 3: later than the limit of 50 ms in A",
// "exit 0: no event over 50 ms", "exit 0: the comparison is complete". Each
// line ends in a line feed; `exitCode` as compareFromLogs answered it
// (0 or 3).
void appendComparisonLines(TextBuffer& out, const Comparison& comparison, int exitCode);
// The same without the exit code's line, for a page of a run whose levels
// were compared (its own summary says the exit code).
void appendComparisonVerdictLines(TextBuffer& out, const Comparison& comparison);
std::size_t comparisonLinesCapacity(std::int64_t runCount, std::int64_t coreCount);
