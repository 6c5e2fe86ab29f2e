// The sampler of core 1 on a thread of its own, as the program starts it:
// its hidden window, its pinning, its timer events, and what it makes of
// timer messages that anyone on the desktop can post to its window.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "engine/core_sampler.h"
#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "tests/support/thread_affinity.h"
#include "tests/support/win_test_support.h"
#include "window/monitor_window.h"

namespace {

// Three cores, so that core 2 is another valid core and 3 lies just past
// the last one; the sampler under test is core 1's.
constexpr std::int64_t testCoreCount = 3;
constexpr std::int64_t ownCore = 1;
constexpr DWORD startWaitMs = 5000;

// A thread's message hook that signals when the sampler's loop fetches a
// marker message: everything posted before the marker has been dispatched.
constexpr UINT markerMessage = WM_APP + 7;
HANDLE markerSeen = nullptr;

LRESULT CALLBACK watchSamplerQueue(int code, WPARAM removal, LPARAM message) {
    if (code == HC_ACTION && removal == PM_REMOVE && reinterpret_cast<const MSG*>(message)->message == markerMessage) {
        SetEvent(markerSeen);
    }
    return CallNextHookEx(nullptr, code, removal, message);
}

bool rowDirtyOf(std::int64_t core) {
    lockSamples();
    const bool dirty = sampleTables.rowDirty[core] != 0;
    unlockSamples();
    return dirty;
}

void clearRowDirty(std::int64_t core) {
    lockSamples();
    sampleTables.rowDirty[core] = 0;
    unlockSamples();
}

// Waits (pumping the test thread's own messages) until `core`'s row is
// marked by a sample.
bool waitForSample(std::int64_t core, DWORD waitMs) {
    const DWORD start = GetTickCount();
    while (!rowDirtyOf(core)) {
        if (GetTickCount() - start >= waitMs) return false;
        pumpMessagesFor(10);
    }
    return true;
}

class CoreSampler : public MonitorWindowTest {
protected:
    CoreSampler() : MonitorWindowTest(testCoreCount) {}

    void TearDown() override {
        if (thread != nullptr) stopSampler();
        MonitorWindowTest::TearDown();
    }

    // Starts core `core`'s sampler the way the program does and waits for its
    // hidden window.
    void startSampler(std::int64_t core) {
        startTick = GetTickCount();
        thread = CreateThread(nullptr, samplerStackCommit, coreSamplerThread, reinterpret_cast<LPVOID>(core), 0,
                              &threadId);
        ASSERT_NE(thread, nullptr);
        const DWORD start = GetTickCount();
        while (window == nullptr && GetTickCount() - start < startWaitMs) {
            for (HWND candidate = nullptr;
                 (candidate = FindWindowExA(nullptr, candidate, samplerWindowClassName, nullptr)) != nullptr;) {
                if (GetWindowThreadProcessId(candidate, nullptr) == threadId) window = candidate;
            }
            if (window == nullptr) pumpMessagesFor(10);
        }
        ASSERT_NE(window, nullptr) << "the sampler made no \"VantrelThreadWindow\" window";
    }

    // Asks the sampler's loop to end, as only a test does: it then stops its
    // timer and destroys its window.
    void stopSampler() {
        PostThreadMessageA(threadId, WM_QUIT, 0, 0);
        const DWORD ended = WaitForSingleObject(thread, startWaitMs);
        EXPECT_EQ(ended, WAIT_OBJECT_0) << "the sampler thread did not end after WM_QUIT";
        if (ended == WAIT_OBJECT_0) {
            DWORD exitCode = 1;
            GetExitCodeThread(thread, &exitCode);
            EXPECT_EQ(exitCode, 0u);
            EXPECT_FALSE(IsWindow(window)) << "the sampler's window outlived its thread";
        }
        CloseHandle(thread);
        thread = nullptr;
    }

    // Posts `messages` to the sampler's window, then a marker, and waits
    // until the sampler's loop has dispatched them all.
    void postAndDrain(const WPARAM* identifiers, int count) {
        markerSeen = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(markerSeen, nullptr);
        HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, watchSamplerQueue, nullptr, threadId);
        ASSERT_NE(hook, nullptr);
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(PostMessageA(window, WM_TIMER, identifiers[i], 0)) << "identifier " << identifiers[i];
        }
        ASSERT_TRUE(PostMessageA(window, markerMessage, 0, 0));
        const DWORD seen = WaitForSingleObject(markerSeen, startWaitMs);
        UnhookWindowsHookEx(hook);
        CloseHandle(markerSeen);
        markerSeen = nullptr;
        ASSERT_EQ(seen, WAIT_OBJECT_0) << "the sampler did not get through its posted messages";
    }

    HANDLE thread = nullptr;
    DWORD threadId = 0;
    HWND window = nullptr;
    DWORD startTick = 0;
};

