// Whether the machine sleeps or has slept: told by the window (the system's
// power messages) and seen by every sampler, so that time spent asleep is
// never counted as lateness. A sampler whose interval touched a suspend
// discards that event and starts a fresh period from it.
#pragma once

#include <cstdint>

// The power messages, on the window's thread: the machine is about to sleep,
// or has woken (automatically or for the user; both may come for one wake).
void noteSystemSuspending();
void noteSystemResumed();

// What one sampler saw at its previous event; zero is a sampler that has
// seen nothing yet. Belongs to that sampler's thread alone.
struct SuspendWatch {
    bool started;
    std::int64_t generation;
    std::int64_t sleptTime;  // readSleptTime at the last reading
};

// Growth of the time asleep within one interval that makes it a suspended
// one: 5 ms, in the 100 ns units of the interrupt time.
constexpr std::int64_t sleptGrowthCounts = 50000;

// The interval that ends now saw the machine suspended: a suspend or resume
// message since the previous event, the machine still marked asleep, or the
// time asleep grown by more than sleptGrowthCounts. The caller then discards
// the event and starts afresh from now, so that the events that end within
// the first period after the resume do not count either. The first call of
// a watch only takes its bearings. One readSleptTime per call.
bool intervalSuspended(SuspendWatch& watch);
