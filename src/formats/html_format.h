// The page of a run: one self-contained HTML file (inline CSS and SVG, no
// script, nothing fetched), drawn from a RunSummary into a TextBuffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "record/run_summary.h"
#include "text/text_buffer.h"

// Replaces `out` with the page. Parts a browser test can point at:
// timeline-core-N and histogram-core-N (N the core number), worst-events
// (a table, one tbody row per event, largest late_ms first); each worst
// timer event is marked on its core's timeline by an element with class
// "worst-mark" and data-core, data-utc (ms since 1970), data-late-us and
// data-late-ms, each worst wake-up by one with class "worst-wake-mark".
void formatHtml(const RunSummary& run, TextBuffer& out);

// A capacity in which the page of any run of `coreCount` cores fits.
std::size_t htmlCapacity(std::int64_t coreCount, bool withWakes);
