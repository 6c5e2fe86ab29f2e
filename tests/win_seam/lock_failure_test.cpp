// Setup when the lock of the sample tables cannot be made: it fails with
// the window and the first drawing objects already made, and the teardown
// releases exactly those. Linked with the test seam, the only way to make
// the lock fail for real.
#include <gtest/gtest.h>

#include "tests/support/fake_platform.h"
#include "window/monitor_window.h"

namespace {

bool classRegistered(const char* name) {
    WNDCLASSEXA description = {};
    description.cbSize = sizeof description;
    return GetClassInfoExA(GetModuleHandleA(nullptr), name, &description) != 0;
}

TEST(SetupWithoutALock, FailsAndTheTeardownReleasesWhatWasMade) {
    failNextSampleLockCreation();
    EXPECT_EQ(setupMonitorWindow(2), 0);

    // Made before the lock: the window, the bitmaps, the memory DC holding
    // the picture, the brush. Nothing after it: no fonts, pen or menu.
    HWND window = monitorWindow;
    const HGDIOBJ made[] = {backBuffer, trayIconImage, trayIconMask, backBufferDC, blackBrush};
    EXPECT_TRUE(IsWindow(window));
    for (HGDIOBJ object : made) EXPECT_NE(GetObjectType(object), 0u);
    EXPECT_FALSE(sampleLockReady);
    EXPECT_EQ(captionFont, nullptr);
    EXPECT_EQ(graphPen, nullptr);
    EXPECT_EQ(priorityMenu, nullptr);
    EXPECT_EQ(keepOnTop, 0);

    EXPECT_EQ(teardownMonitorWindow(), 0);
    EXPECT_FALSE(IsWindow(window));
    for (HGDIOBJ object : made) EXPECT_EQ(GetObjectType(object), 0u) << object << " was left behind";
    EXPECT_FALSE(classRegistered("VantrelWindow"));
    EXPECT_FALSE(classRegistered("VantrelThreadWindow"));

    // The switch fails one creation only: the next setup works.
    EXPECT_EQ(setupMonitorWindow(2), 1);
    teardownMonitorWindow();
}

}  // namespace
