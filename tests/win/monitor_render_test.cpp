// The repaint of the monitor window and its messages: rows drawn from tables
// filled by hand and read back from backBuffer and from the window, the tray
// icon's graph and handles, and the window procedure's answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "tests/support/win_test_support.h"
#include "window/monitor_window.h"

namespace {

constexpr COLORREF black = RGB(0, 0, 0);
constexpr COLORREF textCyan = RGB(0, 178, 178);
constexpr COLORREF marker = RGB(200, 30, 90);

int graphTopOfRow(int row) { return 20 + 36 * row; }
int labelTopOfRow(int row) { return 4 + 36 * row; }

std::int64_t* graphOf(int row) { return &sampleTables.graphColumns[row * graphStride]; }

// Fills the 128 drawn columns and the incoming slot (which mirrors column 127).
template <typename Height>
void fillGraph(int row, Height height) {
    std::int64_t* columns = graphOf(row);
    for (int k = 0; k < 128; ++k) columns[k] = height(k);
    columns[128] = columns[127];
}

void setLabel(int row, const char* text) {
    lstrcpynA(sampleTables.labelText[row], text, sizeof sampleTables.labelText[row]);
}

void paintMarker(HDC dc, int left, int top, int right, int bottom) {
    HBRUSH brush = CreateSolidBrush(marker);
    const RECT box = {left, top, right, bottom};
    FillRect(dc, &box, brush);
    DeleteObject(brush);
}

int countColour(const Picture& picture, COLORREF colour) {
    return static_cast<int>(std::count(picture.pixels.begin(), picture.pixels.end(), colour));
}

Picture windowPicture(int x, int y, int width, int height) {
    HDC dc = GetDC(monitorWindow);
    Picture picture = capturePicture(dc, x, y, width, height);
    ReleaseDC(monitorWindow, dc);
    return picture;
}

// Width and picture of a label as it should look: measured and drawn with a
// font of the caption font's description, right-aligned on x = 133 of a black
// 136 x 16 strip.
struct ReferenceLabel {
    int width;
    Picture strip;
};
ReferenceLabel referenceLabel(const char* text) {
    const int width = referenceTextWidth("Arial", -11, text);
    const TextLine line = {text, 133 - width, 0};
    return ReferenceLabel{width, renderReferenceText("Arial", -11, &line, 1, 136, 16)};
}

int lastLitColumn(const Picture& strip) {
    int last = -1;
    for (int y = 0; y < strip.height; ++y)
        for (int x = 0; x < strip.width; ++x)
            if (strip.at(x, y) != black) last = std::max(last, x);
    return last;
}

// True while an icon handle is alive.
bool iconExists(HICON icon) {
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) return false;
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
    return true;
}

class MonitorRender : public MonitorWindowTest {
protected:
    explicit MonitorRender(std::int64_t rows = 20) : MonitorWindowTest(rows) {}

    void SetUp() override {
        MonitorWindowTest::SetUp();
        // Core 0's first measurement counts from here, not from tick 0.
        sampleTables.lastTick[0] = GetTickCount();
    }

    // A repaint whose own sample of core 0 comes 50 ms early. The tick count
    // may move by one step (10 to 16 ms) between the two readings; an early
    // event plots at height 1 whatever that step, so the graph stays exact.
    void refreshEarly() {
        sampleTables.lastTick[0] = GetTickCount() - 50;
        refreshMonitor();
    }
};

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

