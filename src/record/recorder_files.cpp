// The recorder's writer steps: the files made at the start, the log drained
// from the event queue, the whole files (report, page, metrics) rewritten
// from a snapshot of the record, and the end. Files are touched here only.
#include "record/recorder.h"

#include <cstddef>
#include <cstdint>

#include "engine/platform_seam.h"
#include "engine/sampled_cores.h"
#include "engine/wake_figures.h"
#include "record/context_record.h"
#include "record/event_buffer.h"
#include "record/log_roll.h"
#include "record/recorder_outputs.h"
#include "record/recorder_state.h"
#include "record/run_summary.h"
#include "record/stall_causes.h"
#include "text/text_buffer.h"
#include "verdict/judge.h"

// Events taken out per hold of the lock, so the samplers never wait long.
constexpr std::int64_t eventsPerBatch = 256;
// Batches a regular step moves at most: ten seconds of timer events of 256
// cores, so the writer catches up quickly after a slow disk.
constexpr std::int64_t batchesPerStep = 100;

static RecorderSettings current;

// The whole files, in the order they are written: report, page, metrics.
struct WholeOutput {
    const char* path;  // null or "": not written
    const WholeFormat* format;
    const char* tooLarge;  // told when its text did not fit
    const char* recovery;  // told when it could be written again
    WholeFile* file;
    bool failing;
};
constexpr std::size_t wholeOutputCount = 3;

// The writer's own.
static bool started = false;
static WholeOutput wholeOutputs[wholeOutputCount];
static OutputFile* logFile = nullptr;
static TextBuffer pendingLog;      // formatted lines, at most one batch
static std::size_t pendingDone = 0;  // how much of pendingLog is written
static std::size_t logHeaderSize = 0;
static std::size_t logBytesWritten = 0;  // the log's size, on disk
static bool logFailing = false;
static bool logCutOwed = false;  // a half line is left at the log's end
// The outputs' locks, held from the start to the end of the run: one for
// each output and the rolled log, and one for each whole file's temporary,
// which is a file of its own that another run could name.
static OutputLock* locks[5 + wholeOutputCount];
static LogRoll logRoll;
// The text of whichever whole file is being written, sized for the largest.
static TextBuffer reportText;
static TimerEvent batch[eventsPerBatch];
static WakeEvent wakeBatch[lateWakeQueueCapacity];
static StallNote stallNotes[stallNotesPerBatch];
static WakeCount changeWakes[priorityQueueCapacity * maxCores];

static bool given(const char* path) {
    return path != nullptr && path[0] != '\0';
}

// The text buffer serves every whole file in turn: as large as the largest.
static std::size_t wholeFileCapacity() {
    std::size_t largest = 0;
    for (const WholeOutput& output : wholeOutputs) {
        if (!given(output.path)) continue;
        const std::size_t capacity = output.format->capacity(current.coreCount, current.fine);
        if (capacity > largest) largest = capacity;
    }
    return largest;
}

// After a short or failed write: a log on disk is cut back to its last
// whole line, so that it always ends with a newline, and the cut line is
// written again whole at the next step (or counted as lost at the end). A
// device keeps what it took, and the line goes on from there.
static bool cutToWholeLine() {
    if (!isDiskFile(logFile)) return true;
    std::size_t lineStart = pendingDone;
    while (lineStart > 0 && pendingLog.data[lineStart - 1] != '\n') --lineStart;
    const std::size_t part = pendingDone - lineStart;
    char error[messageCapacity];
    // Until the cut is made nothing more is written: it would end the half line.
    logCutOwed = !cutOutputFile(logFile, logBytesWritten - part, error);
    if (logCutOwed) {
        recordFailure(logFailing, error);
        return false;
    }
    logBytesWritten -= part;
    pendingDone = lineStart;
    return true;
}

