#include "engine/platform_seam.h"

#include <windows.h>

#include <atomic>

CRITICAL_SECTION sampleLock;
static bool sampleLockMade = false;

std::uint32_t readTickCount() {
    return GetTickCount();
}

std::int64_t readPerformanceCounter() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

std::int64_t performanceCounterFrequency() {
    // Fixed at boot; asked once. Threads that ask at the same time store the
    // same value.
    static std::atomic<std::int64_t> frequency{0};
    std::int64_t known = frequency.load(std::memory_order_relaxed);
    if (known == 0) {
        LARGE_INTEGER ticks;
        QueryPerformanceFrequency(&ticks);
        known = ticks.QuadPart;
        frequency.store(known, std::memory_order_relaxed);
    }
    return known;
}

namespace {

using ReadSystemTime = void(WINAPI*)(LPFILETIME);

// The precise clock where Windows has it (8 and later); Windows 7, where
// the program ran before, only has the one that moves with the tick.
ReadSystemTime systemTimeReader() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC precise = kernel != nullptr ? GetProcAddress(kernel, "GetSystemTimePreciseAsFileTime") : nullptr;
    if (precise == nullptr) return GetSystemTimeAsFileTime;
    return reinterpret_cast<ReadSystemTime>(reinterpret_cast<void*>(precise));
}

}  // namespace

std::int64_t readUtcMilliseconds() {
    // FILETIME counts 100 ns intervals since 1601-01-01.
    constexpr std::int64_t intervalsPerMs = 10000;
    constexpr std::int64_t msFrom1601To1970 = 11644473600000;
    // Looked up once; threads that look at the same time find the same one.
    static std::atomic<ReadSystemTime> reader{nullptr};
    ReadSystemTime readSystemTime = reader.load(std::memory_order_relaxed);
    if (readSystemTime == nullptr) {
        readSystemTime = systemTimeReader();
        reader.store(readSystemTime, std::memory_order_relaxed);
    }
    FILETIME now;
    readSystemTime(&now);
    const std::int64_t intervals =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    return intervals / intervalsPerMs - msFrom1601To1970;
}

bool createSampleLock() {
    // Made once and never deleted: the sampler threads keep taking it until
    // the process ends, after the window teardown has run.
    if (!sampleLockMade) sampleLockMade = InitializeCriticalSectionEx(&sampleLock, 0, 0) != 0;
    return sampleLockMade;
}

void lockSamples() {
    EnterCriticalSection(&sampleLock);
}

void unlockSamples() {
    LeaveCriticalSection(&sampleLock);
}

namespace {
SRWLOCK snapshotLock = SRWLOCK_INIT;
}  // namespace

void lockSnapshots() {
    AcquireSRWLockExclusive(&snapshotLock);
}

void unlockSnapshots() {
    ReleaseSRWLockExclusive(&snapshotLock);
}

namespace {

using ReadInterruptTime = BOOL(WINAPI*)(PULONGLONG);
using ReadBiasedInterruptTime = void(WINAPI*)(PULONGLONG);

struct SleepClocks {
    ReadBiasedInterruptTime interrupt;
    ReadInterruptTime unbiased;
};

// QueryInterruptTime exists from Windows 10 on (kernelbase); without it the
// time asleep cannot be told and only the power messages mark a suspend.
SleepClocks findSleepClocks() {
    SleepClocks clocks{};
    const char* const modules[] = {"kernelbase.dll", "kernel32.dll"};
    for (const char* name : modules) {
        HMODULE module = GetModuleHandleA(name);
        if (module == nullptr) continue;
        if (clocks.interrupt == nullptr) {
            const FARPROC found = GetProcAddress(module, "QueryInterruptTime");
            clocks.interrupt = reinterpret_cast<ReadBiasedInterruptTime>(reinterpret_cast<void*>(found));
        }
        if (clocks.unbiased == nullptr) {
            const FARPROC found = GetProcAddress(module, "QueryUnbiasedInterruptTime");
            clocks.unbiased = reinterpret_cast<ReadInterruptTime>(reinterpret_cast<void*>(found));
        }
    }
    return clocks;
}

}  // namespace

std::int64_t readSleptTime() {
    // Looked up once; threads that look at the same time find the same ones.
    static std::atomic<bool> looked{false};
    static std::atomic<ReadBiasedInterruptTime> interrupt{nullptr};
    static std::atomic<ReadInterruptTime> unbiased{nullptr};
    // The time asleep only grows: a reading that cannot be made exact
    // answers the last exact one, never a smaller or a guessed value.
    static std::atomic<std::int64_t> lastSlept{0};
    if (!looked.load(std::memory_order_acquire)) {
        const SleepClocks found = findSleepClocks();
        interrupt.store(found.interrupt, std::memory_order_relaxed);
        unbiased.store(found.unbiased, std::memory_order_relaxed);
        looked.store(true, std::memory_order_release);
    }
    const ReadBiasedInterruptTime readInterrupt = interrupt.load(std::memory_order_relaxed);
    const ReadInterruptTime readUnbiased = unbiased.load(std::memory_order_relaxed);
    if (readInterrupt == nullptr || readUnbiased == nullptr) return 0;
    // Both clocks move at the system's clock interrupt: the unbiased one read
    // on either side of the other, unchanged, means no interrupt fell between
    // the readings and their difference is exact. A few tries at most.
    for (int attempt = 0; attempt < 3; ++attempt) {
        ULONGLONG before = 0;
        ULONGLONG biased = 0;
        ULONGLONG after = 0;
        readUnbiased(&before);
        readInterrupt(&biased);
        readUnbiased(&after);
        if (before == after) {
            const auto slept = static_cast<std::int64_t>(biased - before);
            lastSlept.store(slept, std::memory_order_relaxed);
            return slept;
        }
    }
    return lastSlept.load(std::memory_order_relaxed);
}
