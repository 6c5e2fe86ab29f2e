// Seeded random messages at the monitor window and at a sampler's hidden
// window: timers with any identifier, keys with any flags, mouse and tray
// notifications, erase and paint requests, WM_CLOSE to the sampler. Nothing
// may crash, no table entry outside the sampled cores may change, and the
// sampler's row must still hold what its own timer put there.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/core_sampler.h"
#include "engine/sample_tables.h"
#include "tests/support/win_test_support.h"
#include "window/monitor_window.h"

namespace {

constexpr std::int64_t sampledCores = 2;

std::uint64_t seedFromEnvironment() {
    const char* text = std::getenv("VANTREL_FUZZ_SEED");
    return text != nullptr ? std::strtoull(text, nullptr, 10) : 7041u;
}

WPARAM randomTimerId(std::mt19937_64& random) {
    switch (random() % 4) {
    case 0: return static_cast<WPARAM>(random() % 4);  // 0..3: near the real identifiers
    case 1: return static_cast<WPARAM>(random() % 300);
    case 2: return static_cast<WPARAM>(random());       // anything at all
    default: return static_cast<WPARAM>(-1) - static_cast<WPARAM>(random() % 4);
    }
}

class Fuzz : public MonitorWindowTest {
protected:
    Fuzz() : MonitorWindowTest(sampledCores) {}

