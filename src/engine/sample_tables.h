// The per-core tables shared by the samplers (writers) and the monitor window
// (reader). Plain global state with fixed capacities: nothing here is ever
// resized, so a sampler can never see a table move under it.
#pragma once

#include <cstdint>

// Capacity in cores. The system reports at most 64 processors per group;
// cores beyond this capacity are not sampled.
constexpr std::int64_t maxCores = 256;
// Per-core tables other than graphColumns carry one spare entry.
constexpr std::int64_t perCoreEntries = maxCores + 1;
// deviationWindow: 15 deviations per core, columns 0..14; column 15 unused.
constexpr std::int64_t deviationStride = 16;
constexpr std::int64_t deviationCount = 15;
// graphColumns: 128 drawn columns plus the incoming slot in column 128.
constexpr std::int64_t graphStride = 129;
constexpr std::int64_t graphWidth = 128;
constexpr std::int64_t trayHistoryEntries = 17;
// "+", a sign and at most 19 digits, "ms" and the terminating zero fit.
constexpr std::int64_t labelCapacity = 32;

struct SampleTables {
    std::int64_t coreCount;       // set once by the window setup
    std::int64_t repaintCounter;  // monitor repaints since the last tray update
    std::int64_t anyRowRedrawn;   // 0 or 1: a row was redrawn since the last tray update

    // Owned by the thread that samples the core; used without the lock.
    std::int64_t lastTick[perCoreEntries];
    std::int64_t deviationWindow[perCoreEntries * deviationStride];

    // Guarded by sampleLock.
    std::int64_t graphColumns[maxCores * graphStride];
    char labelText[perCoreEntries][labelCapacity];
    std::int64_t labelWidth[perCoreEntries];
    std::uint8_t rowDirty[perCoreEntries];
    std::int64_t trayPeak[perCoreEntries];
    std::int64_t trayHistory[trayHistoryEntries];
};

// Static storage: the tables exist from process start to process end, so a
// sampler thread that is still running while the process shuts down can never
// touch released memory.
extern SampleTables sampleTables;

// Zero-fills every table and scalar (strings become empty).
void createSampleTables();
