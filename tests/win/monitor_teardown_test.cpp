// Setups of the monitor window that stopped halfway or failed for real, and
// the teardown that releases what they made and nothing else.
#include <gtest/gtest.h>

#include "tests/win/monitor_setup_support.h"

namespace {

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
