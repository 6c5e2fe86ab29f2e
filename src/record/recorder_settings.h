// How a run is recorded: which files, in which formats, for how many cores.
// Apart from the recorder itself so that the parts of the record it calls
// (the context, the suspects) can read the settings without reaching back
// up to it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/machine_context.h"
#include "engine/stall_cause.h"
#include "engine/timer_event.h"
#include "engine/wake_figures.h"
#include "record/wake_count.h"

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
    // With --fine, a core's wake-ups counted up to `utcMs` (each priority
    // change's, and the end's): "<utc>,,,,wakes=<core>/<wake-ups>/<over 5
    // ms>/<lines left out>". Null: not written.
    void (*wakeCountLine)(TextBuffer& out, std::int64_t core, std::int64_t utcMs, const WakeCount& count);
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
    // The sweep's levels, their menu texts in order (null: not known).
    const char* const* sweepLevels = nullptr;
    // How long the run is meant to measure (--duration, or the sweep's
    // levels together); 0 or less: until it is closed.
    std::int64_t plannedMs = 0;
    // Started by the service manager (--service): the metrics say so.
    bool service = false;
    // --log-max-mb in bytes: the log rolls over there (log_roll.h); 0: never.
    std::int64_t logMaxBytes = 0;
    // --timer-resolution: asked and granted, in 100 ns units; 0 or less:
    // nothing asked (or nothing read back).
    std::int64_t askedResolution = 0;
    std::int64_t grantedResolution = 0;
};
