// vprobe: looks at a running vantrel.exe from the Windows side, for the
// end-to-end scripts. Every answer is one key=value per line, so a shell can
// read it with grep or eval. Subcommands:
//
//   vprobe sysinfo                  processor count as Windows reports it
//   vprobe window [WAIT_MS]         the monitor window: title, class, rects, styles, pid,
//                                   its thread's affinity mask
//   vprobe samplers                 every hidden sampler window: position, visibility,
//                                   its thread's affinity mask
//   vprobe tray                     the "Wine System Tray" window: exists, visible
//   vprobe rows                     what the rows show on screen: graph heights,
//                                   full-height columns, the label and its number
//   vprobe wait-full ROW WAIT_MS    polls the screen until a full-height column
//                                   enters ROW, then reports the rows of that frame
//   vprobe watch WAIT_MS            start it before vantrel: waits for the window, then
//                                   reports when every row first showed a graph and a
//                                   label and when the tray icon window appeared
//   vprobe close [WAIT_MS]          posts WM_CLOSE and waits for the process to end
//   vprobe power suspend|resume|resume-user   tells the monitor window (shown or hidden) that the
//                                   machine sleeps or woke, as the system's power broadcast would
//   vprobe hold PATH AFTER_MS COUNT SECONDS   holds PATH open without delete sharing (an exporter or a
//                                   virus scanner) across COUNT replaces, AFTER_MS past each one's start
//
// The picture is read from the screen (GetDC of the desktop), as a user would
// see it; labels are read by rendering every candidate "+Nms" with the
// program's label font and comparing pixels exactly.
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/thread_affinity.h"

namespace {

const char monitorClass[] = "VantrelWindow";
const char samplerClass[] = "VantrelThreadWindow";
const char trayTitle[] = "Wine System Tray";

// Geometry of the monitor's client area.
constexpr int rowPitch = 36;
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

constexpr DWORD pollMs = 15;

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

struct ClientArea {
    POINT origin = {};  // screen coordinates of the client's top left
    int width = 0;
    int height = 0;
};

bool clientAreaOf(HWND window, ClientArea& area) {
    RECT client = {};
    if (!GetClientRect(window, &client)) return false;
    area.origin = POINT{0, 0};
    if (!ClientToScreen(window, &area.origin)) return false;
    area.width = client.right;
    area.height = client.bottom;
    return true;
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

std::string windowText(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string classOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

int commandSysinfo() {
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    std::printf("processors=%lu\n", static_cast<unsigned long>(info.dwNumberOfProcessors));
    return 0;
}

int commandWindow(DWORD waitMs) {
    HWND window = waitForMonitor(waitMs);
    if (window == nullptr) {
        std::printf("found=0\n");
        return 1;
    }
    int count = 0;
    for (HWND other = nullptr; (other = FindWindowExA(nullptr, other, monitorClass, nullptr)) != nullptr;) ++count;
    RECT outer = {};
    GetWindowRect(window, &outer);
    ClientArea area;
    clientAreaOf(window, area);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    const LONG_PTR exStyle = GetWindowLongPtrA(window, GWL_EXSTYLE);
    std::printf("found=1\ncount=%d\ntitle=%s\nclass=%s\n", count, windowText(window).c_str(), classOf(window).c_str());
    std::printf("outer=%ld,%ld,%ld,%ld\n", outer.left, outer.top, outer.right, outer.bottom);
    std::printf("client_origin=%ld,%ld\nclient_size=%d,%d\nrows=%d\n", area.origin.x, area.origin.y, area.width,
                area.height, (area.height - 28) / rowPitch);
    std::printf("style=0x%08llx\nexstyle=0x%08llx\n", static_cast<unsigned long long>(style),
                static_cast<unsigned long long>(exStyle));
    std::printf("topmost=%d\nvisible=%d\npid=%lu\n", (exStyle & WS_EX_TOPMOST) != 0 ? 1 : 0,
                IsWindowVisible(window) ? 1 : 0, static_cast<unsigned long>(processId));
    // The window's thread is the main thread, the sampler of core 0.
    std::printf("thread_affinity=0x%llx\n",
                static_cast<unsigned long long>(threadAffinityById(GetWindowThreadProcessId(window, nullptr))));
    return 0;
}

int commandSamplers() {
    int count = 0;
    for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, samplerClass, nullptr)) != nullptr;) {
        RECT rect = {};
        GetWindowRect(window, &rect);
        DWORD processId = 0;
        const DWORD threadId = GetWindowThreadProcessId(window, &processId);
        std::printf("sampler%d=x:%ld y:%ld w:%ld h:%ld visible:%d style:0x%08llx pid:%lu tid:%lu affinity:0x%llx\n",
                    count, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                    IsWindowVisible(window) ? 1 : 0, static_cast<unsigned long long>(GetWindowLongPtrA(window, GWL_STYLE)),
                    static_cast<unsigned long>(processId), static_cast<unsigned long>(threadId),
                    static_cast<unsigned long long>(threadAffinityById(threadId)));
        ++count;
    }
    std::printf("samplers=%d\n", count);
    return 0;
}