// Writes what it can of pendingLog; answers true when all of it is out.
static bool flushPending() {
    if (logCutOwed && !cutToWholeLine()) return false;
    if (pendingDone == 0 && !rollLogIfDue(logRoll, logFile, logBytesWritten)) return false;
    // The start's header is then long written: whatever is pending is lines.
    if (logRoll.rolls.load(std::memory_order_relaxed) > 0) logHeaderSize = 0;
    while (pendingDone < pendingLog.size) {
        std::size_t written = 0;
        char error[messageCapacity];
        const bool ok =
            appendToOutputFile(logFile, pendingLog.data + pendingDone, pendingLog.size - pendingDone, &written, error);
        logBytesWritten += written;
        pendingDone += written;
        if (!ok) recordFailure(logFailing, error);
        // Nothing accepted and no reason given: try again at the next step.
        if (!ok || written == 0) {
            cutToWholeLine();
            return false;
        }
    }
    clearText(pendingLog);
    pendingDone = 0;
    recordRecovery(logFailing, "log writable again");
    return true;
}

// The cores whose wake-ups the log's notes count.
static std::int64_t wakeCountCores() {
    return current.fine ? (current.coreCount < maxCores ? current.coreCount : maxCores) : 0;
}

// With --fine, a note of every core's wake-ups counted up to `utcMs`.
static void appendWakeCounts(std::int64_t utcMs, const WakeCount* counts) {
    if (!countingWakes() || current.formats->wakeCountLine == nullptr) return;
    for (std::int64_t core = 0; core < wakeCountCores(); ++core) {
        current.formats->wakeCountLine(pendingLog, core, utcMs, counts[core]);
    }
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
        // Priority changes first: a line of their own each, placed by its time.
        PriorityChange changes[priorityQueueCapacity];
        const std::int64_t changed = takePriorityForLog(changes, changeWakes, priorityQueueCapacity);
        for (std::int64_t k = 0; k < changed; ++k) {
            // Every core's wake-ups up to the change, then the change.
            appendWakeCounts(changes[k].atUtcMs, changeWakes + k * maxCores);
            current.formats->priorityLine(pendingLog, changes[k]);
        }
        ResolutionChange resolutions[priorityQueueCapacity];
        const std::int64_t resolved = takeResolutionForLog(resolutions, priorityQueueCapacity);
        for (std::int64_t k = 0; k < resolved; ++k) current.formats->resolutionLine(pendingLog, resolutions[k]);
        const std::int64_t causes = takeStallNotes(stallNotes, stallNotesPerBatch);
        for (std::int64_t k = 0; k < causes; ++k) {
            current.formats->stallLine(pendingLog, stallNotes[k].core, stallNotes[k].utcMs, stallNotes[k].cause);
        }
        lockSamples();
        const std::int64_t count = popEvents(batch, eventsPerBatch);
        unlockSamples();
        for (std::int64_t k = 0; k < count; ++k) current.formats->logLine(pendingLog, batch[k]);
        // Late wake-ups come from their own queues, which need no lock; a
        // batch of timer events and one queue's worth of wake-ups both fit.
        std::int64_t wakes = 0;
        if (current.fine) {
            const std::int64_t stoppedUtcMs = recordStoppedAt();
            const std::int64_t endUtcMs = stoppedUtcMs >= 0 ? stoppedUtcMs : INT64_MAX;
            for (std::int64_t core = 0; core < current.coreCount && wakes == 0; ++core) {
                wakes = popLateWakes(core, wakeBatch, lateWakeQueueCapacity);
                for (std::int64_t k = 0; k < wakes; ++k) {
                    if (wakeBatch[k].utcMs <= endUtcMs) current.formats->wakeLine(pendingLog, wakeBatch[k]);
                }
            }
        }
        if (count == 0 && wakes == 0 && changed == 0 && resolved == 0 && causes == 0) return true;
    }
}

static void rewriteFiles(const RunSummary& run) {
    for (WholeOutput& output : wholeOutputs) {
        if (output.file == nullptr) continue;
        output.format->render(run, reportText);
        char error[messageCapacity];
        if (reportText.overflowed) {
            recordFailure(output.failing, output.tooLarge);
        } else if (replaceWholeFile(output.file, reportText.data, reportText.size, error)) {
            recordRecovery(output.failing, output.recovery);
        } else {
            recordFailure(output.failing, error);
        }
    }
}

