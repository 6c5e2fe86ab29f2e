// The page of a run and what it is drawn from: the merging timeline, UTC
// text read back, the log reader on good and bad logs, and the page's parts.
// With VANTREL_SAMPLE_PAGE_DIR set, the pages made here are also written
// there (sample-small.html, sample-week-64.html) for a browser to check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "record/html_format.h"
#include "record/log_reader.h"
#include "record/parse_utc.h"
#include "record/report_format.h"
#include "record/timeline.h"

namespace {

constexpr std::int64_t startMs = 1796652180000;  // 2026-12-07T14:03:00.000Z

void writeSample(const char* name, const TextBuffer& page) {
    const char* dir = std::getenv("VANTREL_SAMPLE_PAGE_DIR");  // NOLINT(concurrency-mt-unsafe)
    if (dir == nullptr) return;
    std::ofstream(std::string(dir) + "/" + name, std::ios::binary).write(page.data, static_cast<std::streamsize>(page.size));
}

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
            std::int64_t expected = timelineEmpty;
            std::int64_t expectedWake = timelineEmpty;
            for (std::int64_t e = k * slotMs / 100; e < (k + 1) * slotMs / 100 && e < std::int64_t(late.size()); ++e) {
                expected = std::max(expected, late[e]);
                expectedWake = std::max(expectedWake, -late[e]);
            }
            ASSERT_EQ(t.timerLateUs[timelineSlots + k], expected) << "slot " << k;
            ASSERT_EQ(t.wakeLateUs[k], expectedWake) << "slot " << k;
            ASSERT_EQ(t.timerLateUs[k], timelineEmpty);
        }
        EXPECT_EQ(*std::max_element(t.timerLateUs, t.timerLateUs + 2 * timelineSlots),
                  *std::max_element(late.begin(), late.end()));
        freeTimeline(t);
    }
}

TEST(ParseUtc, ReadsBackWhatFormatUtcWritesAndNothingElse) {
    for (const std::int64_t utc : {startMs, std::int64_t{0}, std::int64_t{-1}, std::int64_t{951782400000} /* 2000-02-29 */,
                                   std::int64_t{253402300799999}, std::int64_t{-62167219200000}}) {
        char text[utcTextCapacity];
        formatUtc(utc, text);
        std::int64_t back = 0;
        EXPECT_TRUE(parseUtc(text, 24, back)) << text;
        EXPECT_EQ(back, utc) << text;
    }
    for (const char* bad : {"2026-13-07T14:03:12.345Z", "2026-04-31T14:03:12.345Z", "2026-02-29T14:03:12.345Z", "2100-02-29T14:03:12.345Z",
                            "2026-12-07T24:03:12.345Z", "2026-12-07T14:03:60.345Z", "2026-12-07 14:03:12.345Z",
                            "2026-12-07T14:03:12.345+", "2026-12-07T14:03:1x.345Z", "2026-12-07T14:03:12.34Z"}) {
        std::int64_t back = 0;
        EXPECT_FALSE(parseUtc(bad, std::string(bad).size(), back)) << bad;
    }
}

const char goodLog[] =
    "utc,core,late_ms,late_us\n"
    "2026-12-07T14:03:00.000Z,0,1,900\n"
    "2026-12-07T14:03:00.010Z,1,0,-120\n"
    "2026-12-07T14:03:00.100Z,0,0,300\n"
    "2026-12-07T14:03:04.459Z,1,358,357883\n"
    "2026-12-07T14:03:04.500Z,0,2,2100\n"
    "2026-12-07T14:03:08.000Z,1,0,50\n";
const char goodLogWithWakes[] =
    "utc,core,late_ms,late_us,source\n"
    "2026-12-07T14:03:00.000Z,0,1,900,timer\n"
    "2026-12-07T14:03:00.001Z,1,3,3400,wake\n"
    "2026-12-07T14:03:00.100Z,1,12,12000,timer\r\n"
    "2026-12-07T14:03:02.000Z,0,1,1200,wake\n";

struct LogCase {
    const char* name;
    std::string text;
    const char* error;  // a part of the message, or null for a good log
    std::int64_t coreCount;
    std::int64_t timerLines;
    bool endsEarly;
    bool wakes;
};

