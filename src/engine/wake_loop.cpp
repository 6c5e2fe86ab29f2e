#include "engine/wake_loop.h"

#include "engine/platform_seam.h"
#include "engine/wake_figures.h"

namespace {

constexpr std::int64_t deadlinesPerSecond = 1000;

}  // namespace

WakeGridStep waitForWake(WakeWait wait, void* context, std::uint64_t start, std::int64_t index) {
    const std::int64_t frequency = performanceCounterFrequency();
    for (;;) {
        wait(context, start, index);
        const WakeGridStep step =
            stepWakeGrid(start, frequency, index, static_cast<std::uint64_t>(readPerformanceCounter()));
        if (!step.early) return step;
    }
}

WakeLoop startWakeLoop(std::int64_t core, WakeWait wait, void* context) {
    return WakeLoop{core, wait, context, static_cast<std::uint64_t>(readPerformanceCounter()), 1, 0, SuspendWatch{}};
}

void runWakeOnce(WakeLoop& loop) {
    const WakeGridStep step = waitForWake(loop.wait, loop.context, loop.start, loop.index);
    // Time asleep is not lateness: the wake-up is dropped and a fresh grid
    // starts from it. The held wake line of the old grid's second goes out.
    if (intervalSuspended(loop.watch)) {
        endWakeLineSecond(loop.core);
        loop.start = static_cast<std::uint64_t>(readPerformanceCounter());
        loop.index = 1;
        loop.second = 0;
        return;
    }
    loop.index = step.nextIndex;
    // The last deadline passed tells the second: a stall that spans several
    // ends the one before it once.
    const std::int64_t second = (step.nextIndex - 1) / deadlinesPerSecond;
    if (second != loop.second) {
        endWakeLineSecond(loop.core);
        loop.second = second;
    }
    const std::int64_t utcMs = wakeNeedsTime(loop.core, step.lateUs) ? readUtcMilliseconds() : 0;
    recordWake(loop.core, step.lateUs, step.skipped, utcMs);
}
