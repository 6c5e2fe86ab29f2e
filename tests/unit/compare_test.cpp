// The comparison of runs on tables of made-up logs: exact percentiles by
// narrowing against a sort, the runs of joined logs, the levels of one run
// with their unjudged first periods, the differences and the verdict line,
// the warnings, the limit, and the page that holds it all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "compare/compare_page.h"
#include "compare/compare_runs.h"
#include "compare/rank_select.h"
#include "verdict/judge.h"

namespace {

struct MemoryLog {
    std::string text;
    std::size_t at = 0;
};

bool readMemory(void* context, char* bytes, std::size_t capacity, std::size_t& got) {
    auto& log = *static_cast<MemoryLog*>(context);
    // Small pieces, so that lines are cut across reads.
    got = std::min<std::size_t>({capacity, 37, log.text.size() - log.at});
    log.text.copy(bytes, got, log.at);
    log.at += got;
    return true;
}

bool rewindMemory(void* context) {
    static_cast<MemoryLog*>(context)->at = 0;
    return true;
}

const std::string header = "utc,core,late_ms,late_us,source\n";

// "2026-12-07T14:03:SS.mmmZ" for `ms` after 14:03:00 (into the next hours
// and days of December for long runs).
std::string at(std::int64_t ms) {
    const auto two = [](std::int64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); };
    const std::int64_t thousandths = ms % 1000;
    const std::int64_t minutes = 14 * 60 + 3 + ms / 60000;
    return "2026-12-" + two(7 + minutes / 1440) + "T" + two(minutes / 60 % 24) + ":" + two(minutes % 60) + ":" +
           two(ms / 1000 % 60) + "." + (thousandths < 100 ? "0" : "") + two(thousandths) + "Z";
}

std::string timer(std::int64_t ms, std::int64_t core, std::int64_t lateUs) {
    return at(ms) + "," + std::to_string(core) + "," + std::to_string(lateUs / 1000) + "," + std::to_string(lateUs) + ",timer\n";
}

std::string note(std::int64_t ms, const std::string& text) {
    return at(ms) + ",,,," + text + "\n";
}

// A run's lines: the context, then `values` of core 1 (core 0 quiet) every 100 ms.
std::string runOf(const std::string& machine, const std::vector<std::int64_t>& values, std::int64_t fromMs = 0) {
    std::string text = note(fromMs, "vantrel=1.4.0") + note(fromMs, "machine=" + machine) + note(fromMs, "priority=normal;class=normal");
    for (std::size_t k = 0; k < values.size(); ++k) {
        const auto ms = fromMs + 100 * static_cast<std::int64_t>(k + 1);
        text += timer(ms, 0, 300) + timer(ms + 1, 1, values[k]);
    }
    return text;
}

std::string wake(std::int64_t ms, std::int64_t core, std::int64_t lateUs) {
    return at(ms) + "," + std::to_string(core) + "," + std::to_string(lateUs / 1000) + "," + std::to_string(lateUs) + ",wake\n";
}

// A run of `events` timer events on each of `cores` cores, every 100 ms
// from `fromMs`, `lateUs(core, k)` late.
template <typename Late>
std::string madeUpRun(const std::string& machine, std::int64_t cores, std::int64_t events, Late lateUs,
                      std::int64_t fromMs = 0) {
    std::string text = note(fromMs, "vantrel=1.8.0") + note(fromMs, "machine=" + machine) + note(fromMs, "priority=normal;class=normal");
    for (std::int64_t k = 0; k < events; ++k) {
        for (std::int64_t core = 0; core < cores; ++core) text += timer(fromMs + 100 * (k + 1), core, lateUs(core, k));
    }
    return text;
}

// The same numbers on every platform.
struct Random {
    std::uint64_t state;
    std::int64_t below(std::int64_t bound) {
        state += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return static_cast<std::int64_t>((z ^ (z >> 31)) % static_cast<std::uint64_t>(bound));
    }
};

