// What the files of the comparison's page share (compare_page.cpp, compare_context.cpp,
// compare_tables.cpp, compare_chart.cpp, compare_resolution.cpp); not for other callers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "compare/compare_runs.h"
#include "text/text_buffer.h"

// Bytes a run's series takes in a core's chart at most.
constexpr std::size_t comparisonChartBytesPerRun = 1536;

// The key of every run's line: its colour and dashes, its name.
void appendComparisonLegend(TextBuffer& out, const Comparison& comparison);
// Every run's timer events of `core` by lateness on one axis: the share of
// the run's events in each bucket of the report's histogram, on a log scale.
void appendComparisonHistogram(TextBuffer& out, const Comparison& comparison, std::int64_t core);

// "; timer resolution 15.625 ms then 1 ms": the resolutions a run saw.
void appendRunResolutions(TextBuffer& out, const ComparedRun& run);
// The notice that the runs' timer resolutions differ (or, for the levels of
// one run, that it changed during the run); nothing when they do not.
void appendResolutionWarning(TextBuffer& out, const Comparison& comparison);

// A run's verdict on `core` against the baseline; none for the baseline.
const CoreVerdict* comparedVerdictOf(const Comparison& c, std::int64_t run, std::int64_t core);
// The runs and their context (a file, its time, its priority, the machine).
void appendComparedRuns(TextBuffer& out, const Comparison& c);
// The notices of other machines and other timer resolutions, and of the limit.
void appendComparisonWarnings(TextBuffer& out, const Comparison& c);
// A core's table: every run's figures and their differences against the baseline.
void appendComparisonCoreTable(TextBuffer& out, const Comparison& c, std::int64_t core);
// Beneath a core's table: the figures behind each run's verdict.
void appendFiguresBehind(TextBuffer& out, const Comparison& c, std::int64_t core);
