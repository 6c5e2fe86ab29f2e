#include "engine/platform_seam.h"

#include <windows.h>

CRITICAL_SECTION sampleLock;
static bool sampleLockMade = false;

std::uint32_t readTickCount() {
    return GetTickCount();
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
