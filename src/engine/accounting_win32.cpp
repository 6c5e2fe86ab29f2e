// Reads the per-processor time accounting of every core in one system call
// (one per processor group), for accounting.cpp's rings. The call is looked
// up in ntdll at run time: it is not in the import libraries, and a system
// without it simply has no stall causes.
#include <windows.h>

#include <cstdlib>

#include "engine/accounting.h"
#include "engine/platform_seam.h"
#include "engine/ticks.h"

namespace {

// SystemProcessorPerformanceInformation's class, and its entry: one per
// processor of the group asked for, 48 bytes on 32 and 64 bits alike.
constexpr ULONG processorPerformanceClass = 8;
struct ProcessorPerformance {
    LARGE_INTEGER idleTime;
    LARGE_INTEGER kernelTime;  // includes idle, DPC and interrupt time
    LARGE_INTEGER userTime;
    LARGE_INTEGER dpcTime;
    LARGE_INTEGER interruptTime;
    ULONG interruptCount;
};
static_assert(sizeof(ProcessorPerformance) == 48, "the system's layout");

// Readings closer together than this are skipped: the main window's timer
// message can be posted by anyone, and the sampler pays one call per period.
constexpr std::int64_t shortestGapUs = 50000;
constexpr WORD maxGroups = 64;

using QueryCall = LONG(NTAPI*)(ULONG informationClass, PVOID information, ULONG length, PULONG returned);
using QueryExCall = LONG(NTAPI*)(ULONG informationClass, PVOID input, ULONG inputLength, PVOID information,
                                 ULONG length, PULONG returned);

QueryCall query = nullptr;
QueryExCall queryEx = nullptr;
ProcessorPerformance* raw = nullptr;
CoreTimes* times = nullptr;
std::int64_t cores = 0;
// With several processor groups, each group's processors in the numbering of
// the cores (group 0 first); empty when one call reads every core.
WORD groupCount = 0;
std::int64_t groupSize[maxGroups];
std::int64_t lastAtUs = -1;
void (*tell)(const char*) = nullptr;

void copyOut(const ProcessorPerformance* from, std::int64_t count, CoreTimes* to) {
    for (std::int64_t k = 0; k < count; ++k) {
        to[k] = CoreTimes{from[k].idleTime.QuadPart, from[k].kernelTime.QuadPart, from[k].userTime.QuadPart,
                          from[k].dpcTime.QuadPart, from[k].interruptTime.QuadPart};
    }
}

// Every core's times into `times`; answers how many cores were read, -1
// when the call failed.
std::int64_t readAll() {
    const auto bufferBytes = static_cast<ULONG>(cores * static_cast<std::int64_t>(sizeof(ProcessorPerformance)));
    std::int64_t done = 0;
    for (WORD group = 0; group < groupCount && done < cores; ++group) {
        USHORT number = group;
        ULONG returned = 0;
        const ULONG room = static_cast<ULONG>((cores - done) * static_cast<std::int64_t>(sizeof(ProcessorPerformance)));
        if (queryEx(processorPerformanceClass, &number, sizeof number, raw + done, room, &returned) < 0) {
            // Refused for the first group: the plain call reads group 0.
            if (group == 0) break;
            return done;
        }
        std::int64_t got = static_cast<std::int64_t>(returned / sizeof(ProcessorPerformance));
        if (got > groupSize[group]) got = groupSize[group];
        copyOut(raw + done, got, times + done);
        done += got;
        if (got < groupSize[group]) return done;
    }
    if (done > 0) return done;
    ULONG returned = 0;
    if (query(processorPerformanceClass, raw, bufferBytes, &returned) < 0) return -1;
    std::int64_t got = static_cast<std::int64_t>(returned / sizeof(ProcessorPerformance));
    if (got > cores) got = cores;
    copyOut(raw, got, times);
    return got;
}

std::int64_t nowUs() {
    return ticksToMicroseconds(readPerformanceCounter(), performanceCounterFrequency());
}

void readAccounting() {
    if (!accountingWorks()) return;
    const std::int64_t at = nowUs();
    if (lastAtUs >= 0 && at - lastAtUs < shortestGapUs) return;
    lastAtUs = at;
    const std::int64_t read = readAll();
    if (read <= 0) {
        stopAccounting();
        if (tell != nullptr) tell("the processors' time accounting could not be read: the stalls have no causes");
        return;
    }
    storeAccountingReading(at, times, read);
}

template <typename Call>
Call lookUp(HMODULE module, const char* name) {
    const FARPROC found = module != nullptr ? GetProcAddress(module, name) : nullptr;
    return reinterpret_cast<Call>(reinterpret_cast<void*>(found));
}

}  // namespace

bool startAccounting(std::int64_t coreCount, void (*tellFailure)(const char* message)) {
    tell = tellFailure;
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    query = lookUp<QueryCall>(ntdll, "NtQuerySystemInformation");
    queryEx = lookUp<QueryExCall>(ntdll, "NtQuerySystemInformationEx");
    cores = coreCount;
    groupCount = 0;
    const WORD groups = GetActiveProcessorGroupCount();
    if (groups > 1 && queryEx != nullptr) {
        groupCount = groups < maxGroups ? groups : maxGroups;
        for (WORD group = 0; group < groupCount; ++group) groupSize[group] = GetActiveProcessorCount(group);
    }
    std::free(raw);
    std::free(times);
    raw = static_cast<ProcessorPerformance*>(std::calloc(static_cast<std::size_t>(coreCount), sizeof(ProcessorPerformance)));
    times = static_cast<CoreTimes*>(std::calloc(static_cast<std::size_t>(coreCount), sizeof(CoreTimes)));
    if (query == nullptr || raw == nullptr || times == nullptr || !makeAccounting(coreCount)) {
        if (tell != nullptr) tell("the processors' time accounting cannot be read: the stalls have no causes");
        return false;
    }
    lastAtUs = -1;
    readAccounting();
    if (!accountingWorks()) return false;
    accountingReader = readAccounting;
    return true;
}
