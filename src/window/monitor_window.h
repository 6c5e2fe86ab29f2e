// The monitor window and its drawing objects: made by setupMonitorWindow,
// used by the repaint, released by teardownMonitorWindow. Main thread only.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

#include "priority/priority_control.h"

extern const char monitorWindowTitle[];        // "Vantrel"
extern const char monitorWindowClassName[];    // "VantrelWindow"

constexpr DWORD monitorWindowStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU;  // 0x10C80000
constexpr DWORD monitorWindowExStyle = WS_EX_TOOLWINDOW;
constexpr UINT windowClassStyle = CS_VREDRAW | CS_HREDRAW | CS_OWNDC | CS_PARENTDC;  // 0xA3
constexpr COLORREF backgroundColour = RGB(0, 0, 0);
constexpr COLORREF textColour = RGB(0, 178, 178);
// With --fine the graph and the tray icon are drawn in amber, so that a
// glance tells their scale (1.5 pixels per ms, not per 10 ms).
constexpr COLORREF fineGraphColour = RGB(230, 159, 0);
constexpr COLORREF separatorColour = RGB(0, 51, 51);
// The tray icon's notifications arrive as WM_MOUSEMOVE and go to the default
// handling: the icon reacts to no click.
constexpr UINT trayCallbackMessage = WM_MOUSEMOVE;
// Size of the first NOTIFYICONDATAA layout (64-character tip) on 64-bit Windows.
constexpr DWORD trayIconRecordSize = 104;

// The client area, columns of rows side by side (one column while the window
// fits the work area that way), and the rows in each column.
extern std::int64_t clientWidth;
extern std::int64_t clientHeight;
extern std::int64_t rowsPerColumn;
// Read by every thread's message loop as its dialog filter; written only by
// the setup, before any sampler thread exists.
extern HWND monitorWindow;
extern HBITMAP backBuffer;
extern HBITMAP trayIconImage;
extern HBITMAP trayIconMask;
extern HDC backBufferDC;
extern HGDIOBJ savedBitmap;
extern HBRUSH blackBrush;
extern bool sampleLockReady;
extern HFONT captionFont;
extern HGDIOBJ savedFont;
extern HPEN graphPen;
extern HGDIOBJ savedPen;
extern ICONINFO trayIconBitmaps;
extern NOTIFYICONDATAA trayIcon;
extern HMENU priorityMenu;
extern HMENU priorityMenuHolder;
// While set, every repaint puts the window back into the topmost band.
extern std::int64_t keepOnTop;
// Run when the user's session ends (logoff, shutdown), before the process
// may be ended without a return from the message loop. Null: nothing to do.
extern void (*sessionEnding)();
// Run when the window is asked to close (or destroyed without being asked),
// before it goes away. Null: nothing to do.
extern void (*closeRequest)();
// Run when the machine is about to sleep (false) or has woken (true), on the
// window's thread. Null: nothing to do.
extern void (*powerChange)(bool resumed);
// Handed to the priority control with every level chosen in the menu, so
// the record notes it. Null: nothing to do.
extern PriorityNote priorityNote;
// WM_POWERBROADCAST of either window: a suspend or a resume marks the time
// asleep for the samplers and calls powerChange; other events are ignored.
void onPowerBroadcast(WPARAM event);

// The monitor's class, with `monitorProcedure` and the rest as given, and
// the samplers' class from the same record. False when the monitor's class
// cannot be registered (the name is taken); the samplers' is not checked.
bool registerWindowClasses(WNDPROC monitorProcedure, UINT style, HCURSOR cursor, HBRUSH background);
// Both names, whether or not they were registered here.
void unregisterWindowClasses();

std::int64_t setupMonitorWindow(std::int64_t count);
HMENU makeMenuHolder(HMENU menu);
std::int64_t refreshMonitor();
LRESULT CALLBACK monitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
std::int64_t teardownMonitorWindow();

// Without a window (--no-window): a hidden window of the monitor's class
// that only takes core 0's timer, close requests and the end of the
// session, and the samplers' window class. Answers 1 on success.
std::int64_t setupHiddenWindow(std::int64_t count);
std::int64_t teardownHiddenWindow();

// Copies the whole of backBuffer onto the window (the answer to an erase request).
void restoreMonitorPicture();
// Rebuilds the tray icon from the peaks of all cores. Holds no lock itself.
void updateTrayIcon();
// Its two halves: the picture from the peaks (with the lock held, as it
// reads them), and handing it to the shell, a call into another process
// that must be made without the lock, since the end of the session can be
// delivered during it.
bool drawTrayIcon();
void showTrayIcon();
