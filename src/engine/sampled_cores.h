// Which cores have a sampler running: set by each core's sampler once its
// timer runs, read by whoever reports on the run. Lock-free.
#pragma once

#include <cstdint>

void markCoreSampled(std::int64_t core);
// The core's timer sampler runs, but could not be pinned to it: its figures
// are not the core's, so the core does not count as sampled.
void markCoreUnpinned(std::int64_t core);
bool isCoreUnpinned(std::int64_t core);
// Marked sampled and not unpinned.
bool isCoreSampled(std::int64_t core);
// The same for the wake-up samplers (--fine): marked once the core's
// wake-up thread runs pinned to it.
void markWakeSampled(std::int64_t core);
bool isWakeSampled(std::int64_t core);
// Forgets every mark (a new run in the same process: the tests).
void clearSampledCores();
