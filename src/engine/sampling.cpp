#include "engine/sampling.h"

#include "engine/platform_seam.h"
#include "engine/sample_tables.h"

std::int64_t deviationSince(std::uint32_t now, std::int64_t previous) {
    const std::uint32_t elapsed = now - static_cast<std::uint32_t>(previous);
    return static_cast<std::int64_t>(elapsed) - timerPeriodMs;
}

std::int64_t formatLabel(std::int64_t m, char* out) {
    // Digits are produced from the magnitude as unsigned, so the most
    // negative value formats correctly too.
    char digits[24];
    std::int64_t count = 0;
    std::uint64_t magnitude = m < 0 ? 0 - static_cast<std::uint64_t>(m) : static_cast<std::uint64_t>(m);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);

    std::int64_t length = 0;
    out[length++] = '+';
    if (m < 0) out[length++] = '-';
    while (count > 0) out[length++] = digits[--count];
    out[length++] = 'm';
    out[length++] = 's';
    out[length] = '\0';
    return length;
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

std::int64_t recordTimerEvent(std::int64_t core) {
    const std::int64_t d = deviationSince(readTickCount(), sampleTables.lastTick[core]);
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
    unlockSamples();

    // Read afresh: the time spent handling this event is not lateness of the next.
    sampleTables.lastTick[core] = readTickCount();
    return 0;
}
