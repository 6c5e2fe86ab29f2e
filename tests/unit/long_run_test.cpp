// A long run: a million timer events spread over 64 cores with random
// lateness (early, punctual, tiny, huge, and across the tick wrap), checking
// after each event that the tables hold what a plain model of the rules says.
// Meant for the AddressSanitizer/UndefinedBehaviorSanitizer preset, which
// also catches any write outside a row.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "tests/support/fake_platform.h"

namespace {

constexpr std::int64_t cores = 64;

std::int64_t randomDeviation(std::mt19937_64& random) {
    switch (random() % 8) {
    case 0: return -static_cast<std::int64_t>(random() % 101);    // early, down to a 0 ms interval
    case 1: return static_cast<std::int64_t>(random() % 3);       // punctual
    case 2: return static_cast<std::int64_t>(random() % 20);      // tiny
    case 3: return static_cast<std::int64_t>(random() % 100);     // under one period
    case 4: return static_cast<std::int64_t>(random() % 400);     // a few periods
    case 5: return static_cast<std::int64_t>(random() % 20000);   // long stalls, past the caps
    case 6: return static_cast<std::int64_t>(random() % 15000000); // hours
    default: return 0;
    }
}

struct CoreModel {
    std::deque<std::int64_t> window = std::deque<std::int64_t>(15, 0);
    std::int64_t peak = 0;
    std::int64_t scrolled = 0;  // columns added since start
};

TEST(LongRun, MillionEventsKeepTheTablesConsistent) {
    const char* seedText = std::getenv("VANTREL_LONG_RUN_SEED");
    const std::uint64_t seed = seedText != nullptr ? std::strtoull(seedText, nullptr, 10) : 20261207u;
    SCOPED_TRACE("seed " + std::to_string(seed) + " (set VANTREL_LONG_RUN_SEED to replay)");
    std::mt19937_64 random(seed);

    createSampleTables();
    sampleTables.coreCount = cores;
    // Start close to the wrap so that many intervals span it.
    std::uint32_t clock = 0xFFFFFFFFu - 50000u;
    setFakeTick(clock);
    for (std::int64_t c = 0; c < cores; ++c) sampleTables.lastTick[c] = clock;
    std::vector<CoreModel> model(cores);

    constexpr int events = 1000000;
    for (int e = 0; e < events; ++e) {
        const std::int64_t core = static_cast<std::int64_t>(random() % cores);
        const std::int64_t d = randomDeviation(random);
        // The event arrives d ms after lastTick + 100, read on the 32-bit clock.
        clock = static_cast<std::uint32_t>(sampleTables.lastTick[core]) + static_cast<std::uint32_t>(100 + d);
        setFakeTick(clock);
        recordTimerEvent(core);

        CoreModel& m = model[core];
        m.window.pop_front();
        m.window.push_back(d);
        std::int64_t maximum = m.window[0];
        for (std::int64_t x : m.window) maximum = x > maximum ? x : maximum;
        if (maximum > labelCapMs) maximum = labelCapMs;
        std::int64_t h = d * 15 / 100;
        if (h < 0) h = 0;
        if (h > m.peak) m.peak = h;
        const std::int64_t n = h <= 14 ? 1 : (h / 15 > 129 ? 129 : h / 15);
        m.scrolled += n;

        const std::int64_t* row = &sampleTables.graphColumns[core * graphStride];
        ASSERT_EQ(row[graphWidth], row[graphWidth - 1]) << "event " << e;
        // Written columns hold 1..15; only never-written ones still hold 0.
        const std::int64_t written = m.scrolled < graphWidth ? m.scrolled : graphWidth;
        for (std::int64_t k = 0; k < graphWidth; ++k) {
            if (k >= graphWidth - written) {
                ASSERT_GE(row[k], 1) << "event " << e << " column " << k;
                ASSERT_LE(row[k], 15) << "event " << e << " column " << k;
            } else {
                ASSERT_EQ(row[k], 0) << "event " << e << " column " << k;
            }
        }
        ASSERT_EQ(row[graphWidth - 1], n == 1 ? (h <= 14 ? h + 1 : 15) : 15) << "event " << e;
        ASSERT_EQ(sampleTables.trayPeak[core], m.peak) << "event " << e;
        ASSERT_GE(sampleTables.trayPeak[core], 0);
        ASSERT_EQ(std::string(sampleTables.labelText[core]), "+" + std::to_string(maximum) + "ms") << "event " << e;
        ASSERT_EQ(sampleTables.rowDirty[core], 1);
        ASSERT_EQ(sampleTables.lastTick[core], static_cast<std::int64_t>(clock));

        // Now and then a repaint takes the peaks and the dirty flags.
        if (e % 1000 == 999) {
            for (std::int64_t c = 0; c < cores; ++c) {
                sampleTables.trayPeak[c] = 0;
                sampleTables.rowDirty[c] = 0;
                model[c].peak = 0;
            }
        }
    }
    // Nothing beyond the sampled cores was touched.
    EXPECT_EQ(sampleTables.rowDirty[cores], 0);
    EXPECT_EQ(sampleTables.labelText[cores][0], '\0');
    EXPECT_EQ(sampleTables.trayPeak[cores], 0);
}

}  // namespace