    void SetUp() override {
        MonitorWindowTest::SetUp();
        sampler = CreateWindowExA(0, samplerWindowClassName, nullptr, WS_SYSMENU, 160, 200, 160, 200, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(sampler, nullptr);
        // As the sampler thread marks its window: it belongs to core 1.
        SetWindowLongPtrA(sampler, GWLP_USERDATA, 1);
    }

    void TearDown() override {
        if (sampler != nullptr) DestroyWindow(sampler);
        MonitorWindowTest::TearDown();
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    HWND sampler = nullptr;
};

TEST_F(Fuzz, RandomMessagesKeepEveryWriteInItsRow) {
    const std::uint64_t seed = seedFromEnvironment();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (set VANTREL_FUZZ_SEED to replay)");
    std::mt19937_64 random(seed);

    // Real samples first: core 1 by its own timer identifier.
    for (int i = 0; i < 20; ++i) {
        Sleep(1);
        SendMessageA(sampler, WM_TIMER, 1, 0);
    }
    refreshMonitor();
    const auto before = snapshotTables();
    ASSERT_STRNE(before->labelText[1], "");

    // The menu would run a modal loop for every right click: fuzz without
    // it here (the menu has tests of its own), the rest of the path runs.
    HMENU menu = priorityMenu;
    priorityMenu = nullptr;

    constexpr int messages = 40000;
    for (int i = 0; i < messages; ++i) {
        const std::uint64_t pick = random() % 10;
        if (pick == 0) {
            // Any identifier but the sampler's own.
            WPARAM id = randomTimerId(random);
            if (id == 1) id = 2;
            SendMessageA(sampler, WM_TIMER, id, static_cast<LPARAM>(random() % 2));
        } else if (pick == 1) {
            const UINT kinds[] = {WM_CLOSE, WM_ERASEBKGND, WM_PAINT, WM_MOUSEMOVE, WM_KEYDOWN, WM_RBUTTONUP};
            SendMessageA(sampler, kinds[random() % 6], static_cast<WPARAM>(random()), static_cast<LPARAM>(random()));
        } else if (pick <= 3) {
            SendMessageA(monitorWindow, WM_TIMER, randomTimerId(random), 0);
        } else if (pick == 4) {
            // Keys with any flags, the Apps key often, fresh or repeated.
            const WPARAM key = random() % 3 == 0 ? VK_APPS : static_cast<WPARAM>(random() % 256);
            SendMessageA(monitorWindow, WM_KEYDOWN, key, static_cast<LPARAM>(random()));
        } else if (pick == 5) {
            // Tray notifications arrive as WM_MOUSEMOVE with the event in lParam.
            const LPARAM events[] = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_LBUTTONDBLCLK,
                                     WM_MOUSEMOVE, static_cast<LPARAM>(random())};
            SendMessageA(monitorWindow, WM_MOUSEMOVE, random() % 2, events[random() % 7]);
        } else if (pick == 6) {
            const UINT buttons[] = {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDBLCLK};
            SendMessageA(monitorWindow, buttons[random() % 5], static_cast<WPARAM>(random() % 16),
                         static_cast<LPARAM>(random()));
        } else if (pick == 7) {
            ASSERT_EQ(SendMessageA(monitorWindow, WM_ERASEBKGND, static_cast<WPARAM>(random()), 0), 1);
        } else if (pick == 8) {
            InvalidateRect(monitorWindow, nullptr, TRUE);
            SendMessageA(monitorWindow, WM_PAINT, 0, 0);
        } else {
            SendMessageA(monitorWindow, WM_KEYUP, static_cast<WPARAM>(random() % 256), static_cast<LPARAM>(random()));
        }
        if (HasFailure()) return;
    }
    priorityMenu = menu;

    EXPECT_TRUE(IsWindow(sampler)) << "WM_CLOSE must not close a sampler's window";
    EXPECT_TRUE(IsWindow(monitorWindow));

    const auto after = snapshotTables();
    EXPECT_EQ(sampledRowDifference(*before, *after, 1), "") << "a foreign timer identifier was sampled into core 1";
    EXPECT_EQ(differenceFromRow(*before, *after, sampledCores), "") << "a write landed outside the sampled cores";

    // Core 0 was sampled by every monitor timer: its graph is a valid one.
    for (std::int64_t k = 0; k < graphWidth; ++k) {
        ASSERT_GE(sampleTables.graphColumns[k], 1);
        ASSERT_LE(sampleTables.graphColumns[k], 15);
    }
    EXPECT_EQ(sampleTables.graphColumns[graphWidth], sampleTables.graphColumns[graphWidth - 1]);

    // The sampler still samples with its own identifier.
    sampleTables.rowDirty[1] = 0;
    SendMessageA(sampler, WM_TIMER, 1, 0);
    EXPECT_NE(sampleTables.lastTick[1], after->lastTick[1]);
    EXPECT_EQ(sampleTables.rowDirty[1], 1);
}

TEST_F(Fuzz, MenuOpeningsAmidRandomInputChangeNothingUnasked) {
    const std::uint64_t seed = seedFromEnvironment();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (set VANTREL_FUZZ_SEED to replay)");
    std::mt19937_64 random(seed);
    const DWORD classBefore = GetPriorityClass(GetCurrentProcess());
    const int threadPriorityBefore = GetThreadPriority(GetCurrentThread());

    // The first repaint puts the window into the topmost band.
    refreshMonitor();
    // Every menu that opens is dismissed from inside its own modal loop.
    int releases = 0;
    int freshAppsKeys = 0;
    int shown = 0;
    int stuck = 0;
    for (int i = 0; i < 300; ++i) {
        MenuOutcome outcome = {};
        switch (random() % 4) {
        case 0:
            outcome = sendClosingMenus(monitorWindow, WM_RBUTTONUP, 0, static_cast<LPARAM>(random()));
            ++releases;
            break;
        case 1: {
            // A fresh Apps key press (bit 30 clear) or an auto-repeat.
            const auto flags = static_cast<LPARAM>(random() & 0x7FFFFFFF);
            if ((flags & (LPARAM{1} << 30)) == 0) ++freshAppsKeys;
            outcome = sendClosingMenus(monitorWindow, WM_KEYDOWN, VK_APPS, flags);
            break;
        }
        default:
            outcome = sendClosingMenus(monitorWindow, WM_TIMER, randomTimerId(random), 0);
            break;
        }
        shown += outcome.shown;
        stuck += outcome.stuck;
        // Outside the menu the window is back on top and marked to stay so.
        ASSERT_EQ(keepOnTop, 1);
        ASSERT_NE(GetWindowLongPtrA(monitorWindow, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    }
    // Every release and every fresh press opened a menu on screen, and no
    // other message did.
    EXPECT_GT(releases, 30);
    EXPECT_EQ(shown, releases + freshAppsKeys);
    EXPECT_EQ(stuck, 0);
    // Dismissed menus choose nothing: priorities and the mark are as before.
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), classBefore);
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), threadPriorityBefore);
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE;
    ASSERT_TRUE(GetMenuItemInfoA(priorityMenu, 13, FALSE, &info));
    EXPECT_NE(info.fState & MFS_CHECKED, 0u);
}

}  // namespace
