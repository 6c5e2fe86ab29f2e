#include "record/recorder.h"

#include <algorithm>
#include <vector>

#include "engine/platform_seam.h"
#include "record/event_buffer.h"
#include "record/output_file.h"
#include "record/report_format.h"
#include "record/statistics.h"

// One minute of events at one every 100 ms: how far the log may fall behind
// (a slow or failing disk) before events are dropped from it.
constexpr std::int64_t queuedEventsPerCore = 600;
// Events taken out per hold of the lock, so the samplers never wait long.
constexpr std::int64_t eventsPerBatch = 256;

void (*reportRecorderProblem)(const std::string& message) = nullptr;

static RecorderSettings current;

// Guarded by the lock.
static bool recording = false;
static bool queueForLog = false;
static bool sawFailure = false;
static std::vector<CoreStatistics> statistics;

// The writer's own.
static bool started = false;
static OutputFile* logFile = nullptr;
static std::string pendingLog;  // formatted lines not yet written, at most one batch
static std::size_t logHeaderSize = 0;
static std::size_t logBytesWritten = 0;
static bool logFailing = false;
static bool reportFailing = false;
static std::vector<CoreStatistics> reportCopy;
static std::string reportText;
static TimerEvent batch[eventsPerBatch];

static void tellProblem(bool& failing, const std::string& message) {
    if (failing) return;
    failing = true;
    if (reportRecorderProblem != nullptr) reportRecorderProblem(message);
}

// Writes what it can of pendingLog; answers true when all of it is out.
static bool flushPending() {
    while (!pendingLog.empty()) {
        std::size_t written = 0;
        std::string error;
        const bool ok = appendToOutputFile(logFile, pendingLog.data(), pendingLog.size(), &written, error);
        logBytesWritten += written;
        pendingLog.erase(0, written);
        if (!ok) {
            tellProblem(logFailing, error);
            return false;
        }
        // Nothing accepted and no reason given: try again at the next step.
        if (written == 0) return false;
    }
    logFailing = false;
    return true;
}

// Moves queued events to the log until the queue is empty or a write fails;
// answers true in the first case.
static bool drainLog() {
    for (;;) {
        if (!flushPending()) return false;
        lockSamples();
        const std::int64_t count = popEvents(batch, eventsPerBatch);
        unlockSamples();
        if (count == 0) return true;
        for (std::int64_t k = 0; k < count; ++k) appendLogLine(pendingLog, batch[k]);
    }
}

static void rewriteReport(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool finished, std::int64_t unwritten) {
    lockSamples();
    std::copy(statistics.begin(), statistics.end(), reportCopy.begin());
    const std::int64_t dropped = queueForLog ? eventsDropped() : 0;
    unlockSamples();

    const ReportData data{current.version, current.startedUtcMs, nowUtcMs, finished, elapsedMs, current.failAboveMs,
                          reportCopy.data(), current.coreCount, dropped + unwritten};
    formatReport(data, reportText);
    std::string error;
    if (replaceFileContents(current.reportPath, reportText, error)) {
        reportFailing = false;
    } else {
        tellProblem(reportFailing, error);
    }
}

// Undoes a start that failed: files that did not exist before are removed.
static bool abandonStart(bool removeLog, bool removeReport) {
    closeOutputFile(logFile);
    logFile = nullptr;
    if (removeLog) removeFileAt(current.logPath);
    if (removeReport) removeFileAt(current.reportPath);
    return false;
}

bool startRecorder(const RecorderSettings& settings, std::string& error) {
    closeOutputFile(logFile);
    logFile = nullptr;
    started = false;
    pendingLog.clear();
    logHeaderSize = 0;
    logBytesWritten = 0;
    logFailing = false;
    reportFailing = false;
    current = settings;

    const std::string& report = current.reportPath;
    const std::string& log = current.logPath;
    if (!log.empty() && !report.empty() && (log == report || log == temporaryPathOf(report))) {
        error = "the report and the log cannot both be '" + log + "'";
        return false;
    }
    if (current.coreCount < 1) {
        error = "no cores to record";
        return false;
    }
    const bool hasLog = !log.empty();
    lockSamples();
    recording = false;
    queueForLog = hasLog;
    sawFailure = false;
    statistics.assign(static_cast<std::size_t>(current.coreCount), CoreStatistics{});
    const bool bufferMade = createEventBuffer(current.coreCount * queuedEventsPerCore);
    unlockSamples();
    reportCopy.assign(static_cast<std::size_t>(current.coreCount), CoreStatistics{});
    if (!bufferMade) {
        error = "not enough memory for the event queue";
        return false;
    }

    // The log is opened without emptying it and the report is replaced in
    // one step, so a bad path of either fails before anything existing is
    // lost; the log is emptied only once both worked.
    const bool logExisted = hasLog && fileExistsAt(log);
    const bool reportExisted = !report.empty() && fileExistsAt(report);
    if (hasLog) {
        logFile = createOutputFile(log, false, error);
        if (logFile == nullptr) return false;
    }
    if (!report.empty()) {
        const ReportData data{current.version, current.startedUtcMs, current.startedUtcMs, false, 0,
                              current.failAboveMs, reportCopy.data(), current.coreCount, 0};
        formatReport(data, reportText);
        if (!replaceFileContents(report, reportText, error)) return abandonStart(hasLog && !logExisted, false);
    }
    if (hasLog) {
        if (!truncateOutputFile(logFile, error)) return abandonStart(!logExisted, !report.empty() && !reportExisted);
        // Not writing the header (a full disk) is a failed write like any
        // other: reported, and retried at the next step.
        appendLogHeader(pendingLog);
        logHeaderSize = pendingLog.size();
        flushPending();
    }

    started = true;
    lockSamples();
    recording = true;
    unlockSamples();
    return true;
}

void recordEvent(const TimerEvent& event) {
    if (!recording || event.core < 0 || event.core >= current.coreCount) return;
    addToStatistics(statistics[static_cast<std::size_t>(event.core)], event);
    if (current.failAboveMs >= 0 && event.lateMs > current.failAboveMs) sawFailure = true;
    if (queueForLog) pushEvent(event);
}

void recorderStep(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool writeReport) {
    if (!started) return;
    if (logFile != nullptr) drainLog();
    if (writeReport && !current.reportPath.empty()) rewriteReport(nowUtcMs, elapsedMs, false, 0);
}

void finishRecorder(std::int64_t nowUtcMs, std::int64_t elapsedMs) {
    if (!started) return;
    started = false;
    lockSamples();
    recording = false;
    unlockSamples();

    // Whatever cannot be written now never will be: it counts as dropped,
    // so the report still adds up to the events measured.
    std::int64_t unwritten = 0;
    if (logFile != nullptr && !drainLog()) {
        // Every line left, even one written in part, ends in its newline.
        unwritten = std::count(pendingLog.begin(), pendingLog.end(), '\n');
        if (logBytesWritten < logHeaderSize) --unwritten;
        lockSamples();
        for (std::int64_t count = 1; count > 0;) {
            count = popEvents(batch, eventsPerBatch);
            unwritten += count;
        }
        unlockSamples();
    }
    if (!current.reportPath.empty()) rewriteReport(nowUtcMs, elapsedMs, true, unwritten);
    closeOutputFile(logFile);
    logFile = nullptr;
    pendingLog.clear();
}

bool recorderSawFailure() {
    lockSamples();
    const bool failed = sawFailure;
    unlockSamples();
    return failed;
}