TEST_F(MonitorRender, TrayGraphFollowsThePeaksOfEachUpdate) {
    struct Update {
        std::int64_t peak0;
        std::int64_t peak1;
        std::int64_t anyRowRedrawn;
        std::int64_t drawn;  // height the update should record
    };
    const Update updates[] = {
        {3, 7, 1, 7},     // the larger of the cores
        {0, 37, 1, 15},   // 250 ms late: capped at the full height
        {0, 0, 0, 15},    // no row redrawn at all: full height regardless
        {300, 2, 1, 15},  // far above the cap
        {5, 0, 1, 5},
    };
    for (const Update& u : updates) {
        sampleTables.trayPeak[0] = u.peak0;
        sampleTables.trayPeak[1] = u.peak1;
        sampleTables.anyRowRedrawn = u.anyRowRedrawn;
        updateTrayIcon();
        EXPECT_EQ(sampleTables.trayPeak[0], 0);
        EXPECT_EQ(sampleTables.trayPeak[1], 0);
        EXPECT_EQ(sampleTables.anyRowRedrawn, 0);
    }
    // Oldest first: eleven flat starting entries, then the five updates, the
    // newest twice (entry 15 is drawn inside the picture, 16 just outside).
    const std::int64_t expectedHistory[17] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 15, 15, 15, 5, 5};
    for (int k = 0; k < 17; ++k) EXPECT_EQ(sampleTables.trayHistory[k], expectedHistory[k]) << "entry " << k;

    // The polyline's points are (x, 15 − history[x − 1]) for x = 1 .. 15 (the
    // newest value lies at x = 16, outside the picture) and (0, 15 − history[0]).
    const Picture icon = captureBitmap(trayIconImage);
    ASSERT_EQ(icon.width, 16);
    ASSERT_EQ(icon.height, 16);
    EXPECT_EQ(icon.at(0, 15 - static_cast<int>(expectedHistory[0])), textCyan);
    for (int x = 1; x < 16; ++x) {
        const int y = 15 - static_cast<int>(expectedHistory[x - 1]);
        EXPECT_EQ(icon.at(x, y), textCyan) << "point (" << x << ", " << y << ")";
    }
    // Columns 1 .. 9 hold the flat start on the bottom line and nothing else.
    for (int x = 0; x < 10; ++x)
        for (int y = 0; y < 15; ++y) EXPECT_EQ(icon.at(x, y), black) << "(" << x << ", " << y << ")";
    // The last points: 7, then 15 three times, then 5 just outside.
    EXPECT_EQ(icon.at(12, 15 - 7), textCyan);
    EXPECT_EQ(icon.at(13, 0), textCyan);
    EXPECT_EQ(icon.at(14, 0), textCyan);
    EXPECT_EQ(icon.at(15, 0), textCyan);
    for (COLORREF c : icon.pixels) EXPECT_TRUE(c == black || c == textCyan) << describeColour(c);
}

TEST_F(MonitorRender, TrayIconIsRebuiltOnEvery32ndRepaint) {
    sampleTables.trayPeak[1] = 9;
    for (int run = 1; run <= 31; ++run) refreshEarly();
    EXPECT_EQ(sampleTables.repaintCounter, 31);
    EXPECT_EQ(trayIcon.hIcon, nullptr) << "no icon before the 32nd repaint";
    EXPECT_EQ(sampleTables.trayPeak[1], 9) << "the peaks are collected only by the tray update";

    refreshEarly();
    EXPECT_EQ(sampleTables.repaintCounter, 0);
    EXPECT_NE(trayIcon.hIcon, nullptr);
    EXPECT_EQ(sampleTables.trayPeak[1], 0);
    EXPECT_EQ(sampleTables.trayHistory[15], 9);

    sampleTables.trayPeak[1] = 4;
    for (int run = 1; run <= 31; ++run) refreshEarly();
    EXPECT_EQ(sampleTables.trayHistory[15], 9);
    refreshEarly();
    EXPECT_EQ(sampleTables.trayHistory[14], 9);
    EXPECT_EQ(sampleTables.trayHistory[15], 4);
}

