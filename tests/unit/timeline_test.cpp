// The page's timeline, which merges slots as a run grows, and the UTC text
// the page and the log write, read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "record/timeline.h"
#include "text/utc.h"

namespace {

constexpr std::int64_t startMs = 1796652180000;  // 2026-12-07T14:03:00.000Z

TEST(Timeline, MergedSlotsKeepTheirMaximumWhateverTheLength) {
    // 999 slots, exactly 1000, one more (the first merge), and three hours.
    for (const std::int64_t lengthMs : {99900, 100000, 100100, 10800000}) {
        SCOPED_TRACE(lengthMs);
        Timeline t{};
        ASSERT_TRUE(makeTimeline(t, 2, startMs, true));
        std::mt19937_64 random(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp)
        std::vector<std::int64_t> late;
        for (std::int64_t at = 0; at < lengthMs; at += 100) {
            late.push_back(static_cast<std::int64_t>(random() % 2000000) - 50000);
            addToTimeline(t, 1, startMs + at, late.back(), false);
            addToTimeline(t, 0, startMs + at, -late.back(), true);
        }
        std::int64_t slotMs = 100;
        while (lengthMs > slotMs * timelineSlots) slotMs *= 2;
        ASSERT_EQ(t.slotMs, slotMs);
        ASSERT_EQ(t.slotsUsed, ((lengthMs - 100) / slotMs) + 1);
        for (std::int64_t k = 0; k < timelineSlots; ++k) {
            std::int64_t timer = timelineEmpty;
            std::int64_t wake = timelineEmpty;
            for (std::int64_t e = k * slotMs / 100; e < std::min((k + 1) * slotMs / 100, std::int64_t(late.size())); ++e) {
                timer = std::max(timer, late[e]);
                wake = std::max(wake, -late[e]);
            }
            ASSERT_EQ(t.timerLateUs[timelineSlots + k], timer) << "slot " << k;
            ASSERT_EQ(t.wakeLateUs[k], wake) << "slot " << k;
            ASSERT_EQ(t.timerLateUs[k], timelineEmpty);
        }
        freeTimeline(t);
    }
}

TEST(ParseUtc, ReadsBackWhatFormatUtcWritesAndNothingElse) {
    const std::int64_t utcs[] = {startMs, 0, -1, 951782400000 /* 2000-02-29 */, 253402300799999, -62167219200000};
    for (const std::int64_t utc : utcs) {
        char text[utcTextCapacity];
        formatUtc(utc, text);
        std::int64_t back = 0;
        EXPECT_TRUE(parseUtc(text, 24, back)) << text;
        EXPECT_EQ(back, utc) << text;
    }
    for (const char* bad : {"2026-13-07T14:03:12.345Z", "2026-04-31T14:03:12.345Z", "2026-02-29T14:03:12.345Z",
                            "2100-02-29T14:03:12.345Z", "2026-12-07T24:03:12.345Z", "2026-12-07T14:03:60.345Z",
                            "2026-12-07 14:03:12.345Z", "2026-12-07T14:03:12.345+", "2026-12-07T14:03:1x.345Z",
                            "2026-12-07T14:03:12.34Z"}) {
        std::int64_t back = 0;
        EXPECT_FALSE(parseUtc(bad, std::string(bad).size(), back)) << bad;
    }
}

}  // namespace
