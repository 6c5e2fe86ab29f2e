#include "app/priority_run.h"

#include <windows.h>

#include <cstring>

#include "engine/machine_context.h"
#include "engine/platform_seam.h"
#include "priority/levels.h"
#include "priority/priority_control.h"
#include "record/context_record.h"
#include "record/sweep_record.h"
#include "record/recorder.h"
#include "text/text_buffer.h"
#include "window/monitor_window.h"

static_assert(maxSweepStretches <= sweepLevelsMost, "the record has room for every stretch the command line allows");

namespace {

// SetTimer takes at most about 24.8 days; a longer step re-arms its timer.
constexpr ULONGLONG longestTimerMs = 0x7FFFFFFF;

const PriorityLevel* startLevel = nullptr;
const char* startClass = nullptr;

// The sweep: its levels, the one measured now, when the next step is due.
// With resolutions every level is measured at each of them in turn: step s
// is level s / sweepResolutionCount at resolution s % sweepResolutionCount.
std::int64_t sweepLevels[levelCount];
std::int64_t sweepLevelCount = 0;
std::int64_t sweepResolutions[8];
std::int64_t sweepResolutionCount = 1;
bool sweepHasResolutions = false;
std::int64_t sweepSteps = 0;
std::int64_t sweepAt = 0;
ULONGLONG sweepStartMs = 0;
ULONGLONG sweepStepMs = 0;
bool sweepRecording = false;

const char* levelText(std::int64_t commandId) {
    const PriorityLevel* level = findPriorityLevel(commandId);
    return level != nullptr ? level->text : "";
}

bool sameText(const char* a, const char* b) {
    return (a == nullptr && b == nullptr) || (a != nullptr && b != nullptr && std::strcmp(a, b) == 0);
}

// The notes handed to the priority control: a change the menu made, the
// sweep's next level, and the start's level, recorded as a change only
// when the system granted another class than it did when the run began.
void noteMenuChange(std::int64_t commandId, std::uint32_t grantedClass) {
    recordPriorityChange(readUtcMilliseconds(), levelText(commandId), priorityClassName(grantedClass));
}

void noteSweepLevel(std::int64_t commandId, std::uint32_t grantedClass) {
    recordSweepLevel(readUtcMilliseconds(), levelText(commandId), priorityClassName(grantedClass));
}

void noteStartLevel(std::int64_t commandId, std::uint32_t grantedClass) {
    if (!sameText(priorityClassName(grantedClass), startClass)) noteMenuChange(commandId, grantedClass);
}

void CALLBACK stepSweep(HWND, UINT, UINT_PTR timer, DWORD);

// The resolution the stretch just begun is measured at, as the system
// answers it is in force.
void noteSweepResolution() {
    if (sweepRecording && sweepResolutionCount > 0 && sweepHasResolutions) {
        setSweepStretchResolution(sweepResolutions[sweepAt % sweepResolutionCount], timerResolutionNow().current);
    }
}

// Arms the timer for the step due at `dueMs`; a run that cannot go on to its
// next level ends now, as --duration's would.
void armSweepStep(ULONGLONG dueMs) {
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG left = dueMs > now ? dueMs - now : 0;
    if (SetTimer(nullptr, 0, static_cast<UINT>(left < longestTimerMs ? left : longestTimerMs), stepSweep) == 0) {
        if (sweepRecording) {
            noteRunProblem(readUtcMilliseconds(), "the --sweep timer could not be set");
            noteRunEnd(endedByProblem);
        }
        PostMessageA(monitorWindow, WM_CLOSE, 0, 0);
    }
}

void CALLBACK stepSweep(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    const ULONGLONG dueMs = sweepStartMs + static_cast<ULONGLONG>(sweepAt + 1) * sweepStepMs;
    if (GetTickCount64() < dueMs) {
        armSweepStep(dueMs);
        return;
    }
    if (++sweepAt == sweepSteps) {
        if (sweepRecording) {
            recordSweepDone();
            noteRunEnd(endedByDuration);
        }
        PostMessageA(monitorWindow, WM_CLOSE, 0, 0);
        return;
    }
    if (sweepResolutionCount > 1) askTimerResolution(sweepResolutions[sweepAt % sweepResolutionCount]);
    const std::int64_t level = sweepLevels[sweepAt / sweepResolutionCount];
    if (sweepAt % sweepResolutionCount == 0) {
        // The menu shows each level as it is applied.
        applyPriorityLevel(priorityMenu, level, sweepRecording ? noteSweepLevel : nullptr);
    } else if (sweepRecording) {
        recordSweepStretch(readUtcMilliseconds(), levelText(level), priorityClassName(GetPriorityClass(GetCurrentProcess())));
    }
    noteSweepResolution();
    armSweepStep(sweepStartMs + static_cast<ULONGLONG>(sweepAt + 1) * sweepStepMs);
}

}  // namespace

bool choosePriority(const CommandLine& options, char* error) {
    startLevel = findPriorityLevel(options.hasPriority ? options.priorityLevelId
                                   : options.hasSweep  ? options.levelIds[0]
                                                       : initialLevelId);
    // Without --priority or --sweep nothing is changed: the menu marks
    // "normal" and the process keeps the class it was started with.
    const bool changes = options.hasPriority || options.hasSweep;
    const std::uint32_t granted =
        changes ? classGrantedFor(startLevel->priorityClass) : GetPriorityClass(GetCurrentProcess());
    startClass = priorityClassName(granted);
    if (options.hasPriority && startLevel->commandId == realtimeLevelId && granted != startLevel->priorityClass) {
        joinText(error, messageCapacity,
                 {"--priority realtime: the system grants this process only the ", startClass != nullptr ? startClass : "unknown",
                  " class (realtime needs the privilege to raise priorities: start Vantrel as an administrator)"});
        return false;
    }
    return true;
}

const char* startLevelText() {
    return startLevel != nullptr ? startLevel->text : nullptr;
}

const char* startClassText() {
    return startClass;
}

void startPriority(const CommandLine& options, bool recording) {
    if (recording) priorityNote = noteMenuChange;
    if (options.hasPriority) applyPriorityLevel(priorityMenu, options.priorityLevelId, recording ? noteStartLevel : nullptr);
    if (!options.hasSweep) return;
    sweepRecording = recording;
    sweepLevelCount = options.levelCount;
    for (std::int64_t k = 0; k < sweepLevelCount; ++k) sweepLevels[k] = options.levelIds[k];
    // The first resolution was asked for before the samplers started.
    sweepHasResolutions = options.hasResolutions;
    sweepResolutionCount = options.hasResolutions ? options.resolutionCount : 1;
    for (std::int64_t k = 0; k < options.resolutionCount; ++k) sweepResolutions[k] = options.resolutions[k];
    sweepSteps = sweepLevelCount * sweepResolutionCount;
    sweepAt = 0;
    sweepStepMs = static_cast<ULONGLONG>(options.sweepMs);
    applyPriorityLevel(priorityMenu, sweepLevels[0], recording ? noteStartLevel : nullptr);
    // The sweep owns the priority to its end: a level chosen in the menu
    // would be measured as the sweep's.
    enablePriorityLevels(priorityMenu, false);
    noteSweepResolution();
    sweepStartMs = GetTickCount64();
    armSweepStep(sweepStartMs + sweepStepMs);
}
