// Shared helpers of the Windows tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Dispatches the calling thread's pending messages for about `ms` milliseconds.
void pumpMessagesFor(DWORD ms);

// Resets the sample tables and the window globals so that each test starts
// from the state of a new process.
void resetProgramState();

// Writes the client area of `window` (as the screen shows it) to a 24-bit BMP
// under the screenshot folder; answers the path, or "" on failure.
std::string saveWindowScreenshot(HWND window, const char* name);
// The same for a rectangle of the screen (frames, captions, other windows).
std::string saveScreenAreaScreenshot(const RECT& area, const char* name);

// A block of pixels read back from a device context or a bitmap, row after
// row, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const {
        return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
};

// Copies the `width` x `height` block at (x, y) of `dc` (through a 32-bit DIB,
// so the colours are exact). An empty Picture when the copy failed.
Picture capturePicture(HDC dc, int x, int y, int width, int height);
// The whole of `bitmap`, which must not be selected into any device context.
Picture captureBitmap(HBITMAP bitmap);

// Antialiased text (Wine smooths fonts) is drawn as blends of the text colour
// (0, 178, 178) and the black background: red stays 0, green and blue lie
// between 0 and 178, and at least one of them is lit.
bool isTextOrBlend(COLORREF colour);
// "(r, g, b)" for failure messages.
std::string describeColour(COLORREF colour);

// Whether a window class of this name is registered for the process's module.
bool isWindowClassRegistered(const char* name);

// Removes a pending WM_QUIT (a destroyed monitor window posts one) and answers
// whether there was one; `exitCode` receives its wParam.
bool takeQuitMessage(WPARAM* exitCode = nullptr);
