// The repaint of the monitor window: rows drawn from tables filled by hand
// and read back from backBuffer and from the window (the tray icon and the
// window procedure's answers: monitor_tray_messages_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/win/monitor_render_support.h"

namespace {

TEST_F(MonitorRender, GraphColumnsAreDrawnAtTheirHeightsAndCopiedToTheWindow) {
    // Row 17 lies beyond the first 17 rows and is drawn like any other.
    const int row = 17;
    auto height = [](int k) { return static_cast<std::int64_t>((k / 8) % 16); };
    fillGraph(row, height);
    sampleTables.rowDirty[row] = 1;
    refreshEarly();
    EXPECT_EQ(sampleTables.rowDirty[row], 0);

    const int top = graphTopOfRow(row);
    const int baseline = top + 15;
    const Picture box = capturePicture(backBufferDC, 0, top, 136, 16);
    ASSERT_EQ(box.height, 16);
    // Each column's point is the start of the next segment, so it is lit;
    // the last column's point is the end of the last LineTo and is not.
    for (int k = 0; k < 127; ++k) {
        const int y = baseline - static_cast<int>(height(k));
        EXPECT_EQ(box.at(4 + k, y - top), textCyan) << "column " << k << " at (" << 4 + k << ", " << y << ")";
    }
    // Nothing outside the polyline: every lit pixel of a column lies between
    // the heights of the column and its neighbours.
    for (int x = 0; x < 136; ++x) {
        const int k = x - 4;
        std::int64_t low = 99;
        std::int64_t high = -1;
        for (int j = k - 1; j <= k + 1; ++j) {
            if (j < 0 || j > 127) continue;
            low = std::min(low, height(j));
            high = std::max(high, height(j));
        }
        for (int y = 0; y < 16; ++y) {
            const COLORREF c = box.at(x, y);
            if (c == black) continue;
            EXPECT_EQ(c, textCyan) << "(" << x << ", " << top + y << ")";
            const std::int64_t h = 15 - y;
            EXPECT_TRUE(x >= 4 && x <= 131 && h >= low && h <= high)
                << "stray pixel (" << x << ", " << top + y << ") " << describeColour(c);
        }
    }
    // The window shows the same 128 columns.
    const Picture shown = windowPicture(4, top, 128, 16);
    const Picture drawn = capturePicture(backBufferDC, 4, top, 128, 16);
    ASSERT_EQ(shown.height, 16);
    EXPECT_TRUE(shown.pixels == drawn.pixels) << "the graph was not copied to the window";
}

TEST_F(MonitorRender, FullHeightLiesOnTheTopLineAndZeroOnTheBaseline) {
    fillGraph(1, [](int) { return std::int64_t{15}; });
    fillGraph(2, [](int) { return std::int64_t{0}; });
    sampleTables.rowDirty[1] = 1;
    sampleTables.rowDirty[2] = 1;
    refreshEarly();

    for (int row : {1, 2}) {
        SCOPED_TRACE("row " + std::to_string(row));
        const int lineY = row == 1 ? 0 : 15;
        const Picture box = capturePicture(backBufferDC, 0, graphTopOfRow(row), 136, 16);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 136; ++x) {
                // A flat line: columns 4 .. 130; 131 is the undrawn end point.
                const bool onLine = y == lineY && x >= 4 && x <= 130;
                EXPECT_EQ(box.at(x, y), onLine ? textCyan : black) << "(" << x << ", " << graphTopOfRow(row) + y << ")";
            }
        }
    }
}

