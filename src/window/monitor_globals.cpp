#include "window/monitor_window.h"

#include "engine/suspend_state.h"

const char monitorWindowTitle[] = "Vantrel";
const char monitorWindowClassName[] = "VantrelWindow";

std::int64_t clientWidth = 0;
std::int64_t clientHeight = 0;
std::int64_t rowsPerColumn = 0;
HWND monitorWindow = nullptr;
HBITMAP backBuffer = nullptr;
HBITMAP trayIconImage = nullptr;
HBITMAP trayIconMask = nullptr;
HDC backBufferDC = nullptr;
HGDIOBJ savedBitmap = nullptr;
HBRUSH blackBrush = nullptr;
bool sampleLockReady = false;
HFONT captionFont = nullptr;
HGDIOBJ savedFont = nullptr;
HPEN graphPen = nullptr;
HGDIOBJ savedPen = nullptr;
ICONINFO trayIconBitmaps = {};
NOTIFYICONDATAA trayIcon = {};
HMENU priorityMenu = nullptr;
HMENU priorityMenuHolder = nullptr;
std::int64_t keepOnTop = 0;
void (*sessionEnding)() = nullptr;
void (*closeRequest)() = nullptr;
void (*powerChange)(bool resumed) = nullptr;

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
