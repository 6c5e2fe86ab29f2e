// The wake-up threads of --fine and the choice of how they wait. Which wait
// wakes closest to a 1 ms deadline differs between systems (a high-resolution
// timer on recent Windows, a plain timer or a short sleep elsewhere), so it
// is chosen by timing each candidate at start, not by asking what system runs.
#include "engine/wake_sampler.h"

#include <windows.h>

#include "engine/core_sampler.h"
#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/suspend_state.h"
#include "engine/wake_figures.h"
#include "engine/wake_grid.h"

// Windows 10 1803 and later; MinGW-w64's headers lack it. Older Windows
// refuse the flag with ERROR_INVALID_PARAMETER.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

enum WakeMethod { highResolutionTimer, waitableTimer, shortSleep, wakeMethodCount };
constexpr const char* wakeMethodNames[wakeMethodCount] = {"high-resolution timer", "waitable timer", "sleep"};

// Wake-ups timed per candidate: a few dozen, about 0.1 s for all of them
// even where a timer wait costs a round trip of 1 to 2 ms.
constexpr std::int64_t probeWakes = 24;
// 1 ms, in the 100 ns units of the native timer calls.
constexpr ULONG wantedResolution = 10000;
constexpr std::int64_t hundredNsPerSecond = 10000000;
// Documented values of SetProcessInformation's ProcessPowerThrottling, not
// in MinGW-w64's headers: keep the timer resolution while the window is
// hidden or occluded.
constexpr int processPowerThrottling = 4;
constexpr ULONG powerThrottlingVersion = 1;
constexpr ULONG ignoreTimerResolution = 0x4;
struct PowerThrottlingState {
    ULONG version;
    ULONG controlMask;
    ULONG stateMask;
};

using NtDelayExecutionCall = LONG(NTAPI*)(BOOLEAN alertable, PLARGE_INTEGER interval);
using NtSetTimerResolutionCall = LONG(NTAPI*)(ULONG desired, BOOLEAN set, PULONG actual);
using NtQueryTimerResolutionCall = LONG(NTAPI*)(PULONG coarsest, PULONG finest, PULONG current);
using SetProcessInformationCall = BOOL(WINAPI*)(HANDLE process, int informationClass, LPVOID information,
                                                DWORD size);

static_assert(wakeMethodCount == wakeCandidateCount, "every wait is a candidate");

WakeMethod chosenMethod = wakeMethodCount;
std::int64_t candidateMedianUs[wakeMethodCount] = {-1, -1, -1};
std::int64_t resolutionUs = 0;
NtDelayExecutionCall delayExecution = nullptr;
// Each core's timer, made before its thread starts; null with shortSleep.
HANDLE wakeTimers[maxCores];

template <typename Call>
Call lookUp(const char* module, const char* name) {
    HMODULE handle = GetModuleHandleA(module);
    const FARPROC found = handle != nullptr ? GetProcAddress(handle, name) : nullptr;
    return reinterpret_cast<Call>(reinterpret_cast<void*>(found));
}

HANDLE makeTimer(WakeMethod method) {
    if (method == highResolutionTimer) {
        return CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    }
    if (method == waitableTimer) return CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    return nullptr;
}

// Waits until deadline `index` of the grid that began at `start`: a timer
// re-armed one-shot for each deadline (some systems refuse a periodic
// high-resolution timer, and a periodic one loses the ticks that fire while
// nobody waits), or a non-alertable sleep of the time left.
void waitForDeadline(WakeMethod method, HANDLE timer, std::uint64_t start, std::int64_t index) {
    const std::int64_t frequency = performanceCounterFrequency();
    const std::uint64_t ticks =
        ticksUntilDeadline(start, frequency, index, static_cast<std::uint64_t>(readPerformanceCounter()));
    if (ticks == 0) return;
    const auto left = static_cast<std::int64_t>(ticks);
    const std::int64_t hundredNs = left / frequency * hundredNsPerSecond + left % frequency * hundredNsPerSecond / frequency;
    LARGE_INTEGER due;
    // Negative: relative to now.
    due.QuadPart = -(hundredNs > 0 ? hundredNs : 1);
    if (method == shortSleep) {
        if (delayExecution != nullptr) {
            delayExecution(FALSE, &due);
        } else {
            Sleep(1);
        }
        return;
    }
    if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) WaitForSingleObject(timer, INFINITE);
}

// One wake-up: waits for deadline `index` and answers the grid step; a wait
// that ends early is repeated.
WakeGridStep wakeOnce(WakeMethod method, HANDLE timer, std::uint64_t start, std::int64_t index) {
    for (;;) {
        waitForDeadline(method, timer, start, index);
        const WakeGridStep step = stepWakeGrid(start, performanceCounterFrequency(), index,
                                               static_cast<std::uint64_t>(readPerformanceCounter()));
        if (step.lateUs >= 0) return step;
    }
}

