#include "tests/support/win_test_support.h"

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <cstring>

#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "window/monitor_window.h"

void pumpMessagesFor(DWORD ms) {
    const DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start < ms) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    }
}

void resetProgramState() {
    createSampleTables();
    monitorWindow = nullptr;
}

namespace {

// Writes the `width` x `height` block at (x, y) of `source` as a 24-bit BMP
// under the screenshot folder; answers the path, or "" on failure.
std::string saveBlockAsBmp(HDC source, int x, int y, int width, int height, const char* name) {
    const char* folder = std::getenv("VANTREL_SCREENSHOT_DIR");
    std::string path = std::string(folder != nullptr ? folder : ".") + "/" + name + ".bmp";
    CreateDirectoryA(folder != nullptr ? folder : ".", nullptr);

    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<unsigned char> pixels(static_cast<size_t>(stride) * static_cast<size_t>(height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return "";
    const bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                         std::fwrite(&header, sizeof header, 1, out) == 1 &&
                         std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    // fclose flushes the buffered tail, so its result decides as well; a
    // truncated picture is removed rather than left to be mistaken for one.
    if (std::fclose(out) != 0 || !written) {
        (void)std::remove(path.c_str());
        return "";
    }
    return path;
}

}  // namespace

std::string saveWindowScreenshot(HWND window, const char* name) {
    RECT client = {};
    GetClientRect(window, &client);
    HDC windowDC = GetDC(window);
    std::string path = saveBlockAsBmp(windowDC, 0, 0, client.right, client.bottom, name);
    ReleaseDC(window, windowDC);
    return path;
}

std::string saveScreenAreaScreenshot(const RECT& area, const char* name) {
    HDC screen = GetDC(nullptr);
    std::string path = saveBlockAsBmp(screen, area.left, area.top, area.right - area.left, area.bottom - area.top, name);
    ReleaseDC(nullptr, screen);
    return path;
}

Picture capturePicture(HDC dc, int x, int y, int width, int height) {
    Picture picture;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section == nullptr) return picture;
    HDC copy = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(copy, section);
    const BOOL copied = BitBlt(copy, 0, 0, width, height, dc, x, y, SRCCOPY);
    GdiFlush();
    if (copied) {
        picture.width = width;
        picture.height = height;
        picture.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        const auto* source = static_cast<const std::uint32_t*>(bits);
        for (size_t i = 0; i < picture.pixels.size(); ++i) {
            const std::uint32_t p = source[i];  // 0x00RRGGBB
            picture.pixels[i] = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
        }
    }
    SelectObject(copy, old);
    DeleteDC(copy);
    DeleteObject(section);
    return picture;
}

Picture captureBitmap(HBITMAP bitmap) {
    BITMAP description = {};
    if (GetObjectA(bitmap, sizeof description, &description) == 0) return Picture{};
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    Picture picture;
    if (old != nullptr) {
        picture = capturePicture(dc, 0, 0, description.bmWidth, description.bmHeight);
        SelectObject(dc, old);
    }
    DeleteDC(dc);
    return picture;
}

bool isTextOrBlend(COLORREF colour) {
    const int red = GetRValue(colour);
    const int green = GetGValue(colour);
    const int blue = GetBValue(colour);
    return red == 0 && green <= 178 && blue <= 178 && (green != 0 || blue != 0);
}

std::string describeColour(COLORREF colour) {
    return "(" + std::to_string(GetRValue(colour)) + ", " + std::to_string(GetGValue(colour)) + ", " +
           std::to_string(GetBValue(colour)) + ")";
}

bool isWindowClassRegistered(const char* name) {
    WNDCLASSEXA description = {};
    description.cbSize = sizeof description;
    return GetClassInfoExA(GetModuleHandleA(nullptr), name, &description) != 0;
}

bool takeQuitMessage(WPARAM* exitCode) {
    MSG message;
    if (!PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
    if (exitCode != nullptr) *exitCode = message.wParam;
    return true;
}

void MonitorWindowTest::SetUp() {
    resetProgramState();
    ASSERT_EQ(setupMonitorWindow(cores), 1);
}

void MonitorWindowTest::TearDown() {
    teardownMonitorWindow();
    takeQuitMessage();
}

namespace {

HFONT makeReferenceFont(const char* face, LONG height) {
    LOGFONTA record = {};
    record.lfHeight = height;
    record.lfWeight = FW_LIGHT;
    lstrcpynA(record.lfFaceName, face, LF_FACESIZE);
    return CreateFontIndirectA(&record);
}

}  // namespace

Picture renderReferenceText(const char* face, LONG height, const TextLine* lines, int lineCount, int width,
                            int pictureHeight) {
    HFONT font = makeReferenceFont(face, height);
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, pictureHeight);
    ReleaseDC(nullptr, screen);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    const RECT all = {0, 0, width, pictureHeight};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetTextColor(dc, RGB(0, 178, 178));
    SetBkColor(dc, RGB(0, 0, 0));
    for (int i = 0; i < lineCount; ++i) {
        TextOutA(dc, lines[i].x, lines[i].y, lines[i].text, static_cast<int>(std::strlen(lines[i].text)));
    }
    Picture picture = capturePicture(dc, 0, 0, width, pictureHeight);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteDC(dc);
    DeleteObject(bitmap);
    DeleteObject(font);
    return picture;
}

int referenceTextWidth(const char* face, LONG height, const char* text) {
    HFONT font = makeReferenceFont(face, height);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SIZE size = {};
    GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
    SelectObject(dc, oldFont);
    DeleteDC(dc);
    DeleteObject(font);
    return size.cx;
}

std::unique_ptr<SampleTables> snapshotTables() {
    auto copy = std::make_unique<SampleTables>();
    lockSamples();
    std::memcpy(copy.get(), &sampleTables, sizeof(SampleTables));
    unlockSamples();
    return copy;
}

namespace {

bool sameInts(const std::int64_t* a, const std::int64_t* b, std::int64_t count) {
    return std::memcmp(a, b, sizeof(std::int64_t) * static_cast<std::size_t>(count)) == 0;
}

std::string rowDifference(const SampleTables& a, const SampleTables& b, std::int64_t r) {
    std::string sampled = sampledRowDifference(a, b, r);
    if (!sampled.empty()) return sampled;
    const std::string where = "row " + std::to_string(r) + ": ";
    if (a.labelWidth[r] != b.labelWidth[r]) return where + "labelWidth";
    if (a.rowDirty[r] != b.rowDirty[r]) return where + "rowDirty";
    if (a.trayPeak[r] != b.trayPeak[r]) return where + "trayPeak";
    return "";
}

}  // namespace

std::string sampledRowDifference(const SampleTables& a, const SampleTables& b, std::int64_t r) {
    const std::string where = "row " + std::to_string(r) + ": ";
    if (a.lastTick[r] != b.lastTick[r]) return where + "lastTick";
    if (!sameInts(&a.deviationWindow[r * deviationStride], &b.deviationWindow[r * deviationStride], deviationStride)) {
        return where + "deviationWindow";
    }
    if (r < maxCores && !sameInts(&a.graphColumns[r * graphStride], &b.graphColumns[r * graphStride], graphStride)) {
        return where + "graphColumns";
    }
    if (std::memcmp(a.labelText[r], b.labelText[r], sizeof a.labelText[r]) != 0) return where + "labelText";
    return "";
}

std::string differenceFromRow(const SampleTables& a, const SampleTables& b, std::int64_t firstRow) {
    for (std::int64_t r = firstRow; r < perCoreEntries; ++r) {
        std::string difference = rowDifference(a, b, r);
        if (!difference.empty()) return difference;
    }
    return "";
}

std::string differenceOutsideRow(const SampleTables& a, const SampleTables& b, std::int64_t row) {
    if (a.coreCount != b.coreCount || a.repaintCounter != b.repaintCounter || a.anyRowRedrawn != b.anyRowRedrawn) {
        return "scalars";
    }
    if (!sameInts(a.trayHistory, b.trayHistory, trayHistoryEntries)) return "trayHistory";
    for (std::int64_t r = 0; r < perCoreEntries; ++r) {
        if (r == row) continue;
        std::string difference = rowDifference(a, b, r);
        if (!difference.empty()) return difference;
    }
    return "";
}

namespace {

BOOL CALLBACK findVisibleMenu(HWND window, LPARAM found) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, "#32768") != 0 || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

constexpr UINT menuCloserPeriodMs = 30;
DWORD closerSendStart = 0;
DWORD closerStuckMs = 0;
MenuOutcome closerOutcome = {};

// Runs only while the test thread dispatches, which during a send to its own
// window means: inside a modal loop that the message started.
void CALLBACK closeMenusInLoop(HWND, UINT, UINT_PTR, DWORD) {
    if (visibleMenuWindow() != nullptr) {
        ++closerOutcome.shown;
        EndMenu();
    } else if (GetTickCount() - closerSendStart >= closerStuckMs) {
        ++closerOutcome.stuck;
        EndMenu();
    }
}

}  // namespace

HWND visibleMenuWindow() {
    HWND found = nullptr;
    EnumWindows(findVisibleMenu, reinterpret_cast<LPARAM>(&found));
    return found;
}

MenuOutcome sendClosingMenus(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD stuckMs) {
    closerOutcome = MenuOutcome{};
    closerStuckMs = stuckMs;
    closerSendStart = GetTickCount();
    const UINT_PTR timer = SetTimer(nullptr, 0, menuCloserPeriodMs, closeMenusInLoop);
    closerOutcome.result = SendMessageA(window, message, wParam, lParam);
    KillTimer(nullptr, timer);
    return closerOutcome;
}
