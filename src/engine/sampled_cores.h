// Which cores have a sampler running: set by each core's sampler once its
// timer runs, read by whoever reports on the run. Lock-free.
#pragma once

#include <cstdint>

// How long a sampler may take from its start to its timer before it counts
// as failed: Wine on a loaded machine has taken over 30 s for dozens.
constexpr std::int64_t samplerStartMostMs = 60000;

void markCoreSampled(std::int64_t core);
// The core's sampler thread was made and is on its way to its timer
// (markCoreSampled), or gave up on the way: its window or its timer could
// not be made.
void markCoreStarting(std::int64_t core);
void markCoreFailed(std::int64_t core);
// Started and neither running nor failed yet, nor unpinned.
bool isCoreStarting(std::int64_t core);
// Whether the record may count `core` as sampled `elapsedMs` into the run:
// its sampler runs, or is still starting and the run is younger than
// samplerStartMostMs (a run shorter than a sampler's start is not one whose
// sampler failed; its core has no events, and says so).
bool countsAsSampled(std::int64_t core, std::int64_t elapsedMs);
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
