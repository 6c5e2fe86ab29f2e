// The wake-up samplers' figures: one record per core, written by that core's
// wake-up thread alone and read by any thread without a lock. Several fields
// that must be read together sit behind a sequence counter: the writer makes
// it odd, writes, and makes it even again; a reader retries until it saw the
// same even value before and after its copy. The writer never waits.
#include "engine/wake_figures.h"

#include <atomic>
#include <new>

#include "engine/platform_seam.h"
#include "engine/stall_cause.h"
#include "engine/wake_statistics.h"
#include "engine/worst_list.h"

namespace {

// Multiple of two, so that the queue's positions may simply run on.
static_assert((lateWakeQueueCapacity & (lateWakeQueueCapacity - 1)) == 0, "queue capacity must be a power of two");
static_assert((wakeStallQueueCapacity & (wakeStallQueueCapacity - 1)) == 0, "queue capacity must be a power of two");

// Each part that another thread reads lies on its own cache lines, so the
// reader's copies do not slow the writer down through false sharing.
constexpr std::size_t cacheLine = 64;

struct LateWake {
    std::int64_t utcMs;
    std::int64_t lateUs;
};

struct alignas(cacheLine) CoreWakes {
    // Statistics, behind statisticsSequence.
    std::atomic<std::uint64_t> statisticsSequence;
    std::atomic<std::int64_t> events;
    std::atomic<std::int64_t> skipped;
    std::atomic<std::int64_t> minUs;
    std::atomic<std::int64_t> maxUs;
    std::atomic<std::int64_t> sumUs;
    std::atomic<std::int64_t> maxAtUtcMs;
    std::atomic<std::int64_t> over1ms;
    std::atomic<std::int64_t> linesNotLogged;
    std::atomic<std::int64_t> histogram[wakeHistogramBucketCount];

    // The worst wake-ups, largest first, behind worstSequence: a copy of
    // ownWorst, the writer's own list, for the readers.
    alignas(cacheLine) std::atomic<std::uint64_t> worstSequence;
    std::atomic<std::int64_t> worstCount;
    std::atomic<std::int64_t> worstUtcMs[worstWakesKept];
    std::atomic<std::int64_t> worstLateUs[worstWakesKept];

    // Raised by the writer, taken (reset to 0) by the window's timer sampler.
    alignas(cacheLine) std::atomic<std::int64_t> columnWorstUs;

    // The queue for the log: the writer owns queueEnd, the reader queueBegin;
    // a slot is the writer's until queueEnd passes it and the reader's until
    // queueBegin does.
    alignas(cacheLine) std::atomic<std::uint64_t> queueEnd;
    std::atomic<std::int64_t> dropped;
    // The wake lines' limit, the writer's alone: lines queued in this
    // second, and the largest wake-up over the limit, held to its end.
    std::int64_t linesThisSecond;
    bool holding;
    LateWake held;
    WakeEvent ownWorst[worstWakesKept];
    std::int64_t ownWorstCount;
    alignas(cacheLine) std::atomic<std::uint64_t> queueBegin;
    LateWake queue[lateWakeQueueCapacity];

