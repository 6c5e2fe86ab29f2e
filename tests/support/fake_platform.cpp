// A controllable tick count and a std::mutex stand in for GetTickCount and the
// critical section, so the sampling code runs natively and under sanitizers.
#include "tests/support/fake_platform.h"

#include <atomic>
#include <mutex>

#include "engine/platform_seam.h"

static std::atomic<std::uint32_t> fakeTick{0};
static std::atomic<std::uint32_t> fakeStepPerRead{0};
static std::atomic<bool> failLockCreation{false};
std::mutex sampleLock;

void setFakeTick(std::uint32_t tick) { fakeTick.store(tick); }
void advanceFakeTick(std::uint32_t ms) { fakeTick.fetch_add(ms); }
void setFakeTickStepPerRead(std::uint32_t ms) { fakeStepPerRead.store(ms); }
void failNextSampleLockCreation() { failLockCreation.store(true); }

std::uint32_t readTickCount() {
    // A plain load when the clock stands still keeps the benchmarks' reading cheap.
    const std::uint32_t step = fakeStepPerRead.load();
    return step == 0 ? fakeTick.load() : fakeTick.fetch_add(step);
}
bool createSampleLock() { return !failLockCreation.exchange(false); }
void lockSamples() { sampleLock.lock(); }
void unlockSamples() { sampleLock.unlock(); }
