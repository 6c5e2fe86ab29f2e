// What the tests of the monitor window's setup and teardown share: the
// colours, the captions written out by hand, a hook that sees (or refuses)
// the window's creation, and the fixture with its checks of the window and
// of its static picture.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "engine/sample_tables.h"
#include "tests/support/win_test_support.h"
#include "window/layout.h"
#include "window/monitor_window.h"

constexpr COLORREF black = RGB(0, 0, 0);
constexpr COLORREF textCyan = RGB(0, 178, 178);
constexpr COLORREF separatorCyan = RGB(0, 51, 51);

// What CreateWindowExA was asked for, seen by a CBT hook before the platform
// applies its own limits to the size.
struct CreationRequest {
    bool seen;
    int x, y, cx, cy;
    LONG style;
    DWORD exStyle;
};
inline CreationRequest request;
inline bool refuseCreation = false;

inline LRESULT CALLBACK watchCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTA* create = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
        const bool namedClass = (reinterpret_cast<ULONG_PTR>(create->lpszClass) >> 16) != 0;
        if (namedClass && std::strcmp(create->lpszClass, "VantrelWindow") == 0) {
            request = {true, create->x, create->y, create->cx, create->cy, create->style, create->dwExStyle};
            if (refuseCreation) return 1;  // CreateWindowExA then answers null
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

inline int litPixels(const Picture& picture) {
    int lit = 0;
    for (COLORREF c : picture.pixels) lit += isTextOrBlend(c) ? 1 : 0;
    return lit;
}

// The captions as the user should read them, written out by hand: the
// number alone up to nine cores, two digits after a space from ten on.
const char* const captionsOfOne[] = {"CPU / Core #1"};
const char* const captionsOfTwo[] = {"CPU / Core #1", "CPU / Core #2"};
const char* const captionsOfNine[] = {"CPU / Core #1", "CPU / Core #2", "CPU / Core #3",
                                      "CPU / Core #4", "CPU / Core #5", "CPU / Core #6",
                                      "CPU / Core #7", "CPU / Core #8", "CPU / Core #9"};
const char* const captionsOfTen[] = {"CPU / Core # 01", "CPU / Core # 02", "CPU / Core # 03", "CPU / Core # 04",
                                     "CPU / Core # 05", "CPU / Core # 06", "CPU / Core # 07", "CPU / Core # 08",
                                     "CPU / Core # 09", "CPU / Core # 10"};

// "CPU / Core # 01" ... for `count` cores, with `digits` digits.
inline std::vector<std::string> numberedCaptions(int count, int digits) {
    std::vector<std::string> captions;
    for (int k = 1; k <= count; ++k) {
        const std::string number = std::to_string(k);
        std::string caption = "CPU / Core # ";
        caption.append(static_cast<size_t>(digits) - std::min(number.size(), static_cast<size_t>(digits)), '0');
        caption += number;
        captions.push_back(caption);
    }
    return captions;
}

// Compares the block of `expected` (its full width, lines firstY .. lastY)
// with the same lines of `actual` placed at (left, top); reports the first
// mismatch.
inline ::testing::AssertionResult sameBlock(const Picture& actual, int left, int top, const Picture& expected, int firstY,
                                     int lastY) {
    for (int y = firstY; y <= lastY; ++y) {
        for (int x = 0; x < expected.width; ++x) {
            const COLORREF got = actual.at(left + x, top + y);
            const COLORREF want = expected.at(x, y);
            if (got != want) {
                return ::testing::AssertionFailure() << "pixel (" << left + x << ", " << top + y << ") is "
                                                     << describeColour(got) << ", expected " << describeColour(want);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// Where the window should be and how its rows are laid out on the test
// display (1280 x 1024, no taskbar), worked out by hand.
struct ExpectedLayout {
    std::int64_t count;
    int columns;
    int rowsPerColumn;
    int left;
    int top;
};

class MonitorSetup : public ::testing::Test {
protected:
    void SetUp() override {
        resetProgramState();
        request = {};
        refuseCreation = false;
        hook = SetWindowsHookExA(WH_CBT, watchCreation, nullptr, GetCurrentThreadId());
        ASSERT_NE(hook, nullptr);
    }
    void TearDown() override {
        UnhookWindowsHookEx(hook);
        teardownMonitorWindow();
        takeQuitMessage();
        UnregisterClassA("VantrelWindow", GetModuleHandleA(nullptr));
        UnregisterClassA("VantrelThreadWindow", GetModuleHandleA(nullptr));
    }

    void checkWindow(const ExpectedLayout& want);
    void checkStaticPicture(const std::vector<std::string>& captions, int rowsPerColumn);

    HHOOK hook = nullptr;
};

inline void MonitorSetup::checkWindow(const ExpectedLayout& want) {
    const int width = 136 * want.columns;
    const int height = 36 * want.rowsPerColumn + 28;
    EXPECT_EQ(sampleTables.coreCount, want.count);
    EXPECT_EQ(clientWidth, width);
    EXPECT_EQ(clientHeight, height);
    EXPECT_EQ(rowsPerColumn, want.rowsPerColumn);

    char text[64] = {};
    GetClassNameA(monitorWindow, text, sizeof text);
    EXPECT_STREQ(text, "VantrelWindow");
    GetWindowTextA(monitorWindow, text, sizeof text);
    EXPECT_STREQ(text, "Vantrel");
    EXPECT_TRUE(IsWindowVisible(monitorWindow));
    EXPECT_EQ(GetParent(monitorWindow), nullptr);
    EXPECT_EQ(GetMenu(monitorWindow), nullptr);

    // The platform adds WS_CLIPSIBLINGS to every top-level window and
    // WS_EX_WINDOWEDGE to framed ones (the latter before the hook sees it).
    ASSERT_TRUE(request.seen);
    EXPECT_EQ(static_cast<DWORD>(request.style), 0x10C80000u);
    EXPECT_EQ(request.exStyle & ~DWORD{WS_EX_WINDOWEDGE}, static_cast<DWORD>(WS_EX_TOOLWINDOW));
    const LONG_PTR style = GetWindowLongPtrA(monitorWindow, GWL_STYLE);
    const LONG_PTR exStyle = GetWindowLongPtrA(monitorWindow, GWL_EXSTYLE);
    EXPECT_EQ(style & ~LONG_PTR{WS_CLIPSIBLINGS}, 0x10C80000) << std::hex << style;
    EXPECT_EQ(exStyle & ~LONG_PTR{WS_EX_WINDOWEDGE}, WS_EX_TOOLWINDOW) << std::hex << exStyle;

    // Wine's tool-window frame: 3 px at the sides and bottom, 19 at the top.
    EXPECT_EQ(request.x, want.left);
    EXPECT_EQ(request.y, want.top);
    EXPECT_EQ(request.cx, width + 6);
    EXPECT_EQ(request.cy, height + 22);

    RECT outer = {};
    GetWindowRect(monitorWindow, &outer);
    EXPECT_EQ(outer.left, want.left);
    EXPECT_EQ(outer.top, want.top);
    RECT client = {};
    GetClientRect(monitorWindow, &client);
    EXPECT_EQ(client.right, width);
    EXPECT_EQ(client.bottom, height);

    BITMAP picture = {};
    ASSERT_NE(GetObjectA(backBuffer, sizeof picture, &picture), 0);
    EXPECT_EQ(picture.bmWidth, width);
    EXPECT_EQ(picture.bmHeight, height);
}

inline void MonitorSetup::checkStaticPicture(const std::vector<std::string>& captions, int rows) {
    const int count = static_cast<int>(captions.size());
    const int columns = (count + rows - 1) / rows;
    const int width = 136 * columns;
    const int height = 36 * rows + 28;
    const Picture shown = capturePicture(backBufferDC, 0, 0, width, height);
    ASSERT_EQ(shown.height, height);

    // Every pixel is accounted for: in each column, row bands of 36 lines,
    // each a separator line on top (black for the first row) and the caption
    // below it; the separator under each row; then the two bottom lines.
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE("row " + std::to_string(i) + " of " + std::to_string(count));
        const int left = 136 * (i / rows);
        const int top = 36 * (i % rows);
        const std::string& caption = captions[static_cast<size_t>(i)];
        const TextLine line = {caption.c_str(), 4, 4};
        const Picture expected = renderReferenceText("Arial", -11, &line, 1, 136, 36);
        ASSERT_GT(litPixels(expected), 20) << "the reference caption has no text";
        EXPECT_TRUE(sameBlock(shown, left, top, expected, 1, 35)) << "caption \"" << caption << "\"";
    }
    // Line 36 s of a column is the separator under the row in slot s - 1 if
    // there is one; line 0 has none.
    for (int column = 0; column < columns; ++column) {
        for (int slot = 0; slot <= rows; ++slot) {
            const int y = 36 * slot;
            const bool underRow = slot > 0 && column * rows + slot - 1 < count;
            for (int x = 0; x < 136; ++x) {
                const COLORREF want = (underRow && x >= 4 && x <= 132) ? separatorCyan : black;
                const COLORREF got = shown.at(136 * column + x, y);
                ASSERT_EQ(got, want) << "separator pixel (" << 136 * column + x << ", " << y << ") is "
                                     << describeColour(got);
            }
        }
        // A slot of the last column without a row stays black.
        for (int slot = count - column * rows; slot < rows; ++slot) {
            const Picture empty = renderReferenceText("Arial", -11, nullptr, 0, 136, 36);
            EXPECT_TRUE(sameBlock(shown, 136 * column, 36 * slot, empty, 1, 35)) << "empty slot " << slot;
        }
    }

    ASSERT_GT(std::strlen(attributionLine), 0u);
    ASSERT_GT(std::strlen(webAddressLine), 0u);
    const TextLine footer[] = {{attributionLine, 4, 6}, {webAddressLine, 4, 16}};
    const Picture expectedFooter = renderReferenceText("Small fonts", -8, footer, 2, width, 28);
    ASSERT_GT(litPixels(expectedFooter), 40) << "the reference bottom lines have no text";
    EXPECT_TRUE(sameBlock(shown, 0, 36 * rows, expectedFooter, 1, 27)) << "bottom lines";

    // Both bottom lines are really there, each within its own band.
    int attributionLit = 0;
    int webLit = 0;
    for (int y = 36 * rows + 6; y < 36 * rows + 16; ++y)
        for (int x = 4; x < 136; ++x) attributionLit += isTextOrBlend(shown.at(x, y)) ? 1 : 0;
    for (int y = 36 * rows + 16; y < height; ++y)
        for (int x = 4; x < 136; ++x) webLit += isTextOrBlend(shown.at(x, y)) ? 1 : 0;
    EXPECT_GT(attributionLit, 20);
    EXPECT_GT(webLit, 20);
}

template <std::size_t n>
inline std::vector<std::string> listOf(const char* const (&captions)[n]) {
    return std::vector<std::string>(std::begin(captions), std::end(captions));
}
