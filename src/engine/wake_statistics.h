// The wake statistics' limits and bounds, and counting one wake-up into a
// core's statistics, written once for both holders of them: the wake-up samplers' figures, whose
// fields are atomics read by other threads, and a log read back, whose
// fields are plain.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/histogram_bucket.h"

// A wake-up later than this counts in over_1ms and may go to the log.
constexpr std::int64_t lateWakeUs = 1000;

// Inclusive upper bounds of the histogram of wake-up lateness in us; one
// more bucket holds everything above the last bound.
constexpr std::int64_t wakeHistogramBucketCount = 12;
constexpr std::int64_t wakeHistogramUpperUs[wakeHistogramBucketCount - 1] = {
    50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000, 50000, 100000};

// A field of either kind. An atomic one has a single writer and is read
// behind a sequence counter: its store is a release, so a reader that sees
// the new value also sees the counter made odd before it.
inline std::int64_t figureOf(std::int64_t field) {
    return field;
}
inline std::int64_t figureOf(const std::atomic<std::int64_t>& field) {
    return field.load(std::memory_order_relaxed);
}
inline void setFigure(std::int64_t& field, std::int64_t value) {
    field = value;
}
inline void setFigure(std::atomic<std::int64_t>& field, std::int64_t value) {
    field.store(value, std::memory_order_release);
}

// One wake-up `lateUs` late (>= 0) at `utcMs`, after `skipped` deadlines
// already past; `notLogged`: left out of the log by its limit of lines.
// The maximum keeps the time of the first wake-up that reached it.
template <class Figures>
void countWake(Figures& w, std::int64_t lateUs, std::int64_t skipped, std::int64_t utcMs, bool notLogged) {
    const std::int64_t events = figureOf(w.events);
    setFigure(w.events, events + 1);
    setFigure(w.skipped, figureOf(w.skipped) + skipped);
    if (events == 0 || lateUs < figureOf(w.minUs)) setFigure(w.minUs, lateUs);
    if (events == 0 || lateUs > figureOf(w.maxUs)) {
        setFigure(w.maxUs, lateUs);
        setFigure(w.maxAtUtcMs, utcMs);
    }
    setFigure(w.sumUs, figureOf(w.sumUs) + lateUs);
    if (lateUs > lateWakeUs) setFigure(w.over1ms, figureOf(w.over1ms) + 1);
    if (notLogged) setFigure(w.linesNotLogged, figureOf(w.linesNotLogged) + 1);
    auto& bucket = w.histogram[histogramBucket(lateUs, wakeHistogramUpperUs, wakeHistogramBucketCount)];
    setFigure(bucket, figureOf(bucket) + 1);
}