TEST_F(CoreSampler, MakesItsHiddenWindowAndPinsItself) {
    startSampler(ownCore);

    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    EXPECT_STREQ(className, "VantrelThreadWindow");
    EXPECT_EQ(GetWindowTextLengthA(window), 0) << "the window has no title";
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetParent(window), nullptr);

    RECT rect = {};
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.left, 160);
    EXPECT_EQ(rect.top, 200);
    EXPECT_EQ(rect.right - rect.left, 160);
    EXPECT_EQ(rect.bottom - rect.top, 200);

    // Made with WS_SYSMENU alone; the system adds the caption and sibling
    // clipping of every overlapped window, and the edge that goes with a
    // caption, by itself.
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE));
    EXPECT_EQ(style & ~static_cast<DWORD>(WS_CLIPSIBLINGS | WS_CAPTION), static_cast<DWORD>(WS_SYSMENU))
        << std::hex << "style 0x" << style;
    EXPECT_EQ(exStyle & ~static_cast<DWORD>(WS_EX_WINDOWEDGE), 0u) << std::hex << "extended style 0x" << exStyle;

    ULONG_PTR mask = 0;
    ASSERT_TRUE(threadAffinityOf(thread, mask));
    EXPECT_EQ(mask, 0x2u) << "core 1's sampler runs on core 1 only";

    // lastTick is set before the timer starts; wait for the first event so
    // the entry is read after the sampler's writes, not during them.
    ASSERT_TRUE(waitForSample(ownCore, startWaitMs));
    lockSamples();
    const std::int64_t lastTick = sampleTables.lastTick[ownCore];
    unlockSamples();
    EXPECT_GE(lastTick, static_cast<std::int64_t>(startTick));
    EXPECT_LE(lastTick, static_cast<std::int64_t>(GetTickCount()));
}

TEST_F(CoreSampler, ItsTimerEventsSampleItsOwnRowOnly) {
    const auto before = snapshotTables();
    startSampler(ownCore);
    ASSERT_TRUE(waitForSample(ownCore, startWaitMs)) << "no sample within " << startWaitMs << " ms";
    // Two more of its timer events, however busy the machine.
    for (int event = 0; event < 2; ++event) {
        clearRowDirty(ownCore);
        ASSERT_TRUE(waitForSample(ownCore, startWaitMs)) << "no further sample within " << startWaitMs << " ms";
    }

    const auto after = snapshotTables();
    EXPECT_EQ(differenceOutsideRow(*before, *after, ownCore), "");
    const std::string label = after->labelText[ownCore];
    ASSERT_GE(label.size(), 4u);
    EXPECT_EQ(label.front(), '+');
    EXPECT_EQ(label.substr(label.size() - 2), "ms");
    // A few events of a quiet core: the newest graph columns hold the line.
    EXPECT_GE(after->graphColumns[ownCore * graphStride + graphWidth - 1], 1);
    EXPECT_GE(after->graphColumns[ownCore * graphStride + graphWidth - 2], 1);
}

// Empties `core`'s graph row: every event from now on adds one column of
// height 1 or more at the right end, so the filled columns count the events.
void clearGraph(std::int64_t core) {
    lockSamples();
    for (std::int64_t k = 0; k < graphStride; ++k) sampleTables.graphColumns[core * graphStride + k] = 0;
    unlockSamples();
}

std::int64_t eventsSinceCleared(const SampleTables& tables, std::int64_t core) {
    std::int64_t filled = 0;
    for (std::int64_t k = 0; k < graphWidth; ++k) {
        if (tables.graphColumns[core * graphStride + k] != 0) ++filled;
    }
    return filled;
}

TEST_F(CoreSampler, RefusesTimerMessagesOfOtherIdentifiers) {
    startSampler(ownCore);
    ASSERT_TRUE(waitForSample(ownCore, startWaitMs));
    clearGraph(ownCore);
    const auto before = snapshotTables();

    // Core 0's identifier, another sampler's, the first past the last core,
    // and one far beyond the tables, many times over.
    const WPARAM kinds[] = {0, 2, static_cast<WPARAM>(testCoreCount), 100000};
    WPARAM foreign[40];
    for (int i = 0; i < 40; ++i) foreign[i] = kinds[i % 4];
    const DWORD posted = GetTickCount();
    postAndDrain(foreign, 40);
    const DWORD elapsed = GetTickCount() - posted;
    const auto after = snapshotTables();

    EXPECT_EQ(differenceOutsideRow(*before, *after, ownCore), "");
    // Its own timer may have fired meanwhile, about once per 100 ms; a
    // foreign message that was sampled would add one column each.
    EXPECT_LE(eventsSinceCleared(*after, ownCore), static_cast<std::int64_t>(elapsed / 100) + 2)
        << "foreign timer messages were sampled into the sampler's own row";
}

