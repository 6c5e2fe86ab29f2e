// The monitor window's tray icon (its graph and handles) and the window
// procedure's answers to the messages it gets.
#include <gtest/gtest.h>

#include "tests/win/monitor_render_support.h"

namespace {

TEST_F(MonitorRender, TrayGraphFollowsThePeaksOfEachUpdate) {
    struct Update {
        std::int64_t peak0;
        std::int64_t peak1;
        std::int64_t anyRowRedrawn;
        std::int64_t drawn;  // height the update should record
    };
    const Update updates[] = {
        {3, 7, 1, 7},     // the larger of the cores
        {0, 37, 1, 15},   // 250 ms late: capped at the full height
        {0, 0, 0, 15},    // no row redrawn at all: full height regardless
        {300, 2, 1, 15},  // far above the cap
        {5, 0, 1, 5},
    };
    for (const Update& u : updates) {
        sampleTables.trayPeak[0] = u.peak0;
        sampleTables.trayPeak[1] = u.peak1;
        sampleTables.anyRowRedrawn = u.anyRowRedrawn;
        updateTrayIcon();
        EXPECT_EQ(sampleTables.trayPeak[0], 0);
        EXPECT_EQ(sampleTables.trayPeak[1], 0);
        EXPECT_EQ(sampleTables.anyRowRedrawn, 0);
    }
    // Oldest first: eleven flat starting entries, then the five updates, the
    // newest twice (entry 15 is drawn inside the picture, 16 just outside).
    const std::int64_t expectedHistory[17] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 15, 15, 15, 5, 5};
    for (int k = 0; k < 17; ++k) EXPECT_EQ(sampleTables.trayHistory[k], expectedHistory[k]) << "entry " << k;

    // The polyline's points are (x, 15 − history[x − 1]) for x = 1 .. 15 (the
    // newest value lies at x = 16, outside the picture) and (0, 15 − history[0]).
    const Picture icon = captureBitmap(trayIconImage);
    ASSERT_EQ(icon.width, 16);
    ASSERT_EQ(icon.height, 16);
    EXPECT_EQ(icon.at(0, 15 - static_cast<int>(expectedHistory[0])), textCyan);
    for (int x = 1; x < 16; ++x) {
        const int y = 15 - static_cast<int>(expectedHistory[x - 1]);
        EXPECT_EQ(icon.at(x, y), textCyan) << "point (" << x << ", " << y << ")";
    }
    // Columns 1 .. 9 hold the flat start on the bottom line and nothing else.
    for (int x = 0; x < 10; ++x)
        for (int y = 0; y < 15; ++y) EXPECT_EQ(icon.at(x, y), black) << "(" << x << ", " << y << ")";
    // The last points: 7, then 15 three times, then 5 just outside.
    EXPECT_EQ(icon.at(12, 15 - 7), textCyan);
    EXPECT_EQ(icon.at(13, 0), textCyan);
    EXPECT_EQ(icon.at(14, 0), textCyan);
    EXPECT_EQ(icon.at(15, 0), textCyan);
    for (COLORREF c : icon.pixels) EXPECT_TRUE(c == black || c == textCyan) << describeColour(c);
}

TEST_F(MonitorRender, TrayIconIsRebuiltOnEvery32ndRepaint) {
    sampleTables.trayPeak[1] = 9;
    for (int run = 1; run <= 31; ++run) refreshEarly();
    EXPECT_EQ(sampleTables.repaintCounter, 31);
    EXPECT_EQ(trayIcon.hIcon, nullptr) << "no icon before the 32nd repaint";
    EXPECT_EQ(sampleTables.trayPeak[1], 9) << "the peaks are collected only by the tray update";

    refreshEarly();
    EXPECT_EQ(sampleTables.repaintCounter, 0);
    EXPECT_NE(trayIcon.hIcon, nullptr);
    EXPECT_EQ(sampleTables.trayPeak[1], 0);
    EXPECT_EQ(sampleTables.trayHistory[15], 9);

    sampleTables.trayPeak[1] = 4;
    for (int run = 1; run <= 31; ++run) refreshEarly();
    EXPECT_EQ(sampleTables.trayHistory[15], 9);
    refreshEarly();
    EXPECT_EQ(sampleTables.trayHistory[14], 9);
    EXPECT_EQ(sampleTables.trayHistory[15], 4);
}

