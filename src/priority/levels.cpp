#include "priority/levels.h"

// Priority classes: IDLE 0x40, NORMAL 0x20, HIGH 0x80, REALTIME 0x100. The
// four middle levels share the normal class and differ only in the threads'
// priority.
const PriorityLevel priorityLevels[levelCount] = {
    {10, "idle", 0x40, -15},
    {11, "low", 0x20, -2},
    {12, "below normal", 0x20, -1},
    {13, "normal", 0x20, 0},
    {14, "above normal", 0x20, 1},
    {15, "high", 0x80, 2},
    {16, "realtime", 0x100, 15},
};

const PriorityLevel* findPriorityLevel(std::int64_t commandId) {
    if (commandId < firstLevelId || commandId > lastLevelId) return nullptr;
    return &priorityLevels[commandId - firstLevelId];
}