int commandTray() {
    HWND tray = FindWindowA(nullptr, trayTitle);
    std::printf("tray_exists=%d\ntray_visible=%d\n", tray != nullptr ? 1 : 0,
                tray != nullptr && IsWindowVisible(tray) ? 1 : 0);
    return 0;
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

int commandClose(DWORD waitMs) {
    HWND window = findMonitor();
    if (window == nullptr) {
        std::printf("found=0\n");
        return 1;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    const DWORD start = GetTickCount();
    const BOOL posted = PostMessageA(window, WM_CLOSE, 0, 0);
    std::printf("found=1\nposted=%d\n", posted ? 1 : 0);
    if (process == nullptr) {
        std::printf("ended=unknown\n");
        return posted ? 0 : 1;
    }
    const DWORD wait = WaitForSingleObject(process, waitMs);
    const DWORD elapsed = GetTickCount() - start;
    DWORD exitCode = 0;
    GetExitCodeProcess(process, &exitCode);
    CloseHandle(process);
    if (wait != WAIT_OBJECT_0) {
        std::printf("ended=0\nwaited_ms=%lu\n", static_cast<unsigned long>(elapsed));
        return 1;
    }
    std::printf("ended=1\nclose_ms=%lu\nexit_code=%lu\n", static_cast<unsigned long>(elapsed),
                static_cast<unsigned long>(exitCode));
    return 0;
}

// Tells the monitor window that the session ends, as logoff does: the
// query, then the end itself; prints how long the window took to answer.
int commandEndSession() {
    HWND window = findMonitor();
    if (window == nullptr) {
        std::printf("found=0\n");
        return 1;
    }
    DWORD_PTR answer = 0;
    const DWORD start = GetTickCount();
    SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 15000, &answer);
    const LRESULT sent = SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 15000, &answer);
    std::printf("found=1\nanswered=%d\nend_session_ms=%lu\n", sent != 0 ? 1 : 0,
                static_cast<unsigned long>(GetTickCount() - start));
    return sent != 0 ? 0 : 1;
}

// Starts a program as Explorer or the Task Scheduler would: no console and
// no standard handles at all. Waits up to waitMs for it to end and prints
// its exit code and how long it ran.
int commandDetached(DWORD waitMs, int argc, char** argv) {
    std::string line;
    for (int k = 0; k < argc; ++k) {
        if (k > 0) line += ' ';
        line += '"';
        line += argv[k];
        line += '"';
    }
    // Nor a console of ours to attach to: Explorer has none.
    FreeConsole();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = nullptr;
    startup.hStdError = nullptr;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                        &process)) {
        std::printf("started=0\n");
        return 1;
    }
    std::printf("started=1\n");
    (void)std::fflush(stdout);
    const DWORD start = GetTickCount();
    const DWORD wait = WaitForSingleObject(process.hProcess, waitMs);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (wait != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("ended=%d\nran_ms=%lu\nexit_code=%lu\n", wait == WAIT_OBJECT_0 ? 1 : 0,
                static_cast<unsigned long>(GetTickCount() - start), static_cast<unsigned long>(exitCode));
    return 0;
}