struct Compared {
    Comparison comparison{};
    bool good = false;
    std::string error;
    Compared(std::vector<MemoryLog>& logs, std::vector<std::string> names, std::int64_t failAboveUs = -1, bool fine = false) {
        std::vector<LogSource> sources;
        for (std::size_t k = 0; k < logs.size(); ++k) sources.push_back(LogSource{names[k].c_str(), &logs[k], readMemory, rewindMemory});
        char text[compareErrorCapacity] = "";
        good = compareLogs(comparison, sources.data(), static_cast<std::int64_t>(sources.size()), failAboveUs, fine, text);
        error = text;
        names_ = std::move(names);
    }
    ~Compared() { freeComparison(comparison); }
    Compared(const Compared&) = delete;
    Compared& operator=(const Compared&) = delete;
    std::string verdict(std::int64_t core) const {
        TextBuffer out{};
        makeTextBuffer(out, 65536);
        appendCoreVerdict(out, comparison, core);
        std::string text(out.data, out.size);
        freeTextBuffer(out);
        return text;
    }
    const CoreVerdict& of(std::int64_t run, std::int64_t core) const {
        return comparison.verdicts[verdictIndex(comparison, run, core)];
    }
    Verdict verdictOf(std::int64_t run, std::int64_t core) const { return of(run, core).verdict; }
    std::string page() const {
        TextBuffer out{};
        makeTextBuffer(out, comparisonCapacity(comparison.runCount, comparison.coreCount));
        formatComparisonPage(comparison, "1.8.0", out);
        EXPECT_FALSE(out.overflowed);
        std::string text(out.data, out.size);
        freeTextBuffer(out);
        return text;
    }
    std::string json() const {
        TextBuffer out{};
        makeTextBuffer(out, comparisonJsonCapacity(comparison.runCount, comparison.coreCount));
        formatComparisonJson(comparison, "1.8.0", out);
        EXPECT_FALSE(out.overflowed);
        std::string text(out.data, out.size);
        freeTextBuffer(out);
        return text;
    }
    std::vector<std::string> names_;
};

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

// One run at two levels: each level its own, the first event of each core
// after a change not judged, stalls counted with the causes the log names.
TEST(Comparison, LevelsOfOneRunLeaveOutTheFirstPeriodAfterEachChange) {
    std::string text = header + note(0, "vantrel=1.8.0") + note(0, "priority=normal;class=normal");
    for (std::int64_t k = 1; k <= 10; ++k) text += timer(100 * k, 0, 2000);
    // An event in the very millisecond of the change is the new level's,
    // and the first of its period: not judged.
    text += note(1100, "priority=high;class=high");
    text += timer(1100, 0, 90000);
    for (std::int64_t k = 12; k <= 20; ++k) text += timer(100 * k, 0, k == 15 ? 7000 : 500);
    text += note(1500, "stall=0/threads");
    text += note(2050, "priority=normal;class=normal");
    for (std::int64_t k = 21; k <= 30; ++k) text += timer(100 * k, 0, k == 21 ? 40000 : 2000);
    // The unjudged stalls' causes, their notes after the next change.
    text += note(1100, "stall=0/idle") + note(2100, "stall=0/drivers");
    std::vector<MemoryLog> logs{{text}};
    const Compared c(logs, {"levels.csv"}, 30000);
    ASSERT_TRUE(c.good) << c.error;
    ASSERT_TRUE(c.comparison.byLevel);
    ASSERT_EQ(c.comparison.runCount, 2);
    EXPECT_EQ(std::string(c.comparison.runs[0].name), "normal");
    EXPECT_EQ(std::string(c.comparison.runs[1].name), "high");
    EXPECT_EQ(c.comparison.baseline, 0);
    const ComparedCore& normal = c.comparison.runs[0].cores[0];
    const ComparedCore& high = c.comparison.runs[1].cores[0];
    EXPECT_EQ(normal.events, 19) << "the start's first event is judged, 2100's is not";
    EXPECT_EQ(normal.unjudged, 1);
    EXPECT_EQ(normal.maxUs, 2000) << "the 40 ms of 2100 is left out, and 1100's is not filed under normal";
    EXPECT_EQ(high.events, 9);
    EXPECT_EQ(high.unjudged, 1);
    EXPECT_EQ(high.maxUs, 7000) << "the 90 ms of the unjudged period is left out";
    EXPECT_EQ(high.stalls, 1);
    EXPECT_EQ(high.causes[static_cast<int>(StallCause::threads)], 1);
    EXPECT_EQ(high.causes[static_cast<int>(StallCause::idle)], 0) << "the unjudged stall's cause is left out with it";
    EXPECT_EQ(normal.causes[static_cast<int>(StallCause::drivers)], 0);
    EXPECT_EQ(normal.causes[static_cast<int>(StallCause::idle)], 0);
    // Each level's time, from its first judged event to its last.
    EXPECT_EQ(c.comparison.runs[0].fromUtcMs, c.comparison.runs[1].fromUtcMs - 1100);
    EXPECT_EQ(c.comparison.runs[1].toUtcMs - c.comparison.runs[1].fromUtcMs, 800);
    EXPECT_EQ(c.comparison.runs[0].toUtcMs - c.comparison.runs[0].fromUtcMs, 2900);
    // Neither unjudged event crossed the limit of 30 ms: the same rule as the exit code's.
    EXPECT_FALSE(c.comparison.runs[0].crossed);
    EXPECT_FALSE(c.comparison.runs[1].crossed);
    EXPECT_EQ(c.verdictOf(1, 0), Verdict::tooFew);
    const std::string page = c.page();
    EXPECT_NE(page.find("1: 1 threads"), std::string::npos);
    EXPECT_NE(page.find("measured from 2026-12-07T14:03:01.200Z to 2026-12-07T14:03:02.000Z"), std::string::npos) << page;
    EXPECT_NE(page.find("No event later than the limit of 30.000 ms in any run"), std::string::npos);
}