TEST_F(MonitorRender, TrayIconHandleIsKeptFromTheFirstAddition) {
    updateTrayIcon();
    HICON first = trayIcon.hIcon;
    ASSERT_NE(first, nullptr) << "the first update adds the icon";
    EXPECT_TRUE(iconExists(first));
    NOTIFYICONDATAA probe = trayIcon;
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &probe)) << "the shell shows the icon";

    // Later updates modify it; each new handle goes right after the call.
    for (int i = 0; i < 5; ++i) updateTrayIcon();
    EXPECT_EQ(trayIcon.hIcon, first);
    EXPECT_TRUE(iconExists(first));

    // The shell lost the icon: the next update adds it again with a new
    // handle and destroys the one kept so far.
    probe = trayIcon;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &probe));
    updateTrayIcon();
    EXPECT_NE(trayIcon.hIcon, nullptr);
    EXPECT_NE(trayIcon.hIcon, first);
    EXPECT_TRUE(iconExists(trayIcon.hIcon));
    EXPECT_FALSE(iconExists(first)) << "the replaced handle leaks";
    probe = trayIcon;
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &probe));

    HICON last = trayIcon.hIcon;
    teardownMonitorWindow();
    EXPECT_FALSE(iconExists(last)) << "the teardown destroys the kept handle";
}

TEST_F(MonitorRender, AnIconThatCannotBeMadeLeavesTheShownOneForTheTeardownToRemove) {
    // The icon belongs to a window of the test's own, so that destroying the
    // monitor window cannot take it away: only the teardown's removal can.
    HWND owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    trayIcon.hWnd = owner;
    updateTrayIcon();
    HICON shown = trayIcon.hIcon;
    ASSERT_NE(shown, nullptr);

    // No mask: CreateIconIndirect fails for real (Wine accepts a deleted
    // bitmap handle, but not a missing one).
    trayIconBitmaps.hbmMask = nullptr;
    updateTrayIcon();
    trayIconBitmaps.hbmMask = trayIconMask;
    EXPECT_EQ(trayIcon.hIcon, shown) << "the failed update dropped the shown icon's handle";
    EXPECT_TRUE(iconExists(shown));
    updateTrayIcon();
    EXPECT_EQ(trayIcon.hIcon, shown) << "the next update did not keep the shown icon's handle";

    NOTIFYICONDATAA probe = trayIcon;
    probe.uFlags = NIF_TIP;
    teardownMonitorWindow();
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &probe)) << "the icon was left in the notification area";
    EXPECT_FALSE(iconExists(shown));
    DestroyWindow(owner);
}

