// Shared helpers of the Windows tests.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/sample_tables.h"

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

// A monitor window of `cores` cores, set up as the program does before each
// test and torn down after it, with the quit message its destruction posts.
class MonitorWindowTest : public ::testing::Test {
protected:
    explicit MonitorWindowTest(std::int64_t coreCount = 2) : cores(coreCount) {}
    void SetUp() override;
    void TearDown() override;

    std::int64_t cores;
};

// Text as the program writes it: `face` at pixel height `height`, weight
// FW_LIGHT, in the text colour on an opaque black background.
struct TextLine {
    const char* text;
    int x;
    int y;
};
// A black `width` x `height` picture with `lines` written into it.
Picture renderReferenceText(const char* face, LONG height, const TextLine* lines, int lineCount, int width,
                            int pictureHeight);
// Width of `text` in that font, as GetTextExtentPoint32A measures it.
int referenceTextWidth(const char* face, LONG height, const char* text);

// A copy of the sample tables, taken under the lock.
std::unique_ptr<SampleTables> snapshotTables();
// Describes the first difference between two snapshots in the scalars and
// the tray history, or in any row other than `row` (-1: compare every row);
// "" when there is none. Member by member, so padding does not count.
std::string differenceOutsideRow(const SampleTables& a, const SampleTables& b, std::int64_t row);
// The same for rows `firstRow` and up only, scalars left out.
std::string differenceFromRow(const SampleTables& a, const SampleTables& b, std::int64_t firstRow);
// What a sampler writes of `row` (its tick, deviations, graph and label), or "".
std::string sampledRowDifference(const SampleTables& a, const SampleTables& b, std::int64_t row);

// The popup menu window ("#32768") on screen, if one is open.
HWND visibleMenuWindow();

// Sends `message` to `window` while a thread timer, which fires inside any
// modal menu loop the message starts, closes every popup menu that shows. A
// menu loop still running `stuckMs` after the send began without a menu on
// screen is ended as well and counted as stuck, so a menu that never shows
// fails a test within seconds instead of holding it until the time-out.
struct MenuOutcome {
    LRESULT result;
    int shown;  // menus seen on screen and closed
    int stuck;  // menu loops ended with no menu on screen
};
MenuOutcome sendClosingMenus(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD stuckMs = 3000);
