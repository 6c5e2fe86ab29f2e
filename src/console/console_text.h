// Pieces that the console's lines share: a core's name, a time of day, the
// stalls counted from a histogram, and the columns a text takes on screen.
// Portable, like the formats.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/wake_figures.h"
#include "record/statistics.h"
#include "text/text_buffer.h"

// "core 1 (#2 in the window)": the number of the record, the report and the
// log, and the row "CPU / Core #2" of the window, which counts from 1.
void appendCoreName(TextBuffer& out, std::int64_t core);

// "14:03:04.601", or "2026-12-08 14:03:04.601" with `withDate`.
void appendClockTime(TextBuffer& out, std::int64_t utcMs, bool withDate);
// Whether two times lie on different UTC days.
bool onOtherDays(std::int64_t aUtcMs, std::int64_t bUtcMs);

// "0:00:12": hours, minutes and seconds of a span.
void appendClockSpan(TextBuffer& out, std::int64_t ms);

// Timer events or wake-ups that were stalls (isStall), counted as they came:
// known at once, where the stalls' causes come seconds later.
std::int64_t timerStallsOf(const CoreStatistics& statistics);
std::int64_t wakeStallsOf(const WakeStatistics& wakes);

// The screen columns of `length` bytes of UTF-8: one per character, two
// for an East Asian wide one (as a terminal draws it).
std::size_t columnsOf(const char* text, std::size_t length);
// How many of those bytes fill at most `columns` columns, ending on a whole
// character.
std::size_t bytesWithinColumns(const char* text, std::size_t length, std::size_t columns);

// `text`'s lines, each fitted to `columns` columns: a longer one is broken
// between words (or, with none, where the columns end), its rest indented
// by continuationIndent. The first line has `firstTaken` columns less (what
// is written before it). Narrower than minimumFitColumns, copied as it is.
constexpr std::size_t continuationIndent = 4;
constexpr std::size_t minimumFitColumns = 20;
void appendFittedLines(TextBuffer& out, const char* text, std::size_t length, std::size_t columns,
                       std::size_t firstTaken = 0);
// A bound of what that makes of `length` bytes.
std::size_t fittedCapacity(std::size_t length);
