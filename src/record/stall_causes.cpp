// The stalls of the run, queued under the lock and attributed by the writer
// (stall_causes.h).
#include "record/stall_causes.h"

#include <cstdlib>
#include <cstring>

#include "engine/accounting.h"
#include "engine/platform_seam.h"
#include "engine/stall_attribution.h"
#include "engine/ticks.h"
#include "engine/wake_figures.h"
#include "engine/worst_list.h"
#include "record/context_record.h"
#include "record/stall_suspects.h"
#include "record/worst_events.h"

namespace {

// Timer stalls between two writer steps: ten a second on each of about 100
// cores before any is lost (and counted unknown).
constexpr std::int64_t timerQueueCapacity = 1024;
// Stalls waiting for the accounting to cover them: a few seconds of them.
constexpr std::int64_t pendingCapacity = 2048;
// How long a stall may wait for steps that reach its end.
constexpr std::int64_t giveUpAfterUs = 3000000;
// The worst attributed stalls of each kind, ranked as the worst list that
// names them (worst_list.h): by the lateness that list orders by, then the
// earlier time, then the lower core. Whatever the number of stalls, every
// stall a list names is then among them, however many tie.
constexpr std::int64_t attributedKept = worstEventsKept > worstWakesKept ? worstEventsKept : worstWakesKept;

struct PendingStall {
    std::int64_t core;
    std::int64_t endUs;
    std::int64_t utcMs;
    std::int64_t lateUs;
    // What the stall's worst list ranks by: late_ms for a timer event (the
    // tick count's, in steps of 10 to 16 ms, so many stalls tie), late_us
    // for a wake-up.
    std::int64_t rankLate;
    bool wake;
};

struct AttributedStall {
    std::int64_t core;
    std::int64_t utcMs;
    std::int64_t lateUs;
    std::int64_t rankLate;
    StallCause cause;
    StallDuring during;
    StallSuspects suspects;  // known only for threads
};

struct AttributedList {
    AttributedStall kept[attributedKept];
    std::int64_t count;
};

std::int64_t cores = 0;
bool withWakes = false;

// Under the lock.
PendingStall timerQueue[timerQueueCapacity];
std::int64_t timerQueued = 0;
std::int64_t* timerLost = nullptr;  // per core, counted unknown by the writer

// The writer's.
PendingStall pending[pendingCapacity];
std::int64_t pendingCount = 0;
StallCounts* counts = nullptr;
std::int64_t* wakeLostSeen = nullptr;
AttributedList attributedTimer;
AttributedList attributedWake;
WakeStall wakeBatch[wakeStallQueueCapacity];
AccountingStep steps[accountingStepsKept];
// The snapshot's.
StallCounts* countsCopy = nullptr;
StallCause timerCauseCopy[worstEventsKept];
StallDuring timerDuringCopy[worstEventsKept];
StallCause wakeCauseCopy[worstWakesKept];
StallDuring wakeDuringCopy[worstWakesKept];
StallSuspects timerSuspectsCopy[worstEventsKept];
StallSuspects wakeSuspectsCopy[worstWakesKept];

std::int64_t nowUs() {
    return ticksToMicroseconds(readPerformanceCounter(), performanceCounterFrequency());
}

void count(std::int64_t core, bool wake, StallCause cause, std::int64_t n) {
    std::int64_t* row = wake ? counts[core].wake : counts[core].timer;
    row[static_cast<int>(cause)] += n;
}

void addPending(const PendingStall& stall) {
    if (pendingCount < pendingCapacity) {
        pending[pendingCount++] = stall;
    } else {
        count(stall.core, stall.wake, StallCause::unknown, 1);
    }
}

bool attributedRanksBefore(const AttributedStall& a, const AttributedStall& b) {
    return ranksWorse(a.rankLate, a.utcMs, a.core, b.rankLate, b.utcMs, b.core);
}

void offer(AttributedList& list, const AttributedStall& stall) {
    keepWorst(list.kept, list.count, attributedKept, stall, attributedRanksBefore);
}

void takeQueued(std::int64_t endUtcMs) {
    lockSamples();
    for (std::int64_t k = 0; k < timerQueued; ++k) addPending(timerQueue[k]);
    timerQueued = 0;
    for (std::int64_t core = 0; core < cores; ++core) {
        count(core, false, StallCause::unknown, timerLost[core]);
        timerLost[core] = 0;
    }
    unlockSamples();
    for (std::int64_t core = 0; withWakes && core < cores; ++core) {
        const std::int64_t taken = popWakeStalls(core, wakeBatch, wakeStallQueueCapacity);
        for (std::int64_t k = 0; k < taken; ++k) {
            const WakeStall& w = wakeBatch[k];
            if (endUtcMs >= 0 && w.utcMs > endUtcMs) continue;
            addPending(PendingStall{core, ticksToMicroseconds(w.endCounter, performanceCounterFrequency()), w.utcMs,
                                    w.lateUs, w.lateUs, true});
        }
        const std::int64_t lost = wakeStallsDropped(core);
        count(core, true, StallCause::unknown, lost - wakeLostSeen[core]);
        wakeLostSeen[core] = lost;
    }
}

const AttributedStall* findAttributed(const AttributedList& list, std::int64_t core, std::int64_t utcMs,
                                      std::int64_t lateUs) {
    for (std::int64_t k = 0; k < list.count; ++k) {
        const AttributedStall& a = list.kept[k];
        if (a.core == core && a.utcMs == utcMs && a.lateUs == lateUs) return &a;
    }
    return nullptr;
}

void describe(const AttributedList& list, std::int64_t core, std::int64_t utcMs, std::int64_t lateUs, StallCause& cause,
              StallDuring& during, StallSuspects& suspects) {
    const AttributedStall* found = findAttributed(list, core, utcMs, lateUs);
    cause = found != nullptr ? found->cause : StallCause::unknown;
    during = found != nullptr ? found->during : StallDuring{lateUs, -1, -1, -1};
    suspects = found != nullptr ? found->suspects : StallSuspects{};
}

}  // namespace