// A sweep's levels, an hour at each: 60 stalls in 3,000 events against 2
// names the level worse.
TEST(Comparison, ALevelWithManyMoreStallsIsWorse) {
    std::string text = header + note(0, "vantrel=1.8.0") + note(0, "priority=idle;class=idle");
    std::int64_t ms = 0;
    const char* const levels[] = {"normal", "high"};
    for (int level = 0; level < 2; ++level) {
        text += note(ms + 50, std::string("priority=") + levels[level] + ";class=" + levels[level]);
        for (std::int64_t k = 0; k < 3000; ++k) {
            ms += 100;
            const bool stall = level == 1 ? k % 50 == 3 : (k == 500 || k == 2500);
            text += timer(ms, 0, stall ? 9000 : 700 + k % 300);
        }
    }
    std::vector<MemoryLog> logs{{text}};
    const Compared c(logs, {"sweep.csv"});
    ASSERT_TRUE(c.good) << c.error;
    ASSERT_EQ(c.comparison.runCount, 3);
    EXPECT_EQ(std::string(c.comparison.runs[c.comparison.baseline].name), "normal") << "normal is the baseline when measured";
    EXPECT_EQ(c.comparison.runs[2].cores[0].stalls, 60);
    EXPECT_EQ(c.verdictOf(2, 0), Verdict::worse) << c.verdict(0);
    EXPECT_EQ(c.verdictOf(0, 0), Verdict::tooFew) << "idle measured no judged event";
    EXPECT_FALSE(c.comparison.runs[0].timed);
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

TEST(Comparison, LimitsWarningsAndRefusals) {
    // An old log (no context) beside a new one: no machine to compare, so no
    // warning; --fail-above 5 is crossed by the 20 ms event only.
    std::vector<MemoryLog> logs{{"utc,core,late_ms,late_us\n" + at(100) + ",0,20,20400\n" + at(200) + ",0,1,1000\n"},
                                {header + runOf("LAB-1", {1000, 2000})}};
    const Compared c(logs, {"old.csv", "new.csv"}, 5000);
    ASSERT_TRUE(c.good) << c.error;
    EXPECT_TRUE(c.comparison.runs[0].crossed);
    EXPECT_FALSE(c.comparison.runs[1].crossed);
    EXPECT_FALSE(c.comparison.differentMachines);
    const std::string page = c.page();
    EXPECT_NE(page.find("id=\"verdict\">\xe2\x9c\x97 Later than the limit of 5.000 ms in A</p>"), std::string::npos);
    EXPECT_NE(page.find("machine not in the log"), std::string::npos);
    EXPECT_NE(page.find("no judged events"), std::string::npos);

    std::string nine = header;
    for (std::int64_t k = 0; k < 9; ++k) nine += runOf("LAB-1", {1000}, 1000 * k);
    std::vector<MemoryLog> many{{nine}};
    const Compared tooMany(many, {"nine.csv"});
    EXPECT_FALSE(tooMany.good);
    EXPECT_EQ(tooMany.error, "the logs hold 9 runs: at most 8 can be compared");

    std::vector<MemoryLog> bad{{header + runOf("LAB-1", {1000})}, {header + note(0, "priority=Turbo!")}};
    const Compared refused(bad, {"good.csv", "bad.csv"});
    EXPECT_FALSE(refused.good);
    EXPECT_EQ(refused.error, "cannot read 'bad.csv': it is not a log of Vantrel: line 2: note 'priority=Turbo!' is not a "
                             "priority level and the class granted");
}

// More priority changes than a run keeps: refused with a message, never
// filed under the wrong level; 64 are placed.
TEST(Comparison, MoreThanSixtyFourChangesAreRefused) {
    auto withChanges = [](std::int64_t changes) {
        std::string text = header + note(0, "vantrel=1.8.0") + note(0, "priority=normal;class=normal");
        for (std::int64_t k = 0; k < changes; ++k) {
            text += note(1000 * k + 50, k % 2 == 0 ? "priority=high;class=high" : "priority=normal;class=normal");
            for (std::int64_t e = 1; e <= 9; ++e) text += timer(1000 * k + 100 * e, 0, k % 2 == 0 ? 3000 : 1000);
        }
        return text;
    };
    std::vector<MemoryLog> placed{{withChanges(64)}};
    const Compared c(placed, {"64.csv"});
    ASSERT_TRUE(c.good) << c.error;
    EXPECT_EQ(c.comparison.runs[1].cores[0].maxUs, 3000);
    EXPECT_EQ(c.comparison.runs[0].cores[0].maxUs, 1000) << "every high event filed under high";
    std::vector<MemoryLog> more{{withChanges(65)}};
    const Compared refused(more, {"65.csv"});
    EXPECT_FALSE(refused.good);
    EXPECT_EQ(refused.error, "cannot compare '65.csv': it holds 65 priority changes, more than the 64 a comparison can place");
}

// A log that changes between the readings: one that grows is compared as
// the first reading found it; one that shrinks or changes is refused,
// never read past the arrays of the first reading.
struct ChangingLog {
    std::string first;
    std::string later;
    std::size_t at = 0;
    int rewinds = 0;
};

bool readChanging(void* context, char* bytes, std::size_t capacity, std::size_t& got) {
    auto& log = *static_cast<ChangingLog*>(context);
    const std::string& text = log.rewinds <= 1 ? log.first : log.later;
    got = std::min<std::size_t>({capacity, 4096, text.size() - std::min(log.at, text.size())});
    text.copy(bytes, got, log.at);
    log.at += got;
    return true;
}

bool rewindChanging(void* context) {
    auto& log = *static_cast<ChangingLog*>(context);
    log.at = 0;
    ++log.rewinds;
    return true;
}

TEST(Comparison, ALogThatChangesBetweenReadings) {
    std::vector<std::int64_t> values(500, 1000);
    values[7] = 30000;
    const std::string run = header + runOf("LAB-1", values);
    const std::string other = header + runOf("LAB-1", std::vector<std::int64_t>(500, 1500), 100000);
    auto compare = [&](ChangingLog& log, Comparison& out, char* error) {
        MemoryLog second{other};
        const LogSource sources[] = {{"growing.csv", &log, readChanging, rewindChanging},
                                     {"other.csv", &second, readMemory, rewindMemory}};
        return compareLogs(out, sources, 2, -1, false, error);
    };
    {
        // Grows: a run still writing it. The same figures as the first extent.
        ChangingLog log{run, run + timer(60000, 1, 400000) + timer(60000, 7, 400000)};
        Comparison c{};
        char error[compareErrorCapacity] = "";
        ASSERT_TRUE(compare(log, c, error)) << error;
        EXPECT_GE(log.rewinds, 3);
        EXPECT_EQ(c.coreCount, 2);
        EXPECT_EQ(c.runs[0].cores[1].events, 500);
        EXPECT_EQ(c.runs[0].cores[1].maxUs, 30000);
        freeComparison(c);
    }
    {
        // Shrinks: refused.
        ChangingLog log{run, run.substr(0, run.size() / 2)};
        Comparison c{};
        char error[compareErrorCapacity] = "";
        EXPECT_FALSE(compare(log, c, error));
        EXPECT_EQ(std::string(error), "cannot read 'growing.csv': it changed while it was compared (read it again once it is "
                                      "written whole)");
        freeComparison(c);
    }
    {
        // The same length, a core beyond the first reading's: refused.
        std::string changed = run;
        const std::size_t line = changed.find(",1,1,1000,timer");
        changed[line + 1] = '9';
        ChangingLog log{run, changed};
        Comparison c{};
        char error[compareErrorCapacity] = "";
        EXPECT_FALSE(compare(log, c, error));
        EXPECT_NE(std::string(error).find("it changed while it was compared"), std::string::npos) << error;
        freeComparison(c);
    }
}

// With --fine the wake-ups decide where the logs count them; the timer
// events' verdict is beside.
TEST(Comparison, WithFineTheWakeUpsDecide) {
    auto fineRun = [](std::int64_t wakeStalls, std::int64_t fromMs) {
        std::string text = note(fromMs, "vantrel=1.8.0") + note(fromMs, "priority=normal;class=normal");
        for (std::int64_t k = 1; k <= 600; ++k) text += timer(fromMs + 100 * k, 0, 400 + k % 500);
        // The stalls' lines, and some late wake-ups under 5 ms.
        for (std::int64_t k = 0; k < wakeStalls; ++k) text += wake(fromMs + 250 * k + 3, 0, 7000 + 13 * k);
        for (std::int64_t k = 0; k < 100; ++k) text += wake(fromMs + 500 * k + 7, 0, 1500 + k);
        text += note(fromMs + 60050, "wakes=0/60000/" + std::to_string(wakeStalls) + "/0");
        return text;
    };
    std::vector<MemoryLog> logs{{header + fineRun(200, 0)}, {header + fineRun(20, 100000)}};
    const Compared c(logs, {"a.csv", "b.csv"}, -1, true);
    ASSERT_TRUE(c.good) << c.error;
    const ComparedCore& a = c.comparison.runs[0].cores[0];
    EXPECT_TRUE(a.wakesCounted);
    EXPECT_EQ(a.wakeEvents, 60000);
    EXPECT_EQ(a.wakeStalls, 200);
    EXPECT_EQ(a.wakeLines, 300);
    // 60,000 wake-ups: the 99th percentile's rank, 59,400, falls among the
    // 59,700 at most 1 ms late.
    EXPECT_EQ(a.wakeP99.us, 1000);
    EXPECT_EQ(a.wakeP999.us, 7000 + 13 * 139) << "the 60th largest of 200 stalls";
    const CoreVerdict& v = c.of(1, 0);
    EXPECT_EQ(v.source, JudgedSource::wake);
    EXPECT_EQ(v.verdict, Verdict::better);
    ASSERT_NE(c.comparison.timerVerdicts, nullptr);
    EXPECT_EQ(c.comparison.timerVerdicts[verdictIndex(c.comparison, 1, 0)].verdict, Verdict::noDifference);
    EXPECT_NE(c.verdict(0).find("better beyond noise (stall rate, 99.9th percentile) by the wake-ups; timer events: no "
                                "difference beyond noise"),
              std::string::npos)
        << c.verdict(0);
    // Without --fine the timer events decide.
    const Compared timerOnly(logs, {"a.csv", "b.csv"});
    ASSERT_TRUE(timerOnly.good);
    EXPECT_EQ(timerOnly.of(1, 0).source, JudgedSource::timer);
    EXPECT_EQ(timerOnly.comparison.timerVerdicts, nullptr);
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

// Each run's timer resolutions beside its context, and the notice when the
// runs' differ: a different resolution explains a different lateness first.
TEST(Comparison, DifferentTimerResolutionsAreWarnedOf) {
    const std::string coarse = note(0, "timer_resolution=156250/5000/156250");
    const std::string fine = note(0, "timer_resolution=10000/5000/156250");
    const std::string changed = coarse + note(50, "timer_resolution_change=10000");
    // Each pair of contexts: what run A shows, whether the page warns.
    const struct {
        std::string a, b;
        const char* shown;
        bool warns;
    } cases[] = {
        {coarse, fine, "; timer resolution 15.625 ms; Vantrel", true},
        {coarse, coarse, "; timer resolution 15.625 ms; Vantrel", false},
        {changed, coarse, "; timer resolution 15.625 ms then 1 ms; Vantrel", true},
        {coarse, "", "; timer resolution 15.625 ms; Vantrel", false},
    };
    for (const auto& c : cases) {
        // The notes after the program's, which begins the run.
        const auto log = [](const std::string& notes) {
            std::string run = runOf("LAB-1", {900, 900});
            return header + run.insert(run.find('\n') + 1, notes);
        };
        std::vector<MemoryLog> logs{{log(c.a)}, {log(c.b)}};
        const Compared compared(logs, {"a.csv", "b.csv"});
        ASSERT_TRUE(compared.good) << compared.error;
        const std::string page = compared.page();
        EXPECT_NE(page.find(c.shown), std::string::npos) << c.a << page;
        EXPECT_EQ(page.find("id=\"different-resolutions\"") != std::string::npos, c.warns) << c.a << c.b;
    }
}

}  // namespace
