#include "engine/platform_seam.h"

#include <windows.h>

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
    // Fixed at boot; asked once.
    static const std::int64_t frequency = [] {
        LARGE_INTEGER ticks;
        QueryPerformanceFrequency(&ticks);
        return ticks.QuadPart;
    }();
    return frequency;
}

std::int64_t readUtcMilliseconds() {
    // FILETIME counts 100 ns intervals since 1601-01-01.
    constexpr std::int64_t intervalsPerMs = 10000;
    constexpr std::int64_t msFrom1601To1970 = 11644473600000;
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
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
