// The order of every list of worst events, so that the report's `worst`,
// the page's tables and the exit code all name the same event.
#pragma once

#include <cstdint>

#include "record/run_summary.h"

// Whether `a` goes before `b`: the larger late_ms (the tick count's
// lateness, which --fail-above and the report's `worst` judge), then the
// earlier time, then the lower core.
bool worstRanksBefore(const WorstEvent& a, const WorstEvent& b);

// Keeps `event` among the `count` worst of `worst` (capacity `kept`), in
// the order above. No allocation.
void offerWorstEvent(WorstEvent* worst, std::int64_t& count, std::int64_t kept, const WorstEvent& event);
