// What a run tells at its end on standard output: one line per core (and
// one for its wake-ups), then the verdict, which says what the exit code
// means for this run. Functions over the record's summary, so that a line
// for more of it (a priority level, a suspect) is one more function here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "record/run_summary.h"
#include "text/text_buffer.h"

// "core 1 (#2 in the window): 60 timer events, late min 0, mean 7.9, max 357
// ms at 14:03:04.601 UTC; stalls: 1 (threads 1)", and with wake-ups a second
// line for them; each ends in a line feed.
void appendCoreSummary(TextBuffer& out, const RunSummary& run, std::int64_t core);

// One line, ended in a line feed: "exit 3: core 1 was 238.4 ms late at
// 12:01:03.114 UTC (limit 50 ms)" ("exit 3: a wake-up of core 1 was ..."
// where a wake-up crossed it), "exit 4: the record cannot be trusted:
// <first problem>", "exit 0: no event over 50 ms" or "exit 0: the record is
// complete", each followed by "; closed after 12.3 s of the 60 s planned"
// when the run ended before its time. `run` is null when the record could not be finished; `problem`
// names what went wrong where the record's own problems do not (null: none).
void appendVerdictLine(TextBuffer& out, const RunSummary* run, int exitCode, const char* problem);

// Every core's lines (none without `run`), the timer resolutions seen when
// the run saw more than one, then the verdict line.
void appendRunSummary(TextBuffer& out, const RunSummary* run, int exitCode, const char* problem);
std::size_t runSummaryCapacity(std::int64_t coreCount);
