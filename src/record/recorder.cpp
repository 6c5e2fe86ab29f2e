// The record of a run, kept under the lock: each core's statistics, the
// worst events, the timeline, the problems and the suspended spans, and the
// snapshot of them that the writer formats (recorder_files.cpp).
#include "record/recorder.h"

#include <cstdlib>
#include <cstring>

#include "engine/platform_seam.h"
#include "engine/sampled_cores.h"
#include "engine/wake_figures.h"
#include "engine/worst_list.h"
#include "record/context_record.h"
#include "record/event_buffer.h"
#include "record/problem_list.h"
#include "record/recorder_state.h"
#include "record/stall_causes.h"
#include "record/statistics.h"
#include "record/sweep_record.h"
#include "record/timeline.h"
#include "record/worst_events.h"
#include "text/text_buffer.h"
#include "verdict/judge.h"

// One minute of events at one every 100 ms: how far the log may fall behind
// (a slow or failing disk) before events are dropped from it.
constexpr std::int64_t queuedEventsPerCore = 600;

// Set by startRecorder (through setRecordSettings) before the recording starts.
static RecorderSettings current;
static bool hasHtml = false;
static bool hasLog = false;

// Guarded by the lock.
static bool recording = false;
static bool sawFailure = false;
static CoreStatistics* statistics = nullptr;
static WorstEvent worstTimer[worstEventsKept];
static std::int64_t worstTimerCount = 0;
static ProblemList problems;
static SuspendedSpans suspendedSpans;
static std::int64_t stoppedUtcMs = -1;
static std::int64_t stoppedElapsedMs = 0;
static Timeline timeline;  // only with a page
// Each core's stretch of its previous timer event (priorityStretchAt; -2
// before its first), for the judge's first-period rule.
static std::int64_t* previousStretch = nullptr;

// The snapshot's, taken by the writer.
static Timeline timelineCopy;
static CoreStatistics* statisticsCopy = nullptr;
static bool* sampledCopy = nullptr;
static bool* wakeSampledCopy = nullptr;
static WorstEvent worstTimerCopy[worstEventsKept];
static ProblemList problemsCopy;
static SuspendedSpans suspendedCopy;
static WakeStatistics* wakeCopy = nullptr;
static WakeEvent worstWakesCopy[worstWakesKept];
// The wake-up figures as they were at the close request: the wake-up
// samplers go on until the process ends, the record does not. Written under
// the lock when the recording stops.
static WakeStatistics* wakeAtStop = nullptr;
static WakeEvent worstWakesAtStop[worstWakesKept];
static std::int64_t worstWakesAtStopCount = 0;

// Adds under the lock, tells outside it: telling may write to a pipe.
static void tell(bool added, const char* message) {
    if (added && current.tellProblem != nullptr) current.tellProblem(message);
}

void recordFailure(bool& failing, const char* message) {
    lockSamples();
    const bool added = addFailure(problems, failing, readUtcMilliseconds(), message);
    unlockSamples();
    tell(added, message);
}

void recordRecovery(bool& failing, const char* recovery) {
    if (!failing) return;
    lockSamples();
    const bool added = addRecovery(problems, failing, readUtcMilliseconds(), recovery);
    unlockSamples();
    tell(added, recovery);
}

void noteRunProblem(std::int64_t nowUtcMs, const char* message) {
    lockSamples();
    const bool added = addProblem(problems, nowUtcMs, message);
    unlockSamples();
    tell(added, message);
}

// Late wake-ups dropped before the log (their queues were full).
static std::int64_t wakesDropped() {
    std::int64_t dropped = 0;
    for (std::int64_t core = 0; current.fine && core < current.coreCount; ++core) dropped += lateWakesDropped(core);
    return dropped;
}

// Whether a wake-up was later than the threshold; read from the wake-up
// figures, which the samplers keep without the lock.
// Whether one of the cores' wake-ups was later than the threshold.
static bool wakeAbove(const WakeStatistics& figures) {
    return figures.events > 0 && crossesLimit(current.failAboveUs, true, 0, figures.maxUs);
}

// The same, read afresh (or as they were at the close request) for the exit
// code; the report takes it from its own snapshot of the figures.
static bool wakeCrossed() {
    if (!current.fine) return false;
    bool crossed = false;
    lockSamples();
    const bool stopped = stoppedUtcMs >= 0;
    for (std::int64_t core = 0; stopped && core < current.coreCount; ++core) crossed = crossed || wakeAbove(wakeAtStop[core]);
    unlockSamples();
    WakeStatistics figures{};
    for (std::int64_t core = 0; !stopped && core < current.coreCount; ++core) {
        readWakeStatistics(core, figures);
        crossed = crossed || wakeAbove(figures);
    }
    return crossed;
}

