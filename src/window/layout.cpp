#include "window/layout.h"

#include <algorithm>
#include <charconv>

#include "engine/sample_tables.h"

const char attributionLine[] = "Vantrel timer lateness monitor";
const char webAddressLine[] = "https://vantrel.example.org/";

namespace {

// Digits after "CPU / Core #": the plain number up to nine cores, else a
// space and two or, from 100 cores on, three digits with leading zeros.
constexpr std::int64_t captionDigitsFor(std::int64_t count) {
    if (count <= 9) return 0;
    return count <= 99 ? 2 : 3;
}

// Outer height of a window with `rows` rows per column.
std::int64_t outerHeightFor(std::int64_t rows, const FrameInsets& frame) {
    return clientHeightFor(rows) + frame.top + frame.bottom;
}

}  // namespace

std::int64_t formatCaption(std::int64_t core, std::int64_t count, char* out) {
    static const char prefix[] = "CPU / Core #";
    char* const end = out + captionCapacity - 1;
    char* next = std::copy(prefix, prefix + sizeof prefix - 1, out);

    const std::int64_t digits = captionDigitsFor(count);
    if (digits > 0) *next++ = ' ';
    char number[24];
    const std::to_chars_result written = std::to_chars(number, number + sizeof number, core + 1);
    const std::int64_t length = written.ptr - number;
    for (std::int64_t pad = length; pad < digits && next < end; ++pad) *next++ = '0';
    const std::int64_t room = end - next;
    next = std::copy(number, number + std::min(length, room), next);
    *next = '\0';
    return next - out;
}

MonitorLayout layoutMonitor(std::int64_t count, const ScreenArea& area, const FrameInsets& frame) {
    const std::int64_t rows = std::clamp<std::int64_t>(count, 1, maxCores);
    const std::int64_t frameWidth = frame.left + frame.right;
    const std::int64_t areaHeight = area.bottom - area.top;
    // Columns beyond the rows would only add empty space.
    const std::int64_t widest =
        std::clamp<std::int64_t>((area.right - area.left - frameWidth) / columnWidth, 1, rows);

    MonitorLayout layout = {};
    layout.columns = widest;
    for (std::int64_t columns = 1; columns <= widest; ++columns) {
        if (outerHeightFor((rows + columns - 1) / columns, frame) <= areaHeight) {
            layout.columns = columns;
            break;
        }
    }
    layout.rowsPerColumn = (rows + layout.columns - 1) / layout.columns;
    layout.width = columnWidth * layout.columns;
    layout.height = clientHeightFor(layout.rowsPerColumn);

    const std::int64_t outerHeight = outerHeightFor(layout.rowsPerColumn, frame);
    if (outerHeight > areaHeight) {
        layout.left = area.left;
        layout.top = area.top;
        return layout;
    }
    const std::int64_t outerWidth = layout.width + frameWidth;
    layout.top = std::max(area.top, std::min(windowTop, area.bottom - outerHeight));
    layout.left = std::max(area.left, std::min(windowLeft, area.right - outerWidth));
    return layout;
}

std::int64_t collectTrayPeak(std::int64_t* trayPeak, std::int64_t count, std::int64_t* anyRowRedrawn) {
    std::int64_t peak = 0;
    for (std::int64_t r = 0; r < count; ++r) {
        if (trayPeak[r] > peak) peak = trayPeak[r];
        trayPeak[r] = 0;
    }
    if (*anyRowRedrawn != 0) {
        *anyRowRedrawn = 0;
        if (peak > 15) peak = 15;
    } else {
        peak = 15;
    }
    return peak;
}

void stepTrayHistory(std::int64_t* trayHistory, std::int64_t peak, TrayPoint* points) {
    trayHistory[16] = peak;
    points[0] = TrayPoint{0, trayGraphTop - trayHistory[1]};
    for (std::int64_t k = 0; k < 16; ++k) {
        const std::int64_t x = trayHistory[k + 1];
        points[k + 1] = TrayPoint{k + 1, trayGraphTop - x};
        trayHistory[k] = x;
    }
}

std::int64_t chainLevel(const bool* linkExists, std::int64_t linkCount) {
    std::int64_t level = 0;
    while (level < linkCount && linkExists[level]) ++level;
    return level;
}
