// The thread that writes the record of a run while it is measured, so that
// no sampler ever waits for a disk.
#pragma once

// Starts it: about once a second the queued events go to the log, and every
// fifth second the report is rewritten whole, its run time counted from
// `runStartMs` (GetTickCount64 when the run began). Answers false when the
// thread cannot be made.
bool startRecordWriter(unsigned long long runStartMs);

// Has the writer write the last of the record and waits for it, at most
// until `lastMs` (GetTickCount64): a write that hangs (a dead network
// share) must not hold the end of the run. Log lines not written by then
// count as dropped. Answers whether the record was finished. Without a
// running writer it answers false at once.
bool finishRecordWriter(unsigned long long lastMs);