TEST_F(MonitorRender, OnlyDirtyRowsAreRedrawn) {
    const int dirty = 18;
    const int clean = 19;
    for (int row : {dirty, clean}) {
        paintMarker(backBufferDC, 4, graphTopOfRow(row), 133, graphTopOfRow(row) + 16);
        paintMarker(backBufferDC, 100, labelTopOfRow(row), 133, labelTopOfRow(row) + 16);
        fillGraph(row, [](int k) { return static_cast<std::int64_t>(k % 15); });
        setLabel(row, "+42ms");
    }
    const Picture captionBefore = capturePicture(backBufferDC, 4, labelTopOfRow(dirty), 60, 16);
    sampleTables.rowDirty[dirty] = 1;
    sampleTables.rowDirty[clean] = 0;
    refreshEarly();

    const Picture cleanBox = capturePicture(backBufferDC, 4, graphTopOfRow(clean), 129, 16);
    const Picture cleanLabel = capturePicture(backBufferDC, 100, labelTopOfRow(clean), 33, 16);
    EXPECT_EQ(countColour(cleanBox, marker), 129 * 16) << "a clean row's graph was redrawn";
    EXPECT_EQ(countColour(cleanLabel, marker), 33 * 16) << "a clean row's label was redrawn";
    EXPECT_EQ(sampleTables.labelWidth[clean], 0);

    const Picture dirtyBox = capturePicture(backBufferDC, 4, graphTopOfRow(dirty), 129, 16);
    EXPECT_EQ(countColour(dirtyBox, marker), 0) << "the dirty row's graph box was not cleared";
    EXPECT_GT(countColour(dirtyBox, textCyan), 127);
    const int labelLeft = 133 - static_cast<int>(sampleTables.labelWidth[dirty]);
    const Picture dirtyLabel =
        capturePicture(backBufferDC, labelLeft, labelTopOfRow(dirty), static_cast<int>(sampleTables.labelWidth[dirty]), 16);
    EXPECT_EQ(countColour(dirtyLabel, marker), 0);
    // The caption shares the label's band and is never redrawn.
    const Picture captionAfter = capturePicture(backBufferDC, 4, labelTopOfRow(dirty), 60, 16);
    EXPECT_TRUE(captionAfter.pixels == captionBefore.pixels);
    EXPECT_EQ(sampleTables.anyRowRedrawn, 1);
}

TEST_F(MonitorRender, LabelsAreRightAlignedAndAShorterOneLeavesNoRemnant) {
    const int row = 1;
    const int top = labelTopOfRow(row);
    const ReferenceLabel longer = referenceLabel("+1250ms");
    const ReferenceLabel shorter = referenceLabel("+105ms");
    ASSERT_GT(longer.width, shorter.width);

    setLabel(row, "+1250ms");
    sampleTables.rowDirty[row] = 1;
    refreshEarly();
    EXPECT_EQ(sampleTables.labelWidth[row], longer.width);
    Picture strip = capturePicture(backBufferDC, 0, top, 136, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 133 - longer.width; x < 136; ++x)
            ASSERT_EQ(strip.at(x, y), longer.strip.at(x, y)) << "+1250ms at (" << x << ", " << top + y << ")";
    const int lastLong = lastLitColumn(capturePicture(backBufferDC, 80, top, 56, 16)) + 80;
    std::printf("last lit column of +1250ms: %d, label width %d\n", lastLong, longer.width);
    EXPECT_GE(lastLong, 130);
    EXPECT_LE(lastLong, 132);
    EXPECT_EQ(lastLong, lastLitColumn(longer.strip)) << "ink must end where the font puts it on x = 133";

    setLabel(row, "+105ms");
    sampleTables.rowDirty[row] = 1;
    refreshEarly();
    EXPECT_EQ(sampleTables.labelWidth[row], shorter.width);
    strip = capturePicture(backBufferDC, 0, top, 136, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 133 - longer.width; x < 136; ++x)
            ASSERT_EQ(strip.at(x, y), shorter.strip.at(x, y)) << "+105ms at (" << x << ", " << top + y << ")";
    EXPECT_EQ(lastLitColumn(capturePicture(backBufferDC, 80, top, 56, 16)) + 80, lastLong)
        << "labels of any length end on the same column";

    // The whole erased strip reached the window, remnant-free.
    const Picture shown = windowPicture(133 - longer.width, top, longer.width + 3, 16);
    const Picture drawn = capturePicture(backBufferDC, 133 - longer.width, top, longer.width + 3, 16);
    EXPECT_TRUE(shown.pixels == drawn.pixels) << "the label strip was not copied to the window";
}

