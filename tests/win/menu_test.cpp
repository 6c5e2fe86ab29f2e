// The priority menu in this process: its measuring, its placement beside the
// real cursor, the modal tracking (driven from a timer that runs inside the
// menu's own message loop), the topmost band around it, and the messages of
// the monitor window that open it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/sample_tables.h"
#include "priority/context_menu.h"
#include "priority/levels.h"
#include "priority/placement.h"
#include "tests/support/win_test_support.h"
#include "window/monitor_window.h"

namespace {

constexpr POINT roomyCursor = {400, 300};
constexpr UINT driverPeriodMs = 20;
// A menu still open this long after its keys were sent is closed by force.
constexpr DWORD stuckMenuMs = 3000;

bool isTopmost(HWND window) {
    return (GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

// What to do with the menu once it shows, and what was seen while it was open.
struct MenuDriver {
    // Keys posted to the open menu after `holdMs`: VK_DOWN `downPresses`
    // times then VK_RETURN, or VK_ESCAPE when `downPresses` is 0.
    int downPresses = 0;
    DWORD holdMs = 0;

    bool seen = false;
    RECT menuRect = {};
    bool topmostWhileOpen = true;
    std::int64_t keepOnTopWhileOpen = -1;
    std::int64_t core0TickAtSight = 0;
    std::int64_t core0TickAtClose = 0;
    DWORD sightTime = 0;
    bool keysSent = false;
    DWORD keysTime = 0;
    DWORD startTime = 0;
    bool neverShown = false;
};

MenuDriver driver;

// Runs on the thread timer, that is inside the menu's modal loop while a menu
// is open.
void CALLBACK driveMenu(HWND, UINT, UINT_PTR, DWORD) {
    HWND menu = visibleMenuWindow();
    if (menu == nullptr) {
        // The timer fires only inside a modal loop here: a menu loop that
        // shows no menu would otherwise hold the test until its time-out.
        if (!driver.seen && GetTickCount() - driver.startTime > stuckMenuMs) {
            driver.neverShown = true;
            EndMenu();
        }
        return;
    }
    if (!driver.seen) {
        driver.seen = true;
        GetWindowRect(menu, &driver.menuRect);
        driver.topmostWhileOpen = isTopmost(monitorWindow);
        driver.keepOnTopWhileOpen = keepOnTop;
        driver.core0TickAtSight = sampleTables.lastTick[0];
        driver.sightTime = GetTickCount();
    }
    if (!driver.keysSent && GetTickCount() - driver.sightTime >= driver.holdMs) {
        driver.keysSent = true;
        driver.keysTime = GetTickCount();
        driver.core0TickAtClose = sampleTables.lastTick[0];
        if (driver.downPresses == 0) {
            PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 1);
        } else {
            for (int i = 0; i < driver.downPresses; ++i) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 1);
            PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 1);
        }
    } else if (driver.keysSent && GetTickCount() - driver.keysTime > stuckMenuMs) {
        EndMenu();
    }
}

// Runs `open` with the driver's timer running; answers what `open` answers.
template <typename Open>
std::int64_t withMenuDriver(int downPresses, DWORD holdMs, Open open) {
    driver = MenuDriver{};
    driver.downPresses = downPresses;
    driver.holdMs = holdMs;
    driver.startTime = GetTickCount();
    const UINT_PTR timer = SetTimer(nullptr, 0, driverPeriodMs, driveMenu);
    const std::int64_t result = open();
    KillTimer(nullptr, timer);
    EXPECT_FALSE(driver.neverShown) << "a menu loop ran for " << stuckMenuMs << " ms without a menu on screen";
    return result;
}

// Takes the window's queued messages (a filter of WM_NULL..WM_NULL would mean
// no filter at all) and answers whether a WM_NULL was among them. Bounded,
// since WM_PAINT stays until the window is validated.
bool takeNullMessageFor(HWND window) {
    bool found = false;
    MSG message;
    for (int i = 0; i < 100 && PeekMessageA(&message, window, 0, 0, PM_REMOVE); ++i) {
        if (message.message == WM_NULL) {
            found = true;
        } else {
            DispatchMessageA(&message);
        }
    }
    return found;
}