static void releaseLocks() {
    for (OutputLock*& lock : locks) {
        unlockOutput(lock);
        lock = nullptr;
    }
}

static void releaseBuffers() {
    closeOutputFile(logFile);
    logFile = nullptr;
    releaseLocks();
    for (WholeOutput& output : wholeOutputs) {
        freeWholeFile(output.file);
        output.file = nullptr;
    }
    freeRecord();
    freeTextBuffer(logRoll.header);
    freeTextBuffer(pendingLog);
    freeTextBuffer(reportText);
}

// Undoes a start that failed: files that did not exist before are removed.
static bool abandonStart(bool removeLog) {
    for (const WholeOutput& output : wholeOutputs) {
        if (output.file != nullptr) removeTemporaryOf(output.file);
    }
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
    logCutOwed = false;
    current = settings;
    const bool hasLog = given(current.logPath);
    const RecordFormats* formats = current.formats;
    wholeOutputs[0] = {current.reportPath, formats != nullptr ? &formats->report : nullptr,
                       "the report did not fit in its buffer", "report writable again", nullptr, false};
    wholeOutputs[1] = {current.htmlPath, formats != nullptr ? &formats->page : nullptr,
                       "the page did not fit in its buffer", "page writable again", nullptr, false};
    wholeOutputs[2] = {current.metricsPath, formats != nullptr ? &formats->metrics : nullptr,
                       "the metrics did not fit in their buffer", "metrics writable again", nullptr, false};
    setRecordSettings(settings, given(current.htmlPath), hasLog);
    if (current.fine) setWakeLinesLogged(hasLog);

    logRoll.path = current.logPath;
    logRoll.maxBytes = hasLog && current.logMaxBytes > 0 ? static_cast<std::size_t>(current.logMaxBytes) : 0;
    logRoll.rollAt = logRoll.maxBytes;
    logRoll.headerOwed = false;
    logRoll.failing = false;
    logRoll.rolls.store(0, std::memory_order_relaxed);
    if (logRoll.maxBytes > 0 && !rolledLogName(current.logPath, logRoll.rolledPath, sizeof logRoll.rolledPath)) {
        describeFailure(error, "roll over", current.logPath, "the path is too long");
        return false;
    }
    const char* outputs[] = {current.reportPath, current.logPath, current.htmlPath, current.metricsPath,
                             logRoll.maxBytes > 0 ? logRoll.rolledPath : nullptr};
    constexpr std::size_t outputCount = sizeof outputs / sizeof outputs[0];
    static_assert(outputCount + wholeOutputCount == sizeof locks / sizeof locks[0], "one lock per output and temporary");
    bool anyOutput = false;
    for (const char* output : outputs) anyOutput = anyOutput || given(output);
    if (!outputsDistinct(outputs, outputCount, error)) return false;
    if (current.coreCount < 1) {
        joinText(error, messageCapacity, {"no cores to record"});
        return false;
    }
    if (anyOutput && formats == nullptr) {
        joinText(error, messageCapacity, {"the record was given no formats for its files"});
        return false;
    }
    const std::size_t lineCapacity = formats != nullptr ? formats->logLineCapacity : 0;
    if (!makeRecord() || !makeTextBuffer(pendingLog, (eventsPerBatch + lateWakeQueueCapacity + priorityQueueCapacity * (2 + wakeCountCores()) +
                                      stallNotesPerBatch) * lineCapacity) ||
        !makeTextBuffer(reportText, wholeFileCapacity())) {
        return outOfMemory(error);
    }
    for (WholeOutput& output : wholeOutputs) {
        if (!given(output.path)) continue;
        output.file = makeWholeFile(output.path);
        if (output.file == nullptr) return outOfMemory(error);
    }

    // Before any file is touched: a second run that names an output of
    // this one is refused here and leaves this one's files as they are.
    const char* wholePaths[wholeOutputCount];
    for (std::size_t k = 0; k < wholeOutputCount; ++k) wholePaths[k] = wholeOutputs[k].path;
    if (!lockRunOutputs(outputs, outputCount, wholePaths, wholeOutputCount, locks, error)) {
        releaseBuffers();
        return false;
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
    for (const WholeOutput& output : wholeOutputs) {
        if (output.file == nullptr) continue;
        output.format->render(run, reportText);
        if (!writeTemporaryOf(output.file, reportText.data, reportText.size, error)) return abandonStart(hasLog && !logExisted);
    }
    if (hasLog && !truncateOutputFile(logFile, error)) return abandonStart(!logExisted);
    for (const WholeOutput& output : wholeOutputs) {
        if (output.file != nullptr && !moveTemporaryInPlace(output.file, error)) return abandonStart(hasLog && !logExisted);
    }

    started = true;
    beginRecording();
    if (hasLog) {
        // Not writing the header (a full disk) is a failed write like any
        // other: told at once, and retried at the next step.
        formats->logHeader(pendingLog);
        formats->logContext(pendingLog, run);
        logHeaderSize = pendingLog.size;
        // Kept for every new log after a roll; without it the log grows on.
        if (logRoll.maxBytes > 0 && makeTextBuffer(logRoll.header, logHeaderSize)) {
            appendText(logRoll.header, pendingLog.data, pendingLog.size);
        } else if (logRoll.maxBytes > 0) {
            logRoll.maxBytes = 0;
            recordFailure(logRoll.failing, "not enough memory to roll the log over");
        }
        flushPending();
    }
    return true;
}

void recorderStep(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool rewrite) {
    if (!started) return;
    checkTimerResolution(nowUtcMs);
    if (logFile != nullptr) drainLog(0, batchesPerStep);
    attributeStalls(false, recordStoppedAt());
    if (rewrite) rewriteFiles(takeSummary(nowUtcMs, elapsedMs, false, 0));
}

void finishRecorder(std::int64_t nowUtcMs, std::int64_t elapsedMs, std::int64_t giveUpAtCounter) {
    if (!started) return;
    started = false;
    stopRecording(nowUtcMs, elapsedMs);
    attributeStalls(true, recordStoppedAt());

    // Whatever cannot be written now never will be: it counts as dropped,
    // so the report still adds up to the events measured.
    std::int64_t unwritten = 0;
    if (logFile != nullptr && !drainLog(giveUpAtCounter, 0)) {
        // Every line left, even one written in part to a device, ends in its newline.
        for (std::size_t k = pendingDone; k < pendingLog.size; ++k) unwritten += pendingLog.data[k] == '\n' ? 1 : 0;
        // The header and the context are no event's lines.
        for (std::size_t k = pendingDone; logBytesWritten < logHeaderSize && k < logHeaderSize; ++k) {
            unwritten -= pendingLog.data[k] == '\n' ? 1 : 0;
        }
        unwritten += dropQueuedLines(batch, eventsPerBatch, current.fine ? current.coreCount : 0, wakeBatch);
    }
    RunSummary run = takeSummary(nowUtcMs, elapsedMs, true, unwritten);
    // The wake-ups of the last stretch: every core's counted at the stop,
    // once the log took everything before.
    if (logFile != nullptr && pendingLog.size == 0 && run.wakes != nullptr && countingWakes()) {
        static WakeCount atStop[maxCores];
        for (std::int64_t core = 0; core < wakeCountCores(); ++core) {
            const WakeStatistics& figures = run.wakes[core];
            atStop[core] = WakeCount{figures.events, wakeStallsInHistogram(figures.histogram),
                                     figures.linesNotLogged + lateWakesDropped(core)};
        }
        appendWakeCounts(recordStoppedAt(), atStop);
        flushPending();
    }
    if (tellEndProblems(run, current.coreCount, nowUtcMs)) run = takeSummary(nowUtcMs, elapsedMs, true, unwritten);
    rewriteFiles(run);
    closeOutputFile(logFile);
    logFile = nullptr;
    releaseLocks();
    clearText(pendingLog);
    pendingDone = 0;
}

std::int64_t logRollCount() {
    return logRoll.maxBytes > 0 ? logRoll.rolls.load(std::memory_order_relaxed) : -1;
}