// A snapshot of the run, taken under the lock and formatted outside it; the
// timeline (the largest part, and only the page's) only when asked for.
static RunSummary snapshotOf(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool finished, std::int64_t unwritten,
                             bool withTimeline) {
    lockSamples();
    std::memcpy(statisticsCopy, statistics, sizeof(CoreStatistics) * static_cast<std::size_t>(current.coreCount));
    std::memcpy(worstTimerCopy, worstTimer, sizeof worstTimer);
    const std::int64_t worstCount = worstTimerCount;
    problemsCopy = problems;
    settleSuspendedSpans(suspendedSpans, stoppedUtcMs >= 0 ? stoppedUtcMs : nowUtcMs, suspendedCopy);
    if (withTimeline) copyTimeline(timeline, timelineCopy);
    const std::int64_t dropped = hasLog ? eventsDropped() : 0;
    const bool crossed = sawFailure;
    if (stoppedUtcMs >= 0) elapsedMs = stoppedElapsedMs;
    unlockSamples();
    for (std::int64_t core = 0; core < current.coreCount; ++core) sampledCopy[core] = countsAsSampled(core, elapsedMs);
    std::int64_t worstWakeCount = 0;
    if (current.fine) {
        for (std::int64_t core = 0; core < current.coreCount; ++core) wakeSampledCopy[core] = isWakeSampled(core);
        lockSamples();
        const bool stopped = stoppedUtcMs >= 0;
        if (stopped) {
            std::memcpy(wakeCopy, wakeAtStop, sizeof(WakeStatistics) * static_cast<std::size_t>(current.coreCount));
            std::memcpy(worstWakesCopy, worstWakesAtStop, sizeof worstWakesAtStop);
            worstWakeCount = worstWakesAtStopCount;
        }
        unlockSamples();
        if (!stopped) {
            for (std::int64_t core = 0; core < current.coreCount; ++core) readWakeStatistics(core, wakeCopy[core]);
            worstWakeCount = readWorstWakesOfRun(worstWakesCopy, worstWakesKept);
        }
    }

    RunSummary run{};
    run.version = current.version;
    run.service = current.service;
    run.logRolls = logRollCount();
    run.startedUtcMs = current.startedUtcMs;
    run.updatedUtcMs = nowUtcMs;
    run.elapsedMs = elapsedMs;
    run.finished = finished;
    run.failAboveUs = current.failAboveUs;
    run.thresholdCrossed = crossed;
    for (std::int64_t core = 0; current.fine && core < current.coreCount; ++core) {
        run.thresholdCrossed = run.thresholdCrossed || wakeAbove(wakeCopy[core]);
    }
    run.coreCount = current.coreCount;
    run.cores = statisticsCopy;
    run.sampled = sampledCopy;
    run.logDropped = dropped + unwritten + wakesDropped() + (hasLog ? priorityLinesDropped() : 0);
    run.problemCount = problemsCopy.count;
    run.problems = problemsCopy.kept;
    run.problemsListed = problemsCopy.listed;
    run.worstTimer = worstTimerCopy;
    run.worstTimerCount = worstCount;
    run.suspended = &suspendedCopy;
    if (withTimeline) run.timeline = &timelineCopy;
    if (current.fine) {
        run.wakes = wakeCopy;
        run.wakeSampled = wakeSampledCopy;
        run.fineMethod = current.fineMethod != nullptr ? current.fineMethod : "";
        run.fineResolutionUs = current.fineResolutionUs;
        run.worstWakes = worstWakesCopy;
        run.worstWakeCount = worstWakeCount;
    }
    describeStallCauses(run);
    describeContext(run);
    return run;
}

RunSummary takeSummary(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool finished, std::int64_t unwritten) {
    return snapshotOf(nowUtcMs, elapsedMs, finished, unwritten, hasHtml);
}

RunSummary takeViewSummary(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool finished) {
    return snapshotOf(nowUtcMs, elapsedMs, finished, 0, false);
}

void setRecordSettings(const RecorderSettings& settings, bool withHtml, bool withLog) {
    current = settings;
    hasHtml = withHtml;
    hasLog = withLog;
}

