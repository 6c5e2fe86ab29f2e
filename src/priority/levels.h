// The seven priority levels of the context menu. One table, read by the menu
// setup (texts and identifiers), by applyPriorityLevel (class and thread
// priority) and by the command line (texts and short forms), so none of
// them can disagree.
#pragma once

#include <cstdint>

struct PriorityLevel {
    std::int64_t commandId;
    const char* text;             // the menu's text: "below normal"
    const char* shortName;        // the command line's one-word form: "below-normal"
    std::uint32_t priorityClass;  // the platform's *_PRIORITY_CLASS value
    std::int32_t threadPriority;  // the platform's THREAD_PRIORITY_* value
};

constexpr std::int64_t firstLevelId = 10;
constexpr std::int64_t lastLevelId = 16;
constexpr std::int64_t levelCount = 7;
// The level marked at start; no priority is changed for it.
constexpr std::int64_t initialLevelId = 13;
constexpr std::int64_t realtimeLevelId = 16;

extern const PriorityLevel priorityLevels[levelCount];

// The level of `commandId`, or nullptr for anything outside 10..16.
const PriorityLevel* findPriorityLevel(std::int64_t commandId);
// The level named by its menu text or its short form, as a user types it
// (any case); nullptr for anything else.
const PriorityLevel* findPriorityLevelNamed(const char* name);
// The name of a process priority class as the system reports it
// (GetPriorityClass), in the menu's words: "idle", "below normal",
// "normal", "above normal", "high", "realtime"; nullptr for 0 (it could not
// be read) or a value the system does not define.
const char* priorityClassName(std::uint32_t priorityClass);