TEST_F(MonitorRender, TrayIconHandleIsKeptFromTheFirstAddition) {
    updateTrayIcon();
    HICON first = trayIcon.hIcon;
    ASSERT_NE(first, nullptr) << "the first update adds the icon";
    EXPECT_TRUE(iconExists(first));
    NOTIFYICONDATAA probe = trayIcon;
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &probe)) << "the shell shows the icon";

    // Later updates modify it; each new handle goes right after the call.
    for (int i = 0; i < 5; ++i) updateTrayIcon();
    EXPECT_EQ(trayIcon.hIcon, first);
    EXPECT_TRUE(iconExists(first));

    // The shell lost the icon: the next update adds it again with a new
    // handle and destroys the one kept so far.
    probe = trayIcon;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &probe));
    updateTrayIcon();
    EXPECT_NE(trayIcon.hIcon, nullptr);
    EXPECT_NE(trayIcon.hIcon, first);
    EXPECT_TRUE(iconExists(trayIcon.hIcon));
    EXPECT_FALSE(iconExists(first)) << "the replaced handle leaks";
    probe = trayIcon;
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &probe));

    HICON last = trayIcon.hIcon;
    teardownMonitorWindow();
    EXPECT_FALSE(iconExists(last)) << "the teardown destroys the kept handle";
}

TEST_F(MonitorRender, AnIconThatCannotBeMadeLeavesTheShownOneForTheTeardownToRemove) {
    // The icon belongs to a window of the test's own, so that destroying the
    // monitor window cannot take it away: only the teardown's removal can.
    HWND owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    trayIcon.hWnd = owner;
    updateTrayIcon();
    HICON shown = trayIcon.hIcon;
    ASSERT_NE(shown, nullptr);

    // No mask: CreateIconIndirect fails for real (Wine accepts a deleted
    // bitmap handle, but not a missing one).
    trayIconBitmaps.hbmMask = nullptr;
    updateTrayIcon();
    trayIconBitmaps.hbmMask = trayIconMask;
    EXPECT_EQ(trayIcon.hIcon, shown) << "the failed update dropped the shown icon's handle";
    EXPECT_TRUE(iconExists(shown));
    updateTrayIcon();
    EXPECT_EQ(trayIcon.hIcon, shown) << "the next update did not keep the shown icon's handle";

    NOTIFYICONDATAA probe = trayIcon;
    probe.uFlags = NIF_TIP;
    teardownMonitorWindow();
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &probe)) << "the icon was left in the notification area";
    EXPECT_FALSE(iconExists(shown));
    DestroyWindow(owner);
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

