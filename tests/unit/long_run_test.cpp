// A long run: a million timer events spread over 64 cores with random
// lateness (early, punctual, tiny, huge, and across the tick wrap), checking
// after each event the whole graph row, the label and the tray peak against a
// model written in terms of the lateness d alone. Meant also for the
// AddressSanitizer/UndefinedBehaviorSanitizer preset, which catches any write
// outside a row.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
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

// One core as a viewer sees it: the 128 drawn columns as a ring (oldest at
// `oldest`), the last 15 deviations as a ring, and the tray peak.
struct CoreModel {
    std::array<std::int64_t, 128> columns{};
    std::size_t oldest = 0;
    std::array<std::int64_t, 15> recent{};
    std::size_t nextRecent = 0;
    std::int64_t peak = 0;
};

void addColumns(CoreModel& m, std::int64_t count, std::int64_t height) {
    for (std::int64_t i = 0; i < count; ++i) {
        m.columns[m.oldest] = height;
        m.oldest = (m.oldest + 1) % 128;
    }
}

// The event of a core d ms late: under a period one column (1 pixel above
// the bottom when on time or early, 15 pixels per 100 ms), from a period on
// one full column per whole period lost, 129 at most.
void modelEvent(CoreModel& m, std::int64_t d) {
    if (d < 0) {
        addColumns(m, 1, 1);
    } else if (d < 100) {
        addColumns(m, 1, d * 15 / 100 + 1);
    } else {
        addColumns(m, std::min<std::int64_t>(d / 100, 129), 15);
    }
    m.peak = std::max(m.peak, d < 0 ? 0 : d * 15 / 100);
    m.recent[m.nextRecent] = d;
    m.nextRecent = (m.nextRecent + 1) % 15;
}

std::string modelLabel(const CoreModel& m) {
    const std::int64_t worst = *std::max_element(m.recent.begin(), m.recent.end());
    return "+" + std::to_string(std::min<std::int64_t>(worst, 9999)) + "ms";
}

// The first of columns 0..128 of `row` that differs from the model (column
// 128 repeats column 127), or -1.
std::int64_t firstDifference(const std::int64_t* row, const CoreModel& m, std::int64_t& expected) {
    for (std::int64_t k = 0; k <= 128; ++k) {
        expected = m.columns[(m.oldest + static_cast<std::size_t>(std::min<std::int64_t>(k, 127))) % 128];
        if (row[k] != expected) return k;
    }
    return -1;
}

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
        modelEvent(m, d);

        std::int64_t expected = 0;
        const std::int64_t* row = &sampleTables.graphColumns[core * graphStride];
        const std::int64_t column = firstDifference(row, m, expected);
        if (column >= 0) {
            FAIL() << "event " << e << ", core " << core << ", " << d << " ms late: column " << column
                   << " holds " << row[column] << ", expected " << expected;
        }
        ASSERT_EQ(sampleTables.labelText[core], modelLabel(m)) << "event " << e << ", " << d << " ms late";
        ASSERT_EQ(sampleTables.trayPeak[core], m.peak) << "event " << e << ", " << d << " ms late";
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
