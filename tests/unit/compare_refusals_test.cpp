// What a comparison refuses or warns of: limits, other resolutions, too many changes, logs that change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "compare_support.h"

namespace {

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

    // The new file of a log that has just rolled over is refused for what it is.
    std::vector<MemoryLog> rolled{{header + runOf("LAB-1", {1000})}, {header + note(0, "vantrel=1.9.0")}};
    const Compared headerOnly(rolled, {"run.1.csv", "run.csv"});
    EXPECT_FALSE(headerOnly.good);
    EXPECT_EQ(headerOnly.error, "cannot read 'run.csv': it holds no events yet, only its header (a log that has rolled "
                                "over keeps the earlier ones in its .1 file)");
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
