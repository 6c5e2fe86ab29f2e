// Text of the report (JSON) and of the log (CSV).
#pragma once

#include <cstdint>
#include <cstddef>

#include "engine/timer_event.h"
#include "record/run_summary.h"
#include "record/statistics.h"
#include "text/text_buffer.h"

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
