#include "record/recorder.h"

#include <cstdlib>
#include <cstring>

#include "engine/platform_seam.h"
#include "engine/sampled_cores.h"
#include "engine/wake_figures.h"
#include "record/event_buffer.h"
#include "record/html_format.h"
#include "record/metrics_format.h"
#include "record/problem_list.h"
#include "record/report_format.h"
#include "record/run_summary.h"
#include "record/statistics.h"
#include "record/text_buffer.h"
#include "record/timeline.h"
#include "record/worst_events.h"

// One minute of events at one every 100 ms: how far the log may fall behind
// (a slow or failing disk) before events are dropped from it.
constexpr std::int64_t queuedEventsPerCore = 600;
// Events taken out per hold of the lock, so the samplers never wait long.
constexpr std::int64_t eventsPerBatch = 256;
// Batches a regular step moves at most: ten seconds of timer events of 256
// cores, so the writer catches up quickly after a slow disk.
constexpr std::int64_t batchesPerStep = 100;

static RecorderSettings current;
static bool hasReport = false;
static bool hasHtml = false;
static bool hasMetrics = false;
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

// The writer's own.
static bool started = false;
static OutputFile* logFile = nullptr;
static TextBuffer pendingLog;      // formatted lines, at most one batch
static std::size_t pendingDone = 0;  // how much of pendingLog is written
static std::size_t logHeaderSize = 0;
static std::size_t logBytesWritten = 0;
static bool logFailing = false;
static bool reportFailing = false;
static WholeFile* reportFile = nullptr;
static WholeFile* htmlFile = nullptr;
static bool htmlFailing = false;
static WholeFile* metricsFile = nullptr;
static bool metricsFailing = false;
// The text of whichever whole file is being written, sized for the largest.
static TextBuffer reportText;
static Timeline timelineCopy;
static CoreStatistics* statisticsCopy = nullptr;
static bool* sampledCopy = nullptr;
static bool* wakeSampledCopy = nullptr;
static WorstEvent worstTimerCopy[worstEventsKept];
static ProblemList problemsCopy;
static SuspendedSpans suspendedCopy;
static TimerEvent batch[eventsPerBatch];
static WakeEvent wakeBatch[lateWakeQueueCapacity];
static WakeStatistics* wakeCopy = nullptr;
static WakeEvent worstWakesCopy[worstWakesKept];
// The wake-up figures as they were at the close request: the wake-up
// samplers go on until the process ends, the record does not. Written under
// the lock when the recording stops.
static WakeStatistics* wakeAtStop = nullptr;
static WakeEvent worstWakesAtStop[worstWakesKept];
static std::int64_t worstWakesAtStopCount = 0;
static const char* fineMethod = "";
static std::int64_t fineResolutionUs = 0;

static bool given(const char* path) {
    return path != nullptr && path[0] != '\0';
}

// The text buffer serves every whole file in turn: as large as the largest.
static std::size_t wholeFileCapacity() {
    const std::size_t report = reportCapacity(current.coreCount, current.fine);
    const std::size_t page = hasHtml ? htmlCapacity(current.coreCount, current.fine) : 0;
    const std::size_t metrics = hasMetrics ? metricsCapacity(current.coreCount, current.fine) : 0;
    const std::size_t larger = report > page ? report : page;
    return larger > metrics ? larger : metrics;
}

// Adds under the lock, tells outside it: telling may write to a pipe.
static void tell(bool added, const char* message) {
    if (added && current.tellProblem != nullptr) current.tellProblem(message);
}

static void failed(bool& failing, const char* message) {
    lockSamples();
    const bool added = addFailure(problems, failing, readUtcMilliseconds(), message);
    unlockSamples();
    tell(added, message);
}

