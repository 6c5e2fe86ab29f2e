// Reads every process's CPU time in one system call, on a thread of its
// own: every two seconds, and at once (at most four times a second) after a
// sampler saw a stall. The call is looked up in ntdll at run time: it is not
// in the import libraries, and a system without it has stalls without
// suspects. No administrator is needed: the system lists every process to
// any user, with its times, image name and priority.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/platform_seam.h"
#include "engine/stall_cause.h"
#include "engine/ticks.h"
#include "processes/grow_buffer.h"
#include "processes/process_snapshots.h"

namespace {

// SystemProcessInformation: one entry per process, its threads' entries
// right after it, the image names somewhere in the same buffer.
constexpr ULONG processInformationClass = 5;
constexpr LONG infoLengthMismatch = static_cast<LONG>(0xC0000004);
struct CountedText {
    USHORT length;  // bytes
    USHORT maximumLength;
    PWSTR buffer;
};
struct SystemProcess {
    ULONG nextEntryOffset;
    ULONG threadCount;
    LARGE_INTEGER workingSetPrivateSize;
    ULONG hardFaultCount;
    ULONG threadCountHighWatermark;
    ULONGLONG cycleTime;
    LARGE_INTEGER createTime;
    LARGE_INTEGER userTime;
    LARGE_INTEGER kernelTime;
    CountedText imageName;
    LONG basePriority;
    HANDLE processId;
    HANDLE parentProcessId;
    ULONG handleCount;
    ULONG sessionId;
    ULONG_PTR processKey;
    SIZE_T sizes[2];
    ULONG pageFaultCount;
    SIZE_T moreSizes[9];
    LARGE_INTEGER ioCounts[6];
};
struct SystemThread {
    LARGE_INTEGER kernelTime;
    LARGE_INTEGER userTime;
    LARGE_INTEGER createTime;
    ULONG waitTime;
    PVOID startAddress;
    HANDLE processId;
    HANDLE threadId;
    LONG priority;
    LONG basePriority;
    ULONG contextSwitches;
    ULONG threadState;
    ULONG waitReason;
};
static_assert(sizeof(SystemProcess) == 256 && offsetof(SystemProcess, processId) == 80, "the system's 64-bit layout");
static_assert(sizeof(SystemThread) == 80 && offsetof(SystemThread, basePriority) == 60, "the system's 64-bit layout");

// Image names are file names: more than this many characters are cut.
constexpr int longestName = 260;
// The buffer before the first answer; the system says how much it needs.
constexpr ULONG firstBufferBytes = 64 * 1024;
// A process list grows between the answer and the next call: a few tries.
constexpr int mismatchTries = 4;

using QueryCall = LONG(NTAPI*)(ULONG informationClass, PVOID information, ULONG length, PULONG returned);

QueryCall query = nullptr;
// The reader's, grown on its thread only (or at the start, before it runs).
unsigned char* raw = nullptr;
ULONG rawBytes = 0;
ProcessReading* processes = nullptr;
std::int64_t processCapacity = 0;
ThreadReading* threads = nullptr;
std::int64_t threadCapacity = 0;
char* names = nullptr;
std::size_t namesCapacity = 0;
std::int64_t processCount = 0;
std::int64_t threadCount = 0;
std::size_t namesUsed = 0;

HANDLE wake = nullptr;
std::atomic<bool> requested{false};
std::int64_t lastFromUs = 0;
void (*tell)(const char*) = nullptr;
std::atomic<bool> told{false};

std::int64_t nowUs() {
    return ticksToMicroseconds(readPerformanceCounter(), performanceCounterFrequency());
}

void failed(std::int64_t fromUs, const char* message) {
    noteSnapshotFailure(fromUs);
    if (!told.exchange(true) && tell != nullptr) tell(message);
}

// The whole list into `raw`; answers the bytes returned, 0 when the call failed.
ULONG readRaw() {
    for (int attempt = 0; attempt < mismatchTries; ++attempt) {
        ULONG returned = 0;
        const LONG status = query(processInformationClass, raw, rawBytes, &returned);
        if (status >= 0) return returned <= rawBytes ? returned : 0;
        if (status != infoLengthMismatch) return 0;
        const ULONG needed = std::max(returned, rawBytes) + rawBytes / 2 + 16 * 1024;
        void* grown = std::realloc(raw, needed);
        if (grown == nullptr) return 0;
        raw = static_cast<unsigned char*>(grown);
        rawBytes = needed;
    }
    return 0;
}

// The image name of `p`, when it lies inside the answer, as UTF-8 at the
// end of `names` (parse points the reading at it once all are in).
void addName(const SystemProcess& p, ULONG returned, ProcessReading& reading) {
    const auto at = reinterpret_cast<std::uintptr_t>(p.imageName.buffer);
    const auto begin = reinterpret_cast<std::uintptr_t>(raw);
    const int chars = std::min<int>(p.imageName.length / 2, longestName);
    reading.nameLength = 0;
    if (chars == 0 || at < begin || at - begin + static_cast<std::uintptr_t>(chars) * 2 > returned) return;
    const int size = WideCharToMultiByte(CP_UTF8, 0, p.imageName.buffer, chars, names + namesUsed,
                                         static_cast<int>(namesCapacity - namesUsed), nullptr, nullptr);
    reading.nameLength = size > 0 ? static_cast<std::size_t>(size) : 0;
    namesUsed += reading.nameLength;
}

// The answer into processes, threads and names; false without memory.
bool parse(ULONG returned) {
    processCount = 0;
    threadCount = 0;
    namesUsed = 0;
    for (ULONG at = 0; returned - at >= sizeof(SystemProcess);) {
        SystemProcess p;
        std::memcpy(&p, raw + at, sizeof p);
        const ULONG room = (returned - at - static_cast<ULONG>(sizeof p)) / static_cast<ULONG>(sizeof(SystemThread));
        const std::int64_t listed = std::min(p.threadCount, room);
        if (!makeRoom(processes, processCapacity, processCount + 1) ||
            !makeRoom(threads, threadCapacity, threadCount + listed) ||
            !makeRoom(names, namesCapacity, namesUsed + static_cast<std::size_t>(longestName) * 3)) {
            return false;
        }
        ProcessReading& reading = processes[processCount++];
        reading = ProcessReading{static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(p.processId)),
                                 p.createTime.QuadPart,
                                 p.userTime.QuadPart + p.kernelTime.QuadPart,
                                 p.basePriority,
                                 nullptr,
                                 0,
                                 threadCount,
                                 listed};
        addName(p, returned, reading);
        for (std::int64_t k = 0; k < listed; ++k) {
            SystemThread t;
            std::memcpy(&t, raw + at + sizeof p + static_cast<std::size_t>(k) * sizeof t, sizeof t);
            threads[threadCount++] = ThreadReading{static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(t.threadId)),
                                                   t.userTime.QuadPart + t.kernelTime.QuadPart, t.basePriority};
        }
        if (p.nextEntryOffset == 0 || p.nextEntryOffset > returned - at) break;
        at += p.nextEntryOffset;
    }
    // The names may have moved as their buffer grew: pointed at only now.
    std::size_t nameAt = 0;
    for (std::int64_t k = 0; k < processCount; ++k) {
        processes[k].name = names + nameAt;
        nameAt += processes[k].nameLength;
    }
    return true;
}

