// vprobe's reading of the monitor window as a user sees it: the picture is
// grabbed from the screen (GetDC of the desktop) and its rows read, labels by
// rendering every candidate "+Nms" with the program's label font and
// comparing pixels exactly. The commands that need the picture live here.
#pragma once

#include <windows.h>

inline constexpr char monitorClass[] = "VantrelWindow";
inline constexpr char trayTitle[] = "Wine System Tray";
constexpr DWORD pollMs = 15;
// The height of a row of the monitor window.
constexpr int rowPitch = 36;

struct ClientArea {
    POINT origin = {};  // screen coordinates of the client's top left
    int width = 0;
    int height = 0;
};

bool clientAreaOf(HWND window, ClientArea& area);
HWND findMonitor();
// Polls for the monitor window until it exists or `waitMs` passed (null).
HWND waitForMonitor(DWORD waitMs);

// vprobe rows, wait-full ROW WAIT_MS and watch WAIT_MS (see vprobe.cpp).
int commandRows();
int commandWaitFull(int row, DWORD waitMs);
int commandWatch(DWORD waitMs);
