// Where the page's time axis puts its labels: round UTC times, at most
// timeLabelsMost of them whatever the span, from seconds to centuries.
#pragma once

#include <cstdint>

#include "text/text_buffer.h"

// At most this many time labels, so they never run into each other.
constexpr std::int64_t timeLabelsMost = 8;

// A step of fixed length (ms > 0), or a calendar step of whole months
// (months > 0), which months of different lengths make uneven.
struct TimeStep {
    std::int64_t ms;
    std::int64_t months;
};

// The smallest round step that gives at most timeLabelsMost ticks over a
// span of `spanMs` (> 0).
TimeStep chooseTimeStep(std::int64_t spanMs);
// The first tick at or after `utcMs`, and the tick after `tickUtcMs`.
std::int64_t firstTimeTick(std::int64_t utcMs, const TimeStep& step);
std::int64_t nextTimeTick(std::int64_t tickUtcMs, const TimeStep& step);
// The tick's label: the time of day, the day and hour, the day, the month
// ("2027-03") or the year, as the step and the span need.
void appendTimeLabel(TextBuffer& out, std::int64_t tickUtcMs, const TimeStep& step, std::int64_t spanMs);
// How many characters that label has (the same for every tick of a step).
std::int64_t timeLabelChars(const TimeStep& step, std::int64_t spanMs);
