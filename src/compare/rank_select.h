// The exact value of a given rank among whole numbers that can be read
// again but not kept (the timer events of logs of any length): each pass
// over them counts those in the range still open into a fixed number of
// buckets and narrows the range to the bucket that holds the rank, until
// one value is left. A range of 2^64 takes at most eleven passes, a year of
// microseconds eight, one second of microseconds four; the memory is fixed
// (a comparison keeps 18 of these per run and core).
#pragma once

#include <cstdint>

constexpr std::int64_t rankBuckets = 64;

struct RankSelection {
    std::int64_t rank;   // 1-based, in ascending order
    std::int64_t low;    // the value sought lies in [low, high]
    std::int64_t high;
    std::int64_t below;  // values under `low`
    std::int64_t counts[rankBuckets];
    bool found;  // low == high: the value
};

// The nearest rank of a percentile: ceil(count * perMille / 1000), at least 1.
std::int64_t percentileRank(std::int64_t count, std::int64_t perMille);
// For `rank` among values from `least` to `most` (their minimum and maximum).
void startRankSelection(RankSelection& selection, std::int64_t rank, std::int64_t least, std::int64_t most);
// Each value of the set, once per pass.
void countForRank(RankSelection& selection, std::int64_t value);
// After a pass: the range narrows to the bucket that holds the rank.
void narrowRankSelection(RankSelection& selection);
