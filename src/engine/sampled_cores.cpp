#include "engine/sampled_cores.h"

#include <atomic>

#include "engine/sample_tables.h"

namespace {

std::atomic<bool> sampledCores[perCoreEntries];
std::atomic<bool> unpinnedCores[perCoreEntries];
std::atomic<bool> wakeSampledCores[perCoreEntries];
std::atomic<bool> startingCores[perCoreEntries];
std::atomic<bool> failedCores[perCoreEntries];

void mark(std::atomic<bool>* marks, std::int64_t core) {
    if (core >= 0 && core < perCoreEntries) marks[core].store(true, std::memory_order_release);
}

bool isMarked(const std::atomic<bool>* marks, std::int64_t core) {
    return core >= 0 && core < perCoreEntries && marks[core].load(std::memory_order_acquire);
}

}  // namespace

void markCoreSampled(std::int64_t core) { mark(sampledCores, core); }
void markCoreUnpinned(std::int64_t core) { mark(unpinnedCores, core); }
bool isCoreUnpinned(std::int64_t core) { return isMarked(unpinnedCores, core); }
bool isCoreSampled(std::int64_t core) { return isMarked(sampledCores, core) && !isCoreUnpinned(core); }
void markCoreStarting(std::int64_t core) { mark(startingCores, core); }
void markCoreFailed(std::int64_t core) { mark(failedCores, core); }

bool isCoreStarting(std::int64_t core) {
    return isMarked(startingCores, core) && !isMarked(sampledCores, core) && !isMarked(failedCores, core) &&
           !isCoreUnpinned(core);
}

bool countsAsSampled(std::int64_t core, std::int64_t elapsedMs) {
    return isCoreSampled(core) || (isCoreStarting(core) && elapsedMs < samplerStartMostMs);
}

void markWakeSampled(std::int64_t core) { mark(wakeSampledCores, core); }
bool isWakeSampled(std::int64_t core) { return isMarked(wakeSampledCores, core); }

void clearSampledCores() {
    for (std::int64_t core = 0; core < perCoreEntries; ++core) {
        sampledCores[core].store(false, std::memory_order_relaxed);
        unpinnedCores[core].store(false, std::memory_order_relaxed);
        wakeSampledCores[core].store(false, std::memory_order_relaxed);
        startingCores[core].store(false, std::memory_order_relaxed);
        failedCores[core].store(false, std::memory_order_relaxed);
    }
}
