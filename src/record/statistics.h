// Per-core figures of the whole run, updated on the sampler thread for every
// timer event, so the report never has to look at the events again.
#pragma once

#include <cstdint>

#include "engine/timer_event.h"

// Inclusive upper bounds of the histogram of ms lateness; one more bucket
// holds everything above the last bound. Early events count in the first.
constexpr std::int64_t histogramBucketCount = 15;
constexpr std::int64_t histogramUpperMs[histogramBucketCount - 1] = {0,   1,   2,    5,    10,   20,   50,
                                                                      100, 200, 500, 1000, 2000, 5000, 10000};

// All zero means "no events yet".
struct CoreStatistics {
    std::int64_t events;
    std::int64_t minMs;
    std::int64_t maxMs;
    std::int64_t sumMs;
    // UTC time of the first event that reached maxMs.
    std::int64_t maxAtUtcMs;
    std::int64_t minUs;
    std::int64_t maxUs;
    std::int64_t sumUs;
    std::int64_t histogram[histogramBucketCount];
    // The sum of late_us with early events counted as 0 (an early event is
    // not late): it only ever grows, as a Prometheus histogram's _sum must.
    std::int64_t lateSumUs = 0;
    // The events that are stalls, as the judge says (verdict/judge.h: more
    // than 5 ms by the high-resolution counter).
    std::int64_t stalls = 0;
    // The latest event's late_ms and, with wake-ups, the worst wake-up since
    // the event before it (-1: none): what a live view shows as "now".
    std::int64_t lastMs = 0;
    std::int64_t lastWakeWorstUs = 0;
};

std::int64_t histogramBucketOf(std::int64_t lateMs);

// Runs for every event with the lock held: no allocation, no division.
void addToStatistics(CoreStatistics& statistics, const TimerEvent& event);

// The upper bound of the histogram bucket that holds the event of rank
// ceil(perMille / 1000 * events) (990: the 99th percentile): the percentile
// is at most that many ms. `above` is set when it lies in the last bucket,
// above every bound (the answer is then the last bound). False without events.
bool percentileBoundMs(const CoreStatistics& statistics, std::int64_t perMille, std::int64_t& boundMs, bool& above);
