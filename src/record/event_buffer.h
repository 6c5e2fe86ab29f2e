// The queue of timer events between the samplers and the writer thread: a
// fixed ring made once at start. It has no lock of its own; every caller
// holds the program's one lock (lockSamples/unlockSamples).
#pragma once

#include <cstdint>

#include "engine/timer_event.h"

// Makes an empty buffer for `capacity` events, dropping any earlier one and
// its counts. Answers false when capacity < 1 or the memory is not there.
bool createEventBuffer(std::int64_t capacity);

// Queues a copy of `event`; answers false, and counts one more dropped event,
// when the buffer is full (or was never made). Never allocates.
bool pushEvent(const TimerEvent& event);

// Moves up to `max` of the oldest events into `out`; answers how many.
std::int64_t popEvents(TimerEvent* out, std::int64_t max);

std::int64_t eventsDropped();