// One reading, parsed; false (and told) when it failed.
bool readProcesses(std::int64_t& fromUs, std::int64_t& toUs) {
    fromUs = nowUs();
    const ULONG returned = readRaw();
    toUs = nowUs();
    if (returned == 0) {
        failed(fromUs, "the processes' CPU times could not be read: stalls caused by threads have no suspects meanwhile");
        return false;
    }
    if (!parse(returned)) {
        failed(fromUs, "not enough memory for the processes' CPU times: stalls caused by threads have no suspects meanwhile");
        return false;
    }
    return true;
}

DWORD WINAPI readOnPace(LPVOID) {
    for (;;) {
        const std::int64_t now = nowUs();
        std::int64_t due = lastFromUs + snapshotPaceUs;
        if (requested.load()) due = std::min(due, std::max(lastFromUs + snapshotGapUs, now));
        if (now < due) {
            WaitForSingleObject(wake, static_cast<DWORD>((due - now + 999) / 1000));
            continue;
        }
        requested.store(false);
        lastFromUs = now;
        takeProcessSnapshot();
    }
}

// A sampler's, right after a stall: one wake-up of the reader per snapshot.
void askForSnapshot() {
    if (!requested.exchange(true)) SetEvent(wake);
}

}  // namespace

bool takeProcessSnapshot() {
    std::int64_t fromUs = 0;
    std::int64_t toUs = 0;
    if (!readProcesses(fromUs, toUs)) return false;
    if (storeProcessReading(fromUs, toUs, processes, processCount, threads, threadCount)) return true;
    failed(fromUs, "not enough memory for the processes' CPU times: stalls caused by threads have no suspects meanwhile");
    return false;
}

bool prepareProcessSnapshots(void (*tellFailure)(const char* message)) {
    tell = tellFailure;
    told.store(false);
    freeProcessSnapshots();
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const FARPROC found = ntdll != nullptr ? GetProcAddress(ntdll, "NtQuerySystemInformation") : nullptr;
    query = reinterpret_cast<QueryCall>(reinterpret_cast<void*>(found));
    if (raw == nullptr) {
        raw = static_cast<unsigned char*>(std::malloc(firstBufferBytes));
        rawBytes = raw != nullptr ? firstBufferBytes : 0;
    }
    // The first reading sizes every buffer; told as the start's failure.
    std::int64_t fromUs = 0;
    std::int64_t toUs = 0;
    told.store(true);
    const bool read = query != nullptr && raw != nullptr && readProcesses(fromUs, toUs);
    told.store(false);
    if (!read || !makeProcessSnapshots(GetCurrentProcessId(), processCount, threadCount, namesUsed) ||
        !storeProcessReading(fromUs, toUs, processes, processCount, threads, threadCount)) {
        stopProcessSnapshots();
        if (query == nullptr || raw == nullptr) noteSnapshotFailure(-1);
        told.store(true);
        if (tell != nullptr) tell("the processes' CPU times cannot be read: stalls caused by threads have no suspects");
        return false;
    }
    lastFromUs = fromUs;
    return true;
}

bool startProcessSnapshots(void (*tellFailure)(const char* message)) {
    if (!prepareProcessSnapshots(tellFailure)) return false;
    wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = wake != nullptr ? CreateThread(nullptr, 0, readOnPace, nullptr, 0, nullptr) : nullptr;
    if (thread == nullptr) {
        stopProcessSnapshots();
        failed(-1, "the thread that reads the processes' CPU times could not start: stalls caused by threads have no suspects");
        return false;
    }
    // Never told to stop, like the samplers: the process ends it.
    CloseHandle(thread);
    stallSeen = askForSnapshot;
    return true;
}
