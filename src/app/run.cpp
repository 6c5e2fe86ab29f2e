#include "app/run.h"

#include <windows.h>

#include <cstring>

#include "app/console_view.h"
#include "app/priority_run.h"
#include "app/user_output.h"
#include "app/version.h"
#include "engine/accounting.h"
#include "engine/core_sampler.h"
#include "engine/machine_context.h"
#include "engine/message_loop.h"
#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampled_cores.h"
#include "engine/sampling.h"
#include "engine/ticks.h"
#include "engine/timer_event.h"
#include "engine/wake_figures.h"
#include "engine/wake_sampler.h"
#include "files/record_writer.h"
#include "formats/record_formats.h"
#include "priority/levels.h"
#include "processes/process_snapshots.h"
#include "record/context_record.h"
#include "record/problem_list.h"
#include "record/recorder.h"
#include "text/text_buffer.h"
#include "window/monitor_window.h"

void (*samplersRunning)() = nullptr;

namespace {

// SetTimer takes at most about 24.8 days; a longer run re-arms its timer.
constexpr ULONGLONG longestTimerMs = 0x7FFFFFFF;
// From the close request to the end of the process, whatever the disk does.
constexpr ULONGLONG endWithinMs = 10000;

ULONGLONG runStartMs = 0;
// --timer-resolution: what was asked and granted (100 ns units), for the record.
std::int64_t askedResolution = 0;
std::int64_t grantedResolution = -1;
ULONGLONG closeAtMs = 0;
ULONGLONG closeRequestMs = 0;
bool recording = false;
bool writerRunning = false;
bool recordFinished = false;

std::int64_t elapsedMs() {
    return static_cast<std::int64_t>(GetTickCount64() - runStartMs);
}

void tellRunProblem(const char* message) {
    char line[messageCapacity + 16];
    joinText(line, sizeof line, {"vantrel: ", message, "\n"});
    tellAboveLiveBlock(line);
}

// The close request: the record ends here for every core, whatever the
// samplers measure while the window goes away.
void closeRequested() {
    if (closeRequestMs == 0) closeRequestMs = GetTickCount64();
    if (recording) stopRecording(readUtcMilliseconds(), elapsedMs());
}

// Every record ends here once: at a normal end, or when the session ends and
// the process may be ended right after. Waits for nothing but the writer,
// and for that at most until endWithinMs after the close request; the
// thread that calls it holds no lock (the window never keeps the lock
// across a call that could deliver the end of the session).
void finishRecording() {
    static bool finished = false;
    if (recording && !finished) noteRunEnd(closeRequestMs == 0 ? endedBySessionEnd : endedByClose);
    if (!recording || finished) return;
    finished = true;
    closeRequested();
    const ULONGLONG lastMs = closeRequestMs + endWithinMs;
    if (writerRunning) {
        recordFinished = finishRecordWriter(lastMs);
    } else {
        const auto withinMs = static_cast<std::int64_t>(endWithinMs - 2000);
        const std::int64_t giveUpAt = readPerformanceCounter() + millisecondsToTicks(withinMs, performanceCounterFrequency());
        finishRecorder(readUtcMilliseconds(), elapsedMs(), giveUpAt);
        keepFinalFigures(readUtcMilliseconds(), elapsedMs());
        recordFinished = true;
    }
}

// The time asleep the system counted at the previous power message (or the
// start), in 100 ns units.
std::int64_t sleptAtLastMessage = 0;

// The machine's sleeps, from the window's power messages, for the record.
void notePowerChange(bool resumed) {
    const std::int64_t slept = readSleptTime();
    const std::int64_t sleptMs = (slept - sleptAtLastMessage) / 10000;
    sleptAtLastMessage = slept;
    if (resumed) {
        noteResume(readUtcMilliseconds(), sleptMs);
    } else {
        noteSuspend(readUtcMilliseconds());
    }
}

void noteProblem(const char* message) {
    if (recording) noteRunProblem(readUtcMilliseconds(), message);
}

// "<what> of core N could not start" (or whatever `failure` says)
void noteCoreProblem(const char* what, std::int64_t core, const char* failure = " could not start") {
    char number[24];
    formatInteger(number, core);
    char message[messageCapacity];
    joinText(message, sizeof message, {what, " of core ", number, failure});
    noteProblem(message);
}

// A sampler that runs unpinned measures whatever processor it lands on, not
// its core: the core's figures are not to be trusted.
constexpr const char* notPinned = " could not be pinned to its core";

// --duration: closes the window as the user would, so the end is the same.
void CALLBACK closeWhenDue(HWND, UINT, UINT_PTR timer, DWORD) {
    const ULONGLONG now = GetTickCount64();
    if (now < closeAtMs) {
        const ULONGLONG left = closeAtMs - now;
        SetTimer(nullptr, timer, static_cast<UINT>(left < longestTimerMs ? left : longestTimerMs), closeWhenDue);
        return;
    }
    KillTimer(nullptr, timer);
    if (recording) noteRunEnd(endedByDuration);
    PostMessageA(monitorWindow, WM_CLOSE, 0, 0);
}

void armDuration(const CommandLine& options) {
    if (!options.hasDuration) return;
    closeAtMs = runStartMs + static_cast<ULONGLONG>(options.durationMs);
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG left = closeAtMs > now ? closeAtMs - now : 0;
    if (SetTimer(nullptr, 0, static_cast<UINT>(left < longestTimerMs ? left : longestTimerMs), closeWhenDue) == 0) {
        // Nobody may be watching: a run that cannot end by itself ends now.
        noteProblem("the --duration timer could not be set");
        if (recording) noteRunEnd(endedByProblem);
        PostMessageA(monitorWindow, WM_CLOSE, 0, 0);
    }
}

// Makes the record's files before anything else starts, so that a path that
// cannot be written fails at once. Answers false after telling the user.
bool startRecording(const CommandLine& options, std::int64_t cores, bool fineChosen) {
    recording = options.hasReport || options.hasLog || options.hasHtml || options.hasMetrics || options.hasFailAbove;
    if (!recording) return true;
    // The recorder takes the samplers' lock from its start on. Made here,
    // ahead of the window's setup, which then finds it made.
    if (!createSampleLock()) {
        tellUser("vantrel: the lock of the record cannot be made\n", true);
        return false;
    }
    RecorderSettings settings{};
    settings.reportPath = options.reportPath;
    settings.logPath = options.logPath;
    settings.htmlPath = options.htmlPath;
    settings.metricsPath = options.metricsPath;
    settings.startLevel = startLevelText();
    settings.startClass = startClassText();
    settings.sweepLevelCount = sweepStretches(options);
    settings.sweepMs = options.sweepMs;
    const char* levelNames[levelCount] = {};
    for (std::int64_t k = 0; options.hasSweep && k < options.levelCount; ++k) {
        const PriorityLevel* level = findPriorityLevel(options.levelIds[k]);
        levelNames[k] = level != nullptr ? level->text : "";
    }
    settings.sweepLevels = levelNames;
    settings.plannedMs = options.hasDuration ? options.durationMs : sweepPlannedMs(options);
    settings.failAboveUs = options.hasFailAbove ? options.failAboveUs : -1;
    settings.coreCount = cores;
    settings.startedUtcMs = readUtcMilliseconds();
    settings.version = VANTREL_VERSION;
    settings.fine = options.fine;
    settings.fineMethod = fineChosen ? wakeMethodName() : "";
    settings.fineResolutionUs = fineChosen ? wakeResolutionUs() : 0;
    settings.askedResolution = askedResolution;
    settings.grantedResolution = grantedResolution;
    // Set before the start, so that a problem met at the start (a log that
    // cannot take its header) is told like any other.
    settings.tellProblem = tellRunProblem;
    settings.formats = &recordFormats;
    settings.service = options.service;
    settings.logMaxBytes = options.hasLogMaxMb ? options.logMaxBytes : 0;
    // Before the record's first snapshot, so that it already has causes. A
    // system without the accounting records the run all the same.
    const bool causes = startAccounting(cores, tellRunProblem);
    char error[messageCapacity];
    if (!startRecorder(settings, error)) {
        char line[messageCapacity + 16];
        joinText(line, sizeof line, {"vantrel: ", error, "\n"});
        tellUser(line, true);
        recording = false;
        return false;
    }
#ifndef VANTREL_NO_PROCESS_SNAPSHOTS
    // Only a stall with a cause can have suspects; a system that will not
    // list its processes records the run all the same.
    if (causes) startProcessSnapshots(tellRunProblem);
#else
    static_cast<void>(causes);
#endif
    openConsoleView(options, cores);
    return true;
}

void startSamplers(const CommandLine& options, bool fineChosen) {
    if (options.fine) {
        // First, so that the graph's first columns already have wake-ups.
        if (fineChosen && startWakeSamplers(sampleTables.coreCount)) {
            for (std::int64_t core = 0; core < sampleTables.coreCount; ++core) {
                const WakeSamplerState state = wakeSamplerState(core);
                if (state == wakeSamplerNotStarted) noteCoreProblem("the wake-up sampler", core);
                if (state == wakeSamplerNotPinned) noteCoreProblem("the wake-up sampler", core, notPinned);
            }
        } else {
            noteProblem("the wake-up samplers could not start");
        }
    }
    // The main thread is core 0's sampler.
    if (!pinToCore(0)) {
        markCoreUnpinned(0);
        noteCoreProblem("the sampler", 0, notPinned);
    }
    markTimerBaseline(0);
    if (SetTimer(monitorWindow, 0, static_cast<UINT>(timerPeriodMs), nullptr) != 0) {
        markCoreSampled(0);
    } else {
        noteProblem("the timer of core 0 could not start");
    }
    for (std::int64_t core = 1; core < sampleTables.coreCount; ++core) {
        // A sampler that cannot be started leaves its core unsampled.
        const SamplerStart started = startCoreSampler(core);
        if (started == samplerNotStarted) noteCoreProblem("the sampler", core);
        if (started == samplerNotPinned) noteCoreProblem("the sampler", core, notPinned);
    }
}

}  // namespace