TEST_F(CoreSampler, SamplesTimerMessagesOfItsOwnIdentifier) {
    startSampler(ownCore);
    ASSERT_TRUE(waitForSample(ownCore, startWaitMs));

    clearGraph(ownCore);
    const auto before = snapshotTables();

    constexpr int burst = 20;
    WPARAM own[burst];
    for (WPARAM& identifier : own) identifier = static_cast<WPARAM>(ownCore);
    const DWORD posted = GetTickCount();
    postAndDrain(own, burst);
    const DWORD elapsed = GetTickCount() - posted;
    const auto after = snapshotTables();

    const std::int64_t filled = eventsSinceCleared(*after, ownCore);
    // The sampler's own timer may add about one column per 100 ms besides.
    EXPECT_GE(filled, burst) << "every posted event adds a column";
    EXPECT_LE(filled, burst + static_cast<std::int64_t>(elapsed / 100) + 2);
    EXPECT_EQ(differenceOutsideRow(*before, *after, ownCore), "");
}

TEST_F(CoreSampler, OutlivesCloseAndDestroyMessagesAndGoesOnSampling) {
    startSampler(ownCore);
    ASSERT_TRUE(waitForSample(ownCore, startWaitMs));

    // Each on its own: the window must stay, its thread must not be told to
    // quit, and its timer must go on firing.
    for (const UINT message : {UINT{WM_CLOSE}, UINT{WM_DESTROY}}) {
        SCOPED_TRACE(message == WM_CLOSE ? "WM_CLOSE" : "WM_DESTROY");
        EXPECT_EQ(SendMessageA(window, message, 0, 0), 0);
        clearRowDirty(ownCore);
        EXPECT_TRUE(waitForSample(ownCore, 2000)) << "the timer stopped";
        EXPECT_TRUE(IsWindow(window)) << "the hidden window is gone";
        EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the sampler's loop ended";
    }
}

TEST_F(CoreSampler, AWindowSamplesOnlyForAnOwnCoreInsideTheCount) {
    // A sampler window marked for core 0 (the monitor's) or for a core past
    // the last one must not write that row, whatever the identifier.
    for (const LONG_PTR marked : {LONG_PTR{0}, LONG_PTR{testCoreCount}, LONG_PTR{-1}}) {
        SCOPED_TRACE("window of core " + std::to_string(marked));
        HWND lone = CreateWindowExA(0, samplerWindowClassName, nullptr, WS_SYSMENU, 0, 200, 160, 200, nullptr,
                                    nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(lone, nullptr);
        SetWindowLongPtrA(lone, GWLP_USERDATA, marked);
        const auto before = snapshotTables();
        EXPECT_EQ(SendMessageA(lone, WM_TIMER, static_cast<WPARAM>(marked), 0), 0);
        const auto after = snapshotTables();
        EXPECT_EQ(differenceOutsideRow(*before, *after, -1), "") << "a row was sampled";
        DestroyWindow(lone);
    }
}

TEST(StartCoreSampler, StartsAThreadThatSamplesItsCore) {
    resetProgramState();
    ASSERT_EQ(setupMonitorWindow(testCoreCount), 1);
    constexpr std::int64_t core = 2;
    ASSERT_TRUE(startCoreSampler(core));
    ASSERT_TRUE(waitForSample(core, startWaitMs)) << "core 2 was never sampled";

    HWND found = nullptr;
    for (HWND candidate = nullptr;
         (candidate = FindWindowExA(nullptr, candidate, samplerWindowClassName, nullptr)) != nullptr;) {
        RECT rect = {};
        GetWindowRect(candidate, &rect);
        if (rect.left == 320) found = candidate;
    }
    ASSERT_NE(found, nullptr) << "no sampler window at x = 2 x 160";
    const DWORD threadId = GetWindowThreadProcessId(found, nullptr);
    EXPECT_NE(threadId, GetCurrentThreadId()) << "the sampler runs on a thread of its own";

    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
    ASSERT_NE(thread, nullptr);
    PostThreadMessageA(threadId, WM_QUIT, 0, 0);
    EXPECT_EQ(WaitForSingleObject(thread, startWaitMs), WAIT_OBJECT_0);
    CloseHandle(thread);
    teardownMonitorWindow();
    takeQuitMessage();
}

TEST_F(CoreSampler, EndsAtOnceWithoutItsWindowClass) {
    // Without the class no window can be made: the sampler ends at once,
    // leaving its row untouched.
    ASSERT_TRUE(UnregisterClassA(samplerWindowClassName, GetModuleHandleA(nullptr)));
    const auto before = snapshotTables();
    HANDLE lone = CreateThread(nullptr, samplerStackCommit, coreSamplerThread, reinterpret_cast<LPVOID>(ownCore), 0,
                               nullptr);
    ASSERT_NE(lone, nullptr);
    ASSERT_EQ(WaitForSingleObject(lone, startWaitMs), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeThread(lone, &exitCode);
    CloseHandle(lone);
    EXPECT_EQ(exitCode, 0u);
    pumpMessagesFor(250);
    const auto after = snapshotTables();
    EXPECT_EQ(differenceOutsideRow(*before, *after, -1), "") << "the tables were touched";
}

}  // namespace