bool makeRecord() {
    const auto cores = static_cast<std::size_t>(current.coreCount);
    const bool fine = current.fine;
    lockSamples();
    recording = false;
    sawFailure = false;
    worstTimerCount = 0;
    clearProblems(problems);
    clearSuspendedSpans(suspendedSpans);
    stoppedUtcMs = -1;
    std::free(statistics);
    statistics = static_cast<CoreStatistics*>(std::calloc(cores, sizeof(CoreStatistics)));
    std::free(previousStretch);
    previousStretch = static_cast<std::int64_t*>(std::calloc(cores, sizeof(std::int64_t)));
    for (std::size_t c = 0; previousStretch != nullptr && c < cores; ++c) previousStretch[c] = -2;
    const bool bufferMade = createEventBuffer(hasLog ? current.coreCount * queuedEventsPerCore : 1);
    unlockSamples();
    statisticsCopy = static_cast<CoreStatistics*>(std::calloc(cores, sizeof(CoreStatistics)));
    sampledCopy = static_cast<bool*>(std::calloc(cores, sizeof(bool)));
    wakeCopy = fine ? static_cast<WakeStatistics*>(std::calloc(cores, sizeof(WakeStatistics))) : nullptr;
    wakeAtStop = fine ? static_cast<WakeStatistics*>(std::calloc(cores, sizeof(WakeStatistics))) : nullptr;
    wakeSampledCopy = fine ? static_cast<bool*>(std::calloc(cores, sizeof(bool))) : nullptr;
    if (!startContextRecord(current) || !makeStallCauses(current.coreCount, fine) || statistics == nullptr || previousStretch == nullptr || statisticsCopy == nullptr || sampledCopy == nullptr || !bufferMade ||
        (fine && (wakeCopy == nullptr || wakeAtStop == nullptr || wakeSampledCopy == nullptr))) {
        return false;
    }
    if (!hasHtml) return true;
    lockSamples();
    const bool made = makeTimeline(timeline, current.coreCount, current.startedUtcMs, fine);
    unlockSamples();
    return made && makeTimeline(timelineCopy, current.coreCount, current.startedUtcMs, fine);
}

void freeRecord() {
    std::free(previousStretch);
    previousStretch = nullptr;
    freeStallCauses();
    freeContextRecord();
    freeTimeline(timeline);
    freeTimeline(timelineCopy);
    std::free(statisticsCopy);
    statisticsCopy = nullptr;
    std::free(sampledCopy);
    sampledCopy = nullptr;
    std::free(wakeSampledCopy);
    wakeSampledCopy = nullptr;
    std::free(wakeCopy);
    wakeCopy = nullptr;
    std::free(wakeAtStop);
    wakeAtStop = nullptr;
}

void beginRecording() {
    lockSamples();
    recording = true;
    unlockSamples();
}

std::int64_t recordStoppedAt() {
    lockSamples();
    const std::int64_t at = stoppedUtcMs;
    unlockSamples();
    return at;
}

void recordEvent(const TimerEvent& event) {
    if (!recording || event.core < 0 || event.core >= current.coreCount) return;
    addToStatistics(statistics[event.core], event);
    // The exit code is the judge's: an event crosses by its late_ms (the
    // measure of the report's `worst` and the page's worst list), and the
    // first period after a priority change is not judged.
    const std::int64_t stretch = priorityStretchAt(event.utcMs);
    const bool judged = timerEventJudged(previousStretch[event.core], stretch);
    previousStretch[event.core] = stretch;
    if (judged && crossesLimit(current.failAboveUs, false, event.lateMs, event.lateUs)) sawFailure = true;
    keepWorst(worstTimer, worstTimerCount, worstEventsKept, WorstEvent{event.core, event.utcMs, event.lateUs, event.lateMs},
              worstRanksBefore);
    if (hasHtml) {
        addToTimeline(timeline, event.core, event.utcMs, event.lateUs, false);
        // Every wake-up since the core's previous timer event, whether or
        // not it was late enough for the log.
        if (event.wakeWorstUs >= 0) addToTimeline(timeline, event.core, event.utcMs, event.wakeWorstUs, true);
    }
    if (hasLog) pushEvent(event);
    noteTimerStall(event);
    addToSweep(event);
}

void noteSuspend(std::int64_t nowUtcMs) {
    lockSamples();
    if (recording) openSuspendedSpan(suspendedSpans, nowUtcMs);
    unlockSamples();
}

void noteResume(std::int64_t nowUtcMs, std::int64_t sleptMs) {
    lockSamples();
    if (recording) closeSuspendedSpan(suspendedSpans, nowUtcMs, sleptMs);
    unlockSamples();
}

void stopRecording(std::int64_t nowUtcMs, std::int64_t elapsedMs) {
    stopContextRecord(nowUtcMs);
    lockSamples();
    if (recording) {
        recording = false;
        stoppedUtcMs = nowUtcMs;
        stoppedElapsedMs = elapsedMs;
        // A sleep that has not ended by the close ends the record's span there.
        closeSuspendedSpan(suspendedSpans, nowUtcMs, 0);
        // Reading the wake-up figures never waits for their samplers.
        for (std::int64_t core = 0; current.fine && core < current.coreCount; ++core) {
            readWakeStatistics(core, wakeAtStop[core]);
        }
        worstWakesAtStopCount = current.fine ? readWorstWakesOfRun(worstWakesAtStop, worstWakesKept) : 0;
    }
    unlockSamples();
}

bool recorderSawFailure() {
    lockSamples();
    const bool crossed = sawFailure;
    unlockSamples();
    return crossed || wakeCrossed();
}

bool recordTrusted() {
    lockSamples();
    const bool trusted = problems.count == 0;
    unlockSamples();
    return trusted;
}

void firstProblem(char* out) {
    lockSamples();
    joinText(out, messageCapacity, {problems.listed > 0 ? problems.kept[0].text : ""});
    unlockSamples();
}