std::int64_t markedLevel() {
    for (std::int64_t id = 10; id <= 16; ++id) {
        if (GetMenuState(priorityMenu, static_cast<UINT>(id), MF_BYCOMMAND) & MF_CHECKED) return id;
    }
    return 0;
}

BOOL CALLBACK countWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int windowsOfThisThread() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), countWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// The standard arrow's hot spot is its top-left pixel, here as on Windows,
// so the menu goes 16 px forward of the cursor and ends 4 px before it when
// flipped. Checked, since every expected corner below rests on it.
void expectArrowHotSpotAtTopLeft() {
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(LoadCursorA(nullptr, IDC_ARROW), &info));
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    ASSERT_EQ(info.xHotspot, 0u);
    ASSERT_EQ(info.yHotspot, 0u);
}

class PriorityMenu : public MonitorWindowTest {
protected:
    void SetUp() override {
        MonitorWindowTest::SetUp();
        ASSERT_NE(priorityMenu, nullptr);
        expectArrowHotSpotAtTopLeft();
        // As the first repaint would do.
        SetWindowPos(monitorWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        ASSERT_TRUE(SetCursorPos(roomyCursor.x, roomyCursor.y));
        POINT cursor = {};
        GetCursorPos(&cursor);
        ASSERT_EQ(cursor.x, roomyCursor.x);
        ASSERT_EQ(cursor.y, roomyCursor.y);
        // Nothing left over from the setup.
        takeNullMessageFor(monitorWindow);
    }

    void TearDown() override {
        SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
        MonitorWindowTest::TearDown();
    }
};

TEST_F(PriorityMenu, WithoutAMenuNothingIsShownAndNothingPosted) {
    const std::int64_t command = withMenuDriver(0, 0, [] { return showMenuNearCursor(monitorWindow, nullptr); });
    EXPECT_EQ(command, 0);
    EXPECT_FALSE(driver.seen) << "a menu was shown";
    EXPECT_FALSE(takeNullMessageFor(monitorWindow));
}

// Records each z-order request that reaches the monitor window, and the
// keepOnTop flag at that moment.
struct ZOrderStep {
    HWND insertAfter;
    std::int64_t keepOnTop;
};
std::vector<ZOrderStep> zOrderSteps;
WNDPROC monitorProcBefore = nullptr;

LRESULT CALLBACK recordZOrder(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_WINDOWPOSCHANGING) {
        const auto* position = reinterpret_cast<const WINDOWPOS*>(lParam);
        if ((position->flags & SWP_NOZORDER) == 0) zOrderSteps.push_back({position->hwndInsertAfter, keepOnTop});
    }
    return CallWindowProcA(monitorProcBefore, window, message, wParam, lParam);
}

TEST_F(PriorityMenu, WithoutAMenuTheWindowStillLeavesAndReentersTheTopmostBand) {
    zOrderSteps.clear();
    monitorProcBefore = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(monitorWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordZOrder)));
    ASSERT_NE(monitorProcBefore, nullptr);

    withMenuDriver(0, 0, [] { return openPriorityMenu(monitorWindow, nullptr, &keepOnTop); });

    SetWindowLongPtrA(monitorWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(monitorProcBefore));
    EXPECT_FALSE(driver.seen);
    ASSERT_EQ(zOrderSteps.size(), 2u);
    EXPECT_EQ(zOrderSteps[0].insertAfter, HWND_NOTOPMOST);
    EXPECT_EQ(zOrderSteps[0].keepOnTop, 0) << "keepOnTop must be cleared before leaving the band";
    EXPECT_EQ(zOrderSteps[1].insertAfter, HWND_TOPMOST);
    EXPECT_EQ(zOrderSteps[1].keepOnTop, 0) << "keepOnTop is set only after re-entering the band";
    EXPECT_TRUE(isTopmost(monitorWindow));
    EXPECT_EQ(keepOnTop, 1);
    EXPECT_EQ(markedLevel(), 13) << "\"normal\" keeps the mark";
}

