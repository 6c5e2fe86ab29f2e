// Several cores recording at once while a reader holds the lock, as the
// repaint does. Nothing a sampler writes under the lock may change while the
// reader holds it, so a write outside the lock shows as a row that differs
// between the start and the end of a hold, even without a sanitizer. Also run
// under ThreadSanitizer in its preset.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "tests/support/fake_platform.h"

namespace {

constexpr std::int64_t cores = 4;

// What the lock guards in one row.
struct RowSnapshot {
    std::array<std::int64_t, 129> columns;
    std::array<char, labelCapacity> label;
    std::uint8_t dirty;
    std::int64_t peak;
};

RowSnapshot snapshotRow(std::int64_t r) {
    RowSnapshot s{};
    std::copy_n(&sampleTables.graphColumns[r * graphStride], s.columns.size(), s.columns.begin());
    std::copy_n(sampleTables.labelText[r], s.label.size(), s.label.begin());
    s.dirty = sampleTables.rowDirty[r];
    s.peak = sampleTables.trayPeak[r];
    return s;
}

bool sameRow(const RowSnapshot& a, const RowSnapshot& b) {
    return a.columns == b.columns && a.label == b.label && a.dirty == b.dirty && a.peak == b.peak;
}

TEST(SamplingThreads, NothingUnderTheLockChangesWhileTheReaderHoldsIt) {
    createSampleTables();
    sampleTables.coreCount = cores;
    ASSERT_TRUE(createSampleLock());
    setFakeTick(0);

    std::atomic<bool> stop{false};
    std::array<std::atomic<std::int64_t>, cores> recorded{};
    std::vector<std::thread> samplers;
    for (std::int64_t core = 0; core < cores; ++core) {
        samplers.emplace_back([core, &stop, &recorded] {
            sampleTables.lastTick[core] = readTickCount();
            for (std::int64_t i = 0; !stop.load(); ++i) {
                // The shared clock moves by 1 to 150 ms at a time, so the
                // lateness, the columns and the labels keep changing.
                advanceFakeTick(static_cast<std::uint32_t>(1 + (i * 37 + core) % 150));
                recordTimerEvent(core);
                recorded[static_cast<std::size_t>(core)].fetch_add(1);
            }
        });
    }

    // Every sampler runs before the reader starts: on a busy machine (or
    // under Wine) a thread may otherwise start only after the last hold.
    const auto startLimit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const auto allRunning = [&recorded] {
        return std::all_of(recorded.begin(), recorded.end(), [](const auto& n) { return n.load() > 0; });
    };
    while (!allRunning() && std::chrono::steady_clock::now() < startLimit) std::this_thread::yield();

    // The reader takes the lock and clears the dirty flags and peaks like the
    // repaint, but then holds the lock long enough for every running sampler
    // to reach its next write. Rows are compared after the lock is released,
    // and the samplers are joined whatever the outcome.
    constexpr int holds = 50;
    constexpr auto holdTime = std::chrono::microseconds(300);
    constexpr auto gapTime = std::chrono::microseconds(100);
    int changed = 0;
    std::string firstChange;
    for (int hold = 0; hold < holds; ++hold) {
        std::array<RowSnapshot, cores> before;
        std::array<RowSnapshot, cores> after;
        lockSamples();
        for (std::int64_t r = 0; r < cores; ++r) {
            sampleTables.rowDirty[r] = 0;
            sampleTables.trayPeak[r] = 0;
            before[static_cast<std::size_t>(r)] = snapshotRow(r);
        }
        std::this_thread::sleep_for(holdTime);
        for (std::int64_t r = 0; r < cores; ++r) after[static_cast<std::size_t>(r)] = snapshotRow(r);
        unlockSamples();

        for (std::size_t r = 0; r < before.size(); ++r) {
            if (sameRow(before[r], after[r])) continue;
            if (changed++ == 0) firstChange = "first in hold " + std::to_string(hold) + ", row " + std::to_string(r);
        }
        std::this_thread::sleep_for(gapTime);
    }
    stop.store(true);
    for (std::thread& t : samplers) t.join();

    EXPECT_EQ(changed, 0) << "rows changed while the reader held the lock, " << firstChange;
    for (std::int64_t r = 0; r < cores; ++r) {
        EXPECT_GT(recorded[static_cast<std::size_t>(r)].load(), 0) << "sampler " << r << " never ran";
        EXPECT_STRNE(sampleTables.labelText[r], "") << "row " << r;
    }
    EXPECT_EQ(sampleTables.labelText[cores][0], '\0') << "no sampler writes beyond its row";
}

}  // namespace