TEST(LogReader, GoodAndBadLogsInAnyChunks) {
    const std::string good = goodLog;
    const LogCase cases[] = {
        {"version 1.1", good, nullptr, 2, 6, false, false},
        {"version 1.2 with wakes", goodLogWithWakes, nullptr, 2, 2, false, true},
        {"cut in a line", good + "2026-12-07T14:03:08.100Z,0,3", nullptr, 2, 6, true, false},
        {"empty", "", "the log is empty", 0, 0, false, false},
        {"header only", "utc,core,late_ms,late_us\n", "no events", 0, 0, false, false},
        {"missing header", good.substr(25), "line 1: not a log", 0, 0, false, false},
        {"not a log", "name,value\n\x7f" "ELF\x02\x01\n", "line 1: not a log", 0, 0, false, false},
        {"binary", std::string(300, '\x01'), "line 1: longer than any line", 0, 0, false, false},
        {"core beyond 255", good + "2026-12-07T14:03:09.000Z,256,0,1\n", "line 8: core '256' is beyond", 0, 0, false, false},
        {"a source in 1.1", good + "2026-12-07T14:03:09.000Z,1,0,1,timer\n", "line 8: expected 4 fields", 0, 0, false, false},
        {"unknown source", std::string(goodLogWithWakes) + "2026-12-07T14:03:09.000Z,1,0,1,tick\n",
         "line 6: source 'tick' is neither", 0, 0, false, false},
        {"bad time", good + "2026-12-07T14:03:09Z,1,0,1\n", "line 8: utc '2026-12-07T14:03:09Z'", 0, 0, false, false},
        {"bad number", good + "2026-12-07T14:03:09.000Z,1,0,1e3\n", "line 8: late_us '1e3' is not", 0, 0, false, false},
        {"empty line", good + "\n", "line 8: an empty line", 0, 0, false, false},
    };
    for (const LogCase& c : cases) {
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
            SCOPED_TRACE(std::string(c.name) + ", chunks of " + std::to_string(chunk));
            LogReader reader{};
            ASSERT_TRUE(makeLogReader(reader));
            for (std::size_t at = 0; at < c.text.size(); at += chunk) {
                readLogChunk(reader, c.text.data() + at, std::min(chunk, c.text.size() - at));
            }
            const bool read = finishLog(reader);
            if (c.error != nullptr) {
                EXPECT_FALSE(read);
                EXPECT_NE(std::string(reader.error.data).find(c.error), std::string::npos) << reader.error.data;
            } else {
                EXPECT_TRUE(read) << reader.error.data;
                EXPECT_EQ(reader.coreCount, c.coreCount);
                EXPECT_EQ(reader.timerLines, c.timerLines);
                EXPECT_EQ(reader.endsEarly, c.endsEarly);
                EXPECT_EQ(reader.sawWakes, c.wakes);
            }
            freeLogReader(reader);
        }
    }
}

