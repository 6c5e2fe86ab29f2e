// The record of one run: per-core statistics kept as the samplers measure,
// a CSV log of every event, and the whole-file outputs (the JSON report)
// rewritten from one snapshot. Global state; every buffer is made by
// startRecorder, so nothing is allocated while the run is measured.
//
// Threads: the samplers call recordEvent with the lock held; the writer
// thread calls recorderStep and finishRecorder, which take the lock
// themselves and only briefly, never around a file operation. Files are
// touched by the writer only (or by the main thread when no writer runs).
// The page of the run (HTML) and the metrics text (Prometheus) are
// rewritten with the report. The texts of the files are the formats'
// (src/formats), handed over in the settings: the record knows none.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/machine_context.h"
#include "engine/stall_cause.h"
#include "engine/timer_event.h"
#include "engine/wake_figures.h"
#include "files/output_file.h"

struct PriorityChange;
struct RunSummary;
struct TextBuffer;

// A file rewritten whole from a snapshot of the record.
struct WholeFormat {
    // Replaces `out` with the file's text.
    void (*render)(const RunSummary& run, TextBuffer& out);
    // A bound of that text's size for `coreCount` cores, with or without
    // the wake-up figures.
    std::size_t (*capacity)(std::int64_t coreCount, bool withWakes);
};

// How every file of the record is written.
struct RecordFormats {
    WholeFormat report;
    WholeFormat page;
    WholeFormat metrics;
    // The log: its header, then one line per timer event and per late
    // wake-up, none longer than logLineCapacity (its newline included).
    void (*logHeader)(TextBuffer& out);
    void (*logLine)(TextBuffer& out, const TimerEvent& event);
    void (*wakeLine)(TextBuffer& out, const WakeEvent& wake);
    std::size_t logLineCapacity;
    // The log's context after its header (the program, the machine, the
    // priority at the start), and a priority change: lines of their own
    // that no reader of events counts.
    void (*logContext)(TextBuffer& out, const RunSummary& run);
    void (*priorityLine)(TextBuffer& out, const PriorityChange& change);
    // A timer stall's cause, once attributed: "<its utc>,,,,stall=<core>/<cause>".
    void (*stallLine)(TextBuffer& out, std::int64_t core, std::int64_t utcMs, StallCause cause);
    // A change of the timer resolution in force: "<its utc>,,,,timer_resolution_change=<100 ns>".
    void (*resolutionLine)(TextBuffer& out, const ResolutionChange& change);
};

struct RecorderSettings {
    const char* reportPath;  // null or "": no report
    const char* logPath;     // null or "": no log
    const char* htmlPath;    // null or "": no page
    const char* metricsPath;  // null or "": no metrics text
    std::int64_t failAboveUs;  // -1: none
    std::int64_t coreCount;
    std::int64_t startedUtcMs;
    const char* version;
    // The priority level in force at the start (its menu text; null:
    // "normal") and the process priority class the system granted (its
    // name, null when unknown). The machine is read by the record itself.
    const char* startLevel;
    const char* startClass;
    // --sweep: this many levels, the first the start's, each measured for
    // sweepMs; 0: no sweep.
    std::int64_t sweepLevelCount;
    std::int64_t sweepMs;
    // The wake-up samplers run (--fine): their figures go into the record,
    // with how they wait and the timer resolution they got (chosen before
    // the record starts, so that the writer only ever reads them).
    bool fine;
    const char* fineMethod;  // null or "": not chosen
    std::int64_t fineResolutionUs;
    // Told every problem of the run and its recovery as it happens, outside
    // the lock; it must not wait for anything (standard error). Null: silent.
    void (*tellProblem)(const char* message);
    // Every output given needs them; the program's are recordFormats
    // (formats/record_formats.h).
    const RecordFormats* formats;
    // --timer-resolution: asked and granted, in 100 ns units; 0 or less:
    // nothing asked (or nothing read back).
    std::int64_t askedResolution = 0;
    std::int64_t grantedResolution = 0;
};

// Makes the buffers and the files before measuring starts: checks that the
// report can be written and empties the log down to its header. On failure
// `error` (messageCapacity bytes) names the path and the reason, a file that
// did not exist before is removed and one that did is left as it was.
bool startRecorder(const RecorderSettings& settings, char* error);

// A sampler's event, with the lock held. Never blocks, allocates or touches
// a file; records nothing once the recording has stopped.
void recordEvent(const TimerEvent& event);

// A problem of the run that is not the recorder's own (the window, a
// sampler, the duration): kept for the report, told once, and it makes the
// record untrusted. Any thread that does not hold the lock.
void noteRunProblem(std::int64_t nowUtcMs, const char* message);

// The writer's regular work, about once a second: queued events go to the
// log, and with `rewrite` the report is rewritten. A failed write is told
// and retried at the next step.
void recorderStep(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool rewrite);

// The machine is about to sleep, or woke: the span between is recorded as
// suspended. `sleptMs` is the time asleep the system counted since the
// previous power message (0 where it cannot tell); it dates a wake whose
// suspend message never came. Any thread that does not hold the lock.
void noteSuspend(std::int64_t nowUtcMs);
void noteResume(std::int64_t nowUtcMs, std::int64_t sleptMs);

// The close request: nothing is recorded from here on, so the record covers
// the same span of every core. Any thread that does not hold the lock.
void stopRecording(std::int64_t nowUtcMs, std::int64_t elapsedMs);

// The end (stops the recording first if that was not done): every queued
// event goes to the log while the performance counter is below
// `giveUpAtCounter`, what is left counts as dropped, and the final report is
// written, its counts the log's lines plus log_dropped.
void finishRecorder(std::int64_t nowUtcMs, std::int64_t elapsedMs, std::int64_t giveUpAtCounter);

// A snapshot of the record for a view of the run (the console), without the
// timeline, so that taking one every second holds the lock no longer than
// the statistics take to copy. The writer's thread only, or the main thread
// when no writer runs: it fills the same copies as the files' snapshots, and
// what it answers points into them until the next snapshot. After the
// recording stopped it holds the figures of the final record.
RunSummary takeViewSummary(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool finished);

// Some recorded event (or wake-up) was later than the threshold.
bool recorderSawFailure();
// No problem was met and no log line was lost.
bool recordTrusted();
// The first problem told, for the last word to the user ("" when none).
void firstProblem(char* out);
