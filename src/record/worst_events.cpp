// The ranking of the worst timer events.
#include "record/worst_events.h"

bool worstRanksBefore(const WorstEvent& a, const WorstEvent& b) {
    if (a.lateMs != b.lateMs) return a.lateMs > b.lateMs;
    if (a.utcMs != b.utcMs) return a.utcMs < b.utcMs;
    return a.core < b.core;
}

void offerWorstEvent(WorstEvent* worst, std::int64_t& count, std::int64_t kept, const WorstEvent& event) {
    if (kept <= 0 || (count == kept && !worstRanksBefore(event, worst[count - 1]))) return;
    std::int64_t at = count < kept ? count++ : count - 1;
    while (at > 0 && worstRanksBefore(event, worst[at - 1])) {
        worst[at] = worst[at - 1];
        --at;
    }
    worst[at] = event;
}
