// One measured timer event, as the sampler of its core hands it to whoever
// records the run. Plain data; the engine knows nothing of what is done
// with it.
#pragma once

#include <cstdint>

struct TimerEvent {
    std::int64_t core;
    // Milliseconds late by the tick count, exactly as the graph and the label
    // use it: before any cap, negative when early.
    std::int64_t lateMs;
    // The same interval measured with the performance counter, in
    // microseconds: the tick count moves in steps of 10 to 16 ms on Windows,
    // the counter does not.
    std::int64_t lateUs;
    // When the event arrived: UTC, milliseconds since 1970-01-01.
    std::int64_t utcMs;
    // With the wake-up samplers: the worst wake-up of this core since its
    // previous timer event, in microseconds late; -1 when there was none.
    std::int64_t wakeWorstUs = -1;
};

// Whoever records the run, called for every timer event of every core on
// the thread that samples it, with sampleLock held: it must not block, wait
// or take another lock. Set by the entry before any timer starts and never
// changed afterwards; null (no recording) costs the samplers nothing.
using TimerEventSink = void (*)(const TimerEvent& event);
extern TimerEventSink timerEventSink;
