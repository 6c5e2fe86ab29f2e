// The rings of accounting steps (accounting.h). The reading thread writes a
// whole reading under the lock; the writer copies one core's ring under it.
#include "engine/accounting.h"

#include <atomic>
#include <cstdlib>

#include "engine/platform_seam.h"

void (*accountingReader)() = nullptr;

namespace {

// The reading thread's own: each core's previous reading and idle step.
CoreTimes* previous = nullptr;
AccountingStep* previousStep = nullptr;
std::int64_t previousAtUs = -1;
std::int64_t previousReadCores = 0;

// Under the lock: coreCount rings of accountingStepsKept steps, all cores'
// step n in slot n % accountingStepsKept, and how many readings made steps.
AccountingStep* rings = nullptr;
std::int64_t* stepsInRing = nullptr;
std::int64_t ringCores = 0;
std::int64_t resolutionUs = -1;

std::atomic<bool> works{false};

}  // namespace

bool makeAccounting(std::int64_t coreCount) {
    freeAccounting();
    if (coreCount < 1) return false;
    const auto cores = static_cast<std::size_t>(coreCount);
    previous = static_cast<CoreTimes*>(std::calloc(cores, sizeof(CoreTimes)));
    previousStep = static_cast<AccountingStep*>(std::calloc(cores, sizeof(AccountingStep)));
    stepsInRing = static_cast<std::int64_t*>(std::calloc(cores, sizeof(std::int64_t)));
    rings = static_cast<AccountingStep*>(std::calloc(cores * accountingStepsKept, sizeof(AccountingStep)));
    if (previous == nullptr || previousStep == nullptr || stepsInRing == nullptr || rings == nullptr) {
        freeAccounting();
        return false;
    }
    ringCores = coreCount;
    previousAtUs = -1;
    previousReadCores = 0;
    resolutionUs = -1;
    works.store(true);
    return true;
}

void freeAccounting() {
    works.store(false);
    std::free(previous);
    std::free(previousStep);
    std::free(stepsInRing);
    std::free(rings);
    previous = nullptr;
    previousStep = nullptr;
    stepsInRing = nullptr;
    rings = nullptr;
    ringCores = 0;
}

void storeAccountingReading(std::int64_t atUs, const CoreTimes* times, std::int64_t readCores) {
    if (!works.load() || rings == nullptr) return;
    const std::int64_t cores = readCores < ringCores ? readCores : ringCores;
    // The first reading only sets the start of the first step.
    const bool stepping = previousAtUs >= 0 && atUs > previousAtUs;
    lockSamples();
    for (std::int64_t core = 0; stepping && core < cores && core < previousReadCores; ++core) {
        const AccountingStep step = stepBetween(previous[core], times[core], previousAtUs, atUs);
        rings[core * accountingStepsKept + stepsInRing[core] % accountingStepsKept] = step;
        ++stepsInRing[core];
        resolutionUs = finerResolution(resolutionUs, step, previousStep[core]);
        previousStep[core] = step;
    }
    unlockSamples();
    for (std::int64_t core = 0; core < cores; ++core) previous[core] = times[core];
    previousAtUs = atUs;
    previousReadCores = cores;
}

void stopAccounting() {
    works.store(false);
}

bool accountingWorks() {
    return works.load();
}

std::int64_t copyAccountingSteps(std::int64_t core, AccountingStep* out) {
    if (rings == nullptr || core < 0 || core >= ringCores) return 0;
    lockSamples();
    const std::int64_t stored = stepsInRing[core];
    const std::int64_t count = stored < accountingStepsKept ? stored : accountingStepsKept;
    for (std::int64_t k = 0; k < count; ++k) {
        out[k] = rings[core * accountingStepsKept + (stored - count + k) % accountingStepsKept];
    }
    unlockSamples();
    return count;
}

std::int64_t accountingResolutionUs() {
    lockSamples();
    const std::int64_t r = resolutionUs;
    unlockSamples();
    return r;
}
