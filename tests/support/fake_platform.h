// Controls the clock that the portable code reads in tests.
#pragma once

#include <cstdint>

// Sets the tick count that readTickCount answers from now on.
void setFakeTick(std::uint32_t tick);
// Adds `ms` to the fake tick count (wrapping modulo 2^32 like the real one).
void advanceFakeTick(std::uint32_t ms);
// Makes the next createSampleLock() fail (once).
void failNextSampleLockCreation();