    // Every stall, for its cause, as the queue above: the writer owns
    // stallsEnd, the reader stallsBegin.
    alignas(cacheLine) std::atomic<std::uint64_t> stallsEnd;
    std::atomic<std::int64_t> stallsDropped;
    alignas(cacheLine) std::atomic<std::uint64_t> stallsBegin;
    WakeStall stalls[wakeStallQueueCapacity];
};

CoreWakes* coreWakes = nullptr;
// Whether late wake-ups are queued for a log: without one nobody takes them
// from the queues, and a full queue would count its wake-ups as lost lines.
std::atomic<bool> linesForLog{true};
// A column without any wake-up: below every lateness recordWake keeps (>= 0).
constexpr std::int64_t noColumnWorst = -1;
std::int64_t wakeCoreCount = 0;

constexpr auto relaxed = std::memory_order_relaxed;
// A field behind a sequence counter: a reader that sees its new value also
// sees the counter made odd before it.
constexpr auto publish = std::memory_order_release;
constexpr auto observe = std::memory_order_acquire;

// Writer side of a sequence counter: odd while the fields change.
void beginWrite(std::atomic<std::uint64_t>& sequence) {
    sequence.store(sequence.load(relaxed) + 1, relaxed);
}

void endWrite(std::atomic<std::uint64_t>& sequence) {
    sequence.store(sequence.load(relaxed) + 1, std::memory_order_release);
}

void addToStatistics(CoreWakes& w, std::int64_t lateUs, std::int64_t skipped, std::int64_t utcMs, bool notLogged) {
    beginWrite(w.statisticsSequence);
    countWake(w, lateUs, skipped, utcMs, notLogged);
    endWrite(w.statisticsSequence);
}

// One core's wake-ups come in the order of its grid, so among equal
// lateness the one kept first is the earlier: the lateness alone decides,
// and a wake-up that only ties the last kept one needs no time of day.
bool lateFirst(const WakeEvent& a, const WakeEvent& b) {
    return a.lateUs > b.lateUs;
}

void addToWorst(CoreWakes& w, std::int64_t core, std::int64_t lateUs, std::int64_t utcMs) {
    const std::int64_t at = keepWorst(w.ownWorst, w.ownWorstCount, worstWakesKept, WakeEvent{core, utcMs, lateUs}, lateFirst);
    if (at < 0) return;
    beginWrite(w.worstSequence);
    for (std::int64_t k = at; k < w.ownWorstCount; ++k) {
        w.worstLateUs[k].store(w.ownWorst[k].lateUs, publish);
        w.worstUtcMs[k].store(w.ownWorst[k].utcMs, publish);
    }
    w.worstCount.store(w.ownWorstCount, publish);
    endWrite(w.worstSequence);
}

void raiseColumnWorst(CoreWakes& w, std::int64_t lateUs) {
    std::int64_t seen = w.columnWorstUs.load(relaxed);
    // Lock-free: a failed exchange means the window just took the figure,
    // and the loop tries again against the fresh value.
    while (lateUs > seen && !w.columnWorstUs.compare_exchange_weak(seen, lateUs, relaxed)) {
    }
}

void queueLateWake(CoreWakes& w, std::int64_t lateUs, std::int64_t utcMs) {
    const std::uint64_t end = w.queueEnd.load(relaxed);
    if (end - w.queueBegin.load(std::memory_order_acquire) >= static_cast<std::uint64_t>(lateWakeQueueCapacity)) {
        w.dropped.store(w.dropped.load(relaxed) + 1, relaxed);
        return;
    }
    w.queue[end % lateWakeQueueCapacity] = LateWake{utcMs, lateUs};
    w.queueEnd.store(end + 1, std::memory_order_release);
}

void queueStall(CoreWakes& w, std::int64_t core, std::int64_t lateUs, std::int64_t utcMs) {
    const std::uint64_t end = w.stallsEnd.load(relaxed);
    if (end - w.stallsBegin.load(std::memory_order_acquire) >= static_cast<std::uint64_t>(wakeStallQueueCapacity)) {
        w.stallsDropped.store(w.stallsDropped.load(relaxed) + 1, relaxed);
        return;
    }
    w.stalls[end % wakeStallQueueCapacity] = WakeStall{core, readPerformanceCounter(), utcMs, lateUs};
    w.stallsEnd.store(end + 1, std::memory_order_release);
}

// The first wakeLinesPerSecond - 1 late wake-ups of a second go to the
// queue; of the rest the largest (the earliest of equals) is held for the
// second's end, so that a second never logs more than wakeLinesPerSecond
// and always logs its worst. Answers whether this one is left out for now.
bool limitWakeLine(CoreWakes& w, std::int64_t lateUs, std::int64_t utcMs) {
    if (w.linesThisSecond < wakeLinesPerSecond - 1) {
        ++w.linesThisSecond;
        queueLateWake(w, lateUs, utcMs);
        return false;
    }
    if (!w.holding || lateUs > w.held.lateUs) {
        w.held = LateWake{utcMs, lateUs};
        w.holding = true;
    }
    return true;
}

bool validCore(std::int64_t core) {
    return coreWakes != nullptr && core >= 0 && core < wakeCoreCount;
}

}  // namespace

