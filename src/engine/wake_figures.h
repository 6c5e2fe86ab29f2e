// The figures of the wake-up samplers (--fine): on every sampled core a
// thread that wakes on an absolute 1 ms grid and measures how late each
// wake-up is, in microseconds. Each core's figures are written by its wake-up
// thread alone and read, without any lock, by the window and the recorder.
#pragma once

#include <cstdint>

#include "engine/wake_statistics.h"

// The grid: one deadline every this many microseconds.
constexpr std::int64_t wakeIntervalUs = 1000;
// The log's wake lines are a sample for reading, not the record: at most
// this many per core and second of the grid, the largest of each second
// always among them; the rest are counted, not logged. A core whose wake-ups
// all land just over 1 ms late makes 500 a second, which would fill the
// queue and, over a week, gigabytes of log.
constexpr std::int64_t wakeLinesPerSecond = 20;

// One core's figures since its wake-up thread started. All zero: no wake-up yet.
struct WakeStatistics {
    std::int64_t events;
    std::int64_t skipped;  // deadlines already past at a wake-up, not caught up
    std::int64_t minUs;
    std::int64_t maxUs;
    std::int64_t sumUs;
    std::int64_t maxAtUtcMs;  // the first wake-up that reached maxUs
    std::int64_t over1ms;     // wake-ups later than lateWakeUs
    std::int64_t histogram[wakeHistogramBucketCount];
    // Of over1ms, the ones over wakeLinesPerSecond not logged (or held to
    // the end of their second, not logged yet).
    std::int64_t linesNotLogged;
};

// One wake-up: its core, when it woke (UTC ms) and how late it was.
struct WakeEvent {
    std::int64_t core;
    std::int64_t utcMs;
    std::int64_t lateUs;
};

// Number of worst wake-ups kept per core (and for the whole run).
constexpr std::int64_t worstWakesKept = 20;

// Late wake-ups each core's queue for the log holds until the record's
// writer pops them; more are counted as dropped.
constexpr std::int64_t lateWakeQueueCapacity = 256;

// Makes the figures of `coreCount` cores, all zero, before any wake-up
// thread starts. Answers false when the memory is not there.
bool createWakeFigures(std::int64_t coreCount);
bool wakeFiguresExist();
// Frees them again, once every wake-up thread has ended.
void freeWakeFigures();
// Whether late wake-ups go to the queues for a log (the default); without a
// log they are only counted. Before the wake-up threads start.
void setWakeLinesLogged(bool logged);

// Whether a wake-up of `core` this late needs its time of day: one later
// than lateWakeUs, or one that may enter the core's worst wake-ups. Reading
// the time costs a system call, so the others go without. On `core`'s
// wake-up thread only.
bool wakeNeedsTime(std::int64_t core, std::int64_t lateUs);
// Counts one wake-up of `core`, `lateUs` late, after `skipped` deadlines
// that were already past; `utcMs` as wakeNeedsTime asked (0 otherwise).
// On `core`'s wake-up thread only; takes no lock, waits for nothing and
// allocates nothing.
// A wake-up later than lateWakeUs is queued for the log while its second
// has room, else held if it is the largest over the limit so far.
void recordWake(std::int64_t core, std::int64_t lateUs, std::int64_t skipped, std::int64_t utcMs);
// The grid of `core` entered a new second: the wake-up held in the one
// before goes to the queue, and the new second has room again. On `core`'s
// wake-up thread only; no lock, no allocation.
void endWakeLineSecond(std::int64_t core);

// A consistent copy of `core`'s statistics; any thread, never blocks the
// wake-up thread.
void readWakeStatistics(std::int64_t core, WakeStatistics& out);
// Up to `max` of `core`'s worst wake-ups, largest first; answers how many.
std::int64_t readWorstWakes(std::int64_t core, WakeEvent* out, std::int64_t max);
// Whether `a` goes before `b` in a list of worst wake-ups: the later one,
// then the earlier time, then the lower core.
bool wakeRanksBefore(const WakeEvent& a, const WakeEvent& b);
// Up to `max` of the worst wake-ups of all cores together, largest first.
std::int64_t readWorstWakesOfRun(WakeEvent* out, std::int64_t max);
// Wake-ups later than lateWakeUs, oldest first, for the log: one reader only
// (the record's writer). Answers how many were moved to `out`.
std::int64_t popLateWakes(std::int64_t core, WakeEvent* out, std::int64_t max);
// Every wake-up later than stallLateUs, for the causes of stalls: `core`'s
// queue, popped by one reader (the record's writer), oldest first. endCounter
// is the performance counter when the wake-up was counted.
struct WakeStall {
    std::int64_t core;
    std::int64_t endCounter;
    std::int64_t utcMs;
    std::int64_t lateUs;
};
constexpr std::int64_t wakeStallQueueCapacity = 64;
std::int64_t popWakeStalls(std::int64_t core, WakeStall* out, std::int64_t max);
// Stalls that did not fit in that queue since the start.
std::int64_t wakeStallsDropped(std::int64_t core);
// Late wake-ups that did not fit in the queue for the log since the start
// (those left out by the limit are not among them).
std::int64_t lateWakesDropped(std::int64_t core);
// The worst lateness since the previous call for `core` (-1 when there was
// no wake-up), for the window's graph column and the record's timeline; the
// timer sampler of `core` calls it.
std::int64_t takeColumnWorstUs(std::int64_t core);