static void worked(bool& failing, const char* recovery) {
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

// Writes what it can of pendingLog; answers true when all of it is out.
static bool flushPending() {
    while (pendingDone < pendingLog.size) {
        std::size_t written = 0;
        char error[messageCapacity];
        const bool ok =
            appendToOutputFile(logFile, pendingLog.data + pendingDone, pendingLog.size - pendingDone, &written, error);
        logBytesWritten += written;
        pendingDone += written;
        if (!ok) {
            failed(logFailing, error);
            return false;
        }
        // Nothing accepted and no reason given: try again at the next step.
        if (written == 0) return false;
    }
    clearText(pendingLog);
    pendingDone = 0;
    worked(logFailing, "log writable again");
    return true;
}

// Moves queued events to the log until the queue is empty, a write fails,
// `batchesMost` batches were moved (0: no bound) or the performance counter
// reaches `giveUpAt` (0: never); answers true in the first case. The bound
// keeps a step short while late wake-ups keep coming, so the whole files are
// still rewritten on time; what is left waits for the next step.
static bool drainLog(std::int64_t giveUpAt, std::int64_t batchesMost) {
    for (std::int64_t batches = 0;; ++batches) {
        if (giveUpAt != 0 && readPerformanceCounter() >= giveUpAt) return false;
        if (!flushPending()) return false;
        if (batchesMost != 0 && batches == batchesMost) return false;
        lockSamples();
        const std::int64_t count = popEvents(batch, eventsPerBatch);
        unlockSamples();
        for (std::int64_t k = 0; k < count; ++k) appendLogLine(pendingLog, batch[k]);
        // Late wake-ups come from their own queues, which need no lock; a
        // batch of timer events and one queue's worth of wake-ups both fit.
        std::int64_t wakes = 0;
        if (current.fine) {
            lockSamples();
            const std::int64_t endUtcMs = stoppedUtcMs >= 0 ? stoppedUtcMs : INT64_MAX;
            unlockSamples();
            for (std::int64_t core = 0; core < current.coreCount && wakes == 0; ++core) {
                wakes = popLateWakes(core, wakeBatch, lateWakeQueueCapacity);
                for (std::int64_t k = 0; k < wakes; ++k) {
                    if (wakeBatch[k].utcMs <= endUtcMs) appendWakeLine(pendingLog, wakeBatch[k]);
                }
            }
        }
        if (count == 0 && wakes == 0) return true;
    }
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
    return current.failAboveUs >= 0 && figures.events > 0 && figures.maxUs > current.failAboveUs;
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

// A snapshot of the run, taken under the lock and formatted outside it.
static RunSummary takeSummary(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool finished, std::int64_t unwritten) {
    lockSamples();
    std::memcpy(statisticsCopy, statistics, sizeof(CoreStatistics) * static_cast<std::size_t>(current.coreCount));
    std::memcpy(worstTimerCopy, worstTimer, sizeof worstTimer);
    const std::int64_t worstCount = worstTimerCount;
    problemsCopy = problems;
    settleSuspendedSpans(suspendedSpans, stoppedUtcMs >= 0 ? stoppedUtcMs : nowUtcMs, suspendedCopy);
    if (hasHtml) copyTimeline(timeline, timelineCopy);
    const std::int64_t dropped = hasLog ? eventsDropped() : 0;
    const bool crossed = sawFailure;
    if (stoppedUtcMs >= 0) elapsedMs = stoppedElapsedMs;
    unlockSamples();
    for (std::int64_t core = 0; core < current.coreCount; ++core) sampledCopy[core] = isCoreSampled(core);
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
    run.machineName = current.machineName != nullptr ? current.machineName : "";
    run.systemVersion = current.systemVersion != nullptr ? current.systemVersion : "";
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
    run.logDropped = dropped + unwritten + wakesDropped();
    run.problemCount = problemsCopy.count;
    run.problems = problemsCopy.kept;
    run.problemsListed = problemsCopy.listed;
    run.worstTimer = worstTimerCopy;
    run.worstTimerCount = worstCount;
    run.suspended = &suspendedCopy;
    if (hasHtml) run.timeline = &timelineCopy;
    if (current.fine) {
        run.wakes = wakeCopy;
        run.wakeSampled = wakeSampledCopy;
        run.fineMethod = fineMethod;
        run.fineResolutionUs = fineResolutionUs;
        run.worstWakes = worstWakesCopy;
        run.worstWakeCount = worstWakeCount;
    }
    return run;
}

// Writes reportText, just formatted, to `file`.
static void writeWhole(WholeFile* file, bool& failing, const char* tooLarge, const char* recovery) {
    char error[messageCapacity];
    if (reportText.overflowed) {
        failed(failing, tooLarge);
    } else if (replaceWholeFile(file, reportText.data, reportText.size, error)) {
        worked(failing, recovery);
    } else {
        failed(failing, error);
    }
}

static void rewriteFiles(const RunSummary& run) {
    if (reportFile != nullptr) {
        formatReport(run, reportText);
        writeWhole(reportFile, reportFailing, "the report did not fit in its buffer", "report writable again");
    }
    if (htmlFile != nullptr) {
        formatHtml(run, reportText);
        writeWhole(htmlFile, htmlFailing, "the page did not fit in its buffer", "page writable again");
    }
    if (metricsFile != nullptr) {
        formatMetrics(run, reportText);
        writeWhole(metricsFile, metricsFailing, "the metrics did not fit in their buffer", "metrics writable again");
    }
}

static void releaseBuffers() {
    closeOutputFile(logFile);
    logFile = nullptr;
    freeWholeFile(reportFile);
    reportFile = nullptr;
    freeWholeFile(htmlFile);
    htmlFile = nullptr;
    freeWholeFile(metricsFile);
    metricsFile = nullptr;
    freeTimeline(timeline);
    freeTimeline(timelineCopy);
    freeTextBuffer(pendingLog);
    freeTextBuffer(reportText);
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

// Undoes a start that failed: files that did not exist before are removed.
static bool abandonStart(bool removeLog) {
    if (reportFile != nullptr) removeTemporaryOf(reportFile);
    if (htmlFile != nullptr) removeTemporaryOf(htmlFile);
    if (metricsFile != nullptr) removeTemporaryOf(metricsFile);
    closeOutputFile(logFile);
    logFile = nullptr;
    if (removeLog) removeFileAt(current.logPath);
    releaseBuffers();
    return false;
}

static bool outOfMemory(char* error) {
    joinText(error, messageCapacity, {"not enough memory for the record"});
    releaseBuffers();
    return false;
}

bool startRecorder(const RecorderSettings& settings, char* error) {
    releaseBuffers();
    started = false;
    pendingDone = 0;
    logHeaderSize = 0;
    logBytesWritten = 0;
    logFailing = false;
    reportFailing = false;
    htmlFailing = false;
    metricsFailing = false;
    current = settings;
    hasReport = given(current.reportPath);
    hasHtml = given(current.htmlPath);
    hasMetrics = given(current.metricsPath);
    hasLog = given(current.logPath);

    const char* outputs[] = {current.reportPath, current.logPath, current.htmlPath, current.metricsPath};
    constexpr std::size_t outputCount = sizeof outputs / sizeof outputs[0];
    for (std::size_t a = 0; a < outputCount; ++a) {
        for (std::size_t b = a + 1; b < outputCount; ++b) {
            if (given(outputs[a]) && given(outputs[b]) && samePathOrTemporary(outputs[a], outputs[b])) {
                describeFailure(error, "use", outputs[b], "two outputs of the record cannot both be this file");
                return false;
            }
        }
    }
    if (current.coreCount < 1) {
        joinText(error, messageCapacity, {"no cores to record"});
        return false;
    }
    const auto cores = static_cast<std::size_t>(current.coreCount);
    lockSamples();
    recording = false;
    sawFailure = false;
    worstTimerCount = 0;
    clearProblems(problems);
    clearSuspendedSpans(suspendedSpans);
    stoppedUtcMs = -1;
    std::free(statistics);
    statistics = static_cast<CoreStatistics*>(std::calloc(cores, sizeof(CoreStatistics)));
    const bool bufferMade = createEventBuffer(hasLog ? current.coreCount * queuedEventsPerCore : 1);
    unlockSamples();
    statisticsCopy = static_cast<CoreStatistics*>(std::calloc(cores, sizeof(CoreStatistics)));
    sampledCopy = static_cast<bool*>(std::calloc(cores, sizeof(bool)));
    wakeCopy = current.fine ? static_cast<WakeStatistics*>(std::calloc(cores, sizeof(WakeStatistics))) : nullptr;
    wakeAtStop = current.fine ? static_cast<WakeStatistics*>(std::calloc(cores, sizeof(WakeStatistics))) : nullptr;
    wakeSampledCopy = current.fine ? static_cast<bool*>(std::calloc(cores, sizeof(bool))) : nullptr;
    if (statistics == nullptr || statisticsCopy == nullptr || sampledCopy == nullptr || !bufferMade ||
        (current.fine && (wakeCopy == nullptr || wakeAtStop == nullptr || wakeSampledCopy == nullptr)) ||
        !makeTextBuffer(pendingLog, (eventsPerBatch + lateWakeQueueCapacity) * logLineCapacity) ||
        !makeTextBuffer(reportText, wholeFileCapacity())) {
        return outOfMemory(error);
    }
    if (hasHtml) {
        lockSamples();
        const bool made = makeTimeline(timeline, current.coreCount, current.startedUtcMs, current.fine);
        unlockSamples();
        if (!made || !makeTimeline(timelineCopy, current.coreCount, current.startedUtcMs, current.fine)) {
            return outOfMemory(error);
        }
        htmlFile = makeWholeFile(current.htmlPath);
        if (htmlFile == nullptr) return outOfMemory(error);
    }
    if (hasReport) {
        reportFile = makeWholeFile(current.reportPath);
        if (reportFile == nullptr) return outOfMemory(error);
    }
    if (hasMetrics) {
        metricsFile = makeWholeFile(current.metricsPath);
        if (metricsFile == nullptr) return outOfMemory(error);
    }

    // Nothing existing is changed until every file has shown it can be
    // written: the log is opened without emptying it and the first report
    // goes to its temporary; only then is the log emptied and the report
    // put in place.
    const bool logExisted = hasLog && fileExistsAt(current.logPath);
    if (hasLog) {
        logFile = createOutputFile(current.logPath, false, error);
        if (logFile == nullptr) return abandonStart(false);
    }
    const RunSummary run = takeSummary(current.startedUtcMs, 0, false, 0);
    if (hasReport) {
        formatReport(run, reportText);
        if (!writeTemporaryOf(reportFile, reportText.data, reportText.size, error)) return abandonStart(hasLog && !logExisted);
    }
    if (hasHtml) {
        formatHtml(run, reportText);
        if (!writeTemporaryOf(htmlFile, reportText.data, reportText.size, error)) return abandonStart(hasLog && !logExisted);
    }
    if (hasMetrics) {
        formatMetrics(run, reportText);
        if (!writeTemporaryOf(metricsFile, reportText.data, reportText.size, error)) return abandonStart(hasLog && !logExisted);
    }
    if (hasLog && !truncateOutputFile(logFile, error)) return abandonStart(!logExisted);
    if (hasReport && !moveTemporaryInPlace(reportFile, error)) return abandonStart(hasLog && !logExisted);
    if (hasHtml && !moveTemporaryInPlace(htmlFile, error)) return abandonStart(hasLog && !logExisted);
    if (hasMetrics && !moveTemporaryInPlace(metricsFile, error)) return abandonStart(hasLog && !logExisted);

    started = true;
    lockSamples();
    recording = true;
    unlockSamples();
    if (hasLog) {
        // Not writing the header (a full disk) is a failed write like any
        // other: told at once, and retried at the next step.
        appendLogHeader(pendingLog);
        logHeaderSize = pendingLog.size;
        flushPending();
    }
    return true;
}

void recordEvent(const TimerEvent& event) {
    if (!recording || event.core < 0 || event.core >= current.coreCount) return;
    addToStatistics(statistics[event.core], event);
    // One measure for the exit code, the report's `worst` and the page's
    // worst list: late_ms, the tick count's lateness.
    if (current.failAboveUs >= 0 && event.lateMs * 1000 > current.failAboveUs) sawFailure = true;
    offerWorstEvent(worstTimer, worstTimerCount, worstEventsKept, WorstEvent{event.core, event.utcMs, event.lateUs, event.lateMs});
    if (hasHtml) {
        addToTimeline(timeline, event.core, event.utcMs, event.lateUs, false);
        // Every wake-up since the core's previous timer event, whether or
        // not it was late enough for the log.
        if (event.wakeWorstUs >= 0) addToTimeline(timeline, event.core, event.utcMs, event.wakeWorstUs, true);
    }
    if (hasLog) pushEvent(event);
}

void recorderStep(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool rewrite) {
    if (!started) return;
    if (logFile != nullptr) drainLog(0, batchesPerStep);
    if (rewrite) rewriteFiles(takeSummary(nowUtcMs, elapsedMs, false, 0));
}

void setFineMethod(const char* method, std::int64_t resolutionUs) {
    fineMethod = method;
    fineResolutionUs = resolutionUs;
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

void finishRecorder(std::int64_t nowUtcMs, std::int64_t elapsedMs, std::int64_t giveUpAtCounter) {
    if (!started) return;
    started = false;
    stopRecording(nowUtcMs, elapsedMs);

    // Whatever cannot be written now never will be: it counts as dropped,
    // so the report still adds up to the events measured.
    std::int64_t unwritten = 0;
    if (logFile != nullptr && !drainLog(giveUpAtCounter, 0)) {
        // Every line left, even one written in part, ends in its newline.
        for (std::size_t k = pendingDone; k < pendingLog.size; ++k) unwritten += pendingLog.data[k] == '\n' ? 1 : 0;
        if (logBytesWritten < logHeaderSize) --unwritten;
        lockSamples();
        for (std::int64_t count = 1; count > 0;) {
            count = popEvents(batch, eventsPerBatch);
            unwritten += count;
        }
        unlockSamples();
    }
    for (std::int64_t core = 0; core < current.coreCount; ++core) {
        // An unpinned sampler was told when it started.
        if (isCoreSampled(core) || isCoreUnpinned(core)) continue;
        char number[24];
        formatInteger(number, core);
        char message[messageCapacity];
        joinText(message, sizeof message, {"core ", number, " could not be sampled"});
        noteRunProblem(nowUtcMs, message);
    }
    RunSummary run = takeSummary(nowUtcMs, elapsedMs, true, unwritten);
    if (run.logDropped > 0) {
        char number[24];
        formatInteger(number, run.logDropped);
        char message[messageCapacity];
        joinText(message, sizeof message, {number, run.logDropped == 1 ? " log line was lost" : " log lines were lost"});
        noteRunProblem(nowUtcMs, message);
        run = takeSummary(nowUtcMs, elapsedMs, true, unwritten);
    }
    rewriteFiles(run);
    closeOutputFile(logFile);
    logFile = nullptr;
    clearText(pendingLog);
    pendingDone = 0;
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
