// A core's wake-ups (--fine) counted since the run's start, as the log's
// notes carry them at each priority change and at the end, so that a reader
// of the log knows every stretch's wake-ups, not only its late ones. Plain
// data shared by the record and the log.
#pragma once

#include <cstdint>

struct WakeCount {
    std::int64_t wakeUps;
    std::int64_t stalls;   // over 5 ms (isStall)
    std::int64_t leftOut;  // late lines the log's limit or queue left out
};
