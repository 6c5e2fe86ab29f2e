#include "engine/sampling.h"

#include <charconv>

#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/timer_event.h"

TimerEventSink timerEventSink = nullptr;

namespace {

// The performance counter at each core's baseline, beside lastTick; kept
// only while the run is recorded. Each entry belongs to its core's thread.
std::int64_t lastCounter[perCoreEntries];

}  // namespace

std::int64_t deviationSince(std::uint32_t now, std::int64_t previous) {
    const std::uint32_t elapsed = now - static_cast<std::uint32_t>(previous);
    return static_cast<std::int64_t>(elapsed) - timerPeriodMs;
}

std::int64_t lateMicroseconds(std::int64_t now, std::int64_t previous, std::int64_t frequency) {
    constexpr std::int64_t microsPerSecond = 1000000;
    // Whole seconds first: the product of a long interval and a million
    // would overflow where the seconds and the rest do not.
    const std::int64_t counts = now - previous;
    const std::int64_t micros =
        counts / frequency * microsPerSecond + counts % frequency * microsPerSecond / frequency;
    return micros - timerPeriodMs * 1000;
}

std::int64_t formatLabel(std::int64_t m, char* out) {
    out[0] = '+';
    // 20 characters hold any int64 with its sign, so this cannot run short.
    char* end = std::to_chars(out + 1, out + labelCapacity - 3, m).ptr;
    *end++ = 'm';
    *end++ = 's';
    *end = '\0';
    return end - out;
}

std::int64_t advanceGraph(std::int64_t core, std::int64_t height) {
    lockSamples();
    sampleTables.rowDirty[core] = 1;
    std::int64_t h = height < 0 ? 0 : height;
    if (h > sampleTables.trayPeak[core]) sampleTables.trayPeak[core] = h;

    std::int64_t n = 1;
    std::int64_t v = h + 1;
    if (h > graphUnitsPerPeriod - 1) {
        // One column per whole period lost; the double division matches the
        // integer quotient for every height that can occur.
        n = static_cast<std::int64_t>(static_cast<double>(h) / 15.0);
        if (n > maxScrollCount) n = maxScrollCount;
        v = graphUnitsPerPeriod;
    }

    std::int64_t* row = &sampleTables.graphColumns[core * graphStride];
    row[graphStride - 1] = v;
    for (std::int64_t j = 0; j <= graphStride - 1 - n; ++j) row[j] = row[j + n];
    for (std::int64_t j = graphStride - n; j <= graphWidth - 1; ++j) row[j] = graphUnitsPerPeriod;
    row[graphWidth - 1] = row[graphStride - 1];
    unlockSamples();
    return 0;
}

std::int64_t plotDeviation(std::int64_t core, std::int64_t deviationMs) {
    // Truncation toward zero: -6 ms plots as 0, -7 ms as -1 (clamped later).
    const std::int64_t h = deviationMs * graphUnitsPerPeriod / timerPeriodMs;
    advanceGraph(core, h);
    return 0;
}

void markTimerBaseline(std::int64_t core) {
    sampleTables.lastTick[core] = readTickCount();
    if (timerEventSink != nullptr) lastCounter[core] = readPerformanceCounter();
}

std::int64_t recordTimerEvent(std::int64_t core) {
    const std::int64_t d = deviationSince(readTickCount(), sampleTables.lastTick[core]);
    // The same interval by the performance counter, and when it ended, only
    // while someone records the run.
    const TimerEventSink sink = timerEventSink;
    TimerEvent event = {};
    if (sink != nullptr) {
        event = TimerEvent{core, d,
                           lateMicroseconds(readPerformanceCounter(), lastCounter[core], performanceCounterFrequency()),
                           readUtcMilliseconds()};
    }
    plotDeviation(core, d);

    // Slide the window of the last 15 deviations and find its maximum. Only
    // this core's thread uses the row, so no lock is needed.
    std::int64_t* window = &sampleTables.deviationWindow[core * deviationStride];
    std::int64_t m = d;
    for (std::int64_t k = 0; k < deviationCount - 1; ++k) {
        const std::int64_t x = window[k + 1];
        window[k] = x;
        if (x > m) m = x;
    }
    window[deviationCount - 1] = d;
    if (m > labelCapMs) m = labelCapMs;

    lockSamples();
    formatLabel(m, sampleTables.labelText[core]);
    sampleTables.rowDirty[core] = 1;
    if (sink != nullptr) sink(event);
    unlockSamples();

    // Read afresh: the time spent handling this event is not lateness of the next.
    markTimerBaseline(core);
    return 0;
}
