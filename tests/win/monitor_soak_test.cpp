// Many hours of tray icon updates in one go, with the room left in the
// process's GDI handle table measured before and after. Every object an
// update makes comes out of that table: the memory DC, and the icon, which
// holds two bitmaps of its own. So an update that leaks any one of them, even
// every other time, shows as thousands of handles less room.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "engine/sample_tables.h"
#include "tests/support/win_test_support.h"
#include "window/monitor_window.h"

namespace {

// 40,000 updates are 35 hours of the running program (one every 3.2 s).
constexpr int soakUpdates = 40000;
// Room that the drawing of rows may take for good (cached glyphs and the
// like); a leak of one object in two updates is 20,000.
constexpr int headroomTolerance = 200;

// How many more GDI objects the process can make: brushes are made until
// the table refuses one, then all deleted again (about 65,000 in 20 ms).
int gdiHeadroom() {
    std::vector<HBRUSH> made;
    made.reserve(70000);
    for (HBRUSH brush; (brush = CreateSolidBrush(RGB(1, 2, 3))) != nullptr;) made.push_back(brush);
    for (HBRUSH brush : made) DeleteObject(brush);
    return static_cast<int>(made.size());
}

class MonitorSoak : public MonitorWindowTest {};

TEST_F(MonitorSoak, FortyThousandTrayUpdatesLeakNoHandle) {
    updateTrayIcon();
    HICON kept = trayIcon.hIcon;
    ASSERT_NE(kept, nullptr);
    const int before = gdiHeadroom();
    std::printf("room before: %d GDI objects\n", before);
    // An icon held takes room in the table too, or an icon leak would not show.
    HICON probe = CreateIconIndirect(&trayIconBitmaps);
    ASSERT_NE(probe, nullptr);
    EXPECT_LT(gdiHeadroom(), before) << "an icon takes no GDI room here: an icon leak would go unnoticed";
    DestroyIcon(probe);

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
        // (no DC, no selection) did not; a lost icon changes the handle.
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

    const int after = gdiHeadroom();
    std::printf("room after: %d GDI objects\n", after);
    EXPECT_GE(after, before - headroomTolerance) << "the updates leaked DCs, icons or bitmaps";
}

}  // namespace
