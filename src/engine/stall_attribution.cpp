// The attribution of stalls to what their core did (stall_attribution.h).
#include "engine/stall_attribution.h"

namespace {

constexpr std::int64_t hundredNsPerUs = 10;

std::int64_t smaller(std::int64_t a, std::int64_t b) {
    return a < b ? a : b;
}

std::int64_t larger(std::int64_t a, std::int64_t b) {
    return a > b ? a : b;
}

// A non-zero candidate lowers the resolution; -1 means none yet.
std::int64_t lowerTo(std::int64_t resolutionUs, std::int64_t candidateUs) {
    if (candidateUs <= 0) return resolutionUs;
    return resolutionUs < 0 || candidateUs < resolutionUs ? candidateUs : resolutionUs;
}

}  // namespace

AccountingStep stepBetween(const CoreTimes& before, const CoreTimes& after, std::int64_t fromUs, std::int64_t toUs) {
    const std::int64_t idle = after.idle - before.idle;
    const std::int64_t kernel = after.kernel - before.kernel;
    const std::int64_t user = after.user - before.user;
    const std::int64_t dpc = after.dpc - before.dpc;
    const std::int64_t interrupt = after.interrupt - before.interrupt;
    const std::int64_t threads = user + kernel - idle - dpc - interrupt;
    // Kernel time holds the idle, DPC and interrupt time: less of it than of
    // them is as impossible as a counter that runs backwards.
    const bool usable = idle >= 0 && kernel >= 0 && user >= 0 && dpc >= 0 && interrupt >= 0 && threads >= 0 &&
                        toUs > fromUs;
    if (!usable) return AccountingStep{fromUs, toUs, 0, 0, 0, false};
    return AccountingStep{fromUs, toUs, threads / hundredNsPerUs, (dpc + interrupt) / hundredNsPerUs,
                          idle / hundredNsPerUs, true};
}

std::int64_t finerResolution(std::int64_t resolutionUs, const AccountingStep& step, const AccountingStep& previous) {
    if (!step.usable) return resolutionUs;
    const std::int64_t busy = step.threadsUs + step.driversUs;
    std::int64_t r = lowerTo(lowerTo(resolutionUs, step.idleUs), busy);
    if (!previous.usable) return r;
    const std::int64_t previousBusy = previous.threadsUs + previous.driversUs;
    r = lowerTo(r, larger(step.idleUs, previous.idleUs) - smaller(step.idleUs, previous.idleUs));
    return lowerTo(r, larger(busy, previousBusy) - smaller(busy, previousBusy));
}

StallCause classifyStall(const StallDuring& during) {
    // At least half: 2 x time >= span, so that an odd span is not rounded.
    if (2 * during.driversUs >= during.spanUs) return StallCause::drivers;
    if (2 * during.threadsUs >= during.spanUs) return StallCause::threads;
    if (2 * during.idleUs >= during.spanUs) return StallCause::idle;
    return StallCause::mixed;
}

Attribution attributeStall(const AccountingStep* steps, std::int64_t stepCount, std::int64_t endUs, std::int64_t lateUs,
                           std::int64_t resolutionUs) {
    const Attribution unknown{StallCause::unknown, StallDuring{lateUs, -1, -1, -1}, false};
    std::int64_t reachedUs = -1;
    for (std::int64_t k = 0; k < stepCount; ++k) reachedUs = larger(reachedUs, steps[k].toUs);
    // Nothing read yet, or not up to the stall's end: the next readings may tell.
    if (stepCount == 0 || reachedUs < endUs || resolutionUs < 0) {
        Attribution later = unknown;
        later.waiting = true;
        return later;
    }
    if (lateUs <= 0 || lateUs < 2 * resolutionUs) return unknown;

    const std::int64_t startUs = endUs - lateUs;
    StallDuring during{lateUs, 0, 0, 0};
    std::int64_t coveredUs = 0;
    for (std::int64_t k = 0; k < stepCount; ++k) {
        const AccountingStep& s = steps[k];
        const std::int64_t overlap = smaller(s.toUs, endUs) - larger(s.fromUs, startUs);
        if (overlap <= 0 || !s.usable) continue;
        coveredUs += overlap;
        during.threadsUs += smaller(s.threadsUs, overlap);
        during.driversUs += smaller(s.driversUs, overlap);
        during.idleUs += smaller(overlap, larger(0, s.idleUs - (s.toUs - s.fromUs - overlap)));
    }
    // A part before the oldest step kept, or in a step read wrongly, could
    // hold anything.
    if (coveredUs < lateUs) return unknown;
    return Attribution{classifyStall(during), during, false};
}

const char* stallCauseName(StallCause cause) {
    switch (cause) {
        case StallCause::threads:
            return "threads";
        case StallCause::drivers:
            return "drivers";
        case StallCause::idle:
            return "idle";
        case StallCause::mixed:
            return "mixed";
        case StallCause::unknown:
            break;
    }
    return "unknown";
}