TEST_F(PriorityMenu, MeasuringFindsTheEntriesAndLeavesNoWindowBehind) {
    const int frameX = 2 * GetSystemMetrics(SM_CXDLGFRAME);
    const int frameY = 2 * GetSystemMetrics(SM_CYDLGFRAME);
    const int windowsBefore = windowsOfThisThread();
    const MenuSize size = measureMenu(priorityMenu);
    EXPECT_EQ(windowsOfThisThread(), windowsBefore) << "the measuring window was not destroyed";

    // The last entry's text, in the menu font, fits in the measured width.
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    HFONT menuFont = CreateFontIndirectA(&metrics.lfMenuFont);
    HDC screen = GetDC(nullptr);
    HGDIOBJ oldFont = SelectObject(screen, menuFont);
    SIZE text = {};
    GetTextExtentPoint32A(screen, "realtime", 8, &text);
    SelectObject(screen, oldFont);
    ReleaseDC(nullptr, screen);
    DeleteObject(menuFont);
    EXPECT_GT(size.width, frameX + text.cx);

    // The 32-pixel-wide window makes the bar wrap: the entries stack on more
    // than one line, so the height covers at least two lines of text.
    EXPECT_GE(size.height, frameY + 2 * text.cy);
    // Seven entries in one horizontal bar would be far wider than this.
    EXPECT_LT(size.width, 7 * text.cx);

    // Nothing is cached: the same menu measures the same again, and the menu
    // is not left attached to anything.
    const MenuSize again = measureMenu(priorityMenu);
    EXPECT_EQ(again.width, size.width);
    EXPECT_EQ(again.height, size.height);
}

TEST_F(PriorityMenu, AMenuWithoutEntriesMeasuresAsTheFrameAlone) {
    HMENU empty = CreateMenu();
    ASSERT_NE(empty, nullptr);
    const MenuSize size = measureMenu(empty);
    DestroyMenu(empty);
    EXPECT_EQ(size.width, 2 * GetSystemMetrics(SM_CXDLGFRAME));
    EXPECT_EQ(size.height, 2 * GetSystemMetrics(SM_CYDLGFRAME));
}

TEST_F(PriorityMenu, PlacementFollowsTheRealCursorAndFlipsInTheCorner) {
    const MenuSize size = measureMenu(priorityMenu);

    MenuPoint point = {};
    EXPECT_EQ(placeBesideCursor(size, &point), 0);
    EXPECT_EQ(point.x, roomyCursor.x + 16);
    EXPECT_EQ(point.y, roomyCursor.y + 16);

    WorkArea area = {};
    EXPECT_EQ(workAreaAt(roomyCursor.x, roomyCursor.y, &area), 0);
    RECT primary = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &primary, 0);
    EXPECT_EQ(area.left, primary.left);
    EXPECT_EQ(area.right, primary.right);
    // A point far off every screen belongs to the nearest monitor, which on
    // the test display (one monitor) is the primary one.
    ASSERT_EQ(GetSystemMetrics(SM_CMONITORS), 1);
    WorkArea offScreen = {};
    workAreaAt(-30000, 30000, &offScreen);
    EXPECT_EQ(offScreen.left, primary.left);
    EXPECT_EQ(offScreen.top, primary.top);
    EXPECT_EQ(offScreen.right, primary.right);
    EXPECT_EQ(offScreen.bottom, primary.bottom);

    // Five pixels inside the bottom-right corner: flipped left of the hot
    // spot, and, being nearer than 12 pixels to the bottom, set on it.
    const POINT corner = {area.right - 5, area.bottom - 5};
    ASSERT_TRUE(SetCursorPos(corner.x, corner.y));
    placeBesideCursor(size, &point);
    EXPECT_EQ(point.x, corner.x - size.width - 4);
    EXPECT_EQ(point.y, area.bottom - size.height);

    // At the right edge, 40 px above the bottom less half the menu: no room
    // below (the menu is taller than 48 px), so flipped on both axes.
    ASSERT_GT(size.height, 48);
    const POINT high = {area.right - 5, area.bottom - size.height / 2 - 40};
    ASSERT_TRUE(SetCursorPos(high.x, high.y));
    placeBesideCursor(size, &point);
    EXPECT_EQ(point.x, high.x - size.width - 4);
    EXPECT_EQ(point.y, high.y - size.height - 4);
}

