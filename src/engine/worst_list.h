// Lists of the worst events (timer events, wake-ups), largest first: one
// order and one way of keeping them, so that the report, the page, a page
// made from a log and the exit code all name the same events.
#pragma once

#include <cstdint>

// Whether an event goes before another in a list of worst ones: the larger
// lateness, then the earlier time, then the lower core.
inline bool ranksWorse(std::int64_t lateA, std::int64_t utcA, std::int64_t coreA, std::int64_t lateB,
                       std::int64_t utcB, std::int64_t coreB) {
    if (lateA != lateB) return lateA > lateB;
    if (utcA != utcB) return utcA < utcB;
    return coreA < coreB;
}

// Keeps `event` among the `count` worst of `worst` (capacity `kept`), the
// list in the order `ranksBefore` gives. Answers the place it took, or -1
// when it does not rank among them. No allocation; a full list's last entry
// is compared first, so most events cost one comparison.
template <class Event, class RanksBefore>
std::int64_t keepWorst(Event* worst, std::int64_t& count, std::int64_t kept, const Event& event,
                       RanksBefore ranksBefore) {
    if (kept <= 0 || (count == kept && !ranksBefore(event, worst[count - 1]))) return -1;
    std::int64_t at = count < kept ? count++ : count - 1;
    while (at > 0 && ranksBefore(event, worst[at - 1])) {
        worst[at] = worst[at - 1];
        --at;
    }
    worst[at] = event;
    return at;
}
