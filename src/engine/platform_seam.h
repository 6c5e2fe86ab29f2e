// What the portable sampling code needs from the platform: the clocks, the
// lock of the sample tables and the lock of the process snapshots' ring. The Windows
// build links the real ones (GetTickCount and a critical section); the native
// tests link a controllable clock and a std::mutex instead.
#pragma once

#include <cstdint>

// The platform's 32-bit millisecond tick count (wraps after about 49.7 days).
std::uint32_t readTickCount();

// The high-resolution performance counter and its ticks per second, for
// lateness in microseconds where the tick count moves in 10 to 16 ms steps.
std::int64_t readPerformanceCounter();
std::int64_t performanceCounterFrequency();

// The time of day: UTC, milliseconds since 1970-01-01.
std::int64_t readUtcMilliseconds();

// The time the machine has spent asleep since it started, in 100 ns units:
// the interrupt time minus the unbiased interrupt time, which stops while
// the machine sleeps. 0 where the system cannot tell.
std::int64_t readSleptTime();

// Creates sampleLock. Answers false when it cannot be created. The lock then
// lives until the process ends: sampler threads are never told to stop, so it
// must outlast the window teardown.
bool createSampleLock();

// lock(sampleLock) / unlock(sampleLock): plain enter and leave.
void lockSamples();
void unlockSamples();

// The lock of the process snapshots' ring, apart from sampleLock: ranking a
// stall's suspects holds it as long as the stall's window takes, and the
// samplers must never wait for that. Ready without being created.
void lockSnapshots();
void unlockSnapshots();
