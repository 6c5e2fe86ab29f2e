// vprobe's screen reading: the monitor window's picture and its rows.
#include "tests/tools/vprobe/screen.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Geometry of the monitor's client area (and rowPitch).
constexpr int graphLeft = 4;
constexpr int graphColumns = 128;
constexpr int graphBoxHeight = 16;
constexpr int labelRight = 133;  // exclusive
constexpr int labelStripHeight = 16;
constexpr int fullHeight = 15;
// New columns enter at the right: the newest ones tell what just happened.
constexpr int recentColumns = 8;
// Labels never reach further left than this; the caption ends well before it.
constexpr int labelSearchLeft = 80;
// A run of this many dark columns ends the label when scanning leftwards
// (a wide label can run into the caption; the match then gives its extent).
constexpr int labelGap = 6;

// The label font and colours of the program.
constexpr LONG labelFontHeight = -11;
constexpr LONG labelFontWeight = FW_LIGHT;
constexpr COLORREF labelTextColour = RGB(0, 178, 178);
constexpr int firstCandidate = -100;
constexpr int lastCandidate = 9999;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<DWORD> pixels;  // 0x00RRGGBB, top-down

    DWORD at(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

// Anything clearly brighter than the black background: the graph pen and
// the text colour, or a blend of text and background at a glyph's edge.
bool isLit(DWORD pixel) {
    const DWORD green = (pixel >> 8) & 0xFF;
    const DWORD blue = pixel & 0xFF;
    return green > 40 || blue > 40;
}

// Copies `rect` of the screen into a 32-bit top-down pixel array.
bool grabScreen(const RECT& rect, Picture& out) {
    out.width = rect.right - rect.left;
    out.height = rect.bottom - rect.top;
    if (out.width <= 0 || out.height <= 0) return false;
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return false;
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, out.width, out.height);
    bool ok = false;
    if (memory != nullptr && bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, out.width, out.height, screen, rect.left, rect.top, SRCCOPY) != 0;
        SelectObject(memory, old);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = out.width;
        info.bmiHeader.biHeight = -out.height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        out.pixels.assign(static_cast<size_t>(out.width) * static_cast<size_t>(out.height), 0);
        ok = ok && GetDIBits(memory, bitmap, 0, static_cast<UINT>(out.height), out.pixels.data(), &info,
                             DIB_RGB_COLORS) == out.height;
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (memory != nullptr) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

bool grabClient(HWND window, ClientArea& area, Picture& picture) {
    if (!clientAreaOf(window, area)) return false;
    const RECT rect = {area.origin.x, area.origin.y, area.origin.x + area.width, area.origin.y + area.height};
    return grabScreen(rect, picture);
}

// Rows lie in columns of columnWidth, filled top to bottom; the rows of a
// column follow from the client height, the count from the captions shown.
constexpr int columnWidth = 136;
constexpr int separatorColour = 0x003333;  // (0, 51, 51)

int rowsPerColumnOf(const Picture& picture) {
    return (picture.height - 28) / rowPitch;
}

POINT rowOrigin(const Picture& picture, int row) {
    const int rows = rowsPerColumnOf(picture) > 0 ? rowsPerColumnOf(picture) : 1;
    return POINT{columnWidth * (row / rows), rowPitch * (row % rows)};
}

bool captionShown(const Picture& picture, int row) {
    const POINT origin = rowOrigin(picture, row);
    if (origin.x + columnWidth > picture.width) return false;
    for (int y = origin.y + 4; y < origin.y + 16; ++y)
        for (int x = origin.x + 4; x < origin.x + 40; ++x)
            if (isLit(picture.at(x, y))) return true;
    return false;
}

int rowCountOf(const Picture& picture) {
    int rows = 0;
    while (rows < 1024 && captionShown(picture, rows)) ++rows;
    return rows;
}

// The separator under the row: the whole line from x 4 to 132 of its column.
bool separatorShown(const Picture& picture, int row) {
    const POINT origin = rowOrigin(picture, row);
    for (int x = origin.x + 4; x <= origin.x + 132; ++x)
        if ((picture.at(x, origin.y + rowPitch) & 0xFFFFFF) != separatorColour) return false;
    return true;
}

// Renders candidate labels exactly as the program draws them: TextOutA with
// the label font, opaque black background, into a memory DC that holds a
// screen-compatible bitmap.
struct LabelRenderer {
    HDC screen = nullptr;
    HDC memory = nullptr;
    HFONT font = nullptr;
    HGDIOBJ savedFont = nullptr;

    bool open() {
        screen = GetDC(nullptr);
        if (screen == nullptr) return false;
        memory = CreateCompatibleDC(nullptr);
        LOGFONTA record = {};
        record.lfHeight = labelFontHeight;
        record.lfWeight = labelFontWeight;
        record.lfCharSet = ANSI_CHARSET;
        lstrcpynA(record.lfFaceName, "Arial", LF_FACESIZE);
        font = CreateFontIndirectA(&record);
        if (memory == nullptr || font == nullptr) return false;
        savedFont = SelectObject(memory, font);
        SetTextColor(memory, labelTextColour);
        SetBkColor(memory, RGB(0, 0, 0));
        return true;
    }

    void close() {
        if (memory != nullptr && savedFont != nullptr) SelectObject(memory, savedFont);
        if (font != nullptr) DeleteObject(font);
        if (memory != nullptr) DeleteDC(memory);
        if (screen != nullptr) ReleaseDC(nullptr, screen);
    }

    // Answers the text's pixels, `width` wide and 16 high, black where no
    // glyph or text cell reaches.
    bool render(const char* text, int& width, std::vector<DWORD>& pixels) {
        const int length = static_cast<int>(std::strlen(text));
        SIZE size = {};
        if (!GetTextExtentPoint32A(memory, text, length, &size) || size.cx <= 0) return false;
        width = size.cx;
        HBITMAP bitmap = CreateCompatibleBitmap(screen, width, labelStripHeight);
        if (bitmap == nullptr) return false;
        HGDIOBJ old = SelectObject(memory, bitmap);
        const RECT all = {0, 0, width, labelStripHeight};
        FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        TextOutA(memory, 0, 0, text, length);
        SelectObject(memory, old);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -labelStripHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        pixels.assign(static_cast<size_t>(width) * labelStripHeight, 0);
        const int lines = GetDIBits(memory, bitmap, 0, labelStripHeight, pixels.data(), &info, DIB_RGB_COLORS);
        DeleteObject(bitmap);
        return lines == labelStripHeight;
    }
};

struct Candidate {
    int value = 0;
    int width = 0;
    std::vector<DWORD> pixels;
};

// Every label the program can show for a maximum between -100 and 9999 ms.
std::vector<Candidate> renderCandidates() {
    std::vector<Candidate> candidates;
    LabelRenderer renderer;
    if (renderer.open()) {
        char text[32];
        for (int value = firstCandidate; value <= lastCandidate; ++value) {
            const int length = std::snprintf(text, sizeof text, "+%dms", value);
            if (length < 0 || static_cast<size_t>(length) >= sizeof text) continue;
            Candidate candidate;
            candidate.value = value;
            if (renderer.render(text, candidate.width, candidate.pixels)) candidates.push_back(std::move(candidate));
        }
    }
    renderer.close();
    return candidates;
}

struct RowReading {
    int heights[graphColumns] = {};  // -1: no lit pixel in that column
    int litColumns = 0;
    int fullColumns = 0;
    int recentFullColumns = 0;  // among the newest recentColumns columns
    bool labelPresent = false;
    int labelLeft = -1;
    int labelRight = -1;
    int labelMatches = 0;
    int labelValue = 0;
};

void readGraph(const Picture& picture, int row, RowReading& reading) {
    const POINT origin = rowOrigin(picture, row);
    const int graphTop = origin.y + 20;
    const int baseline = graphTop + fullHeight;
    for (int k = 0; k < graphColumns; ++k) {
        reading.heights[k] = -1;
        for (int y = graphTop; y < graphTop + graphBoxHeight; ++y) {
            if (isLit(picture.at(origin.x + graphLeft + k, y))) {
                reading.heights[k] = baseline - y;
                break;
            }
        }
        if (reading.heights[k] >= 0) ++reading.litColumns;
        if (reading.heights[k] == fullHeight) {
            ++reading.fullColumns;
            if (k >= graphColumns - recentColumns) ++reading.recentFullColumns;
        }
    }
}

bool columnLit(const Picture& picture, int x, int top) {
    for (int y = top; y < top + labelStripHeight; ++y) {
        if (isLit(picture.at(x, y))) return true;
    }
    return false;
}

void readLabel(const Picture& picture, int row, const std::vector<Candidate>* candidates, RowReading& reading) {
    const POINT origin = rowOrigin(picture, row);
    const int top = origin.y + 4;
    const int right = origin.x + labelRight;
    const int searchLeft = origin.x + labelSearchLeft;
    int dark = 0;
    for (int x = right - 1; x >= searchLeft; --x) {
        if (columnLit(picture, x, top)) {
            if (reading.labelRight < 0) reading.labelRight = x;
            reading.labelLeft = x;
            dark = 0;
        } else if (reading.labelRight >= 0 && ++dark >= labelGap) {
            break;
        }
    }
    reading.labelPresent = reading.labelRight >= 0;
    if (!reading.labelPresent || candidates == nullptr) return;

    for (const Candidate& candidate : *candidates) {
        const int left = right - candidate.width;
        if (left < searchLeft - 10) continue;
        bool same = true;
        for (int y = 0; y < labelStripHeight && same; ++y) {
            for (int x = 0; x < candidate.width; ++x) {
                if ((picture.at(left + x, top + y) & 0xFFFFFF) !=
                    (candidate.pixels[static_cast<size_t>(y) * static_cast<size_t>(candidate.width) + static_cast<size_t>(x)] & 0xFFFFFF)) {
                    same = false;
                    break;
                }
            }
        }
        // No margin to the left is required: a wide label reaches the
        // caption. Every candidate starts with "+", so a shorter one cannot
        // match the tail of a longer label pixel for pixel.
        if (same) {
            ++reading.labelMatches;
            reading.labelValue = candidate.value;
            reading.labelLeft = left;
        }
    }
}

void printRows(const Picture& picture, int rows, const std::vector<Candidate>* candidates) {
    std::printf("rows=%d\nrows_per_column=%d\n", rows, rowsPerColumnOf(picture));
    for (int row = 0; row < rows; ++row) {
        RowReading reading;
        readGraph(picture, row, reading);
        readLabel(picture, row, candidates, reading);
        const POINT origin = rowOrigin(picture, row);
        std::printf("row%d_origin=%ld,%ld\nrow%d_separator=%d\n", row, origin.x, origin.y, row,
                    separatorShown(picture, row) ? 1 : 0);
        std::printf("row%d_heights=", row);
        for (int k = 0; k < graphColumns; ++k) std::printf(k == 0 ? "%d" : ",%d", reading.heights[k]);
        std::printf("\nrow%d_lit_columns=%d\nrow%d_full_columns=%d\nrow%d_recent_full_columns=%d\n", row,
                    reading.litColumns, row, reading.fullColumns, row, reading.recentFullColumns);
        std::printf("row%d_label_present=%d\nrow%d_label_left=%d\nrow%d_label_right=%d\n", row,
                    reading.labelPresent ? 1 : 0, row, reading.labelLeft, row, reading.labelRight);
        if (candidates != nullptr) {
            std::printf("row%d_label_matches=%d\n", row, reading.labelMatches);
            if (reading.labelMatches == 1) std::printf("row%d_label_value=%d\n", row, reading.labelValue);
        }
    }
}

bool rowsAllShowing(const Picture& picture, int rows) {
    if (rows < 1) return false;
    for (int row = 0; row < rows; ++row) {
        RowReading reading;
        readGraph(picture, row, reading);
        readLabel(picture, row, nullptr, reading);
        // The newest column (x = 131) is the end point of the polyline and
        // is never drawn, so 127 of 128 columns carry the line.
        if (reading.litColumns < graphColumns - 1 || !reading.labelPresent) return false;
    }
    return true;
}

}  // namespace

