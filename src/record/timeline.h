// The run on one time axis for every core: the worst lateness in each time
// slot, in at most timelineSlots slots whatever the length of the run. When
// the slots fill up, neighbours merge and each slot covers twice the time,
// so the memory is fixed from the start.
#pragma once

#include <cstdint>

constexpr std::int64_t timelineSlots = 1000;
// A slot covers one timer period at first.
constexpr std::int64_t timelineFirstSlotMs = 100;
// A slot in which nothing was measured.
constexpr std::int64_t timelineEmpty = INT64_MIN;

struct Timeline {
    std::int64_t coreCount;
    std::int64_t startUtcMs;  // slot 0 begins here
    std::int64_t slotMs;      // time each slot covers
    std::int64_t slotsUsed;   // slots 0 .. slotsUsed - 1 have begun
    // coreCount rows of timelineSlots maxima, in microseconds late.
    std::int64_t* timerLateUs;
    // The same for wake-ups (--fine), or null.
    std::int64_t* wakeLateUs;
};

// Allocates an empty timeline; before a run only. Answers false when the
// memory is not there.
bool makeTimeline(Timeline& timeline, std::int64_t coreCount, std::int64_t startUtcMs, bool withWakes);
void freeTimeline(Timeline& timeline);
// One measurement: raises its slot's maximum, merging slots first when its
// time lies beyond the last one. Times before the start count in slot 0.
// No allocation; for a caller that holds the lock of the timeline's owner.
void addToTimeline(Timeline& timeline, std::int64_t core, std::int64_t utcMs, std::int64_t lateUs, bool wake);
// Copies everything of `from` into `to`, made with the same core count and
// the same withWakes.
void copyTimeline(const Timeline& from, Timeline& to);
