// The priority a run measured at: the level in force at its start and every
// change after it (from the menu, from --priority, from a sweep), each with
// the process priority class the system granted. Plain data shared by the
// record, the log read back and every output; the caller guards it.
#pragma once

#include <cstddef>
#include <cstdint>

// Level and class names ("below normal") fit in this, with their zero.
constexpr std::size_t priorityTextCapacity = 16;
// Changes listed; more are only counted (the log still gets every one).
constexpr std::int64_t priorityChangesKept = 64;

struct PriorityChange {
    std::int64_t atUtcMs;
    char level[priorityTextCapacity];    // the menu's text of the level
    char granted[priorityTextCapacity];  // the class the system granted; "" when unknown
};

struct PriorityHistory {
    bool startKnown;  // false: a log that does not say (an older one)
    PriorityChange start;
    std::int64_t count;  // changes after the start, listed or not
    std::int64_t listed;
    PriorityChange changes[priorityChangesKept];
};

// Copies `text` (null: "") cut to the capacity.
void setPriorityText(char* out, const char* text);
void setPriorityStart(PriorityHistory& history, std::int64_t atUtcMs, const char* level, const char* granted);
// Answers whether the change was listed (there was room).
bool addPriorityChange(PriorityHistory& history, std::int64_t atUtcMs, const char* level, const char* granted);
// The entry in force at `utcMs` (the start, or the last listed change at or
// before it); the start also for a time before it.
const PriorityChange& priorityAt(const PriorityHistory& history, std::int64_t utcMs);
