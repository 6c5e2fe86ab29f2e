#include "engine/core_sampler.h"

#include "engine/message_loop.h"
#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampled_cores.h"
#include "engine/sampling.h"

const char samplerWindowClassName[] = "VantrelThreadWindow";

namespace {

// Windows has at most 64 processor groups of at most 64 processors each.
constexpr WORD maxProcessorGroups = 64;

CorePlace corePlaces[maxCores];
bool coresSpanGroups = false;

}  // namespace

std::int64_t countProcessors() {
    const WORD groups = GetActiveProcessorGroupCount();
    if (groups > 1) {
        // GetSystemInfo sees the process's own group only: count them all.
        std::int64_t sizes[maxProcessorGroups] = {};
        const WORD counted = groups < maxProcessorGroups ? groups : maxProcessorGroups;
        for (WORD group = 0; group < counted; ++group) sizes[group] = GetActiveProcessorCount(group);
        coresSpanGroups = true;
        return numberCores(sizes, counted, corePlaces);
    }
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    const std::int64_t count = static_cast<std::int32_t>(info.dwNumberOfProcessors);
    coresSpanGroups = false;
    numberCores(&count, 1, corePlaces);
    return count;
}

bool pinThreadToCore(HANDLE thread, std::int64_t core) {
    if (!coresSpanGroups || core < 0 || core >= maxCores) {
        return SetThreadAffinityMask(thread, static_cast<DWORD_PTR>(affinityMaskOf(core))) != 0;
    }
    GROUP_AFFINITY affinity = {};
    affinity.Mask = static_cast<KAFFINITY>(corePlaces[core].mask);
    affinity.Group = static_cast<WORD>(corePlaces[core].group);
    return SetThreadGroupAffinity(thread, &affinity, nullptr) != 0;
}

bool pinToCore(std::int64_t core) {
    return pinThreadToCore(GetCurrentThread(), core);
}

SamplerStart startPinnedThread(LPTHREAD_START_ROUTINE routine, std::int64_t core) {
    // dwStackSize without STACK_SIZE_PARAM_IS_A_RESERVATION is the initial
    // commitment; the reservation stays the program's default.
    HANDLE thread = CreateThread(nullptr, samplerStackCommit, routine, reinterpret_cast<LPVOID>(core),
                                 CREATE_SUSPENDED, nullptr);
    if (thread == nullptr) return samplerNotStarted;
    const bool pinned = pinThreadToCore(thread, core);
    ResumeThread(thread);
    // Nothing ever waits for a sampler.
    CloseHandle(thread);
    return pinned ? samplerRunning : samplerNotPinned;
}

std::int64_t coreSamplerMain(std::int64_t core) {
    HWND window = CreateWindowExA(0, samplerWindowClassName, nullptr, WS_SYSMENU,
                                  static_cast<int>(core) * samplerWindowSpacing, samplerWindowTop,
                                  samplerWindowWidth, samplerWindowHeight, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) {
        markCoreFailed(core);
        return 0;
    }
    // The window remembers whose sampler it is, so that a timer message with
    // any other identifier (anyone on the desktop can post one) is refused.
    SetWindowLongPtrA(window, GWLP_USERDATA, static_cast<LONG_PTR>(core));

    // Already pinned when startCoreSampler made it; a thread made otherwise
    // (the tests) pins itself.
    if (!pinToCore(core)) markCoreUnpinned(core);
    markTimerBaseline(core);
    if (SetTimer(window, static_cast<UINT_PTR>(core), static_cast<UINT>(timerPeriodMs), nullptr) != 0) {
        markCoreSampled(core);
        runMessageLoop();
        KillTimer(window, static_cast<UINT_PTR>(core));
    } else {
        markCoreFailed(core);
    }
    DestroyWindow(window);
    return 0;
}

DWORD WINAPI coreSamplerThread(LPVOID parameter) {
    return static_cast<DWORD>(coreSamplerMain(reinterpret_cast<std::int64_t>(parameter)));
}

SamplerStart startCoreSampler(std::int64_t core) {
    const SamplerStart started = startPinnedThread(coreSamplerThread, core);
    if (started == samplerNotPinned) markCoreUnpinned(core);
    // In whichever order this and the thread's own marks come.
    if (started == samplerRunning) markCoreStarting(core);
    return started;
}

LRESULT CALLBACK samplerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        const LONG_PTR ownCore = GetWindowLongPtrA(window, GWLP_USERDATA);
        // Only this window's own timer may write this core's row: a foreign
        // identifier would break the one-writer-per-row rule or index past
        // the tables.
        if (ownCore >= 1 && ownCore < sampleTables.coreCount && wParam == static_cast<WPARAM>(ownCore)) {
            recordTimerEvent(static_cast<std::int64_t>(ownCore));
        }
        return 0;
    }
    if (message == WM_CLOSE || message == WM_DESTROY) {
        // A sampler's window lives as long as the process.
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
