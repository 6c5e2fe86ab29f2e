// Geometry, texts and the tray graph step of the monitor window: everything of
// the window that is plain arithmetic, kept free of <windows.h>.
#pragma once

#include <cstdint>

constexpr std::int64_t clientWidth = 136;
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

constexpr std::int64_t rowsAreaHeight(std::int64_t count) { return rowPitch * count - 4; }
constexpr std::int64_t clientHeightFor(std::int64_t count) { return rowsAreaHeight(count) + 32; }
constexpr std::int64_t labelTopOf(std::int64_t row) { return 4 + rowPitch * row; }
constexpr std::int64_t graphTopOf(std::int64_t row) { return 20 + rowPitch * row; }
constexpr std::int64_t baselineOf(std::int64_t row) { return graphTopOf(row) + 15; }
constexpr std::int64_t captionTopOf(std::int64_t row) { return 4 + rowPitch * row; }
constexpr std::int64_t separatorYOf(std::int64_t row) { return rowPitch * row + 36; }
constexpr std::int64_t attributionTopFor(std::int64_t count) { return rowPitch * count + 6; }
constexpr std::int64_t webAddressTopFor(std::int64_t count) { return rowPitch * count + 16; }

// The two footer lines under the rows.
extern const char attributionLine[];
extern const char webAddressLine[];

// Caption of row `core` when `count` cores are shown: "CPU / Core #1" up to
// nine cores, "CPU / Core # 01" from ten on (two digits, the last two of k).
// `out` needs 24 bytes. Answers the length.
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