HWND findMonitor() {
    return FindWindowA(monitorClass, nullptr);
}

HWND waitForMonitor(DWORD waitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND window = findMonitor();
        if (window != nullptr || GetTickCount() - start >= waitMs) return window;
        Sleep(pollMs);
    }
}

bool clientAreaOf(HWND window, ClientArea& area) {
    RECT client = {};
    if (!GetClientRect(window, &client)) return false;
    area.origin = POINT{0, 0};
    if (!ClientToScreen(window, &area.origin)) return false;
    area.width = client.right;
    area.height = client.bottom;
    return true;
}

int commandRows() {
    HWND window = findMonitor();
    ClientArea area;
    Picture picture;
    if (window == nullptr || !grabClient(window, area, picture)) {
        std::printf("found=0\n");
        return 1;
    }
    const std::vector<Candidate> candidates = renderCandidates();
    std::printf("found=1\ncandidates=%zu\n", candidates.size());
    printRows(picture, rowCountOf(picture), &candidates);
    return 0;
}

// Polls the screen until a full-height column enters ROW. It first waits
// for a frame whose newest columns hold none, so that a disturbance that
// happened before the caller's own is not taken for it; "polling=1" then
// tells the caller to go ahead.
int commandWaitFull(int row, DWORD waitMs) {
    // Rendered before polling, so the frame is analysed as soon as it shows.
    const std::vector<Candidate> candidates = renderCandidates();
    const DWORD start = GetTickCount();
    bool armed = false;
    for (;;) {
        HWND window = findMonitor();
        ClientArea area;
        Picture picture;
        if (window != nullptr && grabClient(window, area, picture) && row < rowCountOf(picture)) {
            RowReading reading;
            readGraph(picture, row, reading);
            if (!armed && reading.recentFullColumns == 0) {
                armed = true;
                std::printf("polling=1\n");
                // The caller waits for this line before it acts.
                if (std::fflush(stdout) != 0) return 1;
            } else if (armed && reading.recentFullColumns > 0) {
                std::printf("found=1\nwaited_ms=%lu\ncandidates=%zu\n",
                            static_cast<unsigned long>(GetTickCount() - start), candidates.size());
                printRows(picture, rowCountOf(picture), &candidates);
                return 0;
            }
        }
        if (GetTickCount() - start >= waitMs) break;
        Sleep(pollMs);
    }
    std::printf("found=0\narmed=%d\nwaited_ms=%lu\n", armed ? 1 : 0, static_cast<unsigned long>(GetTickCount() - start));
    return 1;
}

