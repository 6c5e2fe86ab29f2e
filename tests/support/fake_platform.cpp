// A controllable tick count and a std::mutex stand in for GetTickCount and the
// critical section, so the sampling code runs natively and under sanitizers.
#include "tests/support/fake_platform.h"

#include <atomic>
#include <mutex>

#include "engine/machine_seam.h"
#include "engine/platform_seam.h"

// One 64-bit clock in performance counter ticks (10 MHz): the tick count is its
// milliseconds' low 32 bits (and wraps), the counter and the time of day never do.
constexpr std::int64_t fakeCounterPerMs = 10000;
static std::atomic<std::int64_t> fakeClockTicks{0};
static std::atomic<std::uint32_t> fakeStepPerRead{0};
static std::atomic<bool> failLockCreation{false};
static std::atomic<std::int64_t> fakeSleptTime{0};
std::mutex sampleLock;
static std::mutex snapshotLock;
static std::atomic<std::int64_t> sampleLocksTakenCount{0};

void setFakeTick(std::uint32_t tick) { fakeClockTicks.store(std::int64_t{tick} * fakeCounterPerMs); }
void advanceFakeTick(std::uint32_t ms) { fakeClockTicks.fetch_add(std::int64_t{ms} * fakeCounterPerMs); }
void advanceFakeCounter(std::int64_t ticks) { fakeClockTicks.fetch_add(ticks); }
void setFakeTickStepPerRead(std::uint32_t ms) { fakeStepPerRead.store(ms); }
void failNextSampleLockCreation() { failLockCreation.store(true); }
void setFakeSleptTime(std::int64_t slept) { fakeSleptTime.store(slept); }
std::int64_t readSleptTime() { return fakeSleptTime.load(); }

// The time of day is the clock from 2026-12-07T00:00:00.000Z on.
constexpr std::int64_t fakeUtcStartMs = 1796601600000;
std::int64_t readPerformanceCounter() { return fakeClockTicks.load(); }
std::int64_t performanceCounterFrequency() { return fakeCounterPerMs * 1000; }
std::int64_t readUtcMilliseconds() { return fakeUtcStartMs + fakeClockTicks.load() / fakeCounterPerMs; }

std::uint32_t readTickCount() {
    // A plain load when the clock stands still keeps the benchmarks' reading cheap.
    const std::uint32_t step = fakeStepPerRead.load();
    const std::int64_t ticks =
        step == 0 ? fakeClockTicks.load() : fakeClockTicks.fetch_add(std::int64_t{step} * fakeCounterPerMs);
    return static_cast<std::uint32_t>(ticks / fakeCounterPerMs);
}
bool createSampleLock() { return !failLockCreation.exchange(false); }
void lockSamples() {
    sampleLock.lock();
    sampleLocksTakenCount.fetch_add(1);
}
std::int64_t sampleLocksTaken() { return sampleLocksTakenCount.load(); }
void lockSnapshots() { snapshotLock.lock(); }
void unlockSnapshots() { snapshotLock.unlock(); }
void unlockSamples() { sampleLock.unlock(); }

// The machine's readers: values a test sets, unknown until then.
static FakeMachine fakeMachine{};

void setFakeMachine(const FakeMachine& machine) { fakeMachine = machine; }

static bool answer(const char* value, char* out, std::size_t capacity) {
    if (value == nullptr) return false;
    std::size_t k = 0;
    for (; value[k] != '\0' && k + 1 < capacity; ++k) out[k] = value[k];
    out[k] = '\0';
    return true;
}

bool readComputerName(char* out, std::size_t capacity) { return answer(fakeMachine.name, out, capacity); }
bool readWindowsVersion(char* out, std::size_t capacity) { return answer(fakeMachine.windows, out, capacity); }
bool readProcessorName(char* out, std::size_t capacity) { return answer(fakeMachine.processor, out, capacity); }
bool readPowerPlanName(char* out, std::size_t capacity) { return answer(fakeMachine.powerPlan, out, capacity); }
bool readTimerResolution(TimerResolution& out) {
    if (!fakeMachine.resolutionKnown) return false;
    out = TimerResolution{fakeMachine.current, fakeMachine.finest, fakeMachine.coarsest};
    return true;
}
bool setTimerResolution(std::int64_t hundredNs, bool set, std::int64_t& granted) {
    if (!fakeMachine.resolutionKnown) return false;
    // As the system does: never finer than it allows, and in force at once.
    if (set) fakeMachine.current = hundredNs < fakeMachine.finest ? fakeMachine.finest : hundredNs;
    granted = fakeMachine.current;
    return true;
}
