#include "compare/rank_select.h"

#include <cstring>

#include "verdict/judge.h"

std::int64_t percentileRank(std::int64_t count, std::int64_t perMille) {
    return count <= 0 ? 1 : nearestRank(count, perMille);
}

// The width of a bucket over [low, high], so that rankBuckets cover it: in
// unsigned arithmetic, as the range of two 64-bit values may not fit one.
static std::uint64_t bucketWidth(const RankSelection& s) {
    const std::uint64_t span = static_cast<std::uint64_t>(s.high) - static_cast<std::uint64_t>(s.low);
    return span / rankBuckets + 1;
}

void startRankSelection(RankSelection& selection, std::int64_t rank, std::int64_t least, std::int64_t most) {
    selection.rank = rank;
    selection.low = least;
    selection.high = most;
    selection.below = 0;
    std::memset(selection.counts, 0, sizeof selection.counts);
    selection.found = least >= most;
}

void countForRank(RankSelection& selection, std::int64_t value) {
    if (selection.found || value < selection.low || value > selection.high) return;
    const std::uint64_t offset = static_cast<std::uint64_t>(value) - static_cast<std::uint64_t>(selection.low);
    ++selection.counts[offset / bucketWidth(selection)];
}

void narrowRankSelection(RankSelection& selection) {
    if (selection.found) return;
    const std::uint64_t width = bucketWidth(selection);
    std::int64_t seen = selection.below;
    std::int64_t bucket = 0;
    // The last bucket holds the rank when the counts fall short (values that
    // changed between passes): the range still narrows, never widens.
    while (bucket < rankBuckets - 1 && seen + selection.counts[bucket] < selection.rank) seen += selection.counts[bucket++];
    // Offsets from the old low, unsigned: they may not fit a signed value.
    const std::uint64_t span = static_cast<std::uint64_t>(selection.high) - static_cast<std::uint64_t>(selection.low);
    std::uint64_t from = static_cast<std::uint64_t>(bucket) * width;
    if (from > span) from = span;
    const std::uint64_t to = from + (width - 1) < span ? from + (width - 1) : span;
    const auto oldLow = static_cast<std::uint64_t>(selection.low);
    selection.below = seen;
    selection.low = static_cast<std::int64_t>(oldLow + from);
    selection.high = static_cast<std::int64_t>(oldLow + to);
    std::memset(selection.counts, 0, sizeof selection.counts);
    selection.found = selection.low >= selection.high;
}
