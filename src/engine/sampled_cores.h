// Which cores have a sampler running: set by each core's sampler once its
// timer runs, read by whoever reports on the run. Lock-free.
#pragma once

#include <cstdint>

void markCoreSampled(std::int64_t core);
bool isCoreSampled(std::int64_t core);
// Forgets every mark (a new run in the same process: the tests).
void clearSampledCores();