TEST_F(MonitorRender, EraseRequestRestoresThePictureFromBackBuffer) {
    paintMarker(backBufferDC, 10, 40, 30, 50);
    HDC windowDC = GetDC(monitorWindow);
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    const RECT all = {0, 0, 136, static_cast<LONG>(clientHeight)};
    FillRect(windowDC, &all, green);
    ReleaseDC(monitorWindow, windowDC);

    // The context passed with the message is not the one painted.
    HDC passed = CreateCompatibleDC(nullptr);
    HBITMAP passedBitmap = CreateBitmap(8, 8, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(passed, passedBitmap);
    FillRect(passed, &all, green);
    EXPECT_EQ(SendMessageA(monitorWindow, WM_ERASEBKGND, reinterpret_cast<WPARAM>(passed), 0), 1);
    EXPECT_EQ(GetPixel(passed, 2, 2), RGB(0, 255, 0));
    SelectObject(passed, old);
    DeleteObject(passedBitmap);
    DeleteDC(passed);
    DeleteObject(green);

    const Picture shown = windowPicture(0, 0, 136, static_cast<int>(clientHeight));
    const Picture picture = capturePicture(backBufferDC, 0, 0, 136, static_cast<int>(clientHeight));
    ASSERT_EQ(shown.height, static_cast<int>(clientHeight));
    EXPECT_EQ(shown.at(15, 45), marker);
    EXPECT_EQ(countColour(shown, RGB(0, 255, 0)), 0) << "the class background showed";
    EXPECT_TRUE(shown.pixels == picture.pixels);
}

TEST_F(MonitorRender, TimerMessagesOfAnyIdentifierRepaint) {
    for (WPARAM id : {WPARAM{0}, WPARAM{77}}) {
        SCOPED_TRACE(id);
        sampleTables.rowDirty[5] = 1;
        const std::int64_t before = sampleTables.repaintCounter;
        sampleTables.lastTick[0] = GetTickCount() - 100;
        EXPECT_EQ(SendMessageA(monitorWindow, WM_TIMER, id, 0), 0);
        EXPECT_EQ(sampleTables.repaintCounter, before + 1);
        EXPECT_EQ(sampleTables.rowDirty[5], 0);
        EXPECT_STRNE(sampleTables.labelText[0], "") << "core 0 was measured";
    }
    // A posted one, through the message loop, repaints the same way.
    PostMessageA(monitorWindow, WM_TIMER, 3, 0);
    sampleTables.rowDirty[5] = 1;
    const DWORD posted = GetTickCount();
    while (sampleTables.rowDirty[5] != 0 && GetTickCount() - posted < 5000) pumpMessagesFor(10);
    EXPECT_EQ(sampleTables.rowDirty[5], 0);
}

TEST_F(MonitorRender, TrayNotificationsAndOtherMessagesGetTheDefaultHandling) {
    const std::int64_t before = sampleTables.repaintCounter;
    sampleTables.rowDirty[2] = 1;
    // Tray notifications come as WM_MOUSEMOVE with the pointer event in lParam.
    EXPECT_EQ(SendMessageA(monitorWindow, WM_MOUSEMOVE, 0, WM_LBUTTONDBLCLK), 0);
    EXPECT_EQ(SendMessageA(monitorWindow, WM_MOUSEMOVE, 0, WM_RBUTTONUP), 0);
    EXPECT_EQ(SendMessageA(monitorWindow, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20)), 0);
    EXPECT_EQ(SendMessageA(monitorWindow, WM_KEYDOWN, 'A', 0x001E0001), 0);
    EXPECT_EQ(sampleTables.repaintCounter, before);
    EXPECT_EQ(sampleTables.rowDirty[2], 1);
    EXPECT_TRUE(IsWindow(monitorWindow));
    EXPECT_FALSE(takeQuitMessage());
}

TEST_F(MonitorRender, ClosingTheWindowPostsTheQuitMessage) {
    EXPECT_FALSE(takeQuitMessage());
    SendMessageA(monitorWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(monitorWindow));
    WPARAM exitCode = 1;
    EXPECT_TRUE(takeQuitMessage(&exitCode));
    EXPECT_EQ(exitCode, 0u);
    // The teardown after the loop finds the window gone and still releases the rest.
    EXPECT_EQ(teardownMonitorWindow(), 0);
    EXPECT_FALSE(isWindowClassRegistered("VantrelWindow"));
}

bool messageOpensMenu(UINT message, WPARAM wParam, LPARAM lParam) {
    const MenuOutcome outcome = sendClosingMenus(monitorWindow, message, wParam, lParam);
    EXPECT_EQ(outcome.stuck, 0) << "a menu loop ran without a menu on screen";
    return outcome.shown > 0;
}

TEST_F(MonitorRender, AppsKeyOpensTheMenuOnAFreshPressOnly) {
    constexpr LPARAM press = 0x015D0001;  // repeat count 1, extended key, scan code 0x5D
    constexpr LPARAM repeat = press | (LPARAM{1} << 30);
    EXPECT_FALSE(messageOpensMenu(WM_KEYDOWN, VK_APPS, repeat)) << "auto-repeat opened the menu";
    EXPECT_TRUE(messageOpensMenu(WM_KEYDOWN, VK_APPS, press));
    EXPECT_TRUE(messageOpensMenu(WM_RBUTTONUP, 0, MAKELPARAM(20, 20)));
    // Closing the menu without a choice changes nothing and restores the band.
    EXPECT_EQ(keepOnTop, 1);
    EXPECT_NE(GetWindowLongPtrA(monitorWindow, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
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
