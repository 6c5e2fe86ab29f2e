// What a core was doing while one of its stalls lasted, as far as the
// per-processor time accounting of the system can tell. Plain data, shared
// by the attribution, the record and every output.
#pragma once

#include <cstdint>

// A timer event or wake-up later than this is a stall and gets a cause.
constexpr std::int64_t stallLateUs = 5000;

// A stall this long or longer can be told apart from the accounting's
// steps: the sampler that sees one asks for a snapshot of the processes at
// once (stallSeen), so that its window of suspects ends right after it.
constexpr std::int64_t snapshotStallUs = 20000;
// Set before any sampler starts; null (no snapshots) costs nothing. Called
// outside the lock; waits for nothing.
extern void (*stallSeen)();

enum class StallCause : std::uint8_t {
    unknown = 0,  // the span is too short for the accounting, or not covered yet
    threads,      // another thread ran: at least half the span was thread time
    drivers,      // deferred procedure calls and interrupts ran
    idle,         // the core was idle: nothing the system accounts for ran
    mixed,        // none of the above reached half the span
};
constexpr int stallCauseCount = 5;

// The figures the cause was decided on, in microseconds: the stall's span,
// the thread and driver time that can lie inside it, and the idle time that
// must lie inside it.
struct StallDuring {
    std::int64_t spanUs;
    std::int64_t threadsUs;
    std::int64_t driversUs;
    std::int64_t idleUs;
};

// One core's stalls counted by cause, timer events and wake-ups apart.
struct StallCounts {
    std::int64_t timer[stallCauseCount];
    std::int64_t wake[stallCauseCount];
};
