// The console of a recorded run: the live block, rewritten once a second
// while the run goes on, and the summary with the verdict at its end, on
// standard output, or on the console the program was started from when it
// has no standard output. A file or a pipe gets the summary only; --quiet
// and a program with nowhere to write (started from Explorer) get nothing.
#pragma once

#include <cstdint>

#include "app/options.h"

// Once the record has started, before its writer does: finds where
// standard output goes and makes the buffers.
void openConsoleView(const CommandLine& options, std::int64_t coreCount);

// The writer's steps (files/record_writer.h): the record's own, then the
// live block drawn from the record's snapshot, and after the end the final
// figures kept for the summary. The writer's thread only.
void recordAndShowStep(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool rewrite);
void finishAndKeepRecord(std::int64_t nowUtcMs, std::int64_t elapsedMs, std::int64_t giveUpAtCounter);
// The same keeping, on the main thread once it finished the record itself.
void keepFinalFigures(std::int64_t nowUtcMs, std::int64_t elapsedMs);

// A line for standard error while the run goes on: a live block on the same
// console is taken away first (and drawn again at the next step), so that the
// line is not written over. Waits for nothing.
void tellAboveLiveBlock(const char* line);

// The end: the live block goes, and every core's summary and the verdict of
// `exitCode` are written. `unfinished` is null when the record was finished;
// else it says why not, and the verdict names it instead of the figures,
// which a writer left behind may still be changing.
void closeConsoleView(int exitCode, const char* unfinished);
