// Why a core was late: the arithmetic that reads a stall against the
// per-processor time accounting. Portable; the accounting is read by
// accounting_win32.cpp and kept by accounting.cpp.
#pragma once

#include <cstdint>

#include "engine/stall_cause.h"

// One core's times since it started, as the system counts them, in 100 ns.
// Kernel time includes idle, DPC and interrupt time.
struct CoreTimes {
    std::int64_t idle;
    std::int64_t kernel;
    std::int64_t user;
    std::int64_t dpc;
    std::int64_t interrupt;
};

// What passed on one core between two readings, in microseconds of the
// performance counter (fromUs, toUs) and of accounted time.
struct AccountingStep {
    std::int64_t fromUs;
    std::int64_t toUs;
    std::int64_t threadsUs;  // user + kernel - idle - DPC - interrupt
    std::int64_t driversUs;  // DPC + interrupt
    std::int64_t idleUs;
    bool usable;  // false: a counter went backwards, which only a bad reading does
};

// The step from reading `before` at fromUs to reading `after` at toUs.
AccountingStep stepBetween(const CoreTimes& before, const CoreTimes& after, std::int64_t fromUs, std::int64_t toUs);

// The accounting's resolution as far as `step` shows it: the smallest
// non-zero amount among its idle and busy time and their changes from the
// core's `previous` step. A reading every 100 ms rarely shows a small idle
// or busy time on its own (a core idle, or busy, all along), but the
// accounting's steps show in how one reading differs from the next.
// Answers `resolutionUs` (-1: none yet) or less.
std::int64_t finerResolution(std::int64_t resolutionUs, const AccountingStep& step, const AccountingStep& previous);

struct Attribution {
    StallCause cause;
    StallDuring during;  // threadsUs, driversUs and idleUs -1 when unknown
    bool waiting;        // the steps do not reach the stall's end yet: ask again later
};

// Reads the stall that ended at endUs, lateUs long, against one core's
// steps (any order). The thread (driver) time that can lie inside the span
// is, over the steps that overlap it, the sum of the smaller of the step's
// thread (driver) time and its overlap; the idle time that must lie inside
// is the sum of what is left of each step's idle time after filling the
// part of the step outside the span. Unknown when the span is shorter than
// twice the resolution or usable steps do not cover all of it.
Attribution attributeStall(const AccountingStep* steps, std::int64_t stepCount, std::int64_t endUs, std::int64_t lateUs,
                           std::int64_t resolutionUs);

// drivers, threads, idle: the first that reaches half the span; else mixed.
StallCause classifyStall(const StallDuring& during);

// "unknown", "threads", "drivers", "idle", "mixed".
const char* stallCauseName(StallCause cause);
