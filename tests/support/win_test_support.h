// Shared helpers of the Windows tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Dispatches the calling thread's pending messages for about `ms` milliseconds.
void pumpMessagesFor(DWORD ms);

// Resets the sample tables and the window globals so that each test starts
// from the state of a new process.
void resetProgramState();

// Writes the client area of `window` (as the screen shows it) to a 24-bit BMP
// under the screenshot folder; answers the path, or "" on failure.
std::string saveWindowScreenshot(HWND window, const char* name);
