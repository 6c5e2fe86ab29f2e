// The ranking of the worst timer events.
#include "record/worst_events.h"

#include "engine/worst_list.h"

bool worstRanksBefore(const WorstEvent& a, const WorstEvent& b) {
    return ranksWorse(a.lateMs, a.utcMs, a.core, b.lateMs, b.utcMs, b.core);
}