TEST_F(MonitorRender, RowsStayDirtyWhileTheWindowHasNoDeviceContext) {
    // A destroyed window yields no device context: a real GetDC failure.
    HWND real = monitorWindow;
    HWND gone = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    monitorWindow = gone;
    sampleTables.rowDirty[3] = 1;
    for (int run = 0; run < 32; ++run) refreshEarly();
    monitorWindow = real;

    EXPECT_EQ(sampleTables.rowDirty[0], 1);
    EXPECT_EQ(sampleTables.rowDirty[3], 1);
    EXPECT_EQ(sampleTables.labelWidth[0], 0);
    // Nothing was late, yet the tray shows a full-height value: the display
    // stopped updating.
    EXPECT_EQ(sampleTables.trayHistory[15], 15);
    EXPECT_NE(trayIcon.hIcon, nullptr);

    refreshEarly();
    EXPECT_EQ(sampleTables.rowDirty[3], 0);
    EXPECT_GT(sampleTables.labelWidth[0], 0);
}

// Counts the z-order moves asked of the monitor window.
int zOrderMoves = 0;
WNDPROC monitorProcBefore = nullptr;
LRESULT CALLBACK countZOrderMoves(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_WINDOWPOSCHANGING && (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_NOZORDER) == 0) {
        ++zOrderMoves;
    }
    return CallWindowProcA(monitorProcBefore, window, message, wParam, lParam);
}

bool isAbove(HWND upper, HWND lower) {
    for (HWND above = GetWindow(lower, GW_HWNDPREV); above != nullptr; above = GetWindow(above, GW_HWNDPREV)) {
        if (above == upper) return true;
    }
    return false;
}