TEST_F(MonitorRender, EraseRequestRestoresThePictureFromBackBuffer) {
    paintMarker(backBufferDC, 10, 40, 30, 50);
    HDC windowDC = GetDC(monitorWindow);
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    const RECT all = {0, 0, 136, static_cast<LONG>(clientHeight)};
    FillRect(windowDC, &all, green);
    ReleaseDC(monitorWindow, windowDC);

    // The context passed with the message is not the one painted.
    HDC passed = CreateCompatibleDC(nullptr);
    HBITMAP passedBitmap = CreateBitmap(8, 8, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(passed, passedBitmap);
    FillRect(passed, &all, green);
    EXPECT_EQ(SendMessageA(monitorWindow, WM_ERASEBKGND, reinterpret_cast<WPARAM>(passed), 0), 1);
    EXPECT_EQ(GetPixel(passed, 2, 2), RGB(0, 255, 0));
    SelectObject(passed, old);
    DeleteObject(passedBitmap);
    DeleteDC(passed);
    DeleteObject(green);

    const Picture shown = windowPicture(0, 0, 136, static_cast<int>(clientHeight));
    const Picture picture = capturePicture(backBufferDC, 0, 0, 136, static_cast<int>(clientHeight));
    ASSERT_EQ(shown.height, static_cast<int>(clientHeight));
    EXPECT_EQ(shown.at(15, 45), marker);
    EXPECT_EQ(countColour(shown, RGB(0, 255, 0)), 0) << "the class background showed";
    EXPECT_TRUE(shown.pixels == picture.pixels);
}

TEST_F(MonitorRender, TimerMessagesOfAnyIdentifierRepaint) {
    for (WPARAM id : {WPARAM{0}, WPARAM{77}}) {
        SCOPED_TRACE(id);
        sampleTables.rowDirty[5] = 1;
        const std::int64_t before = sampleTables.repaintCounter;
        sampleTables.lastTick[0] = GetTickCount() - 100;
        EXPECT_EQ(SendMessageA(monitorWindow, WM_TIMER, id, 0), 0);
        EXPECT_EQ(sampleTables.repaintCounter, before + 1);
        EXPECT_EQ(sampleTables.rowDirty[5], 0);
        EXPECT_STRNE(sampleTables.labelText[0], "") << "core 0 was measured";
    }
    // A posted one, through the message loop, repaints the same way.
    PostMessageA(monitorWindow, WM_TIMER, 3, 0);
    sampleTables.rowDirty[5] = 1;
    const DWORD posted = GetTickCount();
    while (sampleTables.rowDirty[5] != 0 && GetTickCount() - posted < 5000) pumpMessagesFor(10);
    EXPECT_EQ(sampleTables.rowDirty[5], 0);
}

TEST_F(MonitorRender, TrayNotificationsAndOtherMessagesGetTheDefaultHandling) {
    const std::int64_t before = sampleTables.repaintCounter;
    sampleTables.rowDirty[2] = 1;
    // Tray notifications come as WM_MOUSEMOVE with the pointer event in lParam.
    EXPECT_EQ(SendMessageA(monitorWindow, WM_MOUSEMOVE, 0, WM_LBUTTONDBLCLK), 0);
    EXPECT_EQ(SendMessageA(monitorWindow, WM_MOUSEMOVE, 0, WM_RBUTTONUP), 0);
    EXPECT_EQ(SendMessageA(monitorWindow, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20)), 0);
    EXPECT_EQ(SendMessageA(monitorWindow, WM_KEYDOWN, 'A', 0x001E0001), 0);
    EXPECT_EQ(sampleTables.repaintCounter, before);
    EXPECT_EQ(sampleTables.rowDirty[2], 1);
    EXPECT_TRUE(IsWindow(monitorWindow));
    EXPECT_FALSE(takeQuitMessage());
}

TEST_F(MonitorRender, ClosingTheWindowPostsTheQuitMessage) {
    EXPECT_FALSE(takeQuitMessage());
    SendMessageA(monitorWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(monitorWindow));
    WPARAM exitCode = 1;
    EXPECT_TRUE(takeQuitMessage(&exitCode));
    EXPECT_EQ(exitCode, 0u);
    // The teardown after the loop finds the window gone and still releases the rest.
    EXPECT_EQ(teardownMonitorWindow(), 0);
    EXPECT_FALSE(isWindowClassRegistered("VantrelWindow"));
}

bool messageOpensMenu(UINT message, WPARAM wParam, LPARAM lParam) {
    const MenuOutcome outcome = sendClosingMenus(monitorWindow, message, wParam, lParam);
    EXPECT_EQ(outcome.stuck, 0) << "a menu loop ran without a menu on screen";
    return outcome.shown > 0;
}

TEST_F(MonitorRender, AppsKeyOpensTheMenuOnAFreshPressOnly) {
    constexpr LPARAM press = 0x015D0001;  // repeat count 1, extended key, scan code 0x5D
    constexpr LPARAM repeat = press | (LPARAM{1} << 30);
    EXPECT_FALSE(messageOpensMenu(WM_KEYDOWN, VK_APPS, repeat)) << "auto-repeat opened the menu";
    EXPECT_TRUE(messageOpensMenu(WM_KEYDOWN, VK_APPS, press));
    EXPECT_TRUE(messageOpensMenu(WM_RBUTTONUP, 0, MAKELPARAM(20, 20)));
    // Closing the menu without a choice changes nothing and restores the band.
    EXPECT_EQ(keepOnTop, 1);
    EXPECT_NE(GetWindowLongPtrA(monitorWindow, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
}

}  // namespace
