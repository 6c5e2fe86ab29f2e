// applyPriorityLevel on a real process: the radio mark in priorityMenu, the
// process's priority class and the priority of every one of its threads, and
// nothing of any other process.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/priority_run.h"
#include "priority/levels.h"
#include "priority/priority_control.h"
#include "tests/support/thread_priorities.h"
#include "tests/support/win_test_support.h"
#include "window/monitor_window.h"

namespace {

std::vector<ThreadPriority> threadsOf(DWORD processId) {
    return threadPrioritiesOf(processId).threads;
}

void setEveryThreadOf(DWORD processId, int priority) {
    for (const ThreadPriority& thread : threadsOf(processId)) {
        HANDLE handle = OpenThread(THREAD_SET_INFORMATION, FALSE, thread.threadId);
        if (handle == nullptr) continue;
        SetThreadPriority(handle, priority);
        CloseHandle(handle);
    }
}

DWORD ownClass() {
    return GetPriorityClass(GetCurrentProcess());
}

// The class that the system itself grants for `wanted`. Windows turns a
// request for REALTIME_PRIORITY_CLASS from a process without the privilege to
// raise base priorities into HIGH_PRIORITY_CLASS; Wine grants it as asked.
// The program can do no better than the system, so this is what it must get.
DWORD classGrantedFor(DWORD wanted) {
    const DWORD before = ownClass();
    SetPriorityClass(GetCurrentProcess(), wanted);
    const DWORD granted = ownClass();
    SetPriorityClass(GetCurrentProcess(), before);
    return granted;
}

bool isMarked(HMENU menu, std::int64_t commandId, bool* radio) {
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE | MIIM_FTYPE;
    if (!GetMenuItemInfoA(menu, static_cast<UINT>(commandId), FALSE, &item)) return false;
    if (radio != nullptr) *radio = (item.fType & MFT_RADIOCHECK) != 0;
    return (item.fState & MFS_CHECKED) != 0;
}

// The radio mark is on `commandId` and on no other level.
void expectMarkOn(std::int64_t commandId) {
    for (std::int64_t id = 10; id <= 16; ++id) {
        bool radio = false;
        const bool marked = isMarked(priorityMenu, id, &radio);
        EXPECT_EQ(marked, id == commandId) << "mark of entry " << id;
        if (id == commandId) {
            EXPECT_TRUE(radio) << "entry " << id << " has a plain check, not a radio bullet";
        }
    }
}

DWORD WINAPI waitForStop(LPVOID stop) {
    WaitForSingleObject(static_cast<HANDLE>(stop), INFINITE);
    return 0;
}

class PriorityLevels : public MonitorWindowTest {
protected:
    static constexpr int extraThreads = 3;

    void SetUp() override {
        MonitorWindowTest::SetUp();
        ASSERT_NE(priorityMenu, nullptr);
        stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(stop, nullptr);
        // Stand-ins for the samplers: threads of this process that sit still.
        for (int i = 0; i < extraThreads; ++i) {
            HANDLE thread = CreateThread(nullptr, 0, waitForStop, stop, 0, nullptr);
            ASSERT_NE(thread, nullptr);
            workers.push_back(thread);
        }
    }

    void TearDown() override {
        SetEvent(stop);
        for (HANDLE thread : workers) {
            WaitForSingleObject(thread, 5000);
            CloseHandle(thread);
        }
        CloseHandle(stop);
        SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
        setEveryThreadOf(GetCurrentProcessId(), THREAD_PRIORITY_NORMAL);
        MonitorWindowTest::TearDown();
    }

    // Every thread of this process, the main thread and the stand-ins by
    // name, has priority `expected`.
    void expectAllThreadsAt(int expected) const {
        EXPECT_EQ(GetThreadPriority(GetCurrentThread()), expected) << "main thread";
        for (size_t i = 0; i < workers.size(); ++i) {
            EXPECT_EQ(GetThreadPriority(workers[i]), expected) << "extra thread " << i;
        }
        const std::vector<ThreadPriority> threads = threadsOf(GetCurrentProcessId());
        EXPECT_GE(threads.size(), workers.size() + 1);
        for (const ThreadPriority& thread : threads) {
            EXPECT_EQ(thread.priority, expected) << "thread " << thread.threadId;
        }
    }

