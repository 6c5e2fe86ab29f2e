// The context of the run as it is recorded: the machine (read at the start,
// its timer resolution once a second and again at the close), and the priority: the level at
// the start and each change, kept for the report and the page and queued
// for the log. Changes come from the main thread (the menu, --priority, a
// sweep's step) through the hook the entry hands to the priority control;
// the writer takes them.
#pragma once

#include <cstdint>

#include "engine/machine_context.h"
#include "engine/stall_cause.h"
#include "engine/sample_tables.h"
#include "record/priority_history.h"
#include "record/wake_count.h"

struct RunSummary;
struct RecorderSettings;

// Changes the log's queue holds between two writer steps; beyond it they are
// kept for the report but their lines are lost (and counted).
constexpr std::int64_t priorityQueueCapacity = 16;
// Attributed timer stalls waiting for their line in the log; beyond it a
// stall's cause is only in the report (a comparison counts it as not logged).
constexpr std::int64_t stallNoteQueueCapacity = 1024;
// Taken per batch of the log.
constexpr std::int64_t stallNotesPerBatch = 256;

struct StallNote {
    std::int64_t core;
    std::int64_t utcMs;
    StallCause cause;
};

// Before the recording starts, for the settings' run: reads the machine, and
// takes the level in force then (its menu text) and the class the system
// had granted; with a sweep, its first stretch begins. False without the
// memory for the sweep.
bool startContextRecord(const RecorderSettings& settings);
void freeContextRecord();
// A change at `utcMs`; nothing once the recording has stopped. Any thread
// that does not hold the lock.
void recordPriorityChange(std::int64_t utcMs, const char* level, const char* granted);
// The same for a sweep's next level, which also begins its stretch.
void recordSweepLevel(std::int64_t utcMs, const char* level, const char* granted);
// The sweep's last level measured its whole time; the stop that follows
// ends the sweep as planned.
void recordSweepDone();

// The stretch of `utcMs` as the judge numbers them (verdict/judge.h: -1 the
// start's, k the one the k-th change began), with the lock held: from the
// last two changes, as events come within a period of their time.
std::int64_t priorityStretchAt(std::int64_t utcMs);

// Why the run ends, told before its close request; the first told is kept
// (a static text: "duration", "closed", "interrupted", "session end",
// "problem"). A close request nobody explained is "closed".
constexpr const char* endedByDuration = "duration";
constexpr const char* endedByClose = "closed";
constexpr const char* endedByInterrupt = "interrupted";
constexpr const char* endedBySessionEnd = "session end";
constexpr const char* endedByProblem = "problem";
void noteRunEnd(const char* cause);

// A sweep's next resolution at the same level: its stretch begins without
// a priority change.
void recordSweepStretch(std::int64_t utcMs, const char* level, const char* granted);
// The recording stopped at `utcMs` (reads the timer resolution, takes the
// lock): later changes are not the record's, the sweep's last stretch ends.
void stopContextRecord(std::int64_t utcMs);

// The writer's, about once a second: reads the timer resolution (off the
// samplers' threads, outside the lock) and records a change of it at
// `utcMs`; nothing once the recording has stopped.
void checkTimerResolution(std::int64_t utcMs);
// The writer's: the resolution's changes not yet in the log, oldest first,
// at most `most`; answers how many.
std::int64_t takeResolutionForLog(ResolutionChange* out, std::int64_t most);

// The writer's: the changes not yet given to the log, oldest first, at
// most `most`; answers how many. With --fine, `wakes` (null: not wanted)
// gets for each change the wake-ups of every core counted up to it
// (maxCores entries per change, coreCount of them used).
std::int64_t takePriorityForLog(PriorityChange* out, WakeCount* wakes, std::int64_t most);
// Whether the changes carry counts of wake-ups (--fine), and every core's
// counted now: for the log's note at the end.
bool countingWakes();
void countWakesNow(WakeCount* out);
// Lines that the queues (the priority's, the resolution's) could not hold.
std::int64_t priorityLinesDropped();

// A stall's cause, once the record's writer attributed it (it takes the
// lock): counted for a sweep's stretch, and a timer stall's cause queued for
// the log, so that a comparison of logs can tell the causes.
void noteAttributedStall(std::int64_t core, std::int64_t utcMs, std::int64_t lateUs, bool wake, StallCause cause);
// The writer's: the causes not yet in the log, oldest first, at most `most`.
std::int64_t takeStallNotes(StallNote* out, std::int64_t most);
// Points the snapshot's machine, priority and sweep at copies of them
// (the writer's, valid until the next snapshot).
void describeContext(RunSummary& run);
