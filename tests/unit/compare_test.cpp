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

// "2026-12-07T14:03:SS.mmmZ" for `ms` after 14:03:00.
std::string at(std::int64_t ms) {
    const auto two = [](std::int64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); };
    const std::int64_t thousandths = ms % 1000;
    return "2026-12-07T14:" + two(3 + ms / 60000) + ":" + two(ms / 1000 % 60) + "." +
           (thousandths < 100 ? "0" : "") + two(thousandths) + "Z";
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

struct Compared {
    Comparison comparison{};
    bool good = false;
    std::string error;
    Compared(std::vector<MemoryLog>& logs, std::vector<std::string> names, std::int64_t failAboveUs = -1) {
        std::vector<LogSource> sources;
        for (std::size_t k = 0; k < logs.size(); ++k) sources.push_back(LogSource{names[k].c_str(), &logs[k], readMemory, rewindMemory});
        char text[compareErrorCapacity] = "";
        good = compareLogs(comparison, sources.data(), static_cast<std::int64_t>(sources.size()), failAboveUs, text);
        error = text;
        names_ = std::move(names);
    }
    ~Compared() { freeComparison(comparison); }
    Compared(const Compared&) = delete;
    Compared& operator=(const Compared&) = delete;
    std::string verdict(std::int64_t core) const {
        TextBuffer out{};
        makeTextBuffer(out, 1024);
        appendCoreVerdict(out, comparison, core);
        std::string text(out.data, out.size);
        freeTextBuffer(out);
        return text;
    }
    std::string page() const {
        TextBuffer out{};
        makeTextBuffer(out, comparisonCapacity(comparison.runCount, comparison.coreCount));
        formatComparisonPage(comparison, "1.4.0", out);
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
            while (!selection.found && passes < 12) {
                for (const std::int64_t v : values) countForRank(selection, v);
                narrowRankSelection(selection);
                ++passes;
            }
            ASSERT_TRUE(selection.found) << c.count << " values, " << perMille;
            EXPECT_EQ(selection.low, sorted[static_cast<std::size_t>(rank - 1)]) << c.count << " values, " << perMille;
            EXPECT_LE(passes, 8);
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
    EXPECT_EQ(std::string(one.comparison.runs[0].file), "joined.csv, run 1");
    EXPECT_EQ(std::string(one.comparison.runs[1].file), "joined.csv, run 2");
    const ComparedCore& a = one.comparison.runs[0].cores[1];
    EXPECT_EQ(a.events, 100);
    EXPECT_EQ(a.p99Us, 14800);
    EXPECT_EQ(a.p999Us, 14800);
    EXPECT_EQ(a.maxUs, 14800);
    EXPECT_EQ(a.stalls, 2);
    EXPECT_EQ(one.comparison.runs[1].cores[1].p99Us, 1200);
    EXPECT_EQ(one.verdict(1), "core 1: 99th percentile 1.2 ms in B against 14.8 ms in A");
    EXPECT_EQ(one.verdict(0), "core 0: 99th percentile 0.3 ms in A, the same as in B");
    EXPECT_GE(one.comparison.passes, 3) << "the percentiles took readings of their own";
    EXPECT_FALSE(one.comparison.differentMachines);

    // Without the second header (joined with tail -n +2): the program's note
    // begins the second run all the same.
    std::vector<MemoryLog> headless{{header + runOf("LAB-1", stalled) + runOf("LAB-2", quiet, 60000)}};
    const Compared two(headless, {"headless.csv"});
    ASSERT_TRUE(two.good) << two.error;
    EXPECT_EQ(two.comparison.runCount, 2);
    EXPECT_TRUE(two.comparison.differentMachines) << "LAB-1 and LAB-2";
    const std::string page = two.page();
    // For the browser check of the samples (tests/CMakeLists.txt).
    if (const char* dir = std::getenv("VANTREL_SAMPLE_PAGE_DIR")) {  // NOLINT(concurrency-mt-unsafe)
        std::ofstream(std::string(dir) + "/sample-compare.html", std::ios::binary) << page;
    }
    EXPECT_NE(page.find("<section id=\"comparison\">"), std::string::npos);
    EXPECT_NE(page.find("id=\"different-machines\""), std::string::npos);
    EXPECT_NE(page.find("<li>core 1: 99th percentile 1.2 ms in B against 14.8 ms in A</li>"), std::string::npos);
    // The difference against the first run, per figure.
    EXPECT_NE(page.find("<tr data-run=\"B\" data-p99-us=\"1200\"><td class=\"text\">\xe2\x98\x85 B</td><td>100</td><td>1.200</td>"
                        "<td>1.200</td><td>1.200</td><td>1.200</td><td>\xe2\x88\x92" "0.076</td><td>\xe2\x88\x92" "13.600</td>"),
              std::string::npos)
        << page;
}

// One run at two levels: each level its own, the first event of each core
// after a change not judged, stalls counted with the causes the log names.
TEST(Comparison, LevelsOfOneRunLeaveOutTheFirstPeriodAfterEachChange) {
    std::string text = header + note(0, "vantrel=1.4.0") + note(0, "priority=normal;class=normal");
    for (std::int64_t k = 1; k <= 10; ++k) text += timer(100 * k, 0, 2000);
    text += note(1050, "priority=high;class=high");
    // Written before the lines it follows in time: the times decide.
    text += timer(1100, 0, 90000);  // unjudged: its period began at normal
    for (std::int64_t k = 12; k <= 20; ++k) text += timer(100 * k, 0, k == 15 ? 7000 : 500);
    text += note(1500, "stall=0/threads") + note(1100, "stall=0/idle");
    std::vector<MemoryLog> logs{{text}};
    const Compared c(logs, {"levels.csv"});
    ASSERT_TRUE(c.good) << c.error;
    ASSERT_TRUE(c.comparison.byLevel);
    ASSERT_EQ(c.comparison.runCount, 2);
    EXPECT_EQ(std::string(c.comparison.runs[0].name), "normal");
    EXPECT_EQ(std::string(c.comparison.runs[1].name), "high");
    const ComparedCore& normal = c.comparison.runs[0].cores[0];
    const ComparedCore& high = c.comparison.runs[1].cores[0];
    EXPECT_EQ(normal.events, 9) << "the run's first event is not judged either";
    EXPECT_EQ(high.events, 9);
    EXPECT_EQ(high.maxUs, 7000) << "the 90 ms of the unjudged period is left out";
    EXPECT_EQ(high.stalls, 1);
    EXPECT_EQ(high.causes[static_cast<int>(StallCause::threads)], 1);
    EXPECT_EQ(high.causes[static_cast<int>(StallCause::idle)], 0) << "the unjudged stall's cause is left out with it";
    EXPECT_EQ(c.verdict(0), "core 0: 99th percentile 2 ms in normal against 7 ms in high");
    EXPECT_NE(c.page().find("1: 1 threads"), std::string::npos);
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
    EXPECT_NE(page.find("core 1: 99th percentile 2 ms in B (A no events)"), std::string::npos);

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

// The largest comparison fits its capacity with texts that escape long.
TEST(Comparison, EightRunsOf256CoresFitTheirCapacity) {
    std::vector<MemoryLog> logs;
    std::vector<std::string> names;
    for (int k = 0; k < 8; ++k) {
        std::string text = header + note(0, "vantrel=1.4.0") + note(0, "machine=<&\"'>" + std::string(43, '&')) +
                           note(0, "power_plan=" + std::string(48, '<'));
        for (std::int64_t core = 0; core < 256; ++core) text += timer(100, core, 1000 * core + k);
        for (std::int64_t change = 0; change < 70; ++change) text += note(200 + change, "priority=above normal;class=normal");
        logs.push_back(MemoryLog{text});
        names.push_back(std::string(120, 'n') + std::to_string(k));
    }
    const Compared c(logs, names);
    ASSERT_TRUE(c.good) << c.error;
    EXPECT_EQ(c.comparison.coreCount, 256);
    EXPECT_FALSE(c.page().empty());
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