static int runAtResolution(const CommandLine& options, unsigned long long startMs) {
    runStartMs = startMs;
    createSampleTables();
    std::int64_t count = countProcessors();
    if (count < 1) count = 1;
    const std::int64_t sampled = count < maxCores ? count : maxCores;
    bool fineChosen = false;
    if (options.fine) {
        if (!createWakeFigures(sampled)) {
            tellUser("vantrel: not enough memory for the wake-up samplers\n", true);
            return exitBadCommandLine;
        }
        // The rows show the wake-up samplers' figures from the first event on.
        fineColumns = true;
        // Before the record, which is handed how they wait.
        // A resolution chosen for the run is the run's: the wake-ups do not
        // ask for their own.
        fineChosen = chooseWakeMethod(!options.hasTimerResolution && !options.hasResolutions);
    }
    char refusal[messageCapacity];
    if (!choosePriority(options, refusal)) {
        char line[messageCapacity + 16];
        joinText(line, sizeof line, {"vantrel: ", refusal, "\n"});
        tellUser(line, true);
        return exitBadCommandLine;
    }
    if (!startRecording(options, sampled, fineChosen)) return exitBadCommandLine;

    const bool windowMade = options.noWindow ? setupHiddenWindow(count) != 0 : setupMonitorWindow(count) != 0;
    if (windowMade) {
        if (!options.noWindow) dialogWindow = monitorWindow;
        if (recording) {
            // Before any timer starts, so that every event is recorded.
            timerEventSink = recordEvent;
            sessionEnding = finishRecording;
            closeRequest = closeRequested;
            sleptAtLastMessage = readSleptTime();
            powerChange = notePowerChange;
            writerRunning = startRecordWriter(runStartMs, RecordWriterSteps{recordAndShowStep, finishAndKeepRecord});
            if (!writerRunning) noteProblem("the thread that writes the record could not start");
        }
        startSamplers(options, fineChosen);
        startPriority(options, recording);
        armDuration(options);
        if (samplersRunning != nullptr) samplersRunning();
        runMessageLoop();
        KillTimer(monitorWindow, 0);
    } else {
        noteProblem("the window could not be set up");
        if (recording) noteRunEnd(endedByProblem);
    }

    // The samplers are still running here and go on taking sampleLock and
    // writing their rows until the process ends. That is safe because
    // neither the lock nor the tables are ever released: the tables are
    // static and the teardown leaves the lock alone. The recorder stopped
    // taking their events at the close request.
    finishRecording();
    if (options.noWindow) {
        teardownHiddenWindow();
    } else {
        teardownMonitorWindow();
    }
    if (!recording) return exitComplete;
    static const char unfinished[] =
        "the record could not be finished within 10 s of the close request (a write did not return)";
    if (!recordFinished) tellRunProblem(unfinished);
    const bool trusted = recordFinished && recordTrusted();
    const int code = runExitCode(recorderSawFailure(), trusted);
    if (!trusted) {
        tellRunProblem(code == exitThresholdCrossed ? "an event was later than --fail-above, and the record cannot be trusted"
                                                    : "the record cannot be trusted (exit code 4)");
    }
    closeConsoleView(code, recordFinished ? nullptr : unfinished);
    return code;
}

int runVantrel(const CommandLine& options, unsigned long long startMs) {
    // Held for the whole run, asked before the samplers start and given
    // back however the run ends; "default" asks for nothing.
    askedResolution = options.hasTimerResolution ? options.timerResolution : 0;
    grantedResolution = askedResolution > 0 ? askTimerResolution(askedResolution) : -1;
    // A sweep's first resolution, the same way (its figures are the sweep's).
    if (options.hasResolutions) askTimerResolution(options.resolutions[0]);
    const int code = runAtResolution(options, startMs);
    releaseTimerResolution();
    return code;
}
