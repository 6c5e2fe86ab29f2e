// Controls the clock that the portable code reads in tests: one clock in
// milliseconds behind the tick count (its low 32 bits), the performance
// counter (10 MHz) and the time of day (from 2026-12-07T00:00:00Z).
#pragma once

#include <cstdint>

// Sets the tick count that readTickCount answers from now on.
void setFakeTick(std::uint32_t tick);
// Adds `ms` to the fake tick count (wrapping modulo 2^32 like the real one).
void advanceFakeTick(std::uint32_t ms);
// Moves the clock on by `ticks` of the performance counter (0.1 us each).
void advanceFakeCounter(std::int64_t ticks);
// From now on every readTickCount answers the current tick and then moves the
// clock on by `ms`, as if each reading took that long; 0 (the start) stops it.
void setFakeTickStepPerRead(std::uint32_t ms);
// Makes the next createSampleLock() fail (once).
void failNextSampleLockCreation();
// How many times sampleLock has been taken since the process started.
std::int64_t sampleLocksTaken();
// Sets the time asleep (100 ns units) that readSleptTime answers.
void setFakeSleptTime(std::int64_t slept);

// The machine's readers (machine_seam.h): each answers the text set here,
// or false (cannot be read) for nullptr, which is where they all start.
struct FakeMachine {
    const char* name;
    const char* windows;
    const char* processor;
    const char* powerPlan;
    bool resolutionKnown;
    std::int64_t current;
    std::int64_t finest;
    std::int64_t coarsest;
};
void setFakeMachine(const FakeMachine& machine);
