#include "record/statistics.h"

#include "engine/histogram_bucket.h"
#include "verdict/judge.h"

std::int64_t histogramBucketOf(std::int64_t lateMs) {
    return histogramBucket(lateMs, histogramUpperMs, histogramBucketCount);
}

void addToStatistics(CoreStatistics& statistics, const TimerEvent& event) {
    if (statistics.events == 0) {
        statistics.minMs = event.lateMs;
        statistics.maxMs = event.lateMs;
        statistics.maxAtUtcMs = event.utcMs;
        statistics.minUs = event.lateUs;
        statistics.maxUs = event.lateUs;
    } else {
        if (event.lateMs < statistics.minMs) statistics.minMs = event.lateMs;
        // Strictly greater: a later event that only equals the maximum keeps
        // the time of the first.
        if (event.lateMs > statistics.maxMs) {
            statistics.maxMs = event.lateMs;
            statistics.maxAtUtcMs = event.utcMs;
        }
        if (event.lateUs < statistics.minUs) statistics.minUs = event.lateUs;
        if (event.lateUs > statistics.maxUs) statistics.maxUs = event.lateUs;
    }
    ++statistics.events;
    statistics.sumMs += event.lateMs;
    statistics.sumUs += event.lateUs;
    if (event.lateUs > 0) statistics.lateSumUs += event.lateUs;
    if (isStall(event.lateUs)) ++statistics.stalls;
    ++statistics.histogram[histogramBucketOf(event.lateMs)];
    statistics.lastMs = event.lateMs;
    statistics.lastWakeWorstUs = event.wakeWorstUs;
}

bool percentileBoundMs(const CoreStatistics& statistics, std::int64_t perMille, std::int64_t& boundMs, bool& above) {
    if (statistics.events <= 0) return false;
    // The rank in integers: ceil(events * perMille / 1000), without overflow
    // for any count a run can reach.
    const std::int64_t rank = statistics.events / 1000 * perMille + (statistics.events % 1000 * perMille + 999) / 1000;
    std::int64_t seen = 0;
    for (std::int64_t b = 0; b < histogramBucketCount; ++b) {
        seen += statistics.histogram[b];
        if (seen >= rank || b == histogramBucketCount - 1) {
            above = b == histogramBucketCount - 1;
            boundMs = histogramUpperMs[above ? b - 1 : b];
            return true;
        }
    }
    return false;
}
