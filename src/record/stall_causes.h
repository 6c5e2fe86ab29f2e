// The causes of a run's stalls: every timer event and wake-up later than
// stallLateUs is queued as it is recorded, and the record's writer reads
// each against the time accounting once that covers it (accounting.h),
// counts it per core by cause and keeps the causes of the worst, ranked as
// the worst lists rank them, so that every stall a list of the snapshot
// names gets its own. The samplers only queue.
#pragma once

#include <cstdint>

#include "engine/timer_event.h"
#include "record/run_summary.h"

// Made by makeRecord for `coreCount` cores, with wake-ups or not.
bool makeStallCauses(std::int64_t coreCount, bool fine);
void freeStallCauses();

// recordEvent's, with the lock held: queues the event when it is a stall.
void noteTimerStall(const TimerEvent& event);

// The writer's, about once a second, without the lock: takes the queued
// stalls and attributes those the accounting now covers. A stall the
// accounting has not covered within a few seconds is unknown, and so is
// every one still waiting when `finishing`. Wake-ups after `endUtcMs` (the
// close request; -1 while the run goes on) are not the record's.
void attributeStalls(bool finishing, std::int64_t endUtcMs);

// Fills the accounting fields of a snapshot whose worst lists are set; they
// stay false and null when the run has no accounting. The writer's.
void describeStallCauses(RunSummary& run);
