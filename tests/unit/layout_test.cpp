// The monitor window's arithmetic: captions, heights, columns and placement,
// the tray peak and the tray history step, and the teardown level.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
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

TEST(Captions, FromHundredCoresShowThreeDigitsAfterASpace) {
    EXPECT_EQ(caption(0, 99), "CPU / Core # 01");
    EXPECT_EQ(caption(98, 99), "CPU / Core # 99");
    EXPECT_EQ(caption(0, 100), "CPU / Core # 001");
    EXPECT_EQ(caption(98, 100), "CPU / Core # 099");
    EXPECT_EQ(caption(99, 100), "CPU / Core # 100");
    EXPECT_EQ(caption(0, 256), "CPU / Core # 001");
    EXPECT_EQ(caption(104, 256), "CPU / Core # 105");
    EXPECT_EQ(caption(255, 256), "CPU / Core # 256");
}

TEST(Captions, NoTwoRowsOfAWindowShareACaption) {
    for (const std::int64_t count : {9, 10, 99, 100, 256}) {
        std::set<std::string> seen;
        for (std::int64_t core = 0; core < count; ++core) seen.insert(caption(core, count));
        EXPECT_EQ(static_cast<std::int64_t>(seen.size()), count) << count << " cores";
    }
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

// A tool window's caption and thin border, as AdjustWindowRectEx reports them.
constexpr FrameInsets toolFrame = {3, 20, 3, 3};
constexpr ScreenArea sxga = {0, 0, 1280, 1024};
constexpr ScreenArea fullHdTaskbar = {0, 0, 1920, 1040};
constexpr ScreenArea svga = {0, 0, 800, 600};
// Up and left of the primary monitor, with its own taskbar at the bottom.
constexpr ScreenArea upperLeft = {-1920, -1080, 0, -40};

struct LayoutCase {
    const char* name;
    ScreenArea area;
    std::int64_t count;
    MonitorLayout expected;  // columns, rows per column, client size, outer left and top
};

// Outer height is 36 k + 28 + 23 and outer width 136 c + 6.
const LayoutCase layoutCases[] = {
    {"sxga 1", sxga, 1, {1, 1, 136, 64, 160, 200}},
    {"sxga 9", sxga, 9, {1, 9, 136, 352, 160, 200}},
    {"sxga 10", sxga, 10, {1, 10, 136, 388, 160, 200}},
    {"sxga 21 ends at 1007", sxga, 21, {1, 21, 136, 784, 160, 200}},
    {"sxga 22 moves up", sxga, 22, {1, 22, 136, 820, 160, 181}},
    {"sxga 26", sxga, 26, {1, 26, 136, 964, 160, 37}},
    {"sxga 27 is 1023 high", sxga, 27, {1, 27, 136, 1000, 160, 1}},
    {"sxga 28 needs two columns", sxga, 28, {2, 14, 272, 532, 160, 200}},
    {"sxga 32", sxga, 32, {2, 16, 272, 604, 160, 200}},
    {"sxga 64", sxga, 64, {3, 22, 408, 820, 160, 181}},
    {"sxga 99", sxga, 99, {4, 25, 544, 928, 160, 73}},
    {"sxga 100", sxga, 100, {4, 25, 544, 928, 160, 73}},
    // Ten columns of 26 would fit the height but only nine fit the width.
    {"sxga 256 too many", sxga, 256, {9, 29, 1224, 1072, 0, 0}},
    {"exactly as high as the area", {0, 0, 1280, 1023}, 27, {1, 27, 136, 1000, 160, 0}},
    {"exactly as wide as the area", {0, 0, 1366, 1040}, 256, {10, 26, 1360, 964, 0, 53}},
    {"full hd 21", fullHdTaskbar, 21, {1, 21, 136, 784, 160, 200}},
    {"full hd 22", fullHdTaskbar, 22, {1, 22, 136, 820, 160, 197}},
    {"full hd 64", fullHdTaskbar, 64, {3, 22, 408, 820, 160, 197}},
    {"full hd 100", fullHdTaskbar, 100, {4, 25, 544, 928, 160, 89}},
    {"full hd 256", fullHdTaskbar, 256, {10, 26, 1360, 964, 160, 53}},
    {"svga 10", svga, 10, {1, 10, 136, 388, 160, 189}},
    {"svga 22", svga, 22, {2, 11, 272, 424, 160, 153}},
    {"svga 64 moves left", svga, 64, {5, 13, 680, 496, 114, 81}},
    {"svga 100 too many", svga, 100, {5, 20, 680, 748, 0, 0}},
    {"upper left 1", upperLeft, 1, {1, 1, 136, 64, -142, -127}},
    {"upper left 64", upperLeft, 64, {3, 22, 408, 820, -414, -883}},
    {"right of the primary", {1280, 400, 2560, 1424}, 4, {1, 4, 136, 172, 1280, 400}},
    {"too small for one row", {100, 50, 220, 130}, 1, {1, 1, 136, 64, 100, 50}},
    {"too small, as wide as it allows", {100, 50, 400, 130}, 9, {2, 5, 272, 208, 100, 50}},
    {"too small, no empty columns", {100, 50, 400, 130}, 1, {1, 1, 136, 64, 100, 50}},
    {"no cores is drawn as one", sxga, 0, {1, 1, 136, 64, 160, 200}},
    {"beyond the tables is drawn as 256", fullHdTaskbar, 300, {10, 26, 1360, 964, 160, 53}},
};

TEST(Layout, ColumnsSizeAndPositionOnSeveralScreens) {
    for (const LayoutCase& c : layoutCases) {
        const MonitorLayout got = layoutMonitor(c.count, c.area, toolFrame);
        EXPECT_EQ(got.columns, c.expected.columns) << c.name;
        EXPECT_EQ(got.rowsPerColumn, c.expected.rowsPerColumn) << c.name;
        EXPECT_EQ(got.width, c.expected.width) << c.name;
        EXPECT_EQ(got.height, c.expected.height) << c.name;
        EXPECT_EQ(got.left, c.expected.left) << c.name;
        EXPECT_EQ(got.top, c.expected.top) << c.name;
    }
}

TEST(Layout, RowsFillEachColumnTopToBottom) {
    struct OriginCase {
        std::int64_t row;
        std::int64_t rowsPerColumn;
        std::int64_t x;
        std::int64_t y;
    };
    const OriginCase cases[] = {
        {0, 22, 0, 0},      {21, 22, 0, 756},   {22, 22, 136, 0},    {63, 22, 272, 684},
        {20, 21, 0, 720},   {25, 26, 0, 900},   {26, 26, 136, 0},    {255, 26, 1224, 756},
        {3, 0, 0, 108},  // no rows per column: one column rather than a division by zero
    };
    for (const OriginCase& c : cases) {
        const RowOrigin origin = rowOriginOf(c.row, c.rowsPerColumn);
        EXPECT_EQ(origin.x, c.x) << "row " << c.row << " of " << c.rowsPerColumn << " per column";
        EXPECT_EQ(origin.y, c.y) << "row " << c.row << " of " << c.rowsPerColumn << " per column";
    }
    // The footer sits under the rows of one column: 22 rows end at 792.
    EXPECT_EQ(attributionTopFor(22), 798);
    EXPECT_EQ(webAddressTopFor(22), 808);
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
