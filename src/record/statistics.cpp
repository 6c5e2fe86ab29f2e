#include "record/statistics.h"

#include "engine/histogram_bucket.h"

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
    ++statistics.histogram[histogramBucketOf(event.lateMs)];
    statistics.lastMs = event.lateMs;
    statistics.lastWakeWorstUs = event.wakeWorstUs;
}
