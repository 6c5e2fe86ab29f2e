#include "window/monitor_window.h"

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
