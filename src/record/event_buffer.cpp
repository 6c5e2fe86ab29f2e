#include "record/event_buffer.h"

#include <cstdlib>

static TimerEvent* ring = nullptr;
static std::int64_t ringCapacity = 0;
static std::int64_t ringFirst = 0;
static std::int64_t ringCount = 0;
static std::int64_t ringDropped = 0;

bool createEventBuffer(std::int64_t capacity) {
    std::free(ring);
    ring = nullptr;
    ringCapacity = 0;
    ringFirst = 0;
    ringCount = 0;
    ringDropped = 0;
    if (capacity < 1) return false;
    ring = static_cast<TimerEvent*>(std::malloc(sizeof(TimerEvent) * static_cast<std::size_t>(capacity)));
    if (ring == nullptr) return false;
    ringCapacity = capacity;
    return true;
}

bool pushEvent(const TimerEvent& event) {
    if (ringCount == ringCapacity) {
        ++ringDropped;
        return false;
    }
    // Subtraction instead of a modulo: this runs on the sampler thread.
    std::int64_t slot = ringFirst + ringCount;
    if (slot >= ringCapacity) slot -= ringCapacity;
    ring[slot] = event;
    ++ringCount;
    return true;
}

std::int64_t popEvents(TimerEvent* out, std::int64_t max) {
    std::int64_t taken = 0;
    while (taken < max && ringCount > 0) {
        out[taken++] = ring[ringFirst];
        if (++ringFirst == ringCapacity) ringFirst = 0;
        --ringCount;
    }
    return taken;
}

std::int64_t eventsDropped() {
    return ringDropped;
}
