// The thread that writes the record of a run while it is measured, so that
// no sampler ever waits for a disk.
#pragma once

// Starts it: about once a second the queued events go to the log, and every
// fifth second the report is rewritten whole, its run time counted from
// `runStartMs` (GetTickCount64 when the run began). Answers false when the
// thread cannot be made.
bool startRecordWriter(unsigned long long runStartMs);

// Ends it after its current step and waits for it; the caller then finishes
// the record itself. Does nothing when it is not running.
void stopRecordWriter();