TEST_F(MonitorRender, RepaintKeepsTheWindowOnTopOnlyWhileAsked) {
    keepOnTop = 0;
    refreshEarly();
    EXPECT_EQ(GetWindowLongPtrA(monitorWindow, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    keepOnTop = 1;
    refreshEarly();
    EXPECT_NE(GetWindowLongPtrA(monitorWindow, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);

    monitorProcBefore = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(monitorWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(countZOrderMoves)));
    zOrderMoves = 0;
    // Already on top of everything: the repaint leaves the z-order alone.
    refreshEarly();
    refreshEarly();
    EXPECT_EQ(zOrderMoves, 0) << "the repaint moved a window that was already on top";

    // Another topmost window placed over it is overtaken at the next repaint.
    RECT outer = {};
    GetWindowRect(monitorWindow, &outer);
    HWND cover = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "STATIC", "cover", WS_POPUP | WS_VISIBLE,
                                 outer.left, outer.top, 60, 60, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(cover, nullptr);
    ASSERT_TRUE(isAbove(cover, monitorWindow)) << "the cover did not go above the window";
    refreshEarly();
    EXPECT_TRUE(isAbove(monitorWindow, cover)) << "the window stayed under the other topmost window";
    EXPECT_EQ(GetWindow(monitorWindow, GW_HWNDPREV), nullptr) << "the window is not on top of everything";
    EXPECT_EQ(zOrderMoves, 1);
    DestroyWindow(cover);
    SetWindowLongPtrA(monitorWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(monitorProcBefore));
}

class MonitorRenderManyCores : public MonitorRender {
protected:
    MonitorRenderManyCores() : MonitorRender(64) {}
};

TEST_F(MonitorRenderManyCores, RowsOfLaterColumnsAreDrawnInTheirColumn) {
    // 64 cores lie in three columns of 22 rows: row 45 is the second of the
    // third column, at x 272 and y 36.
    ASSERT_EQ(rowsPerColumn, 22);
    fillGraph(45, [](int) { return std::int64_t{15}; });
    setLabel(45, "+250ms");
    sampleTables.rowDirty[45] = 1;
    refreshEarly();

    const Picture box = capturePicture(backBufferDC, 272, 36 + 20, 136, 16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 136; ++x) {
            const bool onLine = y == 0 && x >= 4 && x <= 130;
            ASSERT_EQ(box.at(x, y), onLine ? textCyan : black) << "(" << 272 + x << ", " << 56 + y << ")";
        }
    }
    const ReferenceLabel label = referenceLabel("+250ms");
    const Picture strip = capturePicture(backBufferDC, 272, 36 + 4, 136, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 133 - label.width; x < 136; ++x)
            ASSERT_EQ(strip.at(x, y), label.strip.at(x, y)) << "label at (" << 272 + x << ", " << 40 + y << ")";
    // The same row of the first column (row 1) was not touched.
    EXPECT_EQ(countColour(capturePicture(backBufferDC, 4, 36 + 20, 128, 16), textCyan), 0);
    // And the window shows what was drawn.
    const Picture shown = windowPicture(272, 36, 136, 36);
    EXPECT_TRUE(shown.pixels == capturePicture(backBufferDC, 272, 36, 136, 36).pixels);
}

// With --fine the graph (and the tray icon) is amber, the captions and labels
// stay cyan: a glance tells which scale the rows are on.
class MonitorRenderFine : public MonitorRender {
protected:
    void SetUp() override {
        resetProgramState();
        fineColumns = true;
        ASSERT_EQ(setupMonitorWindow(cores), 1);
        sampleTables.lastTick[0] = GetTickCount();
    }
    void TearDown() override {
        MonitorRender::TearDown();
        fineColumns = false;
    }
};

TEST_F(MonitorRenderFine, TheGraphIsAmberAndTheTextCyan) {
    fillGraph(3, [](int) { return std::int64_t{15}; });
    sampleTables.rowDirty[3] = 1;
    refreshEarly();
    const Picture box = capturePicture(backBufferDC, 0, graphTopOfRow(3), 136, 16);
    for (int x = 0; x < 136; ++x) {
        EXPECT_EQ(box.at(x, 0), x >= 4 && x <= 130 ? RGB(230, 159, 0) : black) << "(" << x << ", " << graphTopOfRow(3) << ")";
    }
    const Picture caption = capturePicture(backBufferDC, 0, labelTopOfRow(3), 80, 16);
    EXPECT_EQ(countColour(caption, RGB(230, 159, 0)), 0);
    EXPECT_GT(countColour(caption, textCyan), 0) << "the caption is drawn in cyan as ever";
}

class MonitorRenderOneCore : public MonitorRender {
protected:
    MonitorRenderOneCore() : MonitorRender(1) {}
};

TEST_F(MonitorRenderOneCore, CoreZeroIsRedrawnOnEveryRepaint) {
    for (int run = 0; run < 3; ++run) {
        paintMarker(backBufferDC, 4, graphTopOfRow(0), 133, graphTopOfRow(0) + 16);
        refreshEarly();
        EXPECT_EQ(sampleTables.rowDirty[0], 0);
        const Picture box = capturePicture(backBufferDC, 4, graphTopOfRow(0), 129, 16);
        EXPECT_EQ(countColour(box, marker), 0) << "run " << run;
        // An early event adds a column of height 1 at the right end.
        EXPECT_EQ(graphOf(0)[127], 1);
    }
    // After three early events columns 125 .. 127 hold 1; the points of
    // 125 and 126 (x = 129, 130) lie one pixel above the baseline.
    const Picture box = capturePicture(backBufferDC, 0, graphTopOfRow(0), 136, 16);
    EXPECT_EQ(box.at(129, 14), textCyan);
    EXPECT_EQ(box.at(130, 14), textCyan);
    EXPECT_EQ(box.at(128, 15), textCyan);
    EXPECT_GT(sampleTables.labelWidth[0], 0);
}

}  // namespace
