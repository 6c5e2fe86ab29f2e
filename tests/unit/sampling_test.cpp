// The deviation arithmetic, the graph step and the label, driven through
// recordTimerEvent with a controlled clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "engine/ticks.h"
#include "engine/timer_event.h"
#include "tests/support/fake_platform.h"

namespace {

class Sampling : public ::testing::Test {
protected:
    void SetUp() override {
        createSampleTables();
        sampleTables.coreCount = 4;
        setFakeTickStepPerRead(0);
        setFakeTick(1000);
        sampleTables.lastTick[core] = 1000;
    }

    // One timer event of `core` arriving `deviation` ms after the expected time.
    void eventLate(std::int64_t deviation) {
        advanceFakeTick(static_cast<std::uint32_t>(100 + deviation));
        recordTimerEvent(core);
    }

    const std::int64_t* graph() const { return &sampleTables.graphColumns[core * graphStride]; }
    std::string label() const { return sampleTables.labelText[core]; }

    std::int64_t core = 2;
};

struct WorkedValue {
    std::int64_t deviation;
    std::int64_t scrollCount;
    std::int64_t value;
    std::int64_t offeredPeak;
};

// The graph step's worked values: d, scroll count n, value v of the new
// columns and the height offered to the tray peak. -6 ms truncates to height
// 0, -7 ms to -1, clamped to 0.
const WorkedValue workedValues[] = {
    {0, 1, 1, 0},        {5, 1, 1, 0},           {7, 1, 2, 1},           {99, 1, 15, 14},
    {100, 1, 15, 15},    {199, 1, 15, 29},       {200, 2, 15, 30},       {250, 2, 15, 37},
    {2000, 20, 15, 300}, {12800, 128, 15, 1920}, {12900, 129, 15, 1935}, {20000, 129, 15, 3000},
    {-5, 1, 1, 0},       {-6, 1, 1, 0},          {-7, 1, 1, 0},          {-100, 1, 1, 0},
};

TEST_F(Sampling, WorkedValuesScrollTheGraphAndOfferThePeak) {
    for (const WorkedValue& w : workedValues) {
        SCOPED_TRACE("deviation " + std::to_string(w.deviation));
        createSampleTables();
        sampleTables.lastTick[core] = 1000;
        setFakeTick(1000);
        // A recognisable pattern (column j holds j % 15) shows how far the
        // old columns moved.
        std::int64_t* row = &sampleTables.graphColumns[core * graphStride];
        for (std::int64_t j = 0; j < 128; ++j) row[j] = j % 15;

        eventLate(w.deviation);

        EXPECT_EQ(sampleTables.trayPeak[core], w.offeredPeak);
        EXPECT_EQ(sampleTables.rowDirty[core], 1);
        for (std::int64_t j = 0; j < 128; ++j) {
            const std::int64_t expected = j < 128 - w.scrollCount ? (j + w.scrollCount) % 15 : w.value;
            ASSERT_EQ(row[j], expected) << "column " << j;
        }
        EXPECT_EQ(row[128], w.value) << "column 128 ends equal to column 127";
    }
}

TEST_F(Sampling, SteadyRhythmGivesFlatGraphOfHeightOneAndZeroLabel) {
    for (int i = 0; i < 200; ++i) eventLate(0);
    for (std::int64_t j = 0; j <= 128; ++j) ASSERT_EQ(graph()[j], 1) << "column " << j;
    EXPECT_EQ(label(), "+0ms");
    EXPECT_EQ(sampleTables.trayPeak[core], 0);
}

TEST_F(Sampling, LabelHoldsTheMaximumOfTheLastFifteenEvents) {
    eventLate(250);
    EXPECT_EQ(label(), "+250ms");
    for (int i = 0; i < 14; ++i) {
        eventLate(3);
        ASSERT_EQ(label(), "+250ms") << "after " << i + 1 << " later events";
    }
    eventLate(3);
    EXPECT_EQ(label(), "+3ms");
}

TEST_F(Sampling, LabelIsCappedAndShowsNegativeMaximaOnlyAfterFifteenEarlyEvents) {
    eventLate(12000);
    EXPECT_EQ(label(), "+9999ms");
    eventLate(10000);
    EXPECT_EQ(label(), "+9999ms");

    createSampleTables();
    sampleTables.lastTick[core] = 1000;
    setFakeTick(1000);
    for (int i = 0; i < 14; ++i) {
        eventLate(-6);
        ASSERT_EQ(label(), "+0ms") << "the window still holds a starting zero";
    }
    eventLate(-6);
    EXPECT_EQ(label(), "+-6ms");
}

TEST_F(Sampling, TrayPeakKeepsTheLargestHeightUncapped) {
    eventLate(250);
    eventLate(2000);
    eventLate(10);
    EXPECT_EQ(sampleTables.trayPeak[core], 300);
}

TEST_F(Sampling, TimeSpentHandlingAnEventIsNotLatenessOfTheNext) {
    // Each reading takes 7 ms: the event is read at 1100 (punctual) and its
    // handling ends with the reading at 1107.
    setFakeTickStepPerRead(7);
    advanceFakeTick(100);
    recordTimerEvent(core);
    // Read at 1107 + 100 + 20, the next event is 20 ms late, not 27.
    setFakeTick(1227);
    recordTimerEvent(core);
    EXPECT_EQ(label(), "+20ms");
    EXPECT_EQ(graph()[127], 20 * 15 / 100 + 1);
}

TEST_F(Sampling, IntervalAcrossTheTickWrapMeasuresItsTrueLateness) {
    // The previous reading lies 30 ms before the wrap; the event comes 140 ms
    // later, i.e. 40 ms late.
    const std::uint32_t beforeWrap = 0xFFFFFFFFu - 29;
    setFakeTick(beforeWrap);
    sampleTables.lastTick[core] = beforeWrap;
    advanceFakeTick(140);
    ASSERT_LT(static_cast<std::uint32_t>(sampleTables.lastTick[core] + 140), beforeWrap) << "the clock wrapped";
    recordTimerEvent(core);
    EXPECT_EQ(label(), "+40ms");
    EXPECT_EQ(graph()[127], 40 * 15 / 100 + 1);
    EXPECT_EQ(sampleTables.trayPeak[core], 6);

    EXPECT_EQ(deviationSince(5u, 0xFFFFFFF0LL), 21 - 100);
    EXPECT_EQ(deviationSince(250u, 100), 50);
    EXPECT_EQ(deviationSince(150u, 100), -50);
}

TEST_F(Sampling, EachCoreWritesOnlyItsOwnRow) {
    for (std::int64_t c = 0; c < 4; ++c) sampleTables.lastTick[c] = 1000;
    advanceFakeTick(350);
    recordTimerEvent(1);
    for (std::int64_t c = 0; c < 4; ++c) {
        if (c == 1) continue;
        EXPECT_EQ(sampleTables.rowDirty[c], 0) << "core " << c;
        EXPECT_EQ(sampleTables.trayPeak[c], 0) << "core " << c;
        EXPECT_STREQ(sampleTables.labelText[c], "") << "core " << c;
        for (std::int64_t j = 0; j < graphStride; ++j) ASSERT_EQ(sampleTables.graphColumns[c * graphStride + j], 0);
        for (std::int64_t j = 0; j < deviationStride; ++j) {
            ASSERT_EQ(sampleTables.deviationWindow[c * deviationStride + j], 0);
        }
    }
    EXPECT_EQ(sampleTables.deviationWindow[1 * deviationStride + 14], 250);
    EXPECT_EQ(sampleTables.deviationWindow[1 * deviationStride + 15], 0) << "column 15 is never used";
}

std::vector<TimerEvent> handedOver;
void keepEvent(const TimerEvent& event) { handedOver.push_back(event); }

TEST_F(Sampling, ARecordedEventCarriesBothLatenessesAndItsTime) {
    handedOver.clear();
    timerEventSink = keepEvent;
    markTimerBaseline(core);
    advanceFakeTick(350);
    recordTimerEvent(core);
    advanceFakeTick(94);
    recordTimerEvent(core);
    timerEventSink = nullptr;

    // The test clock's counter runs in step with its tick count, from
    // 2026-12-07T00:00:00Z at tick 0; the events came at ticks 1350 and 1444.
    ASSERT_EQ(handedOver.size(), 2u);
    EXPECT_EQ(handedOver[0].core, 2);
    EXPECT_EQ(handedOver[0].lateMs, 250);
    EXPECT_EQ(handedOver[0].lateUs, 250000);
    EXPECT_EQ(handedOver[0].utcMs, 1796601601350);
    EXPECT_EQ(handedOver[1].lateMs, -6);
    EXPECT_EQ(handedOver[1].lateUs, -6000);
    EXPECT_EQ(handedOver[1].utcMs, 1796601601444);
    EXPECT_EQ(label(), "+250ms") << "recording changes nothing of the row";
}

TEST(LateMicroseconds, FromCounterReadingsAtAnyFrequency) {
    struct Case {
        std::int64_t now, previous, frequency, micros;
    };
    const Case cases[] = {
        {1005000, 0, 10000000, 500},           // 100.5 ms at 10 MHz
        {1999000, 1000000, 10000000, -100},    // 99.9 ms
        {300000, 0, 3000000, 0},               // exactly one period at 3 MHz
        {300001, 0, 3000000, 0},               // a third of a microsecond is no microsecond
        // Twenty days at 10 MHz: times a million the counts would overflow.
        {17280000000000, 0, 10000000, 1727999900000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lateMicroseconds(c.now, c.previous, c.frequency), c.micros) << c.now << " counts";
    }
}

TEST(CounterTicks, ConvertedWholeSecondsFirstAtAnyFrequency) {
    // 10 MHz, an odd 3,579,545 Hz and 2.4 GHz; 3 weeks x 2.4 GHz x 10^7 overflows 64 bits.
    constexpr std::int64_t threeWeeks = std::int64_t{21} * 86400;
    struct Case {
        std::int64_t frequency, ticks, micros, hundredNs;
    };
    const Case cases[] = {
        {10000000, -7159, -715, -7159},  // early wake-ups: truncated toward zero
        {10000000, threeWeeks * 10000000 + 9999999, 1814400999999, 18144009999999},
        {3579545, 123456789, 34489520, 344895200},
        {3579545, -7159, -1999, -19999},
        {3579545, threeWeeks * 3579545 + 3579544, 1814400999999, 18144009999997},
        {2400000000, -7159, -2, -29},
        {2400000000, threeWeeks * 2400000000 + 2399999999, 1814400999999, 18144009999999},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ticksToMicroseconds(c.ticks, c.frequency), c.micros) << c.ticks << " at " << c.frequency;
        EXPECT_EQ(ticksToHundredNs(c.ticks, c.frequency), c.hundredNs) << c.ticks << " at " << c.frequency;
    }
    // Milliseconds to ticks, and the unsigned grid offsets rounded down.
    EXPECT_EQ(millisecondsToTicks(8000, 3579545), 28636360);
    EXPECT_EQ(millisecondsToTicks(threeWeeks * 1000, 2400000000), 4354560000000000);
    EXPECT_EQ(rescaleCount<std::uint64_t>(threeWeeks * 3579545ULL + 3579544, 3579545, 1000), 1814400999U);
}

TEST(LabelFormat, PlainDecimalWithPlusAndMs) {
    char out[labelCapacity];
    EXPECT_EQ(formatLabel(0, out), 4);
    EXPECT_STREQ(out, "+0ms");
    formatLabel(16, out);
    EXPECT_STREQ(out, "+16ms");
    formatLabel(2000, out);
    EXPECT_STREQ(out, "+2000ms");
    formatLabel(-6, out);
    EXPECT_STREQ(out, "+-6ms");
    formatLabel(INT64_MIN, out);
    EXPECT_STREQ(out, "+-9223372036854775808ms");
}

}  // namespace
