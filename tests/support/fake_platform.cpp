// A controllable tick count and a std::mutex stand in for GetTickCount and the
// critical section, so the sampling code runs natively and under sanitizers.
#include "tests/support/fake_platform.h"

#include <atomic>
#include <mutex>

#include "engine/platform_seam.h"

// One 64-bit clock in milliseconds: the tick count is its low 32 bits (and
// wraps), the performance counter and the time of day never do.
static std::atomic<std::int64_t> fakeClockMs{0};
static std::atomic<std::uint32_t> fakeStepPerRead{0};
static std::atomic<bool> failLockCreation{false};
static std::atomic<std::int64_t> fakeSleptTime{0};
std::mutex sampleLock;

void setFakeTick(std::uint32_t tick) { fakeClockMs.store(tick); }
void advanceFakeTick(std::uint32_t ms) { fakeClockMs.fetch_add(ms); }
void setFakeTickStepPerRead(std::uint32_t ms) { fakeStepPerRead.store(ms); }
void failNextSampleLockCreation() { failLockCreation.store(true); }
void setFakeSleptTime(std::int64_t slept) { fakeSleptTime.store(slept); }
std::int64_t readSleptTime() { return fakeSleptTime.load(); }

// The counter runs at 10 MHz with the clock; the time of day is the clock
// from 2026-12-07T00:00:00.000Z on.
constexpr std::int64_t fakeCounterPerMs = 10000;
constexpr std::int64_t fakeUtcStartMs = 1796601600000;
std::int64_t readPerformanceCounter() { return fakeClockMs.load() * fakeCounterPerMs; }
std::int64_t performanceCounterFrequency() { return fakeCounterPerMs * 1000; }
std::int64_t readUtcMilliseconds() { return fakeUtcStartMs + fakeClockMs.load(); }

std::uint32_t readTickCount() {
    // A plain load when the clock stands still keeps the benchmarks' reading cheap.
    const std::uint32_t step = fakeStepPerRead.load();
    return static_cast<std::uint32_t>(step == 0 ? fakeClockMs.load() : fakeClockMs.fetch_add(step));
}
bool createSampleLock() { return !failLockCreation.exchange(false); }
void lockSamples() { sampleLock.lock(); }
void unlockSamples() { sampleLock.unlock(); }
