// What the tests of the monitor window's repaint share: the colours, where
// rows lie, tables filled by hand, pictures read back, and the fixture.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "tests/support/win_test_support.h"
#include "window/monitor_window.h"

constexpr COLORREF black = RGB(0, 0, 0);
constexpr COLORREF textCyan = RGB(0, 178, 178);
constexpr COLORREF marker = RGB(200, 30, 90);

inline int graphTopOfRow(int row) { return 20 + 36 * row; }
inline int labelTopOfRow(int row) { return 4 + 36 * row; }

inline std::int64_t* graphOf(int row) { return &sampleTables.graphColumns[row * graphStride]; }

// Fills the 128 drawn columns and the incoming slot (which mirrors column 127).
template <typename Height>
inline void fillGraph(int row, Height height) {
    std::int64_t* columns = graphOf(row);
    for (int k = 0; k < 128; ++k) columns[k] = height(k);
    columns[128] = columns[127];
}

inline void setLabel(int row, const char* text) {
    lstrcpynA(sampleTables.labelText[row], text, sizeof sampleTables.labelText[row]);
}

inline void paintMarker(HDC dc, int left, int top, int right, int bottom) {
    HBRUSH brush = CreateSolidBrush(marker);
    const RECT box = {left, top, right, bottom};
    FillRect(dc, &box, brush);
    DeleteObject(brush);
}

inline int countColour(const Picture& picture, COLORREF colour) {
    return static_cast<int>(std::count(picture.pixels.begin(), picture.pixels.end(), colour));
}

inline Picture windowPicture(int x, int y, int width, int height) {
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
inline ReferenceLabel referenceLabel(const char* text) {
    const int width = referenceTextWidth("Arial", -11, text);
    const TextLine line = {text, 133 - width, 0};
    return ReferenceLabel{width, renderReferenceText("Arial", -11, &line, 1, 136, 16)};
}

inline int lastLitColumn(const Picture& strip) {
    int last = -1;
    for (int y = 0; y < strip.height; ++y)
        for (int x = 0; x < strip.width; ++x)
            if (strip.at(x, y) != black) last = std::max(last, x);
    return last;
}

// True while an icon handle is alive.
inline bool iconExists(HICON icon) {
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
