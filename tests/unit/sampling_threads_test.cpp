// Several cores recording at once while a reader takes the lock and reads the
// shared tables, as the repaint does. Run under ThreadSanitizer in its preset.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "tests/support/fake_platform.h"

namespace {

TEST(SamplingThreads, SamplersAndReaderShareTheTablesUnderTheLock) {
    constexpr std::int64_t cores = 4;
    constexpr int eventsPerCore = 3000;
    createSampleTables();
    sampleTables.coreCount = cores;
    ASSERT_TRUE(createSampleLock());
    setFakeTick(0);

    // The samplers wait for the reader: on a busy machine they could
    // otherwise finish before the reader ever takes the lock.
    std::atomic<bool> go{false};
    std::atomic<int> running{static_cast<int>(cores)};
    std::vector<std::thread> samplers;
    for (std::int64_t core = 0; core < cores; ++core) {
        samplers.emplace_back([core, &go, &running] {
            while (!go.load()) std::this_thread::yield();
            sampleTables.lastTick[core] = readTickCount();
            for (int i = 0; i < eventsPerCore; ++i) {
                // Every core sees the shared clock move; deviations vary.
                advanceFakeTick(static_cast<std::uint32_t>(1 + (std::int64_t{i} * 7 + core) % 40));
                recordTimerEvent(core);
            }
            running.fetch_sub(1);
        });
    }

    // The reader: like the repaint, it takes the lock and reads and clears
    // what the samplers write, and reads once more after they have ended.
    std::int64_t labelsSeen = 0;
    go.store(true);
    for (bool ended = false; !ended;) {
        ended = running.load() == 0;
        lockSamples();
        for (std::int64_t r = 0; r < cores; ++r) {
            if (sampleTables.rowDirty[r] == 0) continue;
            sampleTables.rowDirty[r] = 0;
            const std::int64_t* row = &sampleTables.graphColumns[r * graphStride];
            for (std::int64_t k = 0; k < graphWidth; ++k) {
                ASSERT_GE(row[k], 0);
                ASSERT_LE(row[k], 15);
            }
            if (std::strlen(sampleTables.labelText[r]) > 0) {
                ASSERT_EQ(sampleTables.labelText[r][0], '+');
                ++labelsSeen;
            }
            sampleTables.trayPeak[r] = 0;
        }
        unlockSamples();
        std::this_thread::yield();
    }
    for (std::thread& t : samplers) t.join();

    EXPECT_GT(labelsSeen, 0);
    for (std::int64_t r = 0; r < cores; ++r) {
        EXPECT_EQ(sampleTables.graphColumns[r * graphStride + graphWidth],
                  sampleTables.graphColumns[r * graphStride + graphWidth - 1]);
        EXPECT_STRNE(sampleTables.labelText[r], "");
    }
    EXPECT_EQ(sampleTables.labelText[cores][0], '\0') << "no sampler writes beyond its row";
}

}  // namespace
