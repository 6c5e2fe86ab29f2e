// Pieces of the page shared by the files that draw it (html_format.cpp,
// html_charts.cpp, html_tables.cpp, html_worst.cpp); not for other callers.
#pragma once

#include <cstdint>

#include "record/run_summary.h"
#include "text/text_buffer.h"

// The top of the timeline's plot, in SVG user units.
constexpr std::int64_t plotTop = 10;

// The timeline's time axis: the plot's x for a time.
struct TimeAxis {
    std::int64_t startUtcMs;
    std::int64_t spanMs;  // > 0
};
std::int64_t xOfUtc(const TimeAxis& axis, std::int64_t utcMs);
// The plot's y for a lateness (log scale, clamped to the plot).
std::int64_t yOfLateUs(std::int64_t lateUs);

void appendMs(TextBuffer& out, std::int64_t lateUs);   // "2.537 ms"
void appendPoint(TextBuffer& out, std::int64_t x, std::int64_t y);  // "x y"
void appendCell(TextBuffer& out, std::int64_t value);
void appendMsCell(TextBuffer& out, std::int64_t lateUs);
void appendUtcCell(TextBuffer& out, std::int64_t utcMs);
// A table that scrolls sideways on a narrow screen; `head` is its header
// cells. The body's rows go between the start and the end.
void appendTableStart(TextBuffer& out, const char* id, const char* head);
void appendTableEnd(TextBuffer& out);
// An SVG line of class `cls` from (x1, y1) to (x2, y2).
void appendLine(TextBuffer& out, const char* cls, std::int64_t x1, std::int64_t x2, std::int64_t y1, std::int64_t y2);

// A core's timeline: its plot, the limit, the spans asleep, the series and
// the worst marks; and its timer events by lateness (html_charts.cpp).
void appendTimeline(TextBuffer& out, const RunSummary& run, const TimeAxis& axis, std::int64_t core);
void appendHistogram(TextBuffer& out, const CoreStatistics& s, std::int64_t core);
// The tables of every core's timer events and wake-ups (html_tables.cpp).
void appendCoreTable(TextBuffer& out, const RunSummary& run);
void appendWakeTable(TextBuffer& out, const RunSummary& run);

// The verdict with --fail-above: what crossed the limit and the worst of it.
void appendVerdict(TextBuffer& out, const RunSummary& run);
// The numbered marks of `core`'s worst timer events and worst wake-ups.
void appendWorstMarks(TextBuffer& out, const RunSummary& run, const TimeAxis& axis, std::int64_t core);
// The tables of the worst timer events and of the worst wake-ups.
void appendWorstTimerTable(TextBuffer& out, const RunSummary& run);
void appendWorstWakeTable(TextBuffer& out, const RunSummary& run);
