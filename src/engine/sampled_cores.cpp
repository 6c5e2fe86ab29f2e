#include "engine/sampled_cores.h"

#include <atomic>

#include "engine/sample_tables.h"

static std::atomic<bool> sampledCores[perCoreEntries];

void markCoreSampled(std::int64_t core) {
    if (core >= 0 && core < perCoreEntries) sampledCores[core].store(true, std::memory_order_release);
}

bool isCoreSampled(std::int64_t core) {
    return core >= 0 && core < perCoreEntries && sampledCores[core].load(std::memory_order_acquire);
}

void clearSampledCores() {
    for (std::atomic<bool>& core : sampledCores) core.store(false, std::memory_order_relaxed);
}
