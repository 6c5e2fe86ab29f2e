// Setup of the monitor window for several core counts: the window, its
// static picture read back pixel by pixel, the tray records, the priority
// menu, and a whole teardown (setups that stop halfway or fail:
// monitor_teardown_test.cpp).
#include <gtest/gtest.h>

#include "tests/win/monitor_setup_support.h"

namespace {

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

}  // namespace