bool createWakeFigures(std::int64_t coreCount) {
    if (coreWakes != nullptr || coreCount < 1) return coreWakes != nullptr;
    // Value-initialised: every counter starts at zero.
    coreWakes = new (std::nothrow) CoreWakes[static_cast<std::size_t>(coreCount)]();
    if (coreWakes == nullptr) return false;
    for (std::int64_t core = 0; core < coreCount; ++core) coreWakes[core].columnWorstUs.store(noColumnWorst, relaxed);
    linesForLog.store(true, relaxed);
    wakeCoreCount = coreCount;
    return true;
}

void freeWakeFigures() {
    delete[] coreWakes;
    coreWakes = nullptr;
    wakeCoreCount = 0;
}

void setWakeLinesLogged(bool logged) {
    linesForLog.store(logged, relaxed);
}

bool wakeFiguresExist() {
    return coreWakes != nullptr;
}

bool wakeNeedsTime(std::int64_t core, std::int64_t lateUs) {
    if (!validCore(core)) return false;
    const CoreWakes& w = coreWakes[core];
    return lateUs > lateWakeUs || w.worstCount.load(relaxed) < worstWakesKept ||
           lateUs > w.worstLateUs[worstWakesKept - 1].load(relaxed);
}

void recordWake(std::int64_t core, std::int64_t lateUs, std::int64_t skipped, std::int64_t utcMs) {
    if (!validCore(core)) return;
    CoreWakes& w = coreWakes[core];
    const std::int64_t late = lateUs < 0 ? 0 : lateUs;
    const bool notLogged = late > lateWakeUs && linesForLog.load(relaxed) && limitWakeLine(w, late, utcMs);
    addToStatistics(w, late, skipped, utcMs, notLogged);
    addToWorst(w, core, late, utcMs);
    raiseColumnWorst(w, late);
    if (late > stallLateUs) queueStall(w, core, late, utcMs);
    if (late >= snapshotStallUs && stallSeen != nullptr) stallSeen();
}

void endWakeLineSecond(std::int64_t core) {
    if (!validCore(core)) return;
    CoreWakes& w = coreWakes[core];
    w.linesThisSecond = 0;
    if (!w.holding) return;
    w.holding = false;
    beginWrite(w.statisticsSequence);
    w.linesNotLogged.store(w.linesNotLogged.load(relaxed) - 1, publish);
    endWrite(w.statisticsSequence);
    queueLateWake(w, w.held.lateUs, w.held.utcMs);
}

void readWakeStatistics(std::int64_t core, WakeStatistics& out) {
    out = WakeStatistics{};
    if (!validCore(core)) return;
    const CoreWakes& w = coreWakes[core];
    for (;;) {
        const std::uint64_t before = w.statisticsSequence.load(std::memory_order_acquire);
        if ((before & 1U) == 0) {
            out.events = w.events.load(observe);
            out.skipped = w.skipped.load(observe);
            out.minUs = w.minUs.load(observe);
            out.maxUs = w.maxUs.load(observe);
            out.sumUs = w.sumUs.load(observe);
            out.maxAtUtcMs = w.maxAtUtcMs.load(observe);
            out.over1ms = w.over1ms.load(observe);
            out.linesNotLogged = w.linesNotLogged.load(observe);
            for (std::int64_t b = 0; b < wakeHistogramBucketCount; ++b) out.histogram[b] = w.histogram[b].load(observe);
            if (w.statisticsSequence.load(observe) == before) return;
        }
    }
}

