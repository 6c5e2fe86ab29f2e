// Which processor each sampled core is: Windows numbers processors within
// processor groups of at most 64, and a thread is pinned by a group and a
// mask within it. Plain arithmetic, free of <windows.h>.
#pragma once

#include <cstdint>

constexpr std::int64_t maxGroupSize = 64;

struct CorePlace {
    std::int64_t group;
    std::uint64_t mask;  // affinity within the group: one bit
};

// The affinity mask with only bit `core` set for 0 <= core <= 63; 0 otherwise.
std::uint64_t affinityMaskOf(std::int64_t core);

// Numbers the cores group by group from the active processors of each group
// (`groupSizes[0]` is group 0) and fills `places` (maxCores entries) with
// each core's group and mask. Answers the number of cores, at most maxCores.
// A group reporting more than 64 counts as 64 and a negative one as empty;
// with no processor at all the answer is one core, group 0, mask 1: the
// program runs on one at least.
std::int64_t numberCores(const std::int64_t* groupSizes, std::int64_t groupCount, CorePlace* places);
