// The per-processor time accounting of the last few seconds: a ring of
// steps per core, made at start and filled by whoever reads the accounting
// (core 0's sampler, once per timer event), read by the record's writer.
// Portable: the reading itself is accounting_win32.cpp's.
#pragma once

#include <cstdint>

#include "engine/stall_attribution.h"

// Readings kept per core: 6.4 s at one every 100 ms, time for the writer
// (once a second) to read every stall against them.
constexpr std::int64_t accountingStepsKept = 64;

// Called by core 0's sampler after each of its timer events, outside the
// lock; null (no accounting) costs nothing. Set before core 0's timer starts.
extern void (*accountingReader)();

// Makes the rings of `coreCount` cores, empty. Answers false without memory.
bool makeAccounting(std::int64_t coreCount);
void freeAccounting();

// One reading of the first `readCores` cores, taken at atUs on the
// performance counter: each core's step since the previous reading goes
// into its ring. On the reading thread only; takes the lock briefly.
void storeAccountingReading(std::int64_t atUs, const CoreTimes* times, std::int64_t readCores);

// The reading failed: the accounting is over for this run.
void stopAccounting();
// Whether the accounting was made and has not failed.
bool accountingWorks();

// Copies `core`'s steps, oldest first, into `out` (accountingStepsKept
// entries); answers how many. Any thread that does not hold the lock.
std::int64_t copyAccountingSteps(std::int64_t core, AccountingStep* out);
// The smallest step seen (finerResolution); -1 before any.
std::int64_t accountingResolutionUs();

// Provided by accounting_win32.cpp: looks up the system's call, makes the
// buffers of `coreCount` cores and the rings, takes the first reading and
// sets accountingReader. Answers false, having told `tellFailure` why, when
// the accounting cannot be read; a reading that fails later is told there
// once and ends the accounting. `tellFailure` must not wait for anything.
bool startAccounting(std::int64_t coreCount, void (*tellFailure)(const char* message));