TEST(LogReader, SummaryHoldsTheLogsFigures) {
    LogReader reader{};
    ASSERT_TRUE(makeLogReader(reader));
    readLogChunk(reader, goodLogWithWakes, sizeof goodLogWithWakes - 1);
    ASSERT_TRUE(finishLog(reader));
    RunSummary run{};
    summaryFromLog(reader, run, "1.2.0", 10000);
    EXPECT_EQ(run.startedUtcMs, startMs);
    EXPECT_EQ(run.elapsedMs, 2000);
    EXPECT_TRUE(run.thresholdCrossed);  // 12 ms on core 1
    ASSERT_EQ(run.worstTimerCount, 2);
    EXPECT_EQ(run.worstTimer[0].core, 1);
    EXPECT_EQ(run.worstTimer[0].lateUs, 12000);
    EXPECT_EQ(run.cores[1].maxMs, 12);
    ASSERT_NE(run.wakes, nullptr);
    EXPECT_EQ(run.wakes[1].events, 1);
    EXPECT_EQ(run.wakes[1].over1ms, 1);
    EXPECT_EQ(run.wakes[0].maxUs, 1200);
    ASSERT_EQ(run.worstWakeCount, 2);
    EXPECT_EQ(run.worstWakes[0].lateUs, 3400);
    EXPECT_EQ(run.timeline->coreCount, 2);
    EXPECT_EQ(run.timeline->wakeLateUs[20], 1200);  // core 0 at 2 s: slot 20
    freeLogReader(reader);
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(Page, SmallRunHasEveryPartAndNothingFromOutside) {
    LogReader reader{};
    ASSERT_TRUE(makeLogReader(reader));
    const std::string log = std::string(goodLog) + "2026-12-07T14:03:08.1";  // ends early
    readLogChunk(reader, log.data(), log.size());
    ASSERT_TRUE(finishLog(reader));
    RunSummary run{};
    summaryFromLog(reader, run, "1.2.0", 250000);
    TextBuffer out{};
    ASSERT_TRUE(makeTextBuffer(out, htmlCapacity(run.coreCount, false)));
    formatHtml(run, out);
    ASSERT_FALSE(out.overflowed);
    writeSample("sample-small.html", out);
    const std::string page = out.data;

    for (const char* part : {"id=\"timeline-core-0\"", "id=\"timeline-core-1\"", "id=\"histogram-core-0\"",
                             "id=\"histogram-core-1\"", "id=\"worst-events\"", "id=\"log-ends-early\"",
                             "class=\"verdict crossed\"", "@media print", "@media (max-width", "name=\"viewport\""}) {
        EXPECT_EQ(countOf(page, part), 1U) << part;
    }
    for (const char* outside : {"<script", "http://", "https://", "src=", "href=", "url(", "@import", "timeline-core-2"}) {
        EXPECT_EQ(countOf(page, outside), 0U) << outside;
    }
    // One row per event, largest first: the 358 ms stall on core 1 leads.
    const std::string table = page.substr(page.find("id=\"worst-events\""));
    const std::string body = table.substr(0, table.find("</tbody>"));
    EXPECT_EQ(countOf(body, "<tr data-core"), 6U);
    EXPECT_NE(body.find("<tr data-core=\"1\" data-utc=\"1796652184459\" data-late-us=\"357883\"><td>1</td>"),
              std::string::npos);
    std::vector<std::int64_t> lateUs;
    for (std::size_t at = body.find("data-late-us=\""); at != std::string::npos; at = body.find("data-late-us=\"", at + 1)) {
        lateUs.push_back(std::stoll(body.substr(at + 14)));
    }
    EXPECT_TRUE(std::is_sorted(lateUs.rbegin(), lateUs.rend()));
    // The stall is marked on core 1's timeline, not on core 0's.
    const std::size_t core1 = page.find("id=\"timeline-core-1\"");
    const std::size_t mark = page.find("class=\"worst-mark\" data-core=\"1\" data-utc=\"1796652184459\"");
    EXPECT_GT(mark, core1);
    EXPECT_LT(mark, page.find("</svg>", core1));
    freeTextBuffer(out);
    freeLogReader(reader);
}

TEST(Page, WeekOf64CoresWithWakesFitsItsCapacityAndTwoMegabytes) {
    constexpr std::int64_t cores = 64;
    constexpr std::int64_t weekMs = 7 * 86400000LL;
    Timeline timeline{};
    ASSERT_TRUE(makeTimeline(timeline, cores, startMs, true));
    std::vector<CoreStatistics> statistics(cores, CoreStatistics{});
    std::vector<WakeStatistics> wakes(cores, WakeStatistics{});
    bool sampled[cores];
    std::fill(sampled, sampled + cores, true);
    std::mt19937_64 random(11);  // NOLINT(cert-msc32-c,cert-msc51-cpp)
    // A quiet machine with a stall now and then, one event a minute.
    for (std::int64_t at = 0; at < weekMs; at += 60000) {
        for (std::int64_t c = 0; c < cores; ++c) {
            const auto late = static_cast<std::int64_t>(random() % 3000 + (random() % 700 == 0 ? random() % 2000000 : 0));
            addToTimeline(timeline, c, startMs + at, late, false);
            addToTimeline(timeline, c, startMs + at, late / 3, true);
            addToStatistics(statistics[c], TimerEvent{c, late / 1000, late, startMs + at});
        }
    }
    std::vector<WorstEvent> worst;
    std::vector<WakeEvent> worstWakes;
    for (std::int64_t k = 0; k < worstEventsKept; ++k) {
        worst.push_back({k * 3, startMs + k * 30000000, 20000000 - k});
        worstWakes.push_back({k * 3, startMs + k * 30000000, 2000000 - k});
    }
    std::vector<Problem> problems(problemsKept, Problem{startMs, {}});
    for (Problem& p : problems) std::fill(p.text, p.text + problemTextCapacity - 1, '"');
    const RunSummary run{"1.2.0", "A-VERY-LONG-MACHINE-NAME", "Windows 10.0.19045", startMs, startMs + weekMs,
                         weekMs, false, 50000, true, cores, statistics.data(), sampled, 0, 40, problems.data(),
                         problemsKept, worst.data(), worstEventsKept, wakes.data(), "waitable timer", 500,
                         worstWakes.data(), worstWakesKept, &timeline, false};
    TextBuffer out{};
    ASSERT_TRUE(makeTextBuffer(out, htmlCapacity(cores, true)));
    formatHtml(run, out);
    EXPECT_FALSE(out.overflowed);
    EXPECT_LE(out.size, 2U * 1024 * 1024);
    EXPECT_NE(std::string(out.data).find("<meta http-equiv=\"refresh\""), std::string::npos);  // still running
    std::printf("64 cores, a week, with wake-ups: %zu bytes of %zu\n", out.size, out.capacity);
    writeSample("sample-week-64.html", out);
    freeTextBuffer(out);
    freeTimeline(timeline);
}

}  // namespace
