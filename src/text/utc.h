// The UTC times that the log and the report write, and their reading back.
#pragma once

#include <cstddef>
#include <cstdint>

// "2026-12-07T14:03:12.345Z" and the terminating zero.
constexpr std::int64_t utcTextCapacity = 25;

// Writes utcMs (milliseconds since 1970-01-01 UTC) as ISO 8601 with
// milliseconds into `out` (at least utcTextCapacity bytes). Times outside the
// years 0000..9999 are written as the nearest end of that range.
void formatUtc(std::int64_t utcMs, char* out);

// Parses exactly "2026-12-07T14:03:12.345Z" (the form formatUtc writes) into
// milliseconds since 1970-01-01 UTC. Answers false for anything else: another
// length, a missing separator, a month 13, 31 April or 29 February of a
// common year, an hour 24, a second 60.
bool parseUtc(const char* text, std::size_t length, std::int64_t& utcMs);
// Days since 1970-01-01 of a proleptic Gregorian date (month 1 to 12).
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day);
