// The monitor window's messages and the release of everything setup made.
#include "engine/sample_tables.h"
#include "priority/context_menu.h"
#include "window/layout.h"
#include "window/monitor_window.h"

namespace {

// Bit 30 of a key message's lParam: the key was already down (auto-repeat).
constexpr LPARAM keyWasDown = LPARAM{1} << 30;

bool isFreshAppsKeyPress(WPARAM key, LPARAM flags) {
    return key == VK_APPS && (flags & keyWasDown) == 0;
}

}  // namespace

void restoreMonitorPicture() {
    // The erase may come while the window is still being created, before
    // there is a picture to show.
    if (monitorWindow == nullptr || backBufferDC == nullptr) return;
    HDC windowDC = GetDC(monitorWindow);
    if (windowDC == nullptr) return;
    BitBlt(windowDC, 0, 0, static_cast<int>(clientWidth), static_cast<int>(clientHeight), backBufferDC, 0, 0,
           SRCCOPY);
    ReleaseDC(monitorWindow, windowDC);
}

LRESULT CALLBACK monitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        refreshMonitor();
    } else if (message == WM_ERASEBKGND) {
        // Never painted with the class background: the picture is backBuffer.
        restoreMonitorPicture();
        return 1;
    } else if (message == WM_RBUTTONUP) {
        openPriorityMenu(monitorWindow, priorityMenu, &keepOnTop, priorityNote);
    } else if (message == WM_KEYDOWN) {
        // A real press of the Apps key opens the menu like a right click; the
        // auto-repeat of a held key does not open it again and again.
        if (isFreshAppsKeyPress(wParam, lParam)) openPriorityMenu(monitorWindow, priorityMenu, &keepOnTop, priorityNote);
    } else if (message == WM_CLOSE) {
        if (closeRequest != nullptr) closeRequest();
    } else if (message == WM_DESTROY) {
        if (closeRequest != nullptr) closeRequest();
        PostQuitMessage(0);
    } else if (message == WM_POWERBROADCAST) {
        onPowerBroadcast(wParam);
    } else if (message == WM_ENDSESSION) {
        // The session ends: the process may be ended once this returns.
        if (wParam != 0 && sessionEnding != nullptr) sessionEnding();
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::int64_t teardownMonitorWindow() {
    // The setup's objects form one chain in the order of their making; each
    // step below runs only when the links it needs exist, so this is safe
    // after a setup that stopped anywhere.
    const bool chain[] = {
        monitorWindow != nullptr,
        backBuffer != nullptr && trayIconImage != nullptr && trayIconMask != nullptr,
        backBufferDC != nullptr,
        savedBitmap != nullptr,
        blackBrush != nullptr,
        sampleLockReady,
        captionFont != nullptr,
        savedFont != nullptr,
        graphPen != nullptr,
        savedPen != nullptr,
    };
    const std::int64_t level = chainLevel(chain, sizeof chain / sizeof chain[0]);

    if (level >= 10 && priorityMenu != nullptr) {
        if (priorityMenuHolder != nullptr) {
            // Destroying the holder destroys its submenu with it.
            DestroyMenu(priorityMenuHolder);
        } else {
            DestroyMenu(priorityMenu);
        }
    }
    if (level >= 10 && trayIcon.hIcon != nullptr) {
        Shell_NotifyIconA(NIM_DELETE, &trayIcon);
        DestroyIcon(trayIcon.hIcon);
    }
    if (level >= 10) SelectObject(backBufferDC, savedPen);
    if (level >= 9) DeleteObject(graphPen);
    if (level >= 8) SelectObject(backBufferDC, savedFont);
    if (level >= 7) DeleteObject(captionFont);
    // sampleLock (level 6) is not freed: sampler threads are never stopped and
    // may take it until the process ends, so it lives as long as the process.
    if (level >= 5) DeleteObject(blackBrush);
    if (level >= 4) SelectObject(backBufferDC, savedBitmap);
    if (level >= 3) DeleteDC(backBufferDC);
    if (level >= 2) DeleteObject(trayIconMask);
    if (level >= 1 && backBuffer != nullptr) DeleteObject(backBuffer);
    if (level >= 1 && trayIconImage != nullptr) DeleteObject(trayIconImage);
    if (level >= 1) DestroyWindow(monitorWindow);

    unregisterWindowClasses();

    // Nothing released may be used again: a later setup in the same process
    // (the tests make several) starts from nothing. monitorWindow is left as
    // it is, since sampler threads read it as their dialog filter; a
    // destroyed window's handle matches no message.
    priorityMenu = nullptr;
    priorityMenuHolder = nullptr;
    trayIcon = NOTIFYICONDATAA{};
    trayIconBitmaps = ICONINFO{};
    savedPen = nullptr;
    graphPen = nullptr;
    savedFont = nullptr;
    captionFont = nullptr;
    sampleLockReady = false;
    blackBrush = nullptr;
    savedBitmap = nullptr;
    backBufferDC = nullptr;
    trayIconMask = nullptr;
    backBuffer = nullptr;
    trayIconImage = nullptr;
    keepOnTop = 0;
    return 0;
}