// Sent, as the system sends it: the answer comes once the window has
// handled it, so what the test does next happens after.
int commandPower(const std::string& event) {
    if (event != "suspend" && event != "resume" && event != "resume-user") return 2;
    const WPARAM code = event == "suspend" ? PBT_APMSUSPEND : event == "resume" ? PBT_APMRESUMEAUTOMATIC : PBT_APMRESUMESUSPEND;
    HWND window = findMonitor();
    DWORD_PTR answer = 0;
    const bool sent = window != nullptr && SendMessageTimeoutA(window, WM_POWERBROADCAST, code, 0, SMTO_ABORTIFHUNG, 5000, &answer) != 0;
    std::printf("found=%d\nsent=%d\n", window != nullptr ? 1 : 0, sent ? 1 : 0);
    return sent ? 0 : 1;
}

// Holds PATH open across COUNT replaces: each hold lasts until a replace is
// waiting on it (PATH.tmp written and closed: it opens without write
// sharing), then AFTER_MS more. blocked: holds that replace still waited
// through at their end.
int commandHold(const char* path, DWORD afterMs, int count, DWORD seconds) {
    const std::string temporary = std::string(path) + ".tmp";
    const ULONGLONG endAt = GetTickCount64() + 1000ULL * seconds;
    const auto there = [&] { return GetFileAttributesA(temporary.c_str()) != INVALID_FILE_ATTRIBUTES; };
    const auto written = [&] {
        HANDLE file = CreateFileA(temporary.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        return file != INVALID_HANDLE_VALUE && CloseHandle(file) != 0;
    };
    int holds = 0;
    int blocked = 0;
    while (holds < count && GetTickCount64() < endAt) {
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            Sleep(5);
            continue;
        }
        while (!written() && GetTickCount64() < endAt) Sleep(5);
        if (GetTickCount64() < endAt) {
            ++holds;
            Sleep(afterMs);
            blocked += there() ? 1 : 0;
        }
        CloseHandle(file);
        while (there() && GetTickCount64() < endAt) Sleep(5);
    }
    std::printf("holds=%d\nblocked=%d\n", holds, blocked);
    return 0;
}

DWORD argumentMs(int argc, char** argv, int index, DWORD fallback) {
    return argc > index ? static_cast<DWORD>(std::strtoul(argv[index], nullptr, 10)) : fallback;
}

// The row number in TEXT, or -1 unless TEXT is a whole non-negative number.
int rowArgument(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || value < 0 || value > INT_MAX) return -1;
    return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        (void)std::fprintf(stderr, "usage: vprobe sysinfo|window|samplers|tray|rows|wait-full|watch|close|end-session|power EVENT|hold PATH AFTER_MS COUNT S|detached MS PROGRAM ARGS ...\n");
        return 2;
    }
    const std::string command = argv[1];
    int result = 2;
    if (command == "sysinfo") {
        result = commandSysinfo();
    } else if (command == "window") {
        result = commandWindow(argumentMs(argc, argv, 2, 0));
    } else if (command == "samplers") {
        result = commandSamplers();
    } else if (command == "tray") {
        result = commandTray();
    } else if (command == "rows") {
        result = commandRows();
    } else if (command == "wait-full" && argc > 2) {
        const int row = rowArgument(argv[2]);
        if (row >= 0) {
            result = commandWaitFull(row, argumentMs(argc, argv, 3, 5000));
        } else {
            (void)std::fprintf(stderr, "vprobe: wait-full needs a row number, not %s\n", argv[2]);
        }
    } else if (command == "watch") {
        result = commandWatch(argumentMs(argc, argv, 2, 10000));
    } else if (command == "detached" && argc > 3) {
        result = commandDetached(argumentMs(argc, argv, 2, 5000), argc - 3, argv + 3);
    } else if (command == "end-session") {
        result = commandEndSession();
    } else if (command == "power" && argc > 2) {
        result = commandPower(argv[2]);
    } else if (command == "hold" && argc > 5) {
        result = commandHold(argv[2], argumentMs(argc, argv, 3, 0), static_cast<int>(argumentMs(argc, argv, 4, 0)),
                             argumentMs(argc, argv, 5, 0));
    } else if (command == "close") {
        result = commandClose(argumentMs(argc, argv, 2, 5000));
    } else {
        (void)std::fprintf(stderr, "vprobe: unknown command %s\n", command.c_str());
    }
    // Output that never reached the caller makes the run a failure.
    return std::fflush(stdout) == 0 ? result : 1;
}
