// The comparison of runs on tables of made-up logs: exact percentiles by
// narrowing against a sort, the runs of joined logs, the differences and
// the verdict line, the largest comparison, and the page that holds it all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "compare/rank_select.h"
#include "compare_support.h"

namespace {

TEST(RankSelection, NarrowsToTheValueASortFinds) {
    std::mt19937_64 random(7);  // NOLINT(cert-msc32-c,cert-msc51-cpp)
    struct Case {
        std::int64_t least;
        std::int64_t most;
        std::int64_t count;
    };
    const Case cases[] = {{5, 5, 10}, {-100000, 400000, 1}, {-100000, 400000, 5000}, {0, 3, 999},
                          {INT64_MIN / 2, INT64_MAX / 2, 3000}, {-1, 31622400000000, 2000}};
    for (const Case& c : cases) {
        std::vector<std::int64_t> values;
        std::uniform_int_distribution<std::int64_t> pick(c.least, c.most);
        for (std::int64_t k = 0; k < c.count; ++k) values.push_back(pick(random));
        const auto [least, most] = std::minmax_element(values.begin(), values.end());
        std::vector<std::int64_t> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        for (const std::int64_t perMille : {1, 500, 990, 999, 1000}) {
            RankSelection selection{};
            const std::int64_t rank = percentileRank(c.count, perMille);
            startRankSelection(selection, rank, *least, *most);
            int passes = 0;
            while (!selection.found && passes < 16) {
                for (const std::int64_t v : values) countForRank(selection, v);
                narrowRankSelection(selection);
                ++passes;
            }
            ASSERT_TRUE(selection.found) << c.count << " values, " << perMille;
            EXPECT_EQ(selection.low, sorted[static_cast<std::size_t>(rank - 1)]) << c.count << " values, " << perMille;
            EXPECT_LE(passes, 11);
        }
    }
    EXPECT_EQ(percentileRank(100, 990), 99);
    EXPECT_EQ(percentileRank(101, 990), 100);
    EXPECT_EQ(percentileRank(1, 999), 1);
    EXPECT_EQ(percentileRank(1000, 999), 999);
}

// Two runs joined into one file (two headers), then the same runs in two
// files: the same figures, named by run and by file.
TEST(Comparison, RunsOfJoinedLogsAreComparedWithExactPercentiles) {
    std::vector<std::int64_t> stalled(98, 1000);
    stalled.insert(stalled.end(), {14800, 14800});
    const std::vector<std::int64_t> quiet(100, 1200);
    std::vector<MemoryLog> joined{{header + runOf("LAB-1", stalled) + header + runOf("LAB-1", quiet, 60000)}};
    const Compared one(joined, {"C:\\logs\\joined.csv"});
    ASSERT_TRUE(one.good) << one.error;
    ASSERT_EQ(one.comparison.runCount, 2);
    EXPECT_FALSE(one.comparison.byLevel);
    EXPECT_EQ(one.comparison.baseline, 0);
    EXPECT_EQ(std::string(one.comparison.runs[0].file), "joined.csv, run 1");
    EXPECT_EQ(std::string(one.comparison.runs[1].file), "joined.csv, run 2");
    const ComparedCore& a = one.comparison.runs[0].cores[1];
    EXPECT_EQ(a.events, 100);
    EXPECT_EQ(a.p99Us, 14800);
    EXPECT_EQ(a.p999Us, 14800);
    EXPECT_EQ(a.maxUs, 14800);
    EXPECT_EQ(a.stalls, 2);
    EXPECT_FALSE(a.p99.highKnown) << "100 events cannot tell the 99th percentile's upper end";
    EXPECT_EQ(one.comparison.runs[1].cores[1].p99Us, 1200);
    // Two stalls against none in 100 events: not a difference.
    EXPECT_EQ(one.verdictOf(1, 1), Verdict::tooFew);
    // 47 / (2 / 200) = 4,700 events, 7.8 minutes at 10 a second.
    EXPECT_EQ(one.verdict(1), "core 1: B against A: too few events to tell (measure about 8 minutes; fewer with --fine, "
                              "whose wake-ups see every stall)");
    EXPECT_GE(one.comparison.passes, 3) << "the percentiles took readings of their own";
    EXPECT_FALSE(one.comparison.differentMachines);
    // The runs' times: from their first judged event to their last.
    EXPECT_TRUE(one.comparison.runs[0].timed);
    EXPECT_EQ(one.comparison.runs[0].fromUtcMs, one.comparison.runs[0].toUtcMs - 9901);
    EXPECT_EQ(one.comparison.runs[1].fromUtcMs - one.comparison.runs[0].fromUtcMs, 60000);

    // Without the second header (joined with tail -n +2): the program's note
    // begins the second run all the same.
    std::vector<MemoryLog> headless{{header + runOf("LAB-1", stalled) + runOf("LAB-2", quiet, 60000)}};
    const Compared two(headless, {"headless.csv"});
    ASSERT_TRUE(two.good) << two.error;
    EXPECT_EQ(two.comparison.runCount, 2);
    EXPECT_TRUE(two.comparison.differentMachines) << "LAB-1 and LAB-2";
    const std::string page = two.page();
    EXPECT_NE(page.find("<section id=\"comparison\">"), std::string::npos);
    EXPECT_NE(page.find("id=\"different-machines\""), std::string::npos);
    EXPECT_NE(page.find("<li data-core=\"1\">core 1: B against A: too few events to tell"), std::string::npos) << page;
    EXPECT_EQ(page.find("\xe2\x98\x85 B"), std::string::npos) << "no mark without a difference beyond noise";
    // The difference against the baseline, per figure, of the means shown.
    EXPECT_NE(page.find("<tr data-run=\"B\" data-p99-us=\"1200\" data-verdict=\"too few events\"><td class=\"text\">B</td>"
                        "<td class=\"text judged\">too few events to tell (measure about 8 minutes; fewer with --fine, whose "
                        "wake-ups see every stall)</td><td>100</td><td>1.200</td><td>1.200<br><small>1.200 to ?</small></td>"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("<td>\xe2\x88\x92" "0.076</td><td>\xe2\x88\x92" "13.600</td>"), std::string::npos);
    EXPECT_NE(page.find("<b>A</b> (the baseline)"), std::string::npos);
}

// The page for the browser check: three runs, one better and one worse
// beyond noise than the baseline on core 1, alike on core 0.
TEST(Comparison, ThreeRunsAgainstTheBaselineNotTheBestOrThePrevious) {
    Random random{1};
    auto quietCore = [&](std::int64_t) { return 300 + random.below(400); };
    auto runWith = [&](std::int64_t stallEvery, std::int64_t fromMs) {
        return header + madeUpRun("LAB-1", 2, 3000, [&](std::int64_t core, std::int64_t k) {
                   if (core == 0) return quietCore(k);
                   return stallEvery > 0 && k % stallEvery == 0 ? std::int64_t{8000} : 500 + random.below(1000);
               }, fromMs);
    };
    // A: 1 % stalls (the baseline), B: none, C: 5 %.
    std::vector<MemoryLog> logs{{runWith(100, 0)}, {runWith(0, 400000)}, {runWith(20, 800000)}};
    const Compared c(logs, {"a.csv", "b.csv", "c.csv"});
    ASSERT_TRUE(c.good) << c.error;
    EXPECT_EQ(c.comparison.baseline, 0);
    EXPECT_EQ(c.comparison.runs[0].cores[1].stalls, 30);
    EXPECT_EQ(c.comparison.runs[2].cores[1].stalls, 150);
    EXPECT_EQ(c.verdictOf(1, 1), Verdict::better);
    EXPECT_EQ(c.verdictOf(2, 1), Verdict::worse);
    EXPECT_EQ(c.of(2, 1).baseline.stalls, 30) << "C against A, not against the best or the previous run";
    EXPECT_EQ(c.of(1, 1).baseline.stalls, 30);
    EXPECT_EQ(c.verdictOf(1, 0), Verdict::noDifference);
    EXPECT_EQ(c.verdictOf(2, 0), Verdict::noDifference);
    EXPECT_EQ(c.verdict(1).substr(0, 53), "core 1: B against A: better beyond noise (stall rate)");
    EXPECT_NE(c.verdict(1).find("; C against A: worse beyond noise"), std::string::npos) << c.verdict(1);
    const std::string page = c.page();
    EXPECT_NE(page.find("\xe2\x98\x85 B"), std::string::npos);
    EXPECT_EQ(page.find("\xe2\x98\x85 C"), std::string::npos);
    EXPECT_EQ(page.find("\xe2\x98\x85 A"), std::string::npos);
    // C's differences are against A's figures.
    const ComparedCore& a = c.comparison.runs[0].cores[1];
    const ComparedCore& cc = c.comparison.runs[2].cores[1];
    TextBuffer cells{};
    makeTextBuffer(cells, 256);
    appendText(cells, "<td>");
    const std::int64_t delta = cc.meanUs - a.meanUs;
    appendText(cells, delta < 0 ? "\xe2\x88\x92" : "+");
    appendDecimal(cells, delta < 0 ? -delta : delta, 1000, 3);
    appendText(cells, "</td><td>+");
    appendDecimal(cells, cc.p99Us - a.p99Us, 1000, 3);
    appendText(cells, "</td>");
    const std::string expected(cells.data, cells.size);
    freeTextBuffer(cells);
    const std::size_t row = page.find("<tr data-run=\"C\"", page.find("id=\"compare-core-1\""));
    ASSERT_NE(row, std::string::npos);
    EXPECT_NE(page.substr(row, page.find("</tr>", row) - row).find(expected), std::string::npos)
        << expected << " in " << page.substr(row, 900);
    // For the browser check of the samples (tests/CMakeLists.txt).
    if (const char* dir = std::getenv("VANTREL_SAMPLE_PAGE_DIR")) {  // NOLINT(concurrency-mt-unsafe)
        std::ofstream(std::string(dir) + "/sample-compare.html", std::ios::binary) << page;
    }
    // The JSON: an object per core of each run but the baseline.
    const std::string json = c.json();
    EXPECT_NE(json.find("{\"core\": 1, \"run\": \"B\", \"against\": \"A\", \"source\": \"timer\", \"verdict\": \"better\""),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"core\": 0, \"run\": \"C\", \"against\": \"A\", \"source\": \"timer\", \"verdict\": \"no difference\""),
              std::string::npos);
    EXPECT_EQ(json.find("\"run\": \"A\", \"against\""), std::string::npos) << "no verdict for the baseline";
}

TEST(Comparison, PercentilesAreTheirOwnAndExact) {
    // 2,000 events 1 .. 2000 us: the 99th is the 1980th, the 99.9th the 1998th.
    std::vector<std::int64_t> values;
    for (std::int64_t k = 1; k <= 2000; ++k) values.push_back((k * 7919) % 2000 + 1);
    std::vector<MemoryLog> logs{{header + runOf("LAB-1", values)}, {header + runOf("LAB-1", values, 600000)}};
    const Compared c(logs, {"a.csv", "b.csv"});
    ASSERT_TRUE(c.good) << c.error;
    const ComparedCore& a = c.comparison.runs[0].cores[1];
    EXPECT_EQ(a.p99Us, 1980);
    EXPECT_EQ(a.p999Us, 1998);
    EXPECT_EQ(a.p99.us, 1980);
    // The interval's ends are the values at the judge's ranks.
    const PercentileRanks ranks = percentileRanks(2000, 990, c.comparison.intervalMiss);
    EXPECT_EQ(a.p99.lowUs, ranks.low);
    EXPECT_EQ(a.p99.highUs, ranks.high);
    EXPECT_EQ(c.verdictOf(1, 1), Verdict::noDifference);
    // The page's columns: the 99th, then the 99.9th.
    const std::string page = c.page();
    const std::size_t row = page.find("<tr data-run=\"A\"", page.find("id=\"compare-core-1\""));
    ASSERT_NE(row, std::string::npos);
    const std::string cells = page.substr(row, page.find("</tr>", row) - row);
    const std::size_t p99 = cells.find("<td>1.980<br><small>");
    EXPECT_NE(p99, std::string::npos) << cells;
    EXPECT_NE(cells.find("<td>1.998<br><small>", p99), std::string::npos) << cells;
}

TEST(Comparison, AStallIsMoreThanFiveMillisecondsAndEarlyIsOnTime) {
    std::vector<std::int64_t> five(400, 5000);
    std::vector<std::int64_t> early(400, -40000);
    five[0] = 5001;
    std::vector<MemoryLog> logs{{header + runOf("LAB-1", five)}, {header + runOf("LAB-1", early, 600000)}};
    const Compared c(logs, {"a.csv", "b.csv"});
    ASSERT_TRUE(c.good) << c.error;
    EXPECT_EQ(c.comparison.runs[0].cores[1].stalls, 1) << "5,000 us is not a stall, 5,001 us is";
    // Early events count as on time: 0, never below.
    EXPECT_EQ(c.comparison.runs[1].cores[1].p99Us, 0);
    EXPECT_EQ(c.comparison.runs[1].cores[1].meanUs, -40000) << "the mean is shown as it is";
}

TEST(Comparison, ThirtyPercentEarlyIsNotBetter) {
    Random random{5};
    auto late = [&](std::int64_t) { return random.below(1000) < 10 ? 6000 + random.below(20000) : random.below(2000); };
    std::vector<std::int64_t> plain;
    std::vector<std::int64_t> early;
    for (std::int64_t k = 0; k < 6000; ++k) plain.push_back(late(k));
    for (std::int64_t k = 0; k < 6000; ++k) early.push_back(k % 10 < 3 ? -30000 : late(k));
    std::vector<MemoryLog> logs{{header + runOf("LAB-1", plain)}, {header + runOf("LAB-1", early, 900000)}};
    const Compared c(logs, {"a.csv", "b.csv"});
    ASSERT_TRUE(c.good) << c.error;
    EXPECT_NE(c.verdictOf(1, 1), Verdict::better) << c.verdict(1);
    EXPECT_NE(c.verdictOf(1, 1), Verdict::mixed) << c.verdict(1);
    EXPECT_LT(c.comparison.runs[1].cores[1].meanUs, c.comparison.runs[0].cores[1].meanUs) << "a lower mean";
}

// The run A: one 409 ms stall in 115 events, B none; the limit of
// 50 ms crossed in A, and no mark on either.
TEST(Comparison, OneStallInAHundredIsTooFewAndTheLimitSaysSo) {
    std::vector<std::int64_t> a(115, 2000);
    a[50] = 409000;
    const std::vector<std::int64_t> b(115, 3400);
    std::vector<MemoryLog> logs{{header + runOf("LAB-1", a)}, {header + runOf("LAB-1", b, 60000)}};
    const Compared c(logs, {"a.csv", "b.csv"}, 50000);
    ASSERT_TRUE(c.good) << c.error;
    EXPECT_TRUE(c.comparison.runs[0].crossed);
    EXPECT_FALSE(c.comparison.runs[1].crossed);
    EXPECT_EQ(c.verdictOf(1, 1), Verdict::tooFew);
    const std::string page = c.page();
    EXPECT_EQ(page.find("\xe2\x98\x85 A"), std::string::npos) << "no star";
    EXPECT_EQ(page.find("\xe2\x98\x85 B"), std::string::npos) << "no star";
    EXPECT_NE(page.find("Later than the limit of 50.000 ms in A</p>"), std::string::npos);
}

// An hour of each: 40 stalls on core 1 against 3 is better; core 0 alike.
TEST(Comparison, FortyStallsAgainstThreeInAnHour) {
    auto late = [](std::int64_t stallEvery) {
        return [stallEvery](std::int64_t core, std::int64_t k) -> std::int64_t {
            if (core == 1 && k % stallEvery == 7) return 12000;
            return 400 + (k * 37 + core * 11) % 900;
        };
    };
    std::vector<MemoryLog> logs{{header + madeUpRun("LAB-1", 2, 36000, late(900))},
                                {header + madeUpRun("LAB-1", 2, 36000, late(12000), 4000000)}};
    const Compared c(logs, {"many.csv", "few.csv"});
    ASSERT_TRUE(c.good) << c.error;
    EXPECT_EQ(c.comparison.runs[0].cores[1].stalls, 40);
    EXPECT_EQ(c.comparison.runs[1].cores[1].stalls, 3);
    EXPECT_EQ(c.verdictOf(1, 1), Verdict::better) << c.verdict(1);
    EXPECT_EQ(c.verdictOf(1, 0), Verdict::noDifference) << c.verdict(0);
    EXPECT_NEAR(c.of(1, 1).pValue, 3.0213413992896676e-09, 1e-14);
}

TEST(Comparison, TheMeansDifferenceIsTheDifferenceOfTheMeansShown) {
    // Means of 1234.5 us (shown 1.235) and 1000.4 us (shown 1.000): 0.235.
    std::vector<std::int64_t> a(2, 0);
    a[0] = 1234;
    a[1] = 1235;
    std::vector<std::int64_t> b(5, 1000);
    b[0] = 1002;
    std::vector<MemoryLog> logs{{header + runOf("LAB-1", a)}, {header + runOf("LAB-1", b, 60000)}};
    const Compared c(logs, {"a.csv", "b.csv"});
    ASSERT_TRUE(c.good) << c.error;
    EXPECT_EQ(c.comparison.runs[0].cores[1].meanUs, 1235);
    EXPECT_EQ(c.comparison.runs[1].cores[1].meanUs, 1000);
    const std::string page = c.page();
    EXPECT_NE(page.find("<td>1.000</td><td>1.002<br><small>"), std::string::npos) << page;
    EXPECT_NE(page.find("<td>\xe2\x88\x92" "0.235</td>"), std::string::npos);
}

// Runs of one distribution: no difference on any core, however many.
TEST(Comparison, RunsOfOneDistributionShowNoDifference) {
    Random random{99};
    std::vector<MemoryLog> logs;
    std::vector<std::string> names;
    for (int run = 0; run < 8; ++run) {
        logs.push_back(MemoryLog{header + madeUpRun("LAB-1", 4, 4000, [&](std::int64_t, std::int64_t) {
                                     return random.below(100) < 2 ? 6000 + random.below(30000) : random.below(2500) - 200;
                                 }, std::int64_t{500000} * run)});
        names.push_back("run" + std::to_string(run) + ".csv");
    }
    const Compared c(logs, names);
    ASSERT_TRUE(c.good) << c.error;
    for (std::int64_t r = 1; r < 8; ++r) {
        for (std::int64_t core = 0; core < 4; ++core) {
            EXPECT_EQ(c.verdictOf(r, core), Verdict::noDifference) << c.verdict(core);
        }
    }
}

// The largest comparison fits its capacity with texts that escape long.
TEST(Comparison, EightRunsOf256CoresFitTheirCapacity) {
    std::vector<MemoryLog> logs;
    std::vector<std::string> names;
    for (int k = 0; k < 8; ++k) {
        std::string text = header + note(0, "vantrel=1.4.0") + note(0, "machine=<&\"'>" + std::string(43, '&')) +
                           note(0, "power_plan=" + std::string(48, '<'));
        for (std::int64_t core = 0; core < 256; ++core) text += timer(100, core, 1000 * core + k);
        for (std::int64_t change = 0; change < 64; ++change) text += note(200 + change, "priority=above normal;class=normal");
        for (std::int64_t core = 0; core < 256; ++core) text += timer(300, core, 1000 * core + k);
        logs.push_back(MemoryLog{text});
        names.push_back(std::string(120, 'n') + std::to_string(k));
    }
    const Compared c(logs, names, 5000, true);
    ASSERT_TRUE(c.good) << c.error;
    EXPECT_EQ(c.comparison.coreCount, 256);
    EXPECT_FALSE(c.page().empty());
    EXPECT_FALSE(c.json().empty());
}

}  // namespace
