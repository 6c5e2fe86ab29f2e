#include "priority/levels.h"

#include <cctype>
#include <cstring>

// Priority classes: IDLE 0x40, NORMAL 0x20, HIGH 0x80, REALTIME 0x100. The
// four middle levels share the normal class and differ only in the threads'
// priority.
const PriorityLevel priorityLevels[levelCount] = {
    {10, "idle", "idle", 0x40, -15},
    {11, "low", "low", 0x20, -2},
    {12, "below normal", "below-normal", 0x20, -1},
    {13, "normal", "normal", 0x20, 0},
    {14, "above normal", "above-normal", 0x20, 1},
    {15, "high", "high", 0x80, 2},
    {16, "realtime", "realtime", 0x100, 15},
};

const PriorityLevel* findPriorityLevel(std::int64_t commandId) {
    if (commandId < firstLevelId || commandId > lastLevelId) return nullptr;
    return &priorityLevels[commandId - firstLevelId];
}

static bool sameIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    }
    return *a == *b;
}

const PriorityLevel* findPriorityLevelNamed(const char* name) {
    for (const PriorityLevel& level : priorityLevels) {
        if (sameIgnoringCase(name, level.text) || sameIgnoringCase(name, level.shortName)) return &level;
    }
    return nullptr;
}

const char* priorityClassName(std::uint32_t priorityClass) {
    // BELOW_NORMAL 0x4000 and ABOVE_NORMAL 0x8000 are no level's, but another
    // program (a task manager) may have set them before the run.
    struct Named {
        std::uint32_t value;
        const char* name;
    };
    static const Named classes[] = {{0x40, "idle"},  {0x4000, "below normal"}, {0x20, "normal"},
                                    {0x8000, "above normal"}, {0x80, "high"},  {0x100, "realtime"}};
    for (const Named& named : classes) {
        if (named.value == priorityClass) return named.name;
    }
    return nullptr;
}
