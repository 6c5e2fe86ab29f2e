#include "window/monitor_window.h"

#include "engine/core_sampler.h"
#include "engine/suspend_state.h"

const char monitorWindowTitle[] = "Vantrel";
const char monitorWindowClassName[] = "VantrelWindow";

std::int64_t clientWidth = 0;
std::int64_t clientHeight = 0;
std::int64_t rowsPerColumn = 0;
HWND monitorWindow = nullptr;
// The drawing objects, null until the setup makes them and again after the
// teardown; what was selected into the DC before each, to select it back.
HBITMAP backBuffer = nullptr, trayIconImage = nullptr, trayIconMask = nullptr;
HDC backBufferDC = nullptr;
HBRUSH blackBrush = nullptr;
HFONT captionFont = nullptr;
HPEN graphPen = nullptr;
HGDIOBJ savedBitmap = nullptr, savedFont = nullptr, savedPen = nullptr;
bool sampleLockReady = false;
ICONINFO trayIconBitmaps = {};
NOTIFYICONDATAA trayIcon = {};
HMENU priorityMenu = nullptr, priorityMenuHolder = nullptr;
std::int64_t keepOnTop = 0;
void (*sessionEnding)() = nullptr;
void (*closeRequest)() = nullptr;
void (*powerChange)(bool resumed) = nullptr;
PriorityNote priorityNote = nullptr;

bool registerWindowClasses(WNDPROC monitorProcedure, UINT style, HCURSOR cursor, HBRUSH background) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = style;
    windowClass.lpfnWndProc = monitorProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = cursor;
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = monitorWindowClassName;
    if (RegisterClassExA(&windowClass) == 0) return false;
    // Without this class the samplers cannot make their windows and end at
    // once; the monitor still runs, so its failure is not fatal.
    windowClass.lpfnWndProc = samplerWindowProc;
    windowClass.lpszClassName = samplerWindowClassName;
    RegisterClassExA(&windowClass);
    return true;
}

void unregisterWindowClasses() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    UnregisterClassA(samplerWindowClassName, instance);
    UnregisterClassA(monitorWindowClassName, instance);
}

void onPowerBroadcast(WPARAM event) {
    // The samplers learn first, so that nothing measured across the sleep
    // is taken for lateness; then whoever records the run.
    if (event == PBT_APMSUSPEND) {
        noteSystemSuspending();
        if (powerChange != nullptr) powerChange(false);
    } else if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND) {
        noteSystemResumed();
        if (powerChange != nullptr) powerChange(true);
    }
}
