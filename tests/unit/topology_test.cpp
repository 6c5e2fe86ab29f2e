// Numbering of the cores across processor groups: the group and the affinity
// mask within it of each core, and the cap at the tables' capacity.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/sample_tables.h"
#include "engine/topology.h"

namespace {

struct Expected {
    std::int64_t core;
    std::int64_t group;
    std::uint64_t mask;
};

struct TopologyCase {
    const char* name;
    std::vector<std::int64_t> groupSizes;
    std::int64_t count;
    std::vector<Expected> cores;
};

const TopologyCase topologyCases[] = {
    {"one group of 2", {2}, 2, {{0, 0, 0x1}, {1, 0, 0x2}}},
    {"one group of 64", {64}, 64, {{0, 0, 0x1}, {35, 0, 0x800000000}, {63, 0, 0x8000000000000000}}},
    {"two groups of 64",
     {64, 64},
     128,
     {{63, 0, 0x8000000000000000}, {64, 1, 0x1}, {65, 1, 0x2}, {127, 1, 0x8000000000000000}}},
    {"36 and 28", {36, 28}, 64, {{35, 0, 0x800000000}, {36, 1, 0x1}, {63, 1, 0x8000000}}},
    {"64 and 4", {64, 4}, 68, {{63, 0, 0x8000000000000000}, {64, 1, 0x1}, {67, 1, 0x8}}},
    {"five groups of 64: the first 256",
     {64, 64, 64, 64, 64},
     256,
     {{128, 2, 0x1}, {192, 3, 0x1}, {255, 3, 0x8000000000000000}}},
    {"a group reporting 70 holds 64", {70, 2}, 66, {{63, 0, 0x8000000000000000}, {64, 1, 0x1}, {65, 1, 0x2}}},
    {"an empty group keeps the next one's number", {0, 3}, 3, {{0, 1, 0x1}, {2, 1, 0x4}}},
    {"a negative group counts as empty", {-5, 2}, 2, {{0, 1, 0x1}, {1, 1, 0x2}}},
    {"no groups: the one processor we run on", {}, 1, {{0, 0, 0x1}}},
    {"only empty groups", {0, 0}, 1, {{0, 0, 0x1}}},
};

TEST(Topology, CoresAreNumberedGroupByGroup) {
    for (const TopologyCase& c : topologyCases) {
        // Exactly the tables' capacity, so a write beyond it shows under ASan.
        std::vector<CorePlace> places(static_cast<std::size_t>(maxCores));
        const std::int64_t count = numberCores(c.groupSizes.data(),
                                               static_cast<std::int64_t>(c.groupSizes.size()), places.data());
        ASSERT_EQ(count, c.count) << c.name;
        for (const Expected& e : c.cores) {
            const CorePlace& place = places[static_cast<std::size_t>(e.core)];
            EXPECT_EQ(place.group, e.group) << c.name << ", core " << e.core;
            EXPECT_EQ(place.mask, e.mask) << c.name << ", core " << e.core;
        }
    }
}

TEST(Topology, MaskOfAPositionOutsideAGroupIsEmpty) {
    EXPECT_EQ(affinityMaskOf(0), 0x1u);
    EXPECT_EQ(affinityMaskOf(63), 0x8000000000000000u);
    EXPECT_EQ(affinityMaskOf(64), 0u);
    EXPECT_EQ(affinityMaskOf(-1), 0u);
}

}  // namespace
