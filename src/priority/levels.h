// The seven priority levels of the context menu. One table, read by the menu
// setup (texts and identifiers) and by applyPriorityLevel (class and thread
// priority), so the two can never disagree.
#pragma once

#include <cstdint>

struct PriorityLevel {
    std::int64_t commandId;
    const char* text;
    std::uint32_t priorityClass;  // the platform's *_PRIORITY_CLASS value
    std::int32_t threadPriority;  // the platform's THREAD_PRIORITY_* value
};

constexpr std::int64_t firstLevelId = 10;
constexpr std::int64_t lastLevelId = 16;
constexpr std::int64_t levelCount = 7;
// The level marked at start; no priority is changed for it.
constexpr std::int64_t initialLevelId = 13;

extern const PriorityLevel priorityLevels[levelCount];

// The level of `commandId`, or nullptr for anything outside 10..16.
const PriorityLevel* findPriorityLevel(std::int64_t commandId);
