// The monitor window's arithmetic: captions, heights, the tray peak and the
// tray history step, and the teardown level.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/sample_tables.h"
#include "window/layout.h"

namespace {

std::string caption(std::int64_t core, std::int64_t count) {
    char text[24];
    const std::int64_t length = formatCaption(core, count, text);
    EXPECT_EQ(length, static_cast<std::int64_t>(std::string(text).size()));
    return text;
}

TEST(Captions, UpToNineCoresShowTheNumberAlone) {
    EXPECT_EQ(caption(0, 1), "CPU / Core #1");
    EXPECT_EQ(caption(0, 4), "CPU / Core #1");
    EXPECT_EQ(caption(3, 4), "CPU / Core #4");
    EXPECT_EQ(caption(8, 9), "CPU / Core #9");
}

TEST(Captions, FromTenCoresShowTwoDigitsAfterASpace) {
    EXPECT_EQ(caption(0, 10), "CPU / Core # 01");
    EXPECT_EQ(caption(8, 10), "CPU / Core # 09");
    EXPECT_EQ(caption(9, 10), "CPU / Core # 10");
    EXPECT_EQ(caption(0, 12), "CPU / Core # 01");
    EXPECT_EQ(caption(11, 12), "CPU / Core # 12");
    EXPECT_EQ(caption(63, 64), "CPU / Core # 64");
    // The count decides the form, not the core: core 0 of 64 is padded too.
    EXPECT_EQ(caption(0, 64), "CPU / Core # 01");
}

TEST(Captions, FromCore100OnlyTheLastTwoDigitsShow) {
    EXPECT_EQ(caption(98, 256), "CPU / Core # 99");
    EXPECT_EQ(caption(99, 256), "CPU / Core # 00");
    EXPECT_EQ(caption(104, 256), "CPU / Core # 05");
    EXPECT_EQ(caption(255, 256), "CPU / Core # 56");
}

TEST(Geometry, ClientHeightIs36PerRowPlus28) {
    EXPECT_EQ(clientHeightFor(1), 64);
    EXPECT_EQ(clientHeightFor(9), 352);
    EXPECT_EQ(clientHeightFor(10), 388);
    EXPECT_EQ(clientHeightFor(64), 2332);
    EXPECT_EQ(rowsAreaHeight(1), 32);
}

TEST(Geometry, RowBoxesFollowTheRowPitch) {
    // Row 3 spans y = 108 .. 143: label strip from 112, graph box from 128,
    // baseline 143, separator under it at 144.
    EXPECT_EQ(labelTopOf(3), 112);
    EXPECT_EQ(captionTopOf(3), 112);
    EXPECT_EQ(graphTopOf(3), 128);
    EXPECT_EQ(baselineOf(3), 143);
    EXPECT_EQ(separatorYOf(3), 144);
    // One core: separator at 36, bottom lines at 42 and 52.
    EXPECT_EQ(separatorYOf(0), 36);
    EXPECT_EQ(attributionTopFor(1), 42);
    EXPECT_EQ(webAddressTopFor(1), 52);
    EXPECT_LT(webAddressTopFor(64) + 8, clientHeightFor(64));
}

TEST(Geometry, LabelEraseWidthIsTheWiderLabel) {
    EXPECT_EQ(labelEraseWidth(0, 40), 40);
    EXPECT_EQ(labelEraseWidth(54, 47), 54);  // a shorter label wipes the longer one
    EXPECT_EQ(labelEraseWidth(47, 54), 54);
}

TEST(TrayPeak, LargestPeakIsTakenAndEveryPeakReset) {
    std::int64_t peaks[4] = {3, 11, 0, 7};
    std::int64_t redrawn = 1;
    EXPECT_EQ(collectTrayPeak(peaks, 4, &redrawn), 11);
    for (std::int64_t p : peaks) EXPECT_EQ(p, 0);
    EXPECT_EQ(redrawn, 0);
}

TEST(TrayPeak, OnlyTheCountedCoresTakePart) {
    std::int64_t peaks[3] = {2, 5, 9};
    std::int64_t redrawn = 1;
    EXPECT_EQ(collectTrayPeak(peaks, 2, &redrawn), 5);
    EXPECT_EQ(peaks[2], 9) << "a core beyond the count was touched";
}

TEST(TrayPeak, PeaksAboveFullHeightAreCappedAt15) {
    std::int64_t peaks[2] = {37, 300};  // 250 ms and 2000 ms late
    std::int64_t redrawn = 1;
    EXPECT_EQ(collectTrayPeak(peaks, 2, &redrawn), 15);
    std::int64_t exactly[1] = {15};
    redrawn = 1;
    EXPECT_EQ(collectTrayPeak(exactly, 1, &redrawn), 15);
}

TEST(TrayPeak, NoRowRedrawnGivesFullHeightWhateverThePeaks) {
    std::int64_t peaks[2] = {0, 0};
    std::int64_t redrawn = 0;
    EXPECT_EQ(collectTrayPeak(peaks, 2, &redrawn), 15);
    EXPECT_EQ(redrawn, 0);
    std::int64_t some[2] = {4, 2};
    EXPECT_EQ(collectTrayPeak(some, 2, &redrawn), 15);
    EXPECT_EQ(some[0], 0) << "the peaks are reset in this case too";
}

TEST(TrayPeak, NegativePeaksCountAsZero) {
    std::int64_t peaks[2] = {-3, -40};
    std::int64_t redrawn = 1;
    EXPECT_EQ(collectTrayPeak(peaks, 2, &redrawn), 0);
}

TEST(TrayHistory, FirstStepIsAFlatLineBendingToThePeak) {
    std::int64_t history[trayHistoryEntries] = {};
    TrayPoint points[trayHistoryEntries];
    stepTrayHistory(history, 9, points);
    EXPECT_EQ(points[0].x, 0);
    EXPECT_EQ(points[0].y, 15);
    for (int k = 1; k < 16; ++k) {
        EXPECT_EQ(points[k].x, k);
        EXPECT_EQ(points[k].y, 15) << "point " << k;
    }
    EXPECT_EQ(points[16].x, 16);
    EXPECT_EQ(points[16].y, 6);
    EXPECT_EQ(history[15], 9);
    EXPECT_EQ(history[16], 9);
    EXPECT_EQ(history[14], 0);
}

TEST(TrayHistory, PointsUseTheEntriesBeforeTheShift) {
    std::int64_t history[trayHistoryEntries];
    for (int k = 0; k < trayHistoryEntries; ++k) history[k] = k % 16;  // e_k = k, e_16 = 0
    TrayPoint points[trayHistoryEntries];
    stepTrayHistory(history, 12, points);
    // (0, 15 − e1), (1, 15 − e1), (2, 15 − e2), …, (16, 15 − e16) with e16 the new peak.
    EXPECT_EQ(points[0].y, 15 - 1);
    for (int k = 1; k <= 15; ++k) EXPECT_EQ(points[k].y, 15 - k) << "point " << k;
    EXPECT_EQ(points[16].y, 15 - 12);
    // Moved one place toward entry 0; entries 15 and 16 both hold the peak.
    for (int k = 0; k < 15; ++k) EXPECT_EQ(history[k], k + 1) << "entry " << k;
    EXPECT_EQ(history[15], 12);
    EXPECT_EQ(history[16], 12);
}

TEST(TrayHistory, SixteenStepsLeaveOnlyTheirOwnPeaks) {
    std::int64_t history[trayHistoryEntries] = {};
    TrayPoint points[trayHistoryEntries];
    for (int step = 1; step <= 16; ++step) stepTrayHistory(history, step % 16, points);
    // Entry k holds the peak of step k + 1; the oldest one has dropped out.
    for (int k = 0; k < 16; ++k) EXPECT_EQ(history[k], (k + 1) % 16) << "entry " << k;
    EXPECT_EQ(points[16].y, 15 - 0);
    EXPECT_EQ(points[15].y, 15 - 15);
}

TEST(TeardownLevel, CountsTheLeadingLinksThatExist) {
    const bool none[3] = {false, true, true};
    const bool two[4] = {true, true, false, true};
    const bool all[10] = {true, true, true, true, true, true, true, true, true, true};
    EXPECT_EQ(chainLevel(none, 3), 0);
    EXPECT_EQ(chainLevel(two, 4), 2) << "a link after a gap does not count";
    EXPECT_EQ(chainLevel(all, 10), 10);
    EXPECT_EQ(chainLevel(all, 0), 0);
}

}  // namespace