    HANDLE stop = nullptr;
    std::vector<HANDLE> workers;
};

TEST_F(PriorityLevels, SetupMarksNormalWithoutChangingAnything) {
    expectMarkOn(13);
    EXPECT_EQ(ownClass(), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    expectAllThreadsAt(THREAD_PRIORITY_NORMAL);
}

TEST_F(PriorityLevels, EachLevelSetsTheClassEveryThreadAndTheMark) {
    struct Expected {
        std::int64_t commandId;
        DWORD priorityClass;
        int threadPriority;
    };
    // Written out from the platform's constants rather than read from the
    // program's table, so a wrong table row shows here.
    const Expected levels[] = {
        {10, IDLE_PRIORITY_CLASS, THREAD_PRIORITY_IDLE},
        {11, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_LOWEST},
        {12, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_BELOW_NORMAL},
        {13, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_NORMAL},
        {14, NORMAL_PRIORITY_CLASS, THREAD_PRIORITY_ABOVE_NORMAL},
        {15, HIGH_PRIORITY_CLASS, THREAD_PRIORITY_HIGHEST},
        {16, REALTIME_PRIORITY_CLASS, THREAD_PRIORITY_TIME_CRITICAL},
    };
    // Up the list and down again, so every level follows a different one.
    std::vector<Expected> order(std::begin(levels), std::end(levels));
    order.insert(order.end(), std::rbegin(levels) + 1, std::rend(levels));
    for (const Expected& level : order) {
        SCOPED_TRACE("level " + std::to_string(level.commandId));
        applyPriorityLevel(priorityMenu, level.commandId);
        expectMarkOn(level.commandId);
        EXPECT_EQ(ownClass(), classGrantedFor(level.priorityClass));
        expectAllThreadsAt(level.threadPriority);
    }
}

TEST_F(PriorityLevels, RealtimeIsGrantedUnderWine) {
    // Wine grants the real-time class to any process; on Windows an ordinary
    // user's process gets HIGH instead, which the previous test allows.
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr) {
        GTEST_SKIP() << "not running under Wine";
    }
    applyPriorityLevel(priorityMenu, 16);
    EXPECT_EQ(ownClass(), static_cast<DWORD>(REALTIME_PRIORITY_CLASS));
    expectAllThreadsAt(THREAD_PRIORITY_TIME_CRITICAL);
}

TEST_F(PriorityLevels, CommandsOutsideTheLevelsChangeNothing) {
    applyPriorityLevel(priorityMenu, 15);
    // 0 is what a dismissed menu answers; 2^32 + 10 would be 10 if the id
    // were cut to 32 bits before the lookup.
    for (const std::int64_t id : {std::int64_t{0}, std::int64_t{9}, std::int64_t{17}, std::int64_t{-1},
                                  std::int64_t{100}, (std::int64_t{1} << 32) + 10}) {
        SCOPED_TRACE("command " + std::to_string(id));
        applyPriorityLevel(priorityMenu, id);
        expectMarkOn(15);
        EXPECT_EQ(ownClass(), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
        expectAllThreadsAt(THREAD_PRIORITY_HIGHEST);
    }
}

TEST_F(PriorityLevels, ChoosingTheMarkedLevelAgainAppliesItAgain) {
    applyPriorityLevel(priorityMenu, 15);
    // Someone else changes the priorities behind the menu's back.
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    SetThreadPriority(workers[0], THREAD_PRIORITY_LOWEST);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    applyPriorityLevel(priorityMenu, 15);
    expectMarkOn(15);
    EXPECT_EQ(ownClass(), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    expectAllThreadsAt(THREAD_PRIORITY_HIGHEST);
}

TEST_F(PriorityLevels, WithoutAMenuThePrioritiesAreStillApplied) {
    applyPriorityLevel(nullptr, 10);
    EXPECT_EQ(ownClass(), static_cast<DWORD>(IDLE_PRIORITY_CLASS));
    expectAllThreadsAt(THREAD_PRIORITY_IDLE);
    // The menu that was not there kept its mark.
    expectMarkOn(13);
}

std::vector<std::pair<std::int64_t, std::uint32_t>> notes;

void noteChange(std::int64_t commandId, std::uint32_t grantedClass) {
    notes.emplace_back(commandId, grantedClass);
}

// --priority goes through the function the menu uses: the mark moves, every
// thread follows; the note it is handed hears of each level applied, with
// the class the system granted, and of nothing else.
TEST_F(PriorityLevels, TheOptionAppliesAsTheMenuDoesAndTheNoteHearsOfIt) {
    notes.clear();
    EXPECT_EQ(applyPriorityLevel(priorityMenu, 15, noteChange), static_cast<std::uint32_t>(HIGH_PRIORITY_CLASS));
    applyPriorityLevel(priorityMenu, 0, noteChange);
    ASSERT_EQ(notes.size(), 1u) << "a dismissed menu tells nothing";
    EXPECT_EQ(notes[0], (std::pair<std::int64_t, std::uint32_t>{15, HIGH_PRIORITY_CLASS}));

    CommandLine options{};
    options.hasPriority = true;
    options.priorityLevelId = 11;
    char error[512] = "";
    ASSERT_TRUE(choosePriority(options, error)) << error;
    EXPECT_STREQ(startLevelText(), "low");
    EXPECT_STREQ(startClassText(), "normal");
    EXPECT_EQ(ownClass(), static_cast<DWORD>(HIGH_PRIORITY_CLASS)) << "choosing only asks; it changes nothing";
    priorityNote = nullptr;
    startPriority(options, false);
    expectMarkOn(11);
    EXPECT_EQ(ownClass(), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    expectAllThreadsAt(THREAD_PRIORITY_LOWEST);
    EXPECT_EQ(priorityNote, nullptr) << "without a record the menu tells nobody";
    // Under Wine realtime is granted, so it is not refused (on Windows,
    // without the privilege, it is: exit code 2).
    options.priorityLevelId = 16;
    EXPECT_EQ(choosePriority(options, error), classGrantedFor(static_cast<DWORD>(REALTIME_PRIORITY_CLASS)) ==
                                                  static_cast<DWORD>(REALTIME_PRIORITY_CLASS))
        << error;
}

// A sweep owns the priority: its first level is applied and marked, and
// every level of the menu is greyed, so none can be chosen into its figures.
TEST_F(PriorityLevels, ASweepGreysEveryLevelOfTheMenu) {
    CommandLine options{};
    options.hasSweep = true;
    options.sweepMs = 3600000;  // its next step never comes during the test
    options.levelCount = 2;
    options.levelIds[0] = 12;
    options.levelIds[1] = 15;
    char error[512] = "";
    ASSERT_TRUE(choosePriority(options, error)) << error;
    for (std::int64_t id = 10; id <= 16; ++id) {
        EXPECT_EQ(GetMenuState(priorityMenu, static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED, 0u) << "before: " << id;
    }
    priorityNote = nullptr;
    startPriority(options, false);
    expectMarkOn(12);
    for (std::int64_t id = 10; id <= 16; ++id) {
        EXPECT_NE(GetMenuState(priorityMenu, static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED, 0u) << "level " << id;
    }
}

TEST_F(PriorityLevels, ThreadsOfOtherProcessesAreLeftAlone) {
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    std::string child = path;
    child = child.substr(0, child.find_last_of("\\/") + 1) + "idle_child.exe";
    ASSERT_NE(GetFileAttributesA(child.c_str()), INVALID_FILE_ATTRIBUTES) << child;

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // A class and a thread priority that only one level shares with it.
    ASSERT_TRUE(
        CreateProcessA(child.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    // Set after the start: Wine 8 ignores a priority class among the creation
    // flags.
    SetPriorityClass(process.hProcess, BELOW_NORMAL_PRIORITY_CLASS);
    SetThreadPriority(process.hThread, THREAD_PRIORITY_BELOW_NORMAL);
    ASSERT_EQ(GetPriorityClass(process.hProcess), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
    ASSERT_EQ(GetThreadPriority(process.hThread), THREAD_PRIORITY_BELOW_NORMAL);

    for (std::int64_t id = 10; id <= 16; ++id) {
        SCOPED_TRACE("level " + std::to_string(id));
        applyPriorityLevel(priorityMenu, id);
        EXPECT_EQ(GetPriorityClass(process.hProcess), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
        const std::vector<ThreadPriority> threads = threadsOf(process.dwProcessId);
        EXPECT_FALSE(threads.empty()) << "the child's threads are not in the snapshot";
        for (const ThreadPriority& thread : threads) {
            EXPECT_EQ(thread.priority, THREAD_PRIORITY_BELOW_NORMAL) << "child thread " << thread.threadId;
        }
    }
    // Our own threads did follow the last level, so the walk did run.
    expectAllThreadsAt(THREAD_PRIORITY_TIME_CRITICAL);

    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace
