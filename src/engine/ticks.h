// Performance-counter ticks to time units and back: the one conversion that
// every reading of the counter goes through. Portable, integer only, inline
// so that the samplers' per-event arithmetic stays where it is used.
#pragma once

#include <cstdint>

constexpr std::int64_t millisecondsPerSecond = 1000;
constexpr std::int64_t microsecondsPerSecond = 1000000;
// The unit of the native timer and sleep calls.
constexpr std::int64_t hundredNsPerSecond = 10000000;

// `value` counted at `fromPerSecond` a second, counted at `toPerSecond`:
// value x to / from, truncated toward zero (down for the unsigned counter
// differences). Whole seconds first, then the rest: weeks of ticks at
// 2.4 GHz times 10^7 would overflow 64 bits, the seconds and the rest do not.
// The rest's product stays below from x to, under 2^63 for any two rates up
// to 3 x 10^9 a second.
template <typename Count>
constexpr Count rescaleCount(Count value, Count fromPerSecond, Count toPerSecond) {
    return value / fromPerSecond * toPerSecond + value % fromPerSecond * toPerSecond / fromPerSecond;
}

constexpr std::int64_t ticksToMicroseconds(std::int64_t ticks, std::int64_t frequency) {
    return rescaleCount(ticks, frequency, microsecondsPerSecond);
}

constexpr std::int64_t ticksToHundredNs(std::int64_t ticks, std::int64_t frequency) {
    return rescaleCount(ticks, frequency, hundredNsPerSecond);
}

constexpr std::int64_t millisecondsToTicks(std::int64_t milliseconds, std::int64_t frequency) {
    return rescaleCount(milliseconds, millisecondsPerSecond, frequency);
}
