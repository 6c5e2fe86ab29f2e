// Text of the report (JSON).
#pragma once

#include <cstdint>
#include <cstddef>

#include "engine/timer_event.h"
#include "record/run_summary.h"
#include "record/statistics.h"
#include "text/text_buffer.h"

// A bound of the report's size for `coreCount` cores, with or without the
// wake-up figures.
std::size_t reportCapacity(std::int64_t coreCount, bool withWakes);
// Replaces `out` with the report as pretty-printed UTF-8 JSON.
void formatReport(const RunSummary& run, TextBuffer& out);
