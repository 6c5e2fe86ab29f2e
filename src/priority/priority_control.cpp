#include "priority/priority_control.h"

#include <windows.h>
#include <tlhelp32.h>

#include "priority/levels.h"

namespace {

// The thread walk's functions are bound by name at every call, in the system
// kernel library; a name that cannot be resolved makes its call do nothing
// and count as answering 0.
FARPROC kernelFunction(const char* name) {
    HMODULE kernel = GetModuleHandleA("Kernel32.dll");
    if (kernel == nullptr) return nullptr;
    return GetProcAddress(kernel, name);
}

template <typename Function>
Function boundByName(const char* name) {
    // Through void* so the cast between unrelated function types is explicit.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(kernelFunction(name)));
}

using CreateSnapshotFunction = HANDLE(WINAPI*)(DWORD, DWORD);
using ThreadWalkFunction = BOOL(WINAPI*)(HANDLE, LPTHREADENTRY32);
using SetThreadPriorityFunction = BOOL(WINAPI*)(HANDLE, int);

HANDLE callCreateSnapshot(DWORD flags, DWORD processId) {
    auto function = boundByName<CreateSnapshotFunction>("CreateToolhelp32Snapshot");
    return function != nullptr ? function(flags, processId) : nullptr;
}

BOOL callThreadWalk(const char* name, HANDLE snapshot, THREADENTRY32* entry) {
    auto function = boundByName<ThreadWalkFunction>(name);
    return function != nullptr ? function(snapshot, entry) : FALSE;
}

void setPriorityOfThread(DWORD threadId, int priority) {
    // THREAD_SET_INFORMATION, not THREAD_SET_LIMITED_INFORMATION: Windows
    // accepts either for SetThreadPriority, but Wine refuses the limited right
    // with ERROR_ACCESS_DENIED, and every thread would keep its priority.
    HANDLE thread = OpenThread(THREAD_SET_INFORMATION, FALSE, threadId);
    if (thread == nullptr) return;  // ended since the snapshot, or not ours to change
    auto function = boundByName<SetThreadPriorityFunction>("SetThreadPriority");
    if (function != nullptr) function(thread, priority);
    CloseHandle(thread);
}

}  // namespace

std::uint32_t applyPriorityLevel(HMENU menu, std::int64_t commandId, PriorityNote note) {
    const PriorityLevel* level = findPriorityLevel(commandId);
    if (level == nullptr) return 0;

    if (menu != nullptr) {
        CheckMenuRadioItem(menu, static_cast<UINT>(firstLevelId), static_cast<UINT>(lastLevelId),
                           static_cast<UINT>(commandId), MF_BYCOMMAND);
    }
    SetPriorityClass(GetCurrentProcess(), level->priorityClass);

    // A thread snapshot lists the threads of every process; ours are picked
    // out by owner.
    const DWORD processId = GetCurrentProcessId();
    HANDLE snapshot = callCreateSnapshot(TH32CS_SNAPTHREAD, processId);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    callThreadWalk("Thread32First", snapshot, &entry);
    do {
        if (entry.th32OwnerProcessID == processId) setPriorityOfThread(entry.th32ThreadID, level->threadPriority);
    } while (callThreadWalk("Thread32Next", snapshot, &entry));
    CloseHandle(snapshot);

    const DWORD granted = GetPriorityClass(GetCurrentProcess());
    if (note != nullptr) note(commandId, granted);
    return granted;
}

void enablePriorityLevels(HMENU menu, bool enabled) {
    if (menu == nullptr) return;
    for (std::int64_t id = firstLevelId; id <= lastLevelId; ++id) {
        EnableMenuItem(menu, static_cast<UINT>(id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    }
}

std::uint32_t classGrantedFor(std::uint32_t wanted) {
    HANDLE process = GetCurrentProcess();
    const DWORD before = GetPriorityClass(process);
    SetPriorityClass(process, wanted);
    const DWORD granted = GetPriorityClass(process);
    if (before != 0) SetPriorityClass(process, before);
    return granted;
}
