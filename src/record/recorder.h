// The record of one run: per-core statistics kept as the samplers measure,
// a CSV log of every event and a JSON report rewritten whole. Global state.
//
// Threads: the samplers call recordEvent with the lock held; one writer
// thread calls startRecorder, recorderStep and finishRecorder, which take
// the lock themselves and only briefly. Files are touched by the writer only.
#pragma once

#include <cstdint>
#include <string>

#include "engine/timer_event.h"

struct RecorderSettings {
    std::string reportPath;  // "" = no report
    std::string logPath;     // "" = no log
    std::int64_t failAboveMs;  // -1 = none
    std::int64_t coreCount;
    std::int64_t startedUtcMs;
    const char* version;
};

// Told about a file that could not be written, once until writing it works
// again; called on the writer thread. Null: silent.
extern void (*reportRecorderProblem)(const std::string& message);

// Makes the buffers and the files before measuring starts: writes the first
// report and empties the log down to its header. On failure `error` names
// the path and the reason, a file that did not exist before is removed and
// one that did is left as it was.
bool startRecorder(const RecorderSettings& settings, std::string& error);

// A sampler's event, with the lock held. Never blocks, allocates or touches
// a file; records nothing once finishRecorder has begun.
void recordEvent(const TimerEvent& event);

// The writer's regular work, about once a second: queued events go to the
// log, and with `writeReport` the report is rewritten. A failed write is
// retried at the next step.
void recorderStep(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool writeReport);

// At a normal end: stops recording, writes every queued event to the log and
// the final report, whose counts are then the log's lines plus log_dropped.
void finishRecorder(std::int64_t nowUtcMs, std::int64_t elapsedMs);

// Some recorded event was more than failAboveMs late. Takes the lock: not
// for a caller that holds it.
bool recorderSawFailure();
