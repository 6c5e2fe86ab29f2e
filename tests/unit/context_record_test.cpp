// The stall notes the context record queues for the log: only timer stalls
// get one (a wake-up's stall is no timer stall), and a new run starts with
// none of the run before it.
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/platform_seam.h"
#include "record/context_record.h"
#include "record/recorder_settings.h"

namespace {

constexpr std::int64_t startMs = 1796652180000;  // 2026-12-07T14:03:00.000Z

RecorderSettings settingsOfRun() {
    RecorderSettings settings{};
    settings.coreCount = 2;
    settings.startedUtcMs = startMs;
    return settings;
}

TEST(ContextRecord, OnlyTimerStallsAreNotedAndANewRunStartsWithNone) {
    ASSERT_TRUE(createSampleLock());
    struct Stall { std::int64_t core; bool wake; StallCause cause; };
    const Stall stalls[] = {{1, false, StallCause::threads}, {0, true, StallCause::idle}, {0, false, StallCause::drivers},
                            {1, true, StallCause::threads}};
    ASSERT_TRUE(startContextRecord(settingsOfRun()));
    for (std::int64_t k = 0; k < 4; ++k) noteAttributedStall(stalls[k].core, startMs + k, 9000, stalls[k].wake, stalls[k].cause);
    StallNote notes[8]{};
    ASSERT_EQ(takeStallNotes(notes, 8), 2) << "a wake-up's stall was noted as a timer stall";
    EXPECT_EQ(notes[0].core, 1);
    EXPECT_EQ(notes[0].utcMs, startMs);
    EXPECT_EQ(notes[0].cause, StallCause::threads);
    EXPECT_EQ(notes[1].core, 0);
    EXPECT_EQ(notes[1].utcMs, startMs + 2);
    EXPECT_EQ(notes[1].cause, StallCause::drivers);

    // A note the first run's log never took is not the second run's.
    noteAttributedStall(1, startMs + 10, 9000, false, StallCause::idle);
    freeContextRecord();
    ASSERT_TRUE(startContextRecord(settingsOfRun()));
    EXPECT_EQ(takeStallNotes(notes, 8), 0);
    freeContextRecord();
}

}  // namespace
