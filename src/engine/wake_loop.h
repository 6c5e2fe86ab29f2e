// The loop of a wake-up thread, apart from how it waits: wait for the next
// deadline of the 1 ms grid, step the grid, record the wake-up. Portable and
// free of <windows.h>, so that it runs natively with a clock the tests drive.
#pragma once

#include <cstdint>

#include "engine/suspend_state.h"
#include "engine/wake_grid.h"

// Waits until deadline `index` of the grid that began at counter reading
// `start`. It may end early: the caller looks at the counter again.
using WakeWait = void (*)(void* context, std::uint64_t start, std::int64_t index);

// Waits for deadline `index` until a wait ends on or after it, and answers
// that wake-up's grid step.
WakeGridStep waitForWake(WakeWait wait, void* context, std::uint64_t start, std::int64_t index);

// One wake-up thread's grid. Its own thread's alone.
struct WakeLoop {
    std::int64_t core;
    WakeWait wait;
    void* context;
    std::uint64_t start;  // counter reading at the grid's start
    std::int64_t index;   // the deadline to wait for next
    std::int64_t second;  // the grid's second of the last wake-up, for the wake lines' limit
    SuspendWatch watch;   // whether the machine slept since the last wake-up
};

// A grid that starts now, for `core`'s wake-ups.
WakeLoop startWakeLoop(std::int64_t core, WakeWait wait, void* context);

// One wake-up of `loop`'s core: waits, steps the grid, ends the wake lines'
// second when the grid entered a new one, and records the wake-up; after a
// sleep of the machine it records nothing and starts a fresh grid. No lock,
// no allocation; the time of day is read only when the figures need it.
void runWakeOnce(WakeLoop& loop);
