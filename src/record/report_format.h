// Text of the report (JSON) and of the log (CSV).
#pragma once

#include <cstdint>
#include <cstddef>

#include "engine/timer_event.h"
#include "record/run_summary.h"
#include "record/statistics.h"
#include "record/text_buffer.h"

// "2026-12-07T14:03:12.345Z" and the terminating zero.
constexpr std::int64_t utcTextCapacity = 25;

// Writes utcMs (milliseconds since 1970-01-01 UTC) as ISO 8601 with
// milliseconds into `out` (at least utcTextCapacity bytes). Times outside the
// years 0000..9999 are written as the nearest end of that range.
void formatUtc(std::int64_t utcMs, char* out);

// Writes `value` and a terminating zero (at most 21 bytes); answers the end.
char* formatInteger(char* out, std::int64_t value);

// The longest log line, its newline included.
constexpr std::size_t logLineCapacity = 96;
void appendLogHeader(TextBuffer& out);
void appendLogLine(TextBuffer& out, const TimerEvent& event);
// A wake-up later than 1 ms; late_ms is its microseconds / 1000, rounded down.
void appendWakeLine(TextBuffer& out, const WakeEvent& wake);

// Milliseconds from microseconds, as few decimals as it takes ("2.5", "250").
void appendMillisecondsOf(TextBuffer& out, std::int64_t us);

// A bound of the report's size for `coreCount` cores, with or without the
// wake-up figures.
std::size_t reportCapacity(std::int64_t coreCount, bool withWakes);
// Replaces `out` with the report as pretty-printed UTF-8 JSON.
void formatReport(const RunSummary& run, TextBuffer& out);