TEST_F(PriorityMenu, EscapeClosesTheMenuAndChangesNothing) {
    // Core 0's timer, as the program starts it: its repaints must go on
    // while the menu is open.
    ASSERT_NE(SetTimer(monitorWindow, 0, 100, nullptr), 0u);
    const std::int64_t result = withMenuDriver(0, 450, [] { return openPriorityMenu(monitorWindow, priorityMenu, &keepOnTop); });
    KillTimer(monitorWindow, 0);

    EXPECT_EQ(result, 0);
    ASSERT_TRUE(driver.seen) << "no menu was shown";
    // The menu's top-left corner is 16 px right of and below the cursor.
    EXPECT_EQ(driver.menuRect.left, roomyCursor.x + 16);
    EXPECT_EQ(driver.menuRect.top, roomyCursor.y + 16);
    EXPECT_FALSE(driver.topmostWhileOpen) << "the window stayed in the topmost band under its menu";
    EXPECT_EQ(driver.keepOnTopWhileOpen, 0);
    EXPECT_NE(driver.core0TickAtClose, driver.core0TickAtSight) << "core 0 was not sampled while the menu was open";

    EXPECT_EQ(visibleMenuWindow(), nullptr);
    EXPECT_EQ(markedLevel(), 13) << "\"normal\" keeps the mark";
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
    EXPECT_TRUE(isTopmost(monitorWindow));
    EXPECT_EQ(keepOnTop, 1);
}

TEST_F(PriorityMenu, ShowAnswersTheChosenEntryAndWakesTheOwner) {
    // Down six times from nothing selected: "idle" ... "high".
    const std::int64_t command =
        withMenuDriver(6, 0, [] { return showMenuNearCursor(monitorWindow, priorityMenu); });
    ASSERT_TRUE(driver.seen);
    EXPECT_EQ(command, 15);
    EXPECT_TRUE(takeNullMessageFor(monitorWindow)) << "no WM_NULL was posted to the owner";
    // Showing alone applies nothing.
    EXPECT_EQ(markedLevel(), 13) << "\"normal\" keeps the mark";
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
}

TEST_F(PriorityMenu, ChoosingHighAppliesItAndRestoresTheTopmostBand) {
    withMenuDriver(6, 0, [] { return openPriorityMenu(monitorWindow, priorityMenu, &keepOnTop); });
    ASSERT_TRUE(driver.seen);
    EXPECT_EQ(markedLevel(), 15);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_HIGHEST);
    EXPECT_TRUE(isTopmost(monitorWindow));
    EXPECT_EQ(keepOnTop, 1);
}

TEST_F(PriorityMenu, RightButtonReleaseAndAFreshAppsKeyPressOpenTheMenu) {
    struct Case {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool opens;
        const char* what;
    };
    const LPARAM repeat = LPARAM{1} << 30;
    const Case cases[] = {
        {WM_RBUTTONUP, 0, MAKELPARAM(20, 20), true, "right button released"},
        {WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20), false, "right button pressed"},
        {WM_KEYDOWN, VK_APPS, 1, true, "Apps key pressed"},
        {WM_KEYDOWN, VK_APPS, 0, true, "Apps key message with lParam 0"},
        {WM_KEYDOWN, VK_APPS, repeat | 1, false, "Apps key auto-repeat"},
        {WM_KEYDOWN, VK_SPACE, 1, false, "another key"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        withMenuDriver(0, 0, [&c] { return SendMessageA(monitorWindow, c.message, c.wParam, c.lParam); });
        EXPECT_EQ(driver.seen, c.opens);
        EXPECT_EQ(visibleMenuWindow(), nullptr);
        EXPECT_TRUE(isTopmost(monitorWindow));
        EXPECT_EQ(keepOnTop, 1);
    }
    EXPECT_EQ(markedLevel(), 13) << "\"normal\" keeps the mark";
}

}  // namespace
