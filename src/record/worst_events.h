// The order of every list of worst timer events, so that the report's
// `worst`, the page's tables and the exit code all name the same event.
#pragma once

#include "record/run_summary.h"

// Whether `a` goes before `b` (for keepWorst, engine/worst_list.h): the
// larger late_ms (the tick count's lateness, which --fail-above and the
// report's `worst` judge), then the earlier time, then the lower core.
bool worstRanksBefore(const WorstEvent& a, const WorstEvent& b);
