// The thread that writes the record of a run while it is measured, so that
// no sampler ever waits for a disk.
#pragma once

#include <cstdint>

// What the writer does on each step and at the end; given by whoever starts
// it, so that this thread knows nothing of the record it writes.
struct RecordWriterSteps {
    // About once a second; `rewrite` every fifth time.
    void (*step)(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool rewrite);
    // Once, when asked to finish; gives up writing at the counter value given.
    void (*finish)(std::int64_t nowUtcMs, std::int64_t elapsedMs, std::int64_t giveUpAtCounter);
};

// Starts it: about once a second the queued events go to the log, and every
// fifth second the report is rewritten whole, its run time counted from
// `runStartMs` (GetTickCount64 when the run began). Answers false when the
// thread cannot be made.
bool startRecordWriter(unsigned long long runStartMs, const RecordWriterSteps& steps);

// Has the writer write the last of the record and waits for it, at most
// until `lastMs` (GetTickCount64): a write that hangs (a dead network
// share) must not hold the end of the run. Log lines not written by then
// count as dropped. Answers whether the record was finished. Without a
// running writer it answers false at once.
bool finishRecordWriter(unsigned long long lastMs);
