// The page that compares runs: one self-contained HTML file (inline CSS and
// SVG, no script, nothing fetched), or its comparison alone, for the end of
// the page of a run that measured several levels. Parts a test can point
// at: the element with id "comparison" holds "compared-runs" (one item per
// run, data-run its name), "compare-verdicts" (one line per core),
// and per core N a table "compare-core-N" (one row per run, data-run,
// data-p99-us) and the histograms of every run on one axis,
// "compare-histogram-core-N".
#pragma once

#include <cstddef>
#include <cstdint>

#include "compare/compare_runs.h"
#include "text/text_buffer.h"

// "core 1: 99th percentile 1.2 ms in B against 14.8 ms in A", as text.
void appendCoreVerdict(TextBuffer& out, const Comparison& comparison, std::int64_t core);
// The section with id "comparison".
void appendComparisonSection(TextBuffer& out, const Comparison& comparison);
// The whole page; `version` is the program's.
void formatComparisonPage(const Comparison& comparison, const char* version, TextBuffer& out);
// Bytes either takes at most.
std::size_t comparisonCapacity(std::int64_t runCount, std::int64_t coreCount);
