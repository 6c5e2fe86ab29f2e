// The one keeper of worst events and its tie rule.
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/wake_figures.h"
#include "engine/worst_list.h"

namespace {

TEST(WorstList, KeepsTheLargestFirstTiesToTheEarlierThenTheLowerCore) {
    // Offered in this order into a list of 4; then the list as it must be.
    const WakeEvent offered[] = {{1, 50, 300}, {0, 60, 300}, {2, 40, 300}, {3, 40, 300}, {1, 10, 100},
                                 {0, 90, 900}, {5, 45, 300}, {4, 40, 300}};
    const WakeEvent expected[] = {{0, 90, 900}, {2, 40, 300}, {3, 40, 300}, {4, 40, 300}};
    WakeEvent kept[4] = {};
    std::int64_t count = 0;
    for (const WakeEvent& event : offered) keepWorst(kept, count, 4, event, wakeRanksBefore);
    ASSERT_EQ(count, 4);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(kept[k].core, expected[k].core) << "place " << k;
        EXPECT_EQ(kept[k].utcMs, expected[k].utcMs) << "place " << k;
        EXPECT_EQ(kept[k].lateUs, expected[k].lateUs) << "place " << k;
    }
    EXPECT_EQ(keepWorst(kept, count, 4, WakeEvent{9, 99, 300}, wakeRanksBefore), -1) << "ties the last, but later";
    EXPECT_EQ(keepWorst(kept, count, 4, WakeEvent{1, 40, 300}, wakeRanksBefore), 1) << "same time, lower core than all";
    std::int64_t none = 0;
    EXPECT_EQ(keepWorst(kept, none, 0, WakeEvent{1, 1, 1}, wakeRanksBefore), -1) << "no room at all";
}

}  // namespace
