// The wake-up threads of --fine and the choice of how they wait. Which wait
// wakes closest to a 1 ms deadline differs between systems (a high-resolution
// timer on recent Windows, a plain timer or a short sleep elsewhere), so it
// is chosen by timing each candidate at start, not by asking what system runs.
#include "engine/wake_sampler.h"

#include <windows.h>

#include "engine/core_sampler.h"
#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampled_cores.h"
#include "engine/ticks.h"
#include "engine/wake_figures.h"
#include "engine/wake_grid.h"
#include "engine/wake_loop.h"

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
bool askedForResolution = true;
NtDelayExecutionCall delayExecution = nullptr;
// How a wake-up thread waits: the chosen method and, but with shortSleep,
// its own timer.
struct WakeWaitWith {
    WakeMethod method;
    HANDLE timer;
};
// Each core's, made before its thread starts.
WakeWaitWith coreWaits[maxCores];
// Why a core's wake-up sampler is not measuring it, for the caller.
WakeSamplerState samplerStates[maxCores];

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
void waitForDeadline(void* context, std::uint64_t start, std::int64_t index) {
    const WakeWaitWith& with = *static_cast<const WakeWaitWith*>(context);
    const std::int64_t frequency = performanceCounterFrequency();
    const std::uint64_t ticks =
        ticksUntilDeadline(start, frequency, index, static_cast<std::uint64_t>(readPerformanceCounter()));
    if (ticks == 0) return;
    const std::int64_t hundredNs = ticksToHundredNs(static_cast<std::int64_t>(ticks), frequency);
    LARGE_INTEGER due;
    // Negative: relative to now.
    due.QuadPart = -(hundredNs > 0 ? hundredNs : 1);
    if (with.method == shortSleep) {
        if (delayExecution != nullptr) {
            delayExecution(FALSE, &due);
        } else {
            Sleep(1);
        }
        return;
    }
    if (SetWaitableTimer(with.timer, &due, 0, nullptr, nullptr, FALSE)) WaitForSingleObject(with.timer, INFINITE);
}

// The median lateness of probeWakes wake-ups with `method`; -1 when the
// method is not there.
std::int64_t probeMethod(WakeMethod method) {
    WakeWaitWith with = {method, makeTimer(method)};
    if (method != shortSleep && with.timer == nullptr) return -1;
    std::int64_t late[probeWakes];
    const auto start = static_cast<std::uint64_t>(readPerformanceCounter());
    std::int64_t index = 1;
    for (std::int64_t& l : late) {
        const WakeGridStep step = waitForWake(waitForDeadline, &with, start, index);
        l = step.lateUs;
        index = step.nextIndex;
    }
    if (with.timer != nullptr) CloseHandle(with.timer);
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
// system lets them. Without `ask` (the run chose its own resolution) only
// the resolution in force is read.
void askForTimerResolution(bool ask) {
    const auto setInformation = lookUp<SetProcessInformationCall>("kernel32.dll", "SetProcessInformation");
    if (ask && setInformation != nullptr) {
        PowerThrottlingState state = {powerThrottlingVersion, ignoreTimerResolution, 0};
        setInformation(GetCurrentProcess(), processPowerThrottling, &state, sizeof state);
    }
    ULONG actual = 0;
    const auto setResolution = lookUp<NtSetTimerResolutionCall>("ntdll.dll", "NtSetTimerResolution");
    if (ask && setResolution != nullptr && setResolution(wantedResolution, TRUE, &actual) >= 0) {
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

// Pinned by its starter before it runs. The loop does only arithmetic and
// the figures' own stores per wake-up: no lock, no allocation.
DWORD WINAPI wakeSamplerThread(LPVOID parameter) {
    const auto core = reinterpret_cast<std::int64_t>(parameter);
    WakeLoop loop = startWakeLoop(core, waitForDeadline, &coreWaits[core]);
    for (;;) runWakeOnce(loop);
}

}  // namespace

bool chooseWakeMethod(bool askResolution) {
    askedForResolution = askResolution;
    askForTimerResolution(askResolution);
    chooseMethod();
    return chosenMethod != wakeMethodCount;
}

bool startWakeSamplers(std::int64_t coreCount) {
    for (WakeSamplerState& state : samplerStates) state = wakeSamplerNotStarted;
    if (chosenMethod == wakeMethodCount && !chooseWakeMethod(askedForResolution)) return false;
    bool anyStarted = false;
    for (std::int64_t core = 0; core < coreCount && core < maxCores; ++core) {
        coreWaits[core] = WakeWaitWith{chosenMethod, makeTimer(chosenMethod)};
        if (chosenMethod != shortSleep && coreWaits[core].timer == nullptr) continue;
        // A thread that could not be pinned still runs, as the timer
        // samplers do, but its figures are not its core's.
        const SamplerStart started = startPinnedThread(wakeSamplerThread, core);
        if (started == samplerNotStarted) continue;
        samplerStates[core] = started == samplerRunning ? wakeSamplerRunning : wakeSamplerNotPinned;
        if (started == samplerRunning) markWakeSampled(core);
        anyStarted = true;
    }
    return anyStarted;
}

WakeSamplerState wakeSamplerState(std::int64_t core) {
    return core >= 0 && core < maxCores ? samplerStates[core] : wakeSamplerNotStarted;
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
