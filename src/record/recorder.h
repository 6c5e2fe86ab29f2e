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

#include <cstdint>

#include "engine/timer_event.h"
#include "files/output_file.h"
#include "record/recorder_settings.h"

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
