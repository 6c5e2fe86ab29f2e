// The arithmetic of the wake-up samplers' 1 ms grid on the performance
// counter: deadline k lies k ms after the counter reading at the start.
// Portable and free of <windows.h>; integer arithmetic only.
#pragma once

#include <cstdint>

// What one wake-up made of the grid.
struct WakeGridStep {
    // Microseconds after the deadline waited for; negative or 0 when the
    // wait ended early (0 for less than 1 us early).
    std::int64_t lateUs;
    // Deadlines after the one waited for that were already past: skipped,
    // not caught up, so that one stall gives one late wake-up.
    std::int64_t skipped;
    // The deadline to wait for next: the first one still in the future, or
    // the one waited for when the wait ended early.
    std::int64_t nextIndex;
    // The wait ended before its deadline, by at least one counter tick: the
    // deadline is waited for again and this is no wake-up. Told apart on
    // ticks, since a few ticks early read as 0 us.
    bool early;
};

// Counter ticks from the start to deadline `index`, at `frequency` ticks per
// second.
std::uint64_t wakeDeadlineOffset(std::int64_t index, std::int64_t frequency);

// A wake-up at counter reading `now` while waiting for deadline `waited` of
// the grid that began at counter reading `start`. The counter is read as
// unsigned 64-bit, so a grid that spans the counter's wrap keeps its length.
WakeGridStep stepWakeGrid(std::uint64_t start, std::int64_t frequency, std::int64_t waited, std::uint64_t now);

// Counter ticks from `now` until deadline `index`; 0 when it is already past.
std::uint64_t ticksUntilDeadline(std::uint64_t start, std::int64_t frequency, std::int64_t index, std::uint64_t now);

// The median of `count` values (the lower of the middle two for an even
// count); sorts `values` in place. 0 for none.
std::int64_t medianOf(std::int64_t* values, std::int64_t count);
