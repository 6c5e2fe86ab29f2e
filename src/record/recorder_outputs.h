// The outputs of a run held apart from any other's, and the problems its
// end finds: pieces of the recorder's start and end that touch no state of
// its own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/timer_event.h"
#include "files/output_file.h"
#include "record/run_summary.h"

// Whether the given `outputs` (null or "": not given) name `count` files of
// their own, their temporaries included; false with `error` naming the one
// given twice.
bool outputsDistinct(const char* const* outputs, std::size_t count, char* error);

// Locks every given output (locks[0 .. count)), then the temporary of each
// given whole file (locks[count .. count + wholeCount)), before any file is
// touched; false with `error` when another run holds one of them.
bool lockRunOutputs(const char* const* outputs, std::size_t count, const char* const* wholePaths,
                    std::size_t wholeCount, OutputLock** locks, char* error);

// Notes the problems found at the end: cores that were never sampled, log
// lines lost. Answers whether it noted any.
bool tellEndProblems(const RunSummary& run, std::int64_t coreCount, std::int64_t nowUtcMs);

// Empties the queue of timer events (through `batch`, `batchSize` at a
// time) and the late wake-ups' queues of `wakeCores` cores (through
// `wakeBatch`, lateWakeQueueCapacity at a time): answers how many lines
// they held, which no log will ever get.
std::int64_t dropQueuedLines(TimerEvent* batch, std::int64_t batchSize, std::int64_t wakeCores, WakeEvent* wakeBatch);
