#include "engine/suspend_state.h"

#include <atomic>

#include "engine/platform_seam.h"

namespace {

// Written by the window's thread, read by every sampler without the lock:
// each message moves the generation, so a sampler that slept through both
// the suspend and the resume still sees that something happened.
std::atomic<std::int64_t> suspendGeneration{0};
std::atomic<bool> suspendedNow{false};

}  // namespace

void noteSystemSuspending() {
    suspendedNow.store(true, std::memory_order_release);
    suspendGeneration.fetch_add(1, std::memory_order_acq_rel);
}

void noteSystemResumed() {
    suspendedNow.store(false, std::memory_order_release);
    suspendGeneration.fetch_add(1, std::memory_order_acq_rel);
}

bool intervalSuspended(SuspendWatch& watch) {
    const std::int64_t generation = suspendGeneration.load(std::memory_order_acquire);
    const std::int64_t slept = readSleptTime();
    const bool suspended = suspendedNow.load(std::memory_order_acquire) ||
                           (watch.started && (generation != watch.generation ||
                                              slept - watch.sleptTime > sleptGrowthCounts));
    watch = SuspendWatch{true, generation, slept};
    return suspended;
}