std::int64_t readWorstWakes(std::int64_t core, WakeEvent* out, std::int64_t max) {
    if (!validCore(core) || max <= 0) return 0;
    const CoreWakes& w = coreWakes[core];
    for (;;) {
        const std::uint64_t before = w.worstSequence.load(std::memory_order_acquire);
        if ((before & 1U) == 0) {
            std::int64_t n = w.worstCount.load(observe);
            if (n > max) n = max;
            for (std::int64_t i = 0; i < n; ++i) {
                out[i] = WakeEvent{core, w.worstUtcMs[i].load(observe), w.worstLateUs[i].load(observe)};
            }
            if (w.worstSequence.load(observe) == before) return n;
        }
    }
}

bool wakeRanksBefore(const WakeEvent& a, const WakeEvent& b) {
    return ranksWorse(a.lateUs, a.utcMs, a.core, b.lateUs, b.utcMs, b.core);
}

std::int64_t readWorstWakesOfRun(WakeEvent* out, std::int64_t max) {
    std::int64_t n = 0;
    for (std::int64_t core = 0; core < wakeCoreCount; ++core) {
        WakeEvent mine[worstWakesKept];
        const std::int64_t count = readWorstWakes(core, mine, worstWakesKept);
        // On a tie the earlier wake-up leads, whichever core it came from.
        // The core's own list is largest first: once one is not kept, none
        // after it is.
        for (std::int64_t i = 0; i < count; ++i) {
            if (keepWorst(out, n, max, mine[i], wakeRanksBefore) < 0) break;
        }
    }
    return n;
}

// Takes up to `max` slots of one of a core's queues (its reader's end), each
// turned into an output by `take`.
template <typename Slot, typename Out, typename Take>
std::int64_t popQueue(std::atomic<std::uint64_t>& queueBegin, const std::atomic<std::uint64_t>& queueEnd,
                      const Slot* slots, std::uint64_t capacity, Out* out, std::int64_t max, Take take) {
    const std::uint64_t begin = queueBegin.load(relaxed);
    const std::uint64_t end = queueEnd.load(std::memory_order_acquire);
    std::int64_t n = 0;
    for (std::uint64_t at = begin; at != end && n < max; ++at, ++n) out[n] = take(slots[at % capacity]);
    // Hands the slots back to the writer only after they were copied.
    queueBegin.store(begin + static_cast<std::uint64_t>(n), std::memory_order_release);
    return n;
}

std::int64_t popLateWakes(std::int64_t core, WakeEvent* out, std::int64_t max) {
    if (!validCore(core) || max <= 0) return 0;
    CoreWakes& w = coreWakes[core];
    return popQueue(w.queueBegin, w.queueEnd, w.queue, lateWakeQueueCapacity, out, max,
                    [core](const LateWake& slot) { return WakeEvent{core, slot.utcMs, slot.lateUs}; });
}

std::int64_t lateWakesDropped(std::int64_t core) {
    return validCore(core) ? coreWakes[core].dropped.load(relaxed) : 0;
}

std::int64_t takeColumnWorstUs(std::int64_t core) {
    return validCore(core) ? coreWakes[core].columnWorstUs.exchange(noColumnWorst, relaxed) : noColumnWorst;
}

std::int64_t popWakeStalls(std::int64_t core, WakeStall* out, std::int64_t max) {
    if (!validCore(core) || max <= 0) return 0;
    CoreWakes& w = coreWakes[core];
    return popQueue(w.stallsBegin, w.stallsEnd, w.stalls, wakeStallQueueCapacity, out, max,
                    [](const WakeStall& slot) { return slot; });
}

std::int64_t wakeStallsDropped(std::int64_t core) {
    return validCore(core) ? coreWakes[core].stallsDropped.load(relaxed) : 0;
}
