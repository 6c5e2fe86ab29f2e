// Geometry, texts and the tray graph step of the monitor window: everything of
// the window that is plain arithmetic, kept free of <windows.h>.
#pragma once

#include <cstdint>

// One column of rows; the client area is columnWidth times the column count.
constexpr std::int64_t columnWidth = 136;
constexpr std::int64_t rowPitch = 36;
constexpr std::int64_t windowLeft = 160;
constexpr std::int64_t windowTop = 200;
constexpr std::int64_t graphLeft = 4;
constexpr std::int64_t graphHeight = 16;
constexpr std::int64_t graphClearRight = 133;  // exclusive
constexpr std::int64_t labelRight = 133;       // exclusive: the last label pixel is x = 132
constexpr std::int64_t labelHeight = 16;
constexpr std::int64_t separatorLeft = 4;
constexpr std::int64_t separatorRight = 133;   // end point, not drawn
constexpr std::int64_t captionLeft = 4;
constexpr std::int64_t footerLeft = 4;
constexpr std::int64_t trayIconSize = 16;
// The tray icon is rebuilt on every trayUpdateInterval-th repaint.
constexpr std::int64_t trayUpdateInterval = 32;
constexpr std::int64_t trayGraphTop = 15;       // the height 15 lies on pixel row 0

// Heights and footer lines take the rows of one column. The per-row
// positions take a row's slot in its column (row % rowsPerColumn) and are
// measured from the column's left edge; with one column, slot and row are
// the same.
constexpr std::int64_t rowsAreaHeight(std::int64_t rowsPerColumn) { return rowPitch * rowsPerColumn - 4; }
constexpr std::int64_t clientHeightFor(std::int64_t rowsPerColumn) { return rowsAreaHeight(rowsPerColumn) + 32; }
constexpr std::int64_t labelTopOf(std::int64_t slot) { return 4 + rowPitch * slot; }
constexpr std::int64_t graphTopOf(std::int64_t slot) { return 20 + rowPitch * slot; }
constexpr std::int64_t baselineOf(std::int64_t slot) { return graphTopOf(slot) + 15; }
constexpr std::int64_t captionTopOf(std::int64_t slot) { return 4 + rowPitch * slot; }
constexpr std::int64_t separatorYOf(std::int64_t slot) { return rowPitch * slot + 36; }
constexpr std::int64_t attributionTopFor(std::int64_t rowsPerColumn) { return rowPitch * rowsPerColumn + 6; }
constexpr std::int64_t webAddressTopFor(std::int64_t rowsPerColumn) { return rowPitch * rowsPerColumn + 16; }

// Screen coordinates (negative left of or above the primary monitor); right
// and bottom are exclusive.
struct ScreenArea {
    std::int64_t left;
    std::int64_t top;
    std::int64_t right;
    std::int64_t bottom;
};

// What the window frame adds on each side of the client area.
struct FrameInsets {
    std::int64_t left;
    std::int64_t top;
    std::int64_t right;
    std::int64_t bottom;
};

struct MonitorLayout {
    std::int64_t columns;
    std::int64_t rowsPerColumn;
    std::int64_t width;   // client area
    std::int64_t height;  // client area
    std::int64_t left;    // outer window, screen coordinates
    std::int64_t top;
};

// The window for `count` cores (1 .. maxCores; others are clamped) in the
// work area `area`: as few columns as keep the whole window no taller than
// the area, at (windowLeft, windowTop) moved up and then left just enough to
// stay inside, never above or left of the area. When even the widest window
// the area allows is too tall, that many columns (never more than rows) at
// the area's top left.
MonitorLayout layoutMonitor(std::int64_t count, const ScreenArea& area, const FrameInsets& frame);

struct RowOrigin {
    std::int64_t x;
    std::int64_t y;
};

// How far `row` lies from row 0: columnWidth per column and rowPitch per
// slot, columns filled top to bottom. Everything of the row sits where row
// 0's does, shifted by this. The per-slot positions above already hold the
// y part: add only x to them.
constexpr RowOrigin rowOriginOf(std::int64_t row, std::int64_t rowsPerColumn) {
    if (rowsPerColumn < 1) return RowOrigin{0, rowPitch * row};
    return RowOrigin{columnWidth * (row / rowsPerColumn), rowPitch * (row % rowsPerColumn)};
}

// The two footer lines under the rows.
extern const char attributionLine[];
extern const char webAddressLine[];

// Caption of row `core` when `count` cores are shown: "CPU / Core #1" up to
// nine cores, "CPU / Core # 01" from ten on and "CPU / Core # 001" from 100
// on, so every row of a window has its own. `out` needs captionCapacity
// bytes. Answers the length.
constexpr std::int64_t captionCapacity = 24;
std::int64_t formatCaption(std::int64_t core, std::int64_t count, char* out);

// Width to wipe before a new label is drawn: the wider of the old and new, so
// a shorter label leaves no remnant of the longer one.
constexpr std::int64_t labelEraseWidth(std::int64_t oldWidth, std::int64_t newWidth) {
    return oldWidth > newWidth ? oldWidth : newWidth;
}

// Collects the tray peak over `count` cores and resets each core's peak.
// With a row redrawn since the last update (anyRowRedrawn set, then cleared)
// the peak is capped at the full height 15; with none it is 15 outright, so
// a display that stopped updating shows as a full-height column.
std::int64_t collectTrayPeak(std::int64_t* trayPeak, std::int64_t count, std::int64_t* anyRowRedrawn);

struct TrayPoint {
    std::int64_t x;
    std::int64_t y;
};

// Stores `peak` as the newest history entry, fills the 17 points of the tray
// polyline (move to points[0], line to points[1..16]) and shifts the history
// one place toward entry 0.
void stepTrayHistory(std::int64_t* trayHistory, std::int64_t peak, TrayPoint* points);

// Teardown level: the number of leading links of the setup chain that exist.
std::int64_t chainLevel(const bool* linkExists, std::int64_t linkCount);
