// --no-window: the run without anything on screen. A hidden top-level window
// of the monitor's class takes core 0's timer and the requests to close (a
// close request sent to the process, such as taskkill's without /F, goes to
// its top-level windows), the end of the session and the machine's sleeps;
// no picture, no tray icon, no menu.
#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "window/monitor_window.h"

namespace {

LRESULT CALLBACK hiddenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        if (wParam == 0) recordTimerEvent(0);
        return 0;
    }
    if (message == WM_CLOSE || message == WM_DESTROY) {
        if (closeRequest != nullptr) closeRequest();
        if (message == WM_DESTROY) PostQuitMessage(0);
    } else if (message == WM_POWERBROADCAST) {
        onPowerBroadcast(wParam);
    } else if (message == WM_ENDSESSION) {
        if (wParam != 0 && sessionEnding != nullptr) sessionEnding();
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

std::int64_t setupHiddenWindow(std::int64_t count) {
    if (count < 1) return 0;
    if (count > maxCores) count = maxCores;
    sampleTables.coreCount = count;
    // The samplers take the lock for every event, as with the window.
    if (!createSampleLock()) return 0;

    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!registerWindowClasses(hiddenWindowProc, 0, nullptr, nullptr)) return 0;

    // Never shown: no WS_VISIBLE, and nothing ever calls ShowWindow.
    monitorWindow = CreateWindowExA(0, monitorWindowClassName, monitorWindowTitle, WS_OVERLAPPED, 0, 0, 0, 0,
                                    nullptr, nullptr, instance, nullptr);
    return monitorWindow != nullptr ? 1 : 0;
}

std::int64_t teardownHiddenWindow() {
    if (monitorWindow != nullptr) DestroyWindow(monitorWindow);
    unregisterWindowClasses();
    return 0;
}
