// Reads the affinity mask of any thread, as the scheduler holds it: the one
// SetThreadAffinityMask set. Header-only: the test programs and the probe
// tools share it.
#pragma once

#include <windows.h>

// The first fields of ntdll's THREAD_BASIC_INFORMATION.
struct ThreadBasicInformation {
    LONG exitStatus;
    PVOID tebBaseAddress;
    HANDLE uniqueProcess;
    HANDLE uniqueThread;
    ULONG_PTR affinityMask;
    LONG priority;
    LONG basePriority;
};

inline bool threadAffinityOf(HANDLE thread, ULONG_PTR& mask) {
    using QueryThread = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    constexpr int threadBasicInformationClass = 0;
    const auto query = reinterpret_cast<QueryThread>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
    if (query == nullptr) return false;
    ThreadBasicInformation info = {};
    if (query(thread, threadBasicInformationClass, &info, sizeof info, nullptr) != 0) return false;
    mask = info.affinityMask;
    return true;
}

// The same for a thread known by its identifier; 0 when it cannot be read.
inline ULONG_PTR threadAffinityById(DWORD threadId) {
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
    if (thread == nullptr) return 0;
    ULONG_PTR mask = 0;
    if (!threadAffinityOf(thread, mask)) mask = 0;
    CloseHandle(thread);
    return mask;
}
