// Turns a core's timer events into deviations, a scrolling graph, a label and
// a tray peak, all stored in sampleTables.
#pragma once

#include <cstdint>

constexpr std::int64_t timerPeriodMs = 100;
// Labels never show more than this many milliseconds.
constexpr std::int64_t labelCapMs = 9999;
// Graph scale: 15 units (pixels) per timer period.
constexpr std::int64_t graphUnitsPerPeriod = 15;
constexpr std::int64_t maxScrollCount = 129;

// With --fine: each column of a row's graph shows the worst wake-up of the
// core's 1 ms wake-up sampler since the previous column, and the label the
// worst of the last 15 columns. Set by the entry before any timer starts.
extern bool fineColumns;
// Fine scale: full height (15 units) from 10 ms, 1.5 units per ms.
constexpr std::int64_t fineFullHeightUs = 10000;
// Below this the fine label shows tenths of a millisecond.
constexpr std::int64_t fineTenthsBelowUs = 10000;

// Measures one timer event of `core`, on the thread that samples that core.
std::int64_t recordTimerEvent(std::int64_t core);
// Takes now as the moment from which `core`'s next timer event is measured:
// when its timer starts, and after each event is handled. On that core's
// thread only.
void markTimerBaseline(std::int64_t core);
// Converts a deviation in ms to graph units and runs the graph step.
std::int64_t plotDeviation(std::int64_t core, std::int64_t deviationMs);
// The graph step: scroll the core's graph and raise its tray peak.
std::int64_t advanceGraph(std::int64_t core, std::int64_t height);

// Milliseconds late of a tick reading `now` against the previous reading
// `previous`. The difference is taken modulo 2^32, as both are readings of the
// 32-bit tick count, so an interval that spans the wrap measures its true
// length instead of about minus 4.29 billion ms.
std::int64_t deviationSince(std::uint32_t now, std::int64_t previous);

// Microseconds late of a performance counter reading `now` against the
// previous reading `previous`, at `frequency` counts per second.
std::int64_t lateMicroseconds(std::int64_t now, std::int64_t previous, std::int64_t frequency);

// Graph units of a column whose worst wake-up was `lateUs` late: 1.5 per ms,
// rounded down, so 10 ms and more fill the row. Not capped: the tray peak
// takes it whole.
std::int64_t fineColumnHeight(std::int64_t lateUs);
// Writes the fine label of a worst lateness `lateUs` into `out` (at least
// labelCapacity bytes) and answers the length: "+2.4ms" below 10 ms (tenths
// rounded down), "+12ms" from there, never more than labelCapMs.
std::int64_t formatFineLabel(std::int64_t lateUs, char* out);

// Writes "+<m>ms" into `out` (at least labelCapacity bytes) and answers the
// length. m is written in plain decimal with a "-" when negative.
std::int64_t formatLabel(std::int64_t m, char* out);
