// The 100 ms heartbeat of the monitor window: core 0's sample, the redraw of
// changed rows into backBuffer and onto the window, and the tray icon.
#include <cstring>

#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "window/layout.h"
#include "window/monitor_window.h"

namespace {

// Every row is drawn as row 0 of its column is, shifted right by its
// column's left edge; its slot in the column gives its height.
void drawRowGraph(HDC windowDC, std::int64_t row, std::int64_t columnLeft, std::int64_t slot) {
    const int graphTop = static_cast<int>(graphTopOf(slot));
    const int left = static_cast<int>(columnLeft + graphLeft);
    const RECT box = {left, graphTop, static_cast<LONG>(columnLeft + graphClearRight),
                      graphTop + static_cast<LONG>(graphHeight)};
    FillRect(backBufferDC, &box, blackBrush);

    const std::int64_t* columns = &sampleTables.graphColumns[row * graphStride];
    const int baseline = static_cast<int>(baselineOf(slot));
    // One polyline through the 128 column points: the same pixels as a line
    // to each point in turn (every segment leaves out its end point, so the
    // newest column's point is not drawn), in one call instead of 128, which
    // under many rows is most of the repaint's cost.
    POINT points[graphWidth];
    for (std::int64_t k = 0; k < graphWidth; ++k) {
        points[k] = POINT{left + static_cast<LONG>(k), baseline - static_cast<LONG>(columns[k])};
    }
    Polyline(backBufferDC, points, static_cast<int>(graphWidth));
    BitBlt(windowDC, left, graphTop, static_cast<int>(graphWidth), static_cast<int>(graphHeight), backBufferDC, left,
           graphTop, SRCCOPY);
}

void drawRowLabel(HDC windowDC, std::int64_t row, std::int64_t columnLeft, std::int64_t slot) {
    const char* text = sampleTables.labelText[row];
    const int length = static_cast<int>(std::strlen(text));
    SIZE size = {};
    if (!GetTextExtentPoint32A(backBufferDC, text, length, &size)) return;

    const int labelTop = static_cast<int>(labelTopOf(slot));
    const int right = static_cast<int>(columnLeft + labelRight);
    const int eraseWidth = static_cast<int>(labelEraseWidth(sampleTables.labelWidth[row], size.cx));
    const RECT strip = {right - eraseWidth, labelTop, right, labelTop + static_cast<LONG>(labelHeight)};
    FillRect(backBufferDC, &strip, blackBrush);
    TextOutA(backBufferDC, right - size.cx, labelTop, text, length);
    BitBlt(windowDC, right - eraseWidth, labelTop, eraseWidth, static_cast<int>(labelHeight), backBufferDC,
           right - eraseWidth, labelTop, SRCCOPY);
    sampleTables.labelWidth[row] = size.cx;
}

// Whether the window is already where keeping it on top puts it: in the
// topmost band with no window above it. Asking costs little; moving it there
// again costs a round trip to the display server on every repaint.
bool isTopOfTopmostBand(HWND window) {
    return (GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0 && GetWindow(window, GW_HWNDPREV) == nullptr;
}

}  // namespace

// Shows the new icon and decides which handle to destroy. The shell keeps its
// own copy of an icon it accepted, so the handle passed may go right after.
void showTrayIcon() {
    HICON fresh = CreateIconIndirect(&trayIconBitmaps);
    // No new icon (GDI or desktop heap exhausted for a moment): the shown icon
    // and the handle kept for it stay as they are, since the teardown needs
    // that handle to remove the icon from the notification area.
    if (fresh == nullptr) return;
    HICON previous = trayIcon.hIcon;
    trayIcon.hIcon = fresh;
    BOOL keepNew = FALSE;
    if (!Shell_NotifyIconA(NIM_MODIFY, &trayIcon)) {
        // The icon is not there yet (first update) or the shell lost it.
        Shell_NotifyIconA(NIM_DELETE, &trayIcon);
        keepNew = Shell_NotifyIconA(NIM_ADD, &trayIcon);
    }
    if (keepNew) {
        if (previous != nullptr) DestroyIcon(previous);
    } else {
        DestroyIcon(fresh);
        trayIcon.hIcon = previous;
    }
}

bool drawTrayIcon() {
    HDC tdc = CreateCompatibleDC(nullptr);
    if (tdc == nullptr) return false;
    HGDIOBJ oldPen = SelectObject(tdc, graphPen);
    if (oldPen == nullptr) {
        DeleteDC(tdc);
        return false;
    }
    HGDIOBJ oldBitmap = SelectObject(tdc, trayIconImage);
    if (oldBitmap == nullptr) {
        SelectObject(tdc, oldPen);
        DeleteDC(tdc);
        return false;
    }
    const RECT whole = {0, 0, 32, 32};
    FillRect(tdc, &whole, blackBrush);

    const std::int64_t peak =
        collectTrayPeak(sampleTables.trayPeak, sampleTables.coreCount, &sampleTables.anyRowRedrawn);
    TrayPoint points[trayHistoryEntries];
    stepTrayHistory(sampleTables.trayHistory, peak, points);
    MoveToEx(tdc, static_cast<int>(points[0].x), static_cast<int>(points[0].y), nullptr);
    for (std::int64_t k = 1; k < trayHistoryEntries; ++k) {
        LineTo(tdc, static_cast<int>(points[k].x), static_cast<int>(points[k].y));
    }
    // The bitmap must not be selected anywhere while the icon is made from it.
    SelectObject(tdc, oldBitmap);
    SelectObject(tdc, oldPen);
    DeleteDC(tdc);
    return true;
}

void updateTrayIcon() {
    if (drawTrayIcon()) showTrayIcon();
}

std::int64_t refreshMonitor() {
    recordTimerEvent(0);

    lockSamples();
    HDC windowDC = GetDC(monitorWindow);
    // Without a device context the rows stay dirty and are drawn next time.
    if (windowDC != nullptr) {
        for (std::int64_t r = 0; r < sampleTables.coreCount; ++r) {
            if (sampleTables.rowDirty[r] == 0) continue;
            sampleTables.rowDirty[r] = 0;
            sampleTables.anyRowRedrawn = 1;
            const std::int64_t columnLeft = rowOriginOf(r, rowsPerColumn).x;
            const std::int64_t slot = r % rowsPerColumn;
            drawRowGraph(windowDC, r, columnLeft, slot);
            drawRowLabel(windowDC, r, columnLeft, slot);
        }
        ReleaseDC(monitorWindow, windowDC);
    }

    sampleTables.repaintCounter += 1;
    bool iconDrawn = false;
    if (sampleTables.repaintCounter >= trayUpdateInterval) {
        sampleTables.repaintCounter = 0;
        iconDrawn = drawTrayIcon();
    }
    unlockSamples();

    // Calls that may wait for another process, and so deliver sent messages
    // (the end of the session among them), are made without the lock.
    if (iconDrawn) showTrayIcon();
    // Whatever covers the window, another topmost one included, is overtaken
    // here; a window already on top is left alone.
    if (keepOnTop != 0 && !isTopOfTopmostBand(monitorWindow)) {
        SetWindowPos(monitorWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }

    // Core 0's next deviation counts from the end of the whole repaint.
    markTimerBaseline(0);
    return 0;
}
