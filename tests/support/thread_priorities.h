// Reads the priority of every thread of a process from outside, as a
// bystander: with query rights only, so the reader cannot change what it
// looks at. Header-only: the test programs and the probe tools share it.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

struct ThreadPriority {
    DWORD threadId;
    int priority;
};

struct ThreadPriorities {
    std::vector<ThreadPriority> threads;
    int unreadable = 0;  // threads that ended in between or refused the query
};

inline ThreadPriorities threadPrioritiesOf(DWORD processId) {
    ThreadPriorities result;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return result;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
        const int priority = thread != nullptr ? GetThreadPriority(thread) : THREAD_PRIORITY_ERROR_RETURN;
        if (thread != nullptr) CloseHandle(thread);
        if (priority == THREAD_PRIORITY_ERROR_RETURN) {
            ++result.unreadable;
        } else {
            result.threads.push_back({entry.th32ThreadID, priority});
        }
    }
    CloseHandle(snapshot);
    return result;
}
