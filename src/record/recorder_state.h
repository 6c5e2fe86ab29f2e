// What the recorder's two halves share: the record kept under the lock
// (recorder.cpp) and the writer's steps that take it to the files
// (recorder_files.cpp). Only those two include it.
#pragma once

#include <cstdint>

#include "record/recorder_settings.h"
#include "record/run_summary.h"

// The run's settings and whether it has a page and a log, from startRecorder:
// each half keeps its own copy, so the samplers' path reads only its file's.
void setRecordSettings(const RecorderSettings& settings, bool withHtml, bool withLog);
// Makes the record of a new run for those settings (the buffers of the last
// one freed first): empty, not recording yet. False without the memory.
bool makeRecord();
// Frees what makeRecord made, once the recording has stopped.
void freeRecord();
// From here on recordEvent records.
void beginRecording();
// When the recording stopped (UTC ms); -1 while it goes on.
std::int64_t recordStoppedAt();

// A snapshot of the run, taken under the lock and formatted outside it;
// `unwritten` log lines count as dropped.
RunSummary takeSummary(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool finished, std::int64_t unwritten);

// A write of one of the outputs failed, or worked again after failing
// (`failing` is that output's): kept among the problems and told once.
void recordFailure(bool& failing, const char* message);
void recordRecovery(bool& failing, const char* recovery);

// The times the log rolled over (--log-max-mb); -1 when it never rolls.
std::int64_t logRollCount();
