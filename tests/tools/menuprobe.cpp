// menuprobe: looks at the priority menu and at a process's priorities from
// outside, for the end-to-end menu test. Answers are key=value lines.
//
//   menuprobe menu [WAIT_MS]    waits up to WAIT_MS for a visible popup menu
//                               window (class "#32768"): found, rect, pid
//   menuprobe closed WAIT_MS    waits up to WAIT_MS until no popup menu is visible
//   menuprobe cursor            the cursor position as Windows sees it
//   menuprobe priorities PID    priority class of process PID and the priority
//                               of each of its threads, read as a bystander
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/thread_priorities.h"

namespace {

constexpr DWORD pollMs = 10;

BOOL CALLBACK findVisibleMenu(HWND window, LPARAM found) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, "#32768") != 0 || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND visibleMenu() {
    HWND found = nullptr;
    EnumWindows(findVisibleMenu, reinterpret_cast<LPARAM>(&found));
    return found;
}

DWORD argumentMs(int argc, char** argv, int index) {
    return argc > index ? static_cast<DWORD>(std::strtoul(argv[index], nullptr, 10)) : 0;
}

int reportMenu(DWORD waitMs) {
    const DWORD start = GetTickCount();
    HWND menu = visibleMenu();
    while (menu == nullptr && GetTickCount() - start < waitMs) {
        Sleep(pollMs);
        menu = visibleMenu();
    }
    std::printf("found=%d\n", menu != nullptr ? 1 : 0);
    if (menu == nullptr) return 0;
    RECT rect = {};
    GetWindowRect(menu, &rect);
    DWORD processId = 0;
    GetWindowThreadProcessId(menu, &processId);
    std::printf("rect=%ld,%ld,%ld,%ld\npid=%lu\n", rect.left, rect.top, rect.right, rect.bottom, processId);
    return 0;
}

int reportClosed(DWORD waitMs) {
    const DWORD start = GetTickCount();
    while (visibleMenu() != nullptr && GetTickCount() - start < waitMs) Sleep(pollMs);
    std::printf("closed=%d\n", visibleMenu() == nullptr ? 1 : 0);
    return 0;
}

int reportCursor() {
    POINT cursor = {};
    GetCursorPos(&cursor);
    std::printf("cursor=%ld,%ld\n", cursor.x, cursor.y);
    return 0;
}

// Only query rights: a bystander that could change what it looks at would
// prove nothing.
int reportPriorities(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    std::printf("opened=%d\n", process != nullptr ? 1 : 0);
    if (process == nullptr) return 0;
    std::printf("class=%lu\n", GetPriorityClass(process));
    CloseHandle(process);

    const ThreadPriorities found = threadPrioritiesOf(processId);
    std::string priorities;
    for (const ThreadPriority& thread : found.threads) {
        if (!priorities.empty()) priorities += ",";
        priorities += std::to_string(thread.priority);
    }
    const int threads = static_cast<int>(found.threads.size());
    const int unreadable = found.unreadable;
    std::printf("threads=%d\nunreadable=%d\nthread_priorities=%s\n", threads, unreadable, priorities.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "menu") return reportMenu(argumentMs(argc, argv, 2));
    if (command == "closed") return reportClosed(argumentMs(argc, argv, 2));
    if (command == "cursor") return reportCursor();
    if (command == "priorities" && argc > 2) {
        return reportPriorities(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    }
    (void)std::fprintf(stderr, "usage: menuprobe menu [WAIT_MS] | closed WAIT_MS | cursor | priorities PID\n");
    return 2;
}
