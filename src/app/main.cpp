// Process entry: the command line, the record of the run when one is asked
// for, the tables, the window, core 0's timer, one sampler per further core,
// the message loop, and the end.
#include <windows.h>

#include <string>

#include "app/options.h"
#include "app/user_output.h"
#include "app/version.h"
#include "engine/core_sampler.h"
#include "engine/message_loop.h"
#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "engine/timer_event.h"
#include "record/record_writer.h"
#include "record/recorder.h"
#include "window/monitor_window.h"

namespace {

constexpr UINT exitNormal = 0;
constexpr UINT exitBadCommandLine = 2;
constexpr UINT exitTooLate = 3;

// SetTimer takes at most about 24.8 days; a longer run re-arms its timer.
constexpr ULONGLONG longestTimerMs = 0x7FFFFFFF;

ULONGLONG runStartMs = 0;
ULONGLONG closeAtMs = 0;
bool recording = false;

std::int64_t elapsedMs() {
    return static_cast<std::int64_t>(GetTickCount64() - runStartMs);
}

// Every record ends here once: at a normal end, or when the session ends
// and the process may be ended right after.
void finishRecording() {
    static bool finished = false;
    if (!recording || finished) return;
    finished = true;
    stopRecordWriter();
    finishRecorder(readUtcMilliseconds(), elapsedMs());
}

void tellRecorderProblem(const std::string& message) {
    tellUser("vantrel: " + message + "\n", true);
}

// --duration: closes the window as the user would, so the end is the same.
void CALLBACK closeWhenDue(HWND, UINT, UINT_PTR timer, DWORD) {
    const ULONGLONG now = GetTickCount64();
    if (now < closeAtMs) {
        const ULONGLONG left = closeAtMs - now;
        SetTimer(nullptr, timer, static_cast<UINT>(left < longestTimerMs ? left : longestTimerMs), closeWhenDue);
        return;
    }
    KillTimer(nullptr, timer);
    PostMessageA(monitorWindow, WM_CLOSE, 0, 0);
}

void armDuration(const CommandLine& options) {
    if (!options.hasDuration) return;
    closeAtMs = runStartMs + static_cast<ULONGLONG>(options.durationMs);
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG left = closeAtMs > now ? closeAtMs - now : 0;
    SetTimer(nullptr, 0, static_cast<UINT>(left < longestTimerMs ? left : longestTimerMs), closeWhenDue);
}

// Makes the record's files before anything else starts, so that a path that
// cannot be written fails at once. Answers false after telling the user.
bool startRecording(const CommandLine& options, std::int64_t cores) {
    recording = options.hasReport || options.hasLog || options.hasFailAbove;
    if (!recording) return true;
    // The recorder takes the samplers' lock from its start on. Made here,
    // ahead of the window's setup, which then finds it made; if it cannot be
    // made, the setup fails as it would have anyway.
    if (!createSampleLock()) {
        recording = false;
        return true;
    }
    RecorderSettings settings;
    settings.reportPath = options.reportPath;
    settings.logPath = options.logPath;
    settings.failAboveMs = options.hasFailAbove ? options.failAboveMs : -1;
    settings.coreCount = cores;
    settings.startedUtcMs = readUtcMilliseconds();
    settings.version = VANTREL_VERSION;
    std::string error;
    if (!startRecorder(settings, error)) {
        tellUser("vantrel: " + error + "\n", true);
        recording = false;
        return false;
    }
    reportRecorderProblem = tellRecorderProblem;
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    runStartMs = GetTickCount64();
    const Utf8Arguments arguments = commandLineArguments();
    CommandLine options;
    std::string error;
    if (!parseCommandLine(arguments.count, arguments.values, options, error)) {
        tellUser("vantrel: " + error + "\nTry 'vantrel --help' for more information.\n", true);
        ExitProcess(exitBadCommandLine);
    }
    if (options.help) {
        tellUser(usageText(), false);
        ExitProcess(exitNormal);
    }
    if (options.version) {
        tellUser("Vantrel " VANTREL_VERSION "\n", false);
        ExitProcess(exitNormal);
    }

    createSampleTables();
    std::int64_t count = countProcessors();
    if (count < 1) count = 1;
    if (!startRecording(options, count < maxCores ? count : maxCores)) ExitProcess(exitBadCommandLine);

    if (setupMonitorWindow(count)) {
        dialogWindow = monitorWindow;
        if (recording) {
            // Before any timer starts, so that every event is recorded.
            timerEventSink = recordEvent;
            sessionEnding = finishRecording;
            startRecordWriter(runStartMs);
        }
        // The main thread is core 0's sampler.
        pinToCore(0);
        markTimerBaseline(0);
        SetTimer(monitorWindow, 0, static_cast<UINT>(timerPeriodMs), nullptr);
        for (std::int64_t core = 1; core < sampleTables.coreCount; ++core) {
            // A sampler that cannot be started leaves its core unsampled.
            startCoreSampler(core);
        }
        armDuration(options);
        runMessageLoop();
        KillTimer(monitorWindow, 0);
    }

    // The samplers are still running here and go on taking sampleLock and
    // writing their rows until ExitProcess ends them. That is safe because
    // neither the lock nor the tables are ever released: the tables are
    // static and the teardown leaves the lock alone. The recorder stops
    // taking their events when it finishes.
    finishRecording();
    teardownMonitorWindow();
    ExitProcess(recording && recorderSawFailure() ? exitTooLate : exitNormal);
}
