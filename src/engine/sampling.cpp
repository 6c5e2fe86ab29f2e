#include "engine/sampling.h"

#include <charconv>

#include "engine/accounting.h"
#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/stall_cause.h"
#include "engine/suspend_state.h"
#include "engine/ticks.h"
#include "engine/timer_event.h"
#include "engine/wake_figures.h"

TimerEventSink timerEventSink = nullptr;
bool fineColumns = false;
void (*stallSeen)() = nullptr;

namespace {

// The performance counter at each core's baseline, beside lastTick; kept
// only while the run is recorded. Each entry belongs to its core's thread.
std::int64_t lastCounter[perCoreEntries];
// What each core's timer sampler knows of the machine's sleeps.
SuspendWatch timerWatch[perCoreEntries];

}  // namespace

std::int64_t deviationSince(std::uint32_t now, std::int64_t previous) {
    const std::uint32_t elapsed = now - static_cast<std::uint32_t>(previous);
    return static_cast<std::int64_t>(elapsed) - timerPeriodMs;
}

std::int64_t lateMicroseconds(std::int64_t now, std::int64_t previous, std::int64_t frequency) {
    return ticksToMicroseconds(now - previous, frequency) - timerPeriodMs * 1000;
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

std::int64_t fineColumnHeight(std::int64_t lateUs) {
    return lateUs * graphUnitsPerPeriod / fineFullHeightUs;
}

std::int64_t formatFineLabel(std::int64_t lateUs, char* out) {
    constexpr std::int64_t usPerMs = 1000;
    constexpr std::int64_t usPerTenth = 100;
    if (lateUs >= fineTenthsBelowUs || lateUs < 0) {
        const std::int64_t ms = lateUs / usPerMs;
        return formatLabel(ms > labelCapMs ? labelCapMs : ms, out);
    }
    // "+d.dms": at most 7 characters and the terminating zero.
    const std::int64_t tenths = lateUs / usPerTenth;
    char* end = out;
    *end++ = '+';
    *end++ = static_cast<char>('0' + tenths / 10);
    *end++ = '.';
    *end++ = static_cast<char>('0' + tenths % 10);
    *end++ = 'm';
    *end++ = 's';
    *end = '\0';
    return end - out;
}

namespace {

// Scrolls `core`'s graph by `n` columns, the new ones of value `v`, and
// offers `h` to the tray peak; with sampleLock held.
void scrollRow(std::int64_t core, std::int64_t n, std::int64_t v, std::int64_t h) {
    sampleTables.rowDirty[core] = 1;
    if (h > sampleTables.trayPeak[core]) sampleTables.trayPeak[core] = h;
    std::int64_t* row = &sampleTables.graphColumns[core * graphStride];
    row[graphStride - 1] = v;
    for (std::int64_t j = 0; j <= graphStride - 1 - n; ++j) row[j] = row[j + n];
    for (std::int64_t j = graphStride - n; j <= graphWidth - 1; ++j) row[j] = graphUnitsPerPeriod;
    row[graphWidth - 1] = row[graphStride - 1];
}

// With fineColumns: one column per timer event whatever the height, which
// only the tray peak takes uncapped.
void plotFineColumn(std::int64_t core, std::int64_t lateUs) {
    const std::int64_t h = fineColumnHeight(lateUs < 0 ? 0 : lateUs);
    lockSamples();
    scrollRow(core, 1, h > graphUnitsPerPeriod - 1 ? graphUnitsPerPeriod : h + 1, h);
    unlockSamples();
}

}  // namespace

std::int64_t advanceGraph(std::int64_t core, std::int64_t height) {
    const std::int64_t h = height < 0 ? 0 : height;
    std::int64_t n = 1;
    std::int64_t v = h + 1;
    if (h > graphUnitsPerPeriod - 1) {
        // One column per whole period lost; the double division matches the
        // integer quotient for every height that can occur.
        n = static_cast<std::int64_t>(static_cast<double>(h) / 15.0);
        if (n > maxScrollCount) n = maxScrollCount;
        v = graphUnitsPerPeriod;
    }
    lockSamples();
    scrollRow(core, n, v, h);
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
    // A machine that slept is not a late timer: the event is dropped (no
    // statistics, log, graph or label) and the next period starts now.
    if (intervalSuspended(timerWatch[core])) {
        markTimerBaseline(core);
        return 0;
    }
    // With fine columns the graph and the label show the wake-up sampler's
    // worst since the previous event, in us, instead of this event's lateness;
    // the record draws the same figure on its timeline.
    const std::int64_t wakeWorstUs = fineColumns ? takeColumnWorstUs(core) : -1;
    event.wakeWorstUs = wakeWorstUs;
    const std::int64_t shown = fineColumns ? (wakeWorstUs < 0 ? 0 : wakeWorstUs) : d;
    if (fineColumns) {
        plotFineColumn(core, shown);
    } else {
        plotDeviation(core, d);
    }

    // Slide the window of the last 15 deviations and find its maximum. Only
    // this core's thread uses the row, so no lock is needed.
    std::int64_t* window = &sampleTables.deviationWindow[core * deviationStride];
    std::int64_t m = shown;
    for (std::int64_t k = 0; k < deviationCount - 1; ++k) {
        const std::int64_t x = window[k + 1];
        window[k] = x;
        if (x > m) m = x;
    }
    window[deviationCount - 1] = shown;
    if (m > labelCapMs && !fineColumns) m = labelCapMs;

    lockSamples();
    if (fineColumns) {
        formatFineLabel(m, sampleTables.labelText[core]);
    } else {
        formatLabel(m, sampleTables.labelText[core]);
    }
    sampleTables.rowDirty[core] = 1;
    if (sink != nullptr) sink(event);
    unlockSamples();

    // Core 0's period paces the reading of every core's time accounting;
    // before the baseline, so that the call is not lateness of the next event.
    if (core == 0 && accountingReader != nullptr) accountingReader();
    if (event.lateUs >= snapshotStallUs && stallSeen != nullptr) stallSeen();

    // Read afresh: the time spent handling this event is not lateness of the next.
    markTimerBaseline(core);
    return 0;
}
