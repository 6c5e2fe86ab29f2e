// The run's worst lateness per time slot and core, in a fixed number of
// slots that merge pairwise as the run grows.
#include "record/timeline.h"

#include <cstdlib>
#include <cstring>

static std::int64_t* makeRows(std::int64_t coreCount) {
    const auto cells = static_cast<std::size_t>(coreCount * timelineSlots);
    auto* rows = static_cast<std::int64_t*>(std::malloc(cells * sizeof(std::int64_t)));
    if (rows == nullptr) return nullptr;
    for (std::size_t k = 0; k < cells; ++k) rows[k] = timelineEmpty;
    return rows;
}

bool makeTimeline(Timeline& timeline, std::int64_t coreCount, std::int64_t startUtcMs, bool withWakes) {
    timeline = Timeline{};
    if (coreCount < 1) return false;
    timeline.coreCount = coreCount;
    timeline.startUtcMs = startUtcMs;
    timeline.slotMs = timelineFirstSlotMs;
    timeline.timerLateUs = makeRows(coreCount);
    if (withWakes) timeline.wakeLateUs = makeRows(coreCount);
    if (timeline.timerLateUs == nullptr || (withWakes && timeline.wakeLateUs == nullptr)) {
        freeTimeline(timeline);
        return false;
    }
    return true;
}

void freeTimeline(Timeline& timeline) {
    std::free(timeline.timerLateUs);
    std::free(timeline.wakeLateUs);
    timeline = Timeline{};
}

static void mergeRows(std::int64_t* rows, std::int64_t coreCount) {
    if (rows == nullptr) return;
    for (std::int64_t c = 0; c < coreCount; ++c) {
        std::int64_t* row = rows + c * timelineSlots;
        for (std::int64_t k = 0; k < timelineSlots / 2; ++k) {
            // timelineEmpty is the smallest value, so the maximum of an
            // empty slot and a measured one is the measured one.
            row[k] = row[2 * k] > row[2 * k + 1] ? row[2 * k] : row[2 * k + 1];
        }
        for (std::int64_t k = timelineSlots / 2; k < timelineSlots; ++k) row[k] = timelineEmpty;
    }
}

void addToTimeline(Timeline& timeline, std::int64_t core, std::int64_t utcMs, std::int64_t lateUs, bool wake) {
    std::int64_t* rows = wake ? timeline.wakeLateUs : timeline.timerLateUs;
    if (rows == nullptr || core < 0 || core >= timeline.coreCount) return;
    const std::int64_t sinceStart = utcMs > timeline.startUtcMs ? utcMs - timeline.startUtcMs : 0;
    std::int64_t slot = sinceStart / timeline.slotMs;
    // Each merge halves the slot number, so no further division is needed.
    // A run of a week merges about 13 times in all; a merge touches every
    // slot of every core once.
    while (slot >= timelineSlots) {
        mergeRows(timeline.timerLateUs, timeline.coreCount);
        mergeRows(timeline.wakeLateUs, timeline.coreCount);
        timeline.slotMs *= 2;
        timeline.slotsUsed = (timeline.slotsUsed + 1) / 2;
        slot /= 2;
    }
    if (slot >= timeline.slotsUsed) timeline.slotsUsed = slot + 1;
    std::int64_t& cell = rows[core * timelineSlots + slot];
    if (lateUs > cell) cell = lateUs;
}

void copyTimeline(const Timeline& from, Timeline& to) {
    const auto bytes = static_cast<std::size_t>(from.coreCount * timelineSlots) * sizeof(std::int64_t);
    to.coreCount = from.coreCount;
    to.startUtcMs = from.startUtcMs;
    to.slotMs = from.slotMs;
    to.slotsUsed = from.slotsUsed;
    std::memcpy(to.timerLateUs, from.timerLateUs, bytes);
    if (from.wakeLateUs != nullptr && to.wakeLateUs != nullptr) std::memcpy(to.wakeLateUs, from.wakeLateUs, bytes);
}
