// Setup and teardown of the monitor window for several core counts: the
// window, its static picture read back pixel by pixel, the tray records, the
// priority menu, and setups that fail for real.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "engine/sample_tables.h"
#include "tests/support/win_test_support.h"
#include "window/layout.h"
#include "window/monitor_window.h"

namespace {

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
CreationRequest request;
bool refuseCreation = false;

LRESULT CALLBACK watchCreation(int code, WPARAM wParam, LPARAM lParam) {
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

int litPixels(const Picture& picture) {
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
std::vector<std::string> numberedCaptions(int count, int digits) {
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
::testing::AssertionResult sameBlock(const Picture& actual, int left, int top, const Picture& expected, int firstY,
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

void MonitorSetup::checkWindow(const ExpectedLayout& want) {
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

void MonitorSetup::checkStaticPicture(const std::vector<std::string>& captions, int rows) {
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
std::vector<std::string> listOf(const char* const (&captions)[n]) {
    return std::vector<std::string>(std::begin(captions), std::end(captions));
}

TEST_F(MonitorSetup, OneCoreBuildsA64PixelHighWindowWithOneCaption) {
    ASSERT_EQ(setupMonitorWindow(1), 1);
    checkWindow({1, 1, 1, 160, 200});
    checkStaticPicture(listOf(captionsOfOne), 1);
}

TEST_F(MonitorSetup, NineCoresUseSingleDigitCaptions) {
    ASSERT_EQ(setupMonitorWindow(9), 1);
    checkWindow({9, 1, 9, 160, 200});
    checkStaticPicture(listOf(captionsOfNine), 9);
}

TEST_F(MonitorSetup, TenCoresUseTwoDigitCaptions) {
    ASSERT_EQ(setupMonitorWindow(10), 1);
    checkWindow({10, 1, 10, 160, 200});
    checkStaticPicture(listOf(captionsOfTen), 10);
}

TEST_F(MonitorSetup, ManyCoresFillColumnsThatFitTheScreen) {
    // The whole window is the client area plus 6 x 22 of frame. 21 cores are
    // 806 high and stay at y = 200; 26 are 986 high, moved up to 1024 - 986;
    // 32 do not fit one column (1202) but two of 16 (626 high, at 200); 64
    // need three of 22 (842 high, moved up to 182).
    const ExpectedLayout layouts[] = {
        {21, 1, 21, 160, 200}, {26, 1, 26, 160, 38}, {32, 2, 16, 160, 200}, {64, 3, 22, 160, 182}};
    for (const ExpectedLayout& want : layouts) {
        SCOPED_TRACE(std::to_string(want.count) + " cores");
        resetProgramState();
        request = {};
        ASSERT_EQ(setupMonitorWindow(want.count), 1);
        checkWindow(want);
        checkStaticPicture(numberedCaptions(static_cast<int>(want.count), 2), want.rowsPerColumn);
        teardownMonitorWindow();
        takeQuitMessage();
    }
}

TEST_F(MonitorSetup, MoreCoresThanTheScreenHoldsStartAtItsTopLeft) {
    // 300 processors: the tables' 256, in the nine columns that fit 1280
    // pixels with the frame; 29 rows each are taller than the screen.
    ASSERT_EQ(setupMonitorWindow(300), 1);
    EXPECT_EQ(sampleTables.coreCount, 256);
    EXPECT_EQ(rowsPerColumn, 29);
    EXPECT_EQ(clientWidth, 1224);
    EXPECT_EQ(clientHeight, 36 * 29 + 28);
    EXPECT_EQ(request.x, 0);
    EXPECT_EQ(request.y, 0);
    BITMAP picture = {};
    ASSERT_NE(GetObjectA(backBuffer, sizeof picture, &picture), 0);
    EXPECT_EQ(picture.bmWidth, 1224);
    EXPECT_EQ(picture.bmHeight, 36 * 29 + 28);
    checkStaticPicture(numberedCaptions(256, 3), 29);
}

TEST_F(MonitorSetup, DrawingStateIsLeftReadyForTheRepaint) {
    ASSERT_EQ(setupMonitorWindow(2), 1);
    EXPECT_EQ(GetCurrentObject(backBufferDC, OBJ_BITMAP), backBuffer);
    EXPECT_EQ(GetCurrentObject(backBufferDC, OBJ_FONT), captionFont);
    EXPECT_EQ(GetCurrentObject(backBufferDC, OBJ_PEN), graphPen);
    EXPECT_EQ(GetTextColor(backBufferDC), textCyan);
    EXPECT_EQ(GetBkColor(backBufferDC), black);
    EXPECT_EQ(GetBkMode(backBufferDC), OPAQUE);

    LOGPEN pen = {};
    ASSERT_NE(GetObjectA(graphPen, sizeof pen, &pen), 0);
    EXPECT_EQ(pen.lopnStyle, static_cast<UINT>(PS_SOLID));
    EXPECT_LE(pen.lopnWidth.x, 1);
    EXPECT_EQ(pen.lopnColor, textCyan);
    LOGBRUSH brush = {};
    ASSERT_NE(GetObjectA(blackBrush, sizeof brush, &brush), 0);
    EXPECT_EQ(brush.lbColor, black);
    LOGFONTA font = {};
    ASSERT_NE(GetObjectA(captionFont, sizeof font, &font), 0);
    EXPECT_STREQ(font.lfFaceName, "Arial");
    EXPECT_EQ(font.lfHeight, -11);
    EXPECT_EQ(font.lfWeight, FW_LIGHT);

    // Both classes share one record; only the procedure and the name differ.
    WNDCLASSEXA monitorClass = {};
    monitorClass.cbSize = sizeof monitorClass;
    WNDCLASSEXA samplerClass = monitorClass;
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), "VantrelWindow", &monitorClass));
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), "VantrelThreadWindow", &samplerClass));
    for (const WNDCLASSEXA* c : {&monitorClass, &samplerClass}) {
        EXPECT_EQ(c->style, 0xA3u);
        EXPECT_EQ(c->hbrBackground, reinterpret_cast<HBRUSH>(16));
        EXPECT_EQ(c->hCursor, LoadCursorA(nullptr, IDC_ARROW));
        EXPECT_EQ(c->hIcon, nullptr);
    }
    EXPECT_EQ(monitorClass.lpfnWndProc, monitorWindowProc);
    EXPECT_NE(samplerClass.lpfnWndProc, monitorWindowProc);

    // Topmost comes with the first repaint, not with the window.
    EXPECT_EQ(GetWindowLongPtrA(monitorWindow, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(keepOnTop, 1);
}

TEST_F(MonitorSetup, TrayRecordsAreFilledButNoIconIsShownYet) {
    ASSERT_EQ(setupMonitorWindow(2), 1);
    EXPECT_EQ(trayIcon.cbSize, 104u);
    EXPECT_EQ(trayIcon.hWnd, monitorWindow);
    EXPECT_EQ(trayIcon.uID, 0u);
    EXPECT_EQ(trayIcon.uFlags, 7u);
    EXPECT_EQ(trayIcon.uCallbackMessage, 512u);
    EXPECT_EQ(trayIcon.hIcon, nullptr);
    EXPECT_STREQ(trayIcon.szTip, "Vantrel");
    // Not added: the shell does not know the icon yet.
    NOTIFYICONDATAA probe = trayIcon;
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &probe));

    EXPECT_TRUE(trayIconBitmaps.fIcon);
    EXPECT_EQ(trayIconBitmaps.xHotspot, 0u);
    EXPECT_EQ(trayIconBitmaps.yHotspot, 0u);
    EXPECT_EQ(trayIconBitmaps.hbmMask, trayIconMask);
    EXPECT_EQ(trayIconBitmaps.hbmColor, trayIconImage);

    BITMAP mask = {};
    ASSERT_NE(GetObjectA(trayIconMask, sizeof mask, &mask), 0);
    EXPECT_EQ(mask.bmWidth, 16);
    EXPECT_EQ(mask.bmHeight, 16);
    EXPECT_EQ(mask.bmPlanes, 1);
    EXPECT_EQ(mask.bmBitsPixel, 1);
    unsigned char maskBits[32] = {};
    ASSERT_EQ(GetBitmapBits(trayIconMask, sizeof maskBits, maskBits), 32);
    for (unsigned char bits : maskBits) EXPECT_EQ(bits, 0) << "the mask must be opaque everywhere";

    BITMAP image = {};
    ASSERT_NE(GetObjectA(trayIconImage, sizeof image, &image), 0);
    EXPECT_EQ(image.bmWidth, 16);
    EXPECT_EQ(image.bmHeight, 16);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(image.bmBitsPixel, GetDeviceCaps(screen, BITSPIXEL));
    ReleaseDC(nullptr, screen);
}

TEST_F(MonitorSetup, PriorityMenuListsSevenLevelsWithNormalMarked) {
    ASSERT_EQ(setupMonitorWindow(1), 1);
    ASSERT_TRUE(IsMenu(priorityMenu));
    const char* texts[] = {"idle", "low", "below normal", "normal", "above normal", "high", "realtime"};
    ASSERT_EQ(GetMenuItemCount(priorityMenu), 7);
    for (UINT position = 0; position < 7; ++position) {
        SCOPED_TRACE(texts[position]);
        char text[32] = {};
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
        item.dwTypeData = text;
        item.cch = sizeof text;
        ASSERT_TRUE(GetMenuItemInfoA(priorityMenu, position, TRUE, &item));
        EXPECT_EQ(item.wID, 10 + position);
        EXPECT_STREQ(text, texts[position]);
        EXPECT_EQ(item.hSubMenu, nullptr);
        const bool marked = position == 3;
        EXPECT_EQ((item.fType & MFT_RADIOCHECK) != 0, marked);
        EXPECT_EQ((item.fState & MFS_CHECKED) != 0, marked);
        EXPECT_EQ(item.fType & ~UINT{MFT_RADIOCHECK}, UINT{MFT_STRING});
    }

    // The holder is a popup with the priority menu as its one entry.
    ASSERT_TRUE(IsMenu(priorityMenuHolder));
    EXPECT_EQ(GetMenuItemCount(priorityMenuHolder), 1);
    EXPECT_EQ(GetSubMenu(priorityMenuHolder, 0), priorityMenu);
    EXPECT_NE(GetMenuState(priorityMenuHolder, 0, MF_BYPOSITION) & MF_POPUP, 0u);
}

TEST_F(MonitorSetup, MenuHolderOfNoMenuIsNoMenu) {
    EXPECT_EQ(makeMenuHolder(nullptr), nullptr);
    HMENU menu = CreateMenu();
    HMENU holder = makeMenuHolder(menu);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(GetSubMenu(holder, 0), menu);
    DestroyMenu(holder);
    EXPECT_FALSE(IsMenu(menu)) << "the submenu goes with its holder";
}

TEST_F(MonitorSetup, TeardownReleasesEverythingAndUnregistersBothClasses) {
    ASSERT_EQ(setupMonitorWindow(3), 1);
    HWND window = monitorWindow;
    const HGDIOBJ objects[] = {backBuffer, trayIconImage, trayIconMask, backBufferDC, blackBrush, captionFont, graphPen};
    HMENU menu = priorityMenu;
    HMENU holder = priorityMenuHolder;
    for (HGDIOBJ object : objects) ASSERT_NE(GetObjectType(object), 0u);

    EXPECT_EQ(teardownMonitorWindow(), 0);
    EXPECT_FALSE(IsWindow(window));
    for (HGDIOBJ object : objects) EXPECT_EQ(GetObjectType(object), 0u) << object << " still exists";
    EXPECT_FALSE(IsMenu(menu));
    EXPECT_FALSE(IsMenu(holder));
    EXPECT_FALSE(isWindowClassRegistered("VantrelWindow"));
    EXPECT_FALSE(isWindowClassRegistered("VantrelThreadWindow"));
    WPARAM exitCode = 1;
    EXPECT_TRUE(takeQuitMessage(&exitCode)) << "destroying the window ends the message loop";
    EXPECT_EQ(exitCode, 0u);

    // A second setup in the same process starts from nothing.
    EXPECT_EQ(backBufferDC, nullptr);
    EXPECT_EQ(captionFont, nullptr);
    EXPECT_EQ(priorityMenu, nullptr);
    ASSERT_EQ(setupMonitorWindow(2), 1);
    checkWindow({2, 1, 2, 160, 200});
    checkStaticPicture(listOf(captionsOfTwo), 2);
}

// Takes a complete setup back to the state of one that stopped after making
// the first `level` links of its chain (window; the three bitmaps; memory DC;
// the bitmap it held; black brush; lock; caption font; the font it held;
// graph pen; the pen it held). Level 1 keeps two of the three bitmaps, as
// when the mask could not be made. The menus come after the last link.
void stopSetupAtLevel(int level) {
    DestroyMenu(priorityMenuHolder);
    priorityMenuHolder = nullptr;
    priorityMenu = nullptr;
    if (level < 10) {
        SelectObject(backBufferDC, savedPen);
        savedPen = nullptr;
    }
    if (level < 9) {
        DeleteObject(graphPen);
        graphPen = nullptr;
    }
    if (level < 8) {
        SelectObject(backBufferDC, savedFont);
        savedFont = nullptr;
    }
    if (level < 7) {
        DeleteObject(captionFont);
        captionFont = nullptr;
    }
    if (level < 6) sampleLockReady = false;
    if (level < 5) {
        DeleteObject(blackBrush);
        blackBrush = nullptr;
    }
    if (level < 4) {
        SelectObject(backBufferDC, savedBitmap);
        savedBitmap = nullptr;
    }
    if (level < 3) {
        DeleteDC(backBufferDC);
        backBufferDC = nullptr;
    }
    if (level < 2) {
        DeleteObject(trayIconMask);
        trayIconMask = nullptr;
    }
}

TEST_F(MonitorSetup, TeardownAfterASetupThatStoppedAnywhereReleasesWhatItMade) {
    for (int level = 1; level <= 10; ++level) {
        SCOPED_TRACE("stopped at level " + std::to_string(level));
        resetProgramState();
        ASSERT_EQ(setupMonitorWindow(2), 1);
        HWND window = monitorWindow;
        stopSetupAtLevel(level);
        const HGDIOBJ objects[] = {backBuffer, trayIconImage, trayIconMask, backBufferDC, blackBrush, captionFont,
                                   graphPen};

        EXPECT_EQ(teardownMonitorWindow(), 0);
        EXPECT_FALSE(IsWindow(window));
        for (HGDIOBJ object : objects) {
            if (object != nullptr) {
                EXPECT_EQ(GetObjectType(object), 0u) << object << " was left behind";
            }
        }
        EXPECT_FALSE(isWindowClassRegistered("VantrelWindow"));
        EXPECT_FALSE(isWindowClassRegistered("VantrelThreadWindow"));
        takeQuitMessage();
    }
}

TEST_F(MonitorSetup, TeardownDestroysTheMenuWithoutAHolder) {
    ASSERT_EQ(setupMonitorWindow(2), 1);
    HMENU menu = priorityMenu;
    // A holder that could not be made: the menu stands alone.
    ASSERT_TRUE(RemoveMenu(priorityMenuHolder, 0, MF_BYPOSITION));
    DestroyMenu(priorityMenuHolder);
    priorityMenuHolder = nullptr;
    ASSERT_TRUE(IsMenu(menu));
    EXPECT_EQ(teardownMonitorWindow(), 0);
    EXPECT_FALSE(IsMenu(menu)) << "the menu was left behind";
}

TEST_F(MonitorSetup, CountBelowOneFailsAtOnceAndMakesNothing) {
    for (std::int64_t count : {std::int64_t{0}, std::int64_t{-1}}) {
        SCOPED_TRACE(count);
        EXPECT_EQ(setupMonitorWindow(count), 0);
        EXPECT_FALSE(request.seen) << "no window may be created";
        EXPECT_EQ(monitorWindow, nullptr);
        EXPECT_EQ(FindWindowA("VantrelWindow", nullptr), nullptr);
        EXPECT_FALSE(isWindowClassRegistered("VantrelWindow"));
        EXPECT_FALSE(isWindowClassRegistered("VantrelThreadWindow"));
        EXPECT_EQ(sampleTables.coreCount, 0);
        EXPECT_EQ(backBuffer, nullptr);
        EXPECT_EQ(backBufferDC, nullptr);
        EXPECT_EQ(priorityMenu, nullptr);
        EXPECT_EQ(teardownMonitorWindow(), 0);
        EXPECT_FALSE(takeQuitMessage());
    }
}

TEST_F(MonitorSetup, ClassAlreadyRegisteredFailsBeforeTheWindow) {
    WNDCLASSEXA foreign = {};
    foreign.cbSize = sizeof foreign;
    foreign.lpfnWndProc = DefWindowProcA;
    foreign.hInstance = GetModuleHandleA(nullptr);
    foreign.lpszClassName = "VantrelWindow";
    ASSERT_NE(RegisterClassExA(&foreign), 0);

    EXPECT_EQ(setupMonitorWindow(2), 0);
    EXPECT_FALSE(request.seen);
    EXPECT_EQ(monitorWindow, nullptr);
    EXPECT_EQ(backBuffer, nullptr);
    EXPECT_EQ(backBufferDC, nullptr);
    EXPECT_FALSE(isWindowClassRegistered("VantrelThreadWindow")) << "setup stops before the sampler class";

    // The teardown has nothing to release but still unregisters both names,
    // the one registered here included.
    EXPECT_EQ(teardownMonitorWindow(), 0);
    EXPECT_FALSE(isWindowClassRegistered("VantrelWindow"));
    EXPECT_FALSE(takeQuitMessage());

    // Nothing was left behind that would stop a later setup.
    ASSERT_EQ(setupMonitorWindow(2), 1);
    checkWindow({2, 1, 2, 160, 200});
}

TEST_F(MonitorSetup, RefusedWindowFailsWithBothClassesLeftForTheTeardown) {
    refuseCreation = true;
    EXPECT_EQ(setupMonitorWindow(2), 0);
    EXPECT_TRUE(request.seen);
    EXPECT_EQ(monitorWindow, nullptr);
    EXPECT_EQ(backBuffer, nullptr);
    EXPECT_EQ(trayIconImage, nullptr);
    EXPECT_TRUE(isWindowClassRegistered("VantrelWindow"));
    EXPECT_TRUE(isWindowClassRegistered("VantrelThreadWindow"));

    EXPECT_EQ(teardownMonitorWindow(), 0);
    EXPECT_FALSE(isWindowClassRegistered("VantrelWindow"));
    EXPECT_FALSE(isWindowClassRegistered("VantrelThreadWindow"));
    EXPECT_FALSE(takeQuitMessage());
}

}  // namespace