// The median lateness of probeWakes wake-ups with `method`; -1 when the
// method is not there.
std::int64_t probeMethod(WakeMethod method) {
    HANDLE timer = makeTimer(method);
    if (method != shortSleep && timer == nullptr) return -1;
    std::int64_t late[probeWakes];
    const auto start = static_cast<std::uint64_t>(readPerformanceCounter());
    std::int64_t index = 1;
    for (std::int64_t& l : late) {
        const WakeGridStep step = wakeOnce(method, timer, start, index);
        l = step.lateUs;
        index = step.nextIndex;
    }
    if (timer != nullptr) CloseHandle(timer);
    return medianOf(late, probeWakes);
}

void chooseMethod() {
    delayExecution = lookUp<NtDelayExecutionCall>("ntdll.dll", "NtDelayExecution");
    std::int64_t best = -1;
    // In order of preference: on a tie the earlier one stays.
    for (int m = 0; m < wakeMethodCount; ++m) {
        const auto method = static_cast<WakeMethod>(m);
        const std::int64_t median = probeMethod(method);
        candidateMedianUs[m] = median;
        if (median >= 0 && (best < 0 || median < best)) {
            best = median;
            chosenMethod = method;
        }
    }
}

// Both requests may be refused (Windows 7 has no power throttling; some
// systems fake the resolution calls): the samplers then run as well as the
// system lets them.
void askForTimerResolution() {
    const auto setInformation = lookUp<SetProcessInformationCall>("kernel32.dll", "SetProcessInformation");
    if (setInformation != nullptr) {
        PowerThrottlingState state = {powerThrottlingVersion, ignoreTimerResolution, 0};
        setInformation(GetCurrentProcess(), processPowerThrottling, &state, sizeof state);
    }
    ULONG actual = 0;
    const auto setResolution = lookUp<NtSetTimerResolutionCall>("ntdll.dll", "NtSetTimerResolution");
    if (setResolution != nullptr && setResolution(wantedResolution, TRUE, &actual) >= 0) {
        resolutionUs = static_cast<std::int64_t>(actual) / 10;
        return;
    }
    const auto queryResolution = lookUp<NtQueryTimerResolutionCall>("ntdll.dll", "NtQueryTimerResolution");
    ULONG coarsest = 0;
    ULONG finest = 0;
    if (queryResolution != nullptr && queryResolution(&coarsest, &finest, &actual) >= 0) {
        resolutionUs = static_cast<std::int64_t>(actual) / 10;
    }
}

// Only arithmetic and the figures' own stores per wake-up: no lock, no
// allocation, and the time of day only when the figures need it.
DWORD WINAPI wakeSamplerThread(LPVOID parameter) {
    const auto core = reinterpret_cast<std::int64_t>(parameter);
    pinToCore(core);
    auto start = static_cast<std::uint64_t>(readPerformanceCounter());
    std::int64_t index = 1;
    SuspendWatch watch = {};
    for (;;) {
        const WakeGridStep step = wakeOnce(chosenMethod, wakeTimers[core], start, index);
        // Time asleep is not lateness: the wake-up is dropped and a fresh
        // grid starts from it.
        if (intervalSuspended(watch)) {
            start = static_cast<std::uint64_t>(readPerformanceCounter());
            index = 1;
            continue;
        }
        const std::int64_t utcMs = wakeNeedsTime(core, step.lateUs) ? readUtcMilliseconds() : 0;
        recordWake(core, step.lateUs, step.skipped, utcMs);
        index = step.nextIndex;
    }
}

}  // namespace

bool startWakeSamplers(std::int64_t coreCount) {
    askForTimerResolution();
    chooseMethod();
    if (chosenMethod == wakeMethodCount) return false;
    bool anyStarted = false;
    for (std::int64_t core = 0; core < coreCount && core < maxCores; ++core) {
        wakeTimers[core] = makeTimer(chosenMethod);
        if (chosenMethod != shortSleep && wakeTimers[core] == nullptr) continue;
        HANDLE thread = CreateThread(nullptr, samplerStackCommit, wakeSamplerThread, reinterpret_cast<LPVOID>(core),
                                     0, nullptr);
        if (thread == nullptr) continue;
        // Nothing ever waits for a wake-up thread.
        CloseHandle(thread);
        anyStarted = true;
    }
    return anyStarted;
}

const char* wakeMethodName() {
    return chosenMethod == wakeMethodCount ? "" : wakeMethodNames[chosenMethod];
}

std::int64_t wakeResolutionUs() {
    return resolutionUs;
}

const char* wakeCandidateName(std::int64_t candidate) {
    return candidate >= 0 && candidate < wakeMethodCount ? wakeMethodNames[candidate] : "";
}

std::int64_t wakeCandidateMedianUs(std::int64_t candidate) {
    return candidate >= 0 && candidate < wakeMethodCount ? candidateMedianUs[candidate] : -1;
}
