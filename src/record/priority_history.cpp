#include "record/priority_history.h"

void setPriorityText(char* out, const char* text) {
    std::size_t k = 0;
    for (; text != nullptr && text[k] != '\0' && k + 1 < priorityTextCapacity; ++k) out[k] = text[k];
    out[k] = '\0';
}

static PriorityChange changeOf(std::int64_t atUtcMs, const char* level, const char* granted) {
    PriorityChange change{};
    change.atUtcMs = atUtcMs;
    setPriorityText(change.level, level);
    setPriorityText(change.granted, granted);
    return change;
}

void setPriorityStart(PriorityHistory& history, std::int64_t atUtcMs, const char* level, const char* granted) {
    history.start = changeOf(atUtcMs, level, granted);
    history.startKnown = true;
}

bool addPriorityChange(PriorityHistory& history, std::int64_t atUtcMs, const char* level, const char* granted) {
    ++history.count;
    if (history.listed == priorityChangesKept) return false;
    history.changes[history.listed++] = changeOf(atUtcMs, level, granted);
    return true;
}

const PriorityChange& priorityAt(const PriorityHistory& history, std::int64_t utcMs) {
    const PriorityChange* inForce = &history.start;
    for (std::int64_t k = 0; k < history.listed && history.changes[k].atUtcMs <= utcMs; ++k) inForce = &history.changes[k];
    return *inForce;
}