int commandWatch(DWORD waitMs) {
    HWND tray = FindWindowA(nullptr, trayTitle);
    std::printf("tray_visible_before=%d\n", tray != nullptr && IsWindowVisible(tray) ? 1 : 0);
    std::printf("window_already_there=%d\n", findMonitor() != nullptr ? 1 : 0);
    if (std::fflush(stdout) != 0) return 1;
    HWND window = waitForMonitor(waitMs);
    if (window == nullptr) {
        std::printf("found=0\n");
        return 1;
    }
    const DWORD seen = GetTickCount();
    std::printf("found=1\n");
    bool rowsReady = false;
    bool trayShown = false;
    while (!(rowsReady && trayShown) && GetTickCount() - seen < waitMs) {
        const DWORD now = GetTickCount();
        if (!rowsReady) {
            ClientArea area;
            Picture picture;
            if (grabClient(window, area, picture) && rowsAllShowing(picture, rowCountOf(picture))) {
                rowsReady = true;
                std::printf("rows_ready_ms=%lu\n", static_cast<unsigned long>(now - seen));
                if (std::fflush(stdout) != 0) return 1;
            }
        }
        if (!trayShown) {
            tray = FindWindowA(nullptr, trayTitle);
            if (tray != nullptr && IsWindowVisible(tray)) {
                trayShown = true;
                std::printf("tray_ms=%lu\n", static_cast<unsigned long>(now - seen));
                if (std::fflush(stdout) != 0) return 1;
            }
        }
        Sleep(pollMs);
    }
    std::printf("rows_ready=%d\ntray_shown=%d\n", rowsReady ? 1 : 0, trayShown ? 1 : 0);
    return rowsReady && trayShown ? 0 : 1;
}
