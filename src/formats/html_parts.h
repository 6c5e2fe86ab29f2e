// Pieces of the page shared by the files that draw it (html_format.cpp,
// html_charts.cpp, html_tables.cpp, html_worst.cpp); not for other callers.
#pragma once

#include <cstddef>
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

void appendMs(TextBuffer& out, std::int64_t lateUs);   // "2.537 ms", "50 ms"
void appendPoint(TextBuffer& out, std::int64_t x, std::int64_t y);  // "x y"
void appendCell(TextBuffer& out, std::int64_t value);
void appendMsCell(TextBuffer& out, std::int64_t lateUs);
void appendUtcCell(TextBuffer& out, std::int64_t utcMs);
// A table that scrolls sideways on a narrow screen; `head` is its header
// cells, `causeHead` (null for none) the text of a last one, for causes.
// The body's rows go between the start and the end.
void appendTableStart(TextBuffer& out, const char* id, const char* head, const char* causeHead = nullptr);
void appendTableEnd(TextBuffer& out);
// An SVG line of class `cls` from (x1, y1) to (x2, y2).
void appendLine(TextBuffer& out, const char* cls, std::int64_t x1, std::int64_t x2, std::int64_t y1, std::int64_t y2);

// A core's timeline: its plot, the limit, the spans asleep, the series and
// the worst marks; and its timer events by lateness (html_charts.cpp).
void appendTimeline(TextBuffer& out, const RunSummary& run, const TimeAxis& axis, std::int64_t core);
void appendHistogram(TextBuffer& out, const CoreStatistics& s, std::int64_t core);
// The wake-ups' histogram of a core, drawn as the timer events' is.
void appendWakeHistogram(TextBuffer& out, const WakeStatistics& w, std::int64_t core);
// "Core 1 (#2 in the window)": the record's number and the window's row.
void appendCoreHeading(TextBuffer& out, std::int64_t core);
// The tables of every core's timer events and wake-ups (html_tables.cpp).
void appendCoreTable(TextBuffer& out, const RunSummary& run);
void appendWakeTable(TextBuffer& out, const RunSummary& run);

// The verdict with --fail-above: what crossed the limit and the worst of it.
void appendVerdict(TextBuffer& out, const RunSummary& run);
struct LabelArea;
// The numbered marks of `core`'s worst timer events and worst wake-ups that
// were stalls, their labels placed inside `area`.
void appendWorstMarks(TextBuffer& out, const RunSummary& run, const TimeAxis& axis, std::int64_t core,
                      const LabelArea& area);
// The labels of a timeline's worst marks (html_labels.cpp): each mark's
// centre and its label's width in SVG units; placed, its text's start and
// baseline, and whether it lies away from its mark (a line then leads to it).
struct MarkLabel {
    std::int64_t x;
    std::int64_t y;
    std::int64_t width;
    std::int64_t textX;
    std::int64_t textY;
    bool away;
};
// Where labels may go: the plot, in SVG units.
struct LabelArea {
    std::int64_t left;
    std::int64_t top;
    std::int64_t right;
    std::int64_t bottom;
};
// The width of the label "n" or, of a wake-up, "wn", at its widest.
std::int64_t markLabelWidth(std::int64_t rank, bool wake);
// Places them in order, each where it overlaps no mark and no label placed
// before it, as near its mark as the area allows (beside it if it can).
void placeMarkLabels(MarkLabel* labels, std::int64_t count, const LabelArea& area);

// The tables of the worst timer events and of the worst wake-ups.
void appendWorstTimerTable(TextBuffer& out, const RunSummary& run);
void appendWorstWakeTable(TextBuffer& out, const RunSummary& run);

// The stall causes (html_causes.cpp). A page has them when the run had the
// per-processor time accounting; each worst event then has a cause column
// and a mark drawn by cause, each core a bar of its stalls by cause.
bool pageHasCauses(const RunSummary& run);
void appendCauseStyle(TextBuffer& out);
// The shape of a worst event's mark: its cause (an index of StallCause), or
// stallCauseCount for one no later than a stall.
int causeShapeOf(const StallCause* cause, std::int64_t lateUs);
const char* causeName(int shape);
// A closed SVG path of `shape` centred on (x, y); shape 4 is a diamond and
// 3 a square, the marks of timer events and wake-ups on a page without causes.
void appendCauseShape(TextBuffer& out, std::int64_t x, std::int64_t y, int shape);
void appendCauseLegend(TextBuffer& out, bool wakes);
// A stall caused by threads also names its first suspect when `suspects`
// is given (a run that took process snapshots): at most this many bytes
// more, its name written twice and escaped.
constexpr std::size_t suspectCellBytes = 320 + 12 * suspectNameCapacity;
void appendCauseCell(TextBuffer& out, const StallCause& cause, const StallDuring* during, std::int64_t lateUs,
                     const StallSuspects* suspects);
// The most stalls of one core, of timer events or of wake-ups: the length of a full bar.
std::int64_t mostStalls(const RunSummary& run, bool wakes);
void appendCauseBarCell(TextBuffer& out, const std::int64_t* counts, std::int64_t most);
// What each cause means and what to try, or the line that says why the page has none.
void appendCauseNotes(TextBuffer& out, const RunSummary& run);

// The context (html_context.cpp): its style, the header's facts of the
// machine and the priority, the legend's entry and the marks of the
// priority changes on a timeline, a sweep's table, and the bytes they take.
void appendContextStyle(TextBuffer& out);
void appendContextFacts(TextBuffer& out, const RunSummary& run);
void appendPriorityLegend(TextBuffer& out, const RunSummary& run);
void appendPriorityMarks(TextBuffer& out, const RunSummary& run, const TimeAxis& axis);
void appendResolutionLegend(TextBuffer& out, const RunSummary& run);
void appendResolutionMarks(TextBuffer& out, const RunSummary& run, const TimeAxis& axis);
void appendSweepSection(TextBuffer& out, const RunSummary& run);
// A cell of that table: stretch `s` on `core` (html_sweep.cpp).
void appendSweepCell(TextBuffer& out, const RunSummary& run, std::int64_t s, std::int64_t core);
// A notice of a run that ended before its time, and of a sweep's levels not
// measured or cut short; nothing otherwise.
void appendEndNotice(TextBuffer& out, const RunSummary& run);
std::size_t pageContextCapacity(std::int64_t coreCount);

// The processes that were suspects most often, at most this many rows, and
// what a suspect is; nothing on a page without suspects.
constexpr std::int64_t suspectTableRows = 10;
constexpr std::size_t suspectTableBytes = 1024 + suspectTableRows * (256 + 12 * suspectNameCapacity);
void appendSuspectTable(TextBuffer& out, const RunSummary& run);
