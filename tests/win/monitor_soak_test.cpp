// Many hours of tray icon updates in one go. Under Wine an icon handle left
// behind by each update exhausts the icon handles long before the end (about
// 32,700), and any object leaked per update leaves too little room for the
// objects made after the soak, so this fails on a leak.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "engine/sample_tables.h"
#include "tests/support/win_test_support.h"
#include "window/monitor_window.h"

namespace {

// 40,000 updates are 35 hours of the running program (one every 3.2 s).
constexpr int soakUpdates = 40000;

TEST(MonitorSoak, FortyThousandTrayUpdatesLeaveTheHandleTablesUsable) {
    resetProgramState();
    ASSERT_EQ(setupMonitorWindow(2), 1);

    updateTrayIcon();
    HICON kept = trayIcon.hIcon;
    ASSERT_NE(kept, nullptr);

    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < soakUpdates; ++i) {
        const std::int64_t peak = i % 16;
        sampleTables.trayPeak[i % 2] = peak;
        sampleTables.anyRowRedrawn = 1;
        updateTrayIcon();
        // An update that ran to its end recorded the peak; one that gave up
        // (no DC, no selection) did not; a failed icon changes the handle.
        ASSERT_EQ(sampleTables.trayHistory[15], peak) << "update " << i << " did not complete";
        ASSERT_EQ(trayIcon.hIcon, kept) << "update " << i << " lost the icon";
    }
    QueryPerformanceCounter(&end);
    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::printf("%d tray updates in %.1f s (%.0f us each)\n", soakUpdates, seconds, seconds * 1e6 / soakUpdates);

    // The repaint goes on drawing rows as well.
    for (int i = 0; i < 64; ++i) {
        sampleTables.rowDirty[1] = 1;
        sampleTables.lastTick[0] = GetTickCount() - 100;
        refreshMonitor();
        ASSERT_EQ(sampleTables.rowDirty[1], 0);
    }

    // Room is left for many new objects of both kinds the update makes. The
    // handle tables hold about 65,000 GDI objects per process and 32,700
    // icons in all, so these fail if the updates leaked even one object in
    // two of either kind.
    std::vector<HBRUSH> brushes(30000);
    for (HBRUSH& brush : brushes) {
        brush = CreateSolidBrush(RGB(1, 2, 3));
        ASSERT_NE(brush, nullptr) << "GDI handles ran out after " << (&brush - brushes.data()) << " brushes";
    }
    for (HBRUSH brush : brushes) DeleteObject(brush);
    std::vector<HICON> icons(15000);
    for (HICON& icon : icons) {
        icon = CreateIconIndirect(&trayIconBitmaps);
        ASSERT_NE(icon, nullptr) << "icon handles ran out after " << (&icon - icons.data()) << " icons";
    }
    for (HICON icon : icons) DestroyIcon(icon);

    EXPECT_EQ(teardownMonitorWindow(), 0);
    takeQuitMessage();
    resetProgramState();
    ASSERT_EQ(setupMonitorWindow(4), 1) << "a second setup after the soak";
    updateTrayIcon();
    EXPECT_NE(trayIcon.hIcon, nullptr);
    teardownMonitorWindow();
    takeQuitMessage();
}

}  // namespace
