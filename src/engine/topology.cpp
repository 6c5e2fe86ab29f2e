#include "engine/topology.h"

#include <algorithm>

#include "engine/sample_tables.h"

std::uint64_t affinityMaskOf(std::int64_t core) {
    // A processor group has 64 cores at most; a core beyond them has no bit
    // (and shifting by 64 or more is undefined), so it gets the empty mask,
    // which SetThreadAffinityMask refuses: that sampler then runs unpinned.
    if (core < 0 || core >= maxGroupSize) return 0;
    return std::uint64_t{1} << core;
}

std::int64_t numberCores(const std::int64_t* groupSizes, std::int64_t groupCount, CorePlace* places) {
    std::int64_t count = 0;
    for (std::int64_t group = 0; groupSizes != nullptr && group < groupCount && count < maxCores; ++group) {
        const std::int64_t size = std::clamp<std::int64_t>(groupSizes[group], 0, maxGroupSize);
        for (std::int64_t position = 0; position < size && count < maxCores; ++position) {
            places[count++] = CorePlace{group, affinityMaskOf(position)};
        }
    }
    if (count == 0) places[count++] = CorePlace{0, 1};
    return count;
}
