// A two-core monitor window with realistic graphs and labels, as the screen
// shows it after a few seconds of running: saved as pictures for a person to
// look at, and checked against backBuffer so that the picture is the program's.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "engine/sample_tables.h"
#include "tests/support/win_test_support.h"
#include "window/monitor_window.h"

namespace {

class MonitorScreenshot : public MonitorWindowTest {};

TEST_F(MonitorScreenshot, TwoCoresAfterAFewSecondsOfSampling) {
    // Core 0: mostly on time, a few events 10 to 60 ms late. Its last 15
    // deviations peak at 47 ms, which its label shows after the next event.
    std::int64_t* core0 = &sampleTables.graphColumns[0];
    for (int k = 0; k < 128; ++k) {
        const int late = (k % 23 == 5) ? 60 : (k % 11 == 3) ? 25 : (k % 7 == 0) ? 10 : 2;
        core0[k] = late * 15 / 100 + 1;
    }
    core0[128] = core0[127];
    const std::int64_t recent[15] = {3, 1, 0, 12, 47, 2, 5, 0, 1, 30, 2, 4, 1, 0, 3};
    std::memcpy(&sampleTables.deviationWindow[0], recent, sizeof recent);

    // Core 1: a busier core with one event 250 ms late (two full columns)
    // and a ramp of growing lateness before it.
    std::int64_t* core1 = &sampleTables.graphColumns[graphStride];
    for (int k = 0; k < 128; ++k) core1[k] = 1 + (k % 40 < 20 ? (k % 40) * 12 / 20 : 2);
    core1[100] = 15;
    core1[101] = 15;
    core1[128] = core1[127];
    lstrcpynA(sampleTables.labelText[1], "+250ms", sizeof sampleTables.labelText[1]);
    sampleTables.rowDirty[1] = 1;

    // Half a minute of tray history: mostly small peaks, the 250 ms event
    // (capped at the full height) near the end.
    const std::int64_t trayPeaks[] = {2, 1, 3, 9, 2, 1, 4, 2, 15, 6, 3, 2};
    for (std::int64_t peak : trayPeaks) {
        sampleTables.trayPeak[1] = peak;
        sampleTables.anyRowRedrawn = 1;
        updateTrayIcon();
    }
    ASSERT_NE(trayIcon.hIcon, nullptr);

    // Three repaints on time: core 0 gains three columns of height 1.
    for (int run = 0; run < 3; ++run) {
        sampleTables.lastTick[0] = GetTickCount() - 100;
        refreshMonitor();
    }
    pumpMessagesFor(300);

    HDC windowDC = GetDC(monitorWindow);
    const Picture shown = capturePicture(windowDC, 0, 0, 136, static_cast<int>(clientHeight));
    ReleaseDC(monitorWindow, windowDC);
    const Picture picture = capturePicture(backBufferDC, 0, 0, 136, static_cast<int>(clientHeight));
    ASSERT_EQ(shown.height, 100);
    EXPECT_TRUE(shown.pixels == picture.pixels) << "the window does not show backBuffer";
    EXPECT_STREQ(sampleTables.labelText[0], "+47ms");

    const std::string client = saveWindowScreenshot(monitorWindow, "monitor_two_cores");
    EXPECT_FALSE(client.empty());
    RECT outer = {};
    GetWindowRect(monitorWindow, &outer);
    const std::string framed = saveScreenAreaScreenshot(outer, "monitor_two_cores_framed");
    EXPECT_FALSE(framed.empty());
    HWND tray = FindWindowA(nullptr, "Wine System Tray");
    if (tray != nullptr) {
        RECT trayArea = {};
        GetWindowRect(tray, &trayArea);
        saveScreenAreaScreenshot(trayArea, "monitor_tray");
    }
    std::printf("saved %s and %s\n", client.c_str(), framed.c_str());
}

}  // namespace

namespace {

// Columns of `strip` (one row's caption and label band) holding any lit
// pixel, as a range.
struct Ink {
    int first = -1;
    int last = -1;
};
Ink inkBetween(const Picture& strip, int from, int to) {
    Ink ink;
    for (int x = from; x < to; ++x) {
        for (int y = 0; y < strip.height; ++y) {
            if (isTextOrBlend(strip.at(x, y))) {
                if (ink.first < 0) ink.first = x;
                ink.last = x;
                break;
            }
        }
    }
    return ink;
}

class WidestRow : public MonitorWindowTest {
protected:
    WidestRow() : MonitorWindowTest(256) {}
};

TEST_F(WidestRow, ThreeDigitCaptionAndTheWidestLabelDoNotTouch) {
    // The last of 256 rows: nine columns of 29, so column 8, slot 23.
    const int row = 255;
    const int left = 136 * 8;
    const int top = 36 * 23;
    lstrcpynA(sampleTables.labelText[row], "+9999ms", sizeof sampleTables.labelText[row]);
    sampleTables.rowDirty[row] = 1;
    sampleTables.lastTick[0] = GetTickCount() - 50;
    refreshMonitor();

    const Picture band = capturePicture(backBufferDC, left, top + 4, 136, 16);
    ASSERT_EQ(band.width, 136);
    const Ink caption = inkBetween(band, 0, 80);
    const int labelLeft = 133 - static_cast<int>(sampleTables.labelWidth[row]);
    const Ink label = inkBetween(band, labelLeft, 136);
    std::printf("caption \"CPU / Core # 256\" ink x %d..%d, label \"+9999ms\" ink x %d..%d\n", caption.first,
                caption.last, label.first, label.last);
    ASSERT_GE(caption.first, 0) << "no caption drawn";
    ASSERT_GE(label.first, 0) << "no label drawn";
    EXPECT_GT(label.first - caption.last, 1) << "the caption and the label touch";
    EXPECT_GT(labelLeft, caption.last) << "the label's wiped strip reaches into the caption";

    // For a person to look at: the row as the screen shows it, once the
    // window's drawing has reached the display.
    pumpMessagesFor(300);
    POINT origin = {left, top};
    ClientToScreen(monitorWindow, &origin);
    const RECT area = {origin.x, origin.y, origin.x + 136, origin.y + 36};
    EXPECT_FALSE(saveScreenAreaScreenshot(area, "widest_row").empty());
}

}  // namespace
