// The wake-up samplers (--fine): on every sampled core a second thread,
// pinned to the core, that wakes on an absolute 1 ms grid of the performance
// counter and hands each wake-up's lateness to the wake figures.
#pragma once

#include <cstdint>

// Asks for a 1 ms timer resolution (unless not `askResolution`: the run
// chose its own) and chooses the way to wait by timing a few dozen wake-ups
// of each candidate (about 0.1 s), on the calling thread. Answers false when
// no way works.
bool chooseWakeMethod(bool askResolution);

// Starts one wake-up thread per core 0..coreCount-1, having chosen the way
// to wait first unless chooseWakeMethod did. createWakeFigures(coreCount)
// must have succeeded. Answers false when no thread could be started. The
// threads are never stopped: they end with the process, like the timer
// samplers. Each core's thread is pinned before it runs; wakeSamplerState
// tells per core what came of it, and markWakeSampled marks the ones that
// measure their core.
bool startWakeSamplers(std::int64_t coreCount);

enum WakeSamplerState { wakeSamplerRunning, wakeSamplerNotStarted, wakeSamplerNotPinned };
WakeSamplerState wakeSamplerState(std::int64_t core);

// For the report: the wait chosen ("high-resolution timer", "waitable
// timer" or "sleep"; "" before it was chosen) and the timer resolution
// obtained, in us (0 when the system would not tell).
const char* wakeMethodName();
std::int64_t wakeResolutionUs();

// The candidates timed at start, in order of preference, for diagnostics:
// their names and the median lateness each measured in us (-1: not there or
// not timed).
constexpr std::int64_t wakeCandidateCount = 3;
const char* wakeCandidateName(std::int64_t candidate);
std::int64_t wakeCandidateMedianUs(std::int64_t candidate);