bool makeStallCauses(std::int64_t coreCount, bool fine) {
    freeStallCauses();
    const auto n = static_cast<std::size_t>(coreCount);
    cores = coreCount;
    withWakes = fine;
    timerQueued = 0;
    pendingCount = 0;
    attributedTimer.count = 0;
    attributedWake.count = 0;
    clearSuspectTally();
    timerLost = static_cast<std::int64_t*>(std::calloc(n, sizeof(std::int64_t)));
    wakeLostSeen = static_cast<std::int64_t*>(std::calloc(n, sizeof(std::int64_t)));
    counts = static_cast<StallCounts*>(std::calloc(n, sizeof(StallCounts)));
    countsCopy = static_cast<StallCounts*>(std::calloc(n, sizeof(StallCounts)));
    return timerLost != nullptr && wakeLostSeen != nullptr && counts != nullptr && countsCopy != nullptr;
}

void freeStallCauses() {
    lockSamples();
    std::free(timerLost);
    timerLost = nullptr;
    cores = 0;
    unlockSamples();
    std::free(wakeLostSeen);
    std::free(counts);
    std::free(countsCopy);
    wakeLostSeen = nullptr;
    counts = nullptr;
    countsCopy = nullptr;
}

void noteTimerStall(const TimerEvent& event) {
    if (event.lateUs <= stallLateUs || timerLost == nullptr || event.core < 0 || event.core >= cores) return;
    if (timerQueued == timerQueueCapacity) {
        ++timerLost[event.core];
        return;
    }
    timerQueue[timerQueued++] = PendingStall{event.core, nowUs(), event.utcMs, event.lateUs, event.lateMs, false};
}

void attributeStalls(bool finishing, std::int64_t endUtcMs) {
    if (counts == nullptr) return;
    takeQueued(endUtcMs);
    const bool works = accountingWorks();
    const std::int64_t resolutionUs = accountingResolutionUs();
    const std::int64_t now = nowUs();
    std::int64_t stepsOf = -1;
    std::int64_t stepCount = 0;
    std::int64_t left = 0;
    for (std::int64_t k = 0; k < pendingCount; ++k) {
        const PendingStall& stall = pending[k];
        if (works && stall.core != stepsOf) {
            stepCount = copyAccountingSteps(stall.core, steps);
            stepsOf = stall.core;
        }
        Attribution a{StallCause::unknown, StallDuring{stall.lateUs, -1, -1, -1}, false};
        if (works) a = attributeStall(steps, stepCount, stall.endUs, stall.lateUs, resolutionUs);
        const bool lastTry = finishing || now - stall.endUs >= giveUpAfterUs;
        // A stall caused by threads also waits for the process snapshot after it.
        StallSuspects suspects{};
        if ((a.waiting && !lastTry) ||
            (a.cause == StallCause::threads &&
             !suspectsOfStall(stall.endUs - stall.lateUs, stall.endUs, lastTry, stall.wake == withWakes, suspects))) {
            pending[left++] = stall;
            continue;
        }
        count(stall.core, stall.wake, a.cause, 1);
        noteAttributedStall(stall.core, stall.utcMs, stall.lateUs, stall.wake, a.cause);
        offer(stall.wake ? attributedWake : attributedTimer,
              AttributedStall{stall.core, stall.utcMs, stall.lateUs, stall.rankLate, a.cause, a.during, suspects});
    }
    pendingCount = left;
}

void describeStallCauses(RunSummary& run) {
    if (counts == nullptr || !accountingWorks()) return;
    std::memcpy(countsCopy, counts, sizeof(StallCounts) * static_cast<std::size_t>(cores));
    for (std::int64_t k = 0; k < run.worstTimerCount && k < worstEventsKept; ++k) {
        const WorstEvent& e = run.worstTimer[k];
        describe(attributedTimer, e.core, e.utcMs, e.lateUs, timerCauseCopy[k], timerDuringCopy[k], timerSuspectsCopy[k]);
    }
    for (std::int64_t k = 0; run.worstWakes != nullptr && k < run.worstWakeCount && k < worstWakesKept; ++k) {
        const WakeEvent& e = run.worstWakes[k];
        describe(attributedWake, e.core, e.utcMs, e.lateUs, wakeCauseCopy[k], wakeDuringCopy[k], wakeSuspectsCopy[k]);
    }
    run.accounting = true;
    run.accountingResolutionUs = accountingResolutionUs();
    run.stallCauses = countsCopy;
    run.worstTimerCause = timerCauseCopy;
    run.worstTimerDuring = timerDuringCopy;
    if (run.worstWakes != nullptr) {
        run.worstWakeCause = wakeCauseCopy;
        run.worstWakeDuring = wakeDuringCopy;
    }
    describeSuspects(run);
    if (!run.suspects) return;
    run.worstTimerSuspects = timerSuspectsCopy;
    if (run.worstWakes != nullptr) run.worstWakeSuspects = wakeSuspectsCopy;
}
