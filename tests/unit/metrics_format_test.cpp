// The Prometheus text of a run: one hand-worked exposition exactly, the
// histograms' shape for any run, and the buffer's size bound. With
// VANTREL_METRICS_OUT set, every text made here is also written there for
// promtool to check (tests/metrics/check_metrics.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <sstream>
#include <vector>

#include "formats/metrics_format.h"

namespace {

std::string render(const RunSummary& run, const std::string& name) {
    TextBuffer out{};
    EXPECT_TRUE(makeTextBuffer(out, metricsCapacity(run.coreCount, run.wakes != nullptr)));
    formatMetrics(run, out);
    EXPECT_FALSE(out.overflowed) << name;
    std::string text(out.data, out.size);
    freeTextBuffer(out);
    if (const char* dir = std::getenv("VANTREL_METRICS_OUT")) {  // NOLINT(concurrency-mt-unsafe)
        std::ofstream(std::string(dir) + "/" + name + ".prom", std::ios::binary) << text;
    }
    return text;
}

RunSummary summaryOf(std::vector<CoreStatistics>& cores, const bool* sampled, std::vector<WakeStatistics>* wakes) {
    RunSummary run{};
    run.version = "1.1.0";
    run.startedUtcMs = 1796654458923;
    run.failAboveUs = -1;
    run.coreCount = static_cast<std::int64_t>(cores.size());
    run.cores = cores.data();
    run.sampled = sampled;
    run.wakes = wakes != nullptr ? wakes->data() : nullptr;
    return run;
}

// Core 0's bucket lines of a family, cumulative counts by bound.
std::string buckets(const std::string& family, const std::vector<std::pair<const char*, int>>& counts) {
    std::string lines;
    for (const auto& [le, count] : counts) {
        lines += family + "_bucket{core=\"0\",le=\"" + le + "\"} " + std::to_string(count) + "\n";
    }
    return lines;
}

TEST(MetricsFormat, HandWorkedRunExactly) {
    std::vector<CoreStatistics> cores(1, CoreStatistics{});
    for (const auto& [ms, us] : {std::pair{-18, -17871}, {0, 239}, {1, 846}, {358, 357883}, {3, 2950}}) {
        addToStatistics(cores[0], TimerEvent{0, ms, us, 1796654460000});
    }
    // Wake-ups 30, 120, 120 and 2500 us late; two deadlines skipped; the late one's line not logged.
    std::vector<WakeStatistics> wakes(1, WakeStatistics{4, 2, 30, 2500, 2770, 0, 1, {1, 0, 2, 0, 0, 0, 1}, 1});
    const bool sampled[] = {true};
    RunSummary run = summaryOf(cores, sampled, &wakes);
    run.failAboveUs = 250000;
    run.thresholdCrossed = true;
    run.logDropped = 3;
    run.problemCount = 1;
    const SuspendedSpans asleep{{}, 0, 2, 3605250, -1};  // an hour and a bit, in two sleeps
    run.suspended = &asleep;
    EXPECT_EQ(render(run, "hand_worked"),
              "# HELP vantrel_cores Processors that Windows reports; each is sampled by one thread.\n"
              "# TYPE vantrel_cores gauge\nvantrel_cores 1\n"
              "# HELP vantrel_info The running Vantrel's version; the value is always 1.\n"
              "# TYPE vantrel_info gauge\nvantrel_info{version=\"1.1.0\"} 1\n"
              "# HELP vantrel_log_dropped_total Log lines not written because the disk fell behind.\n"
              "# TYPE vantrel_log_dropped_total counter\nvantrel_log_dropped_total 3\n"
              "# HELP vantrel_problems_total Distinct problems met during the run.\n"
              "# TYPE vantrel_problems_total counter\nvantrel_problems_total 1\n"
              "# HELP vantrel_run_final 1 in the last file of a run that ended (closed, --duration over, logoff), 0 "
              "while it runs.\n"
              "# TYPE vantrel_run_final gauge\nvantrel_run_final 0\n"
              "# HELP vantrel_start_time_seconds When the run started, in seconds since 1970-01-01 UTC.\n"
              "# TYPE vantrel_start_time_seconds gauge\nvantrel_start_time_seconds 1796654458.923\n"
              "# HELP vantrel_suspended_seconds_total Time the machine slept during the run (suspend to resume), "
              "not counted as lateness.\n"
              "# TYPE vantrel_suspended_seconds_total counter\nvantrel_suspended_seconds_total 3605.25\n"
              "# HELP vantrel_threshold_crossed 1 once a timer event (with --fine, a wake-up too) came later than --fail-above, else 0.\n"
              "# TYPE vantrel_threshold_crossed gauge\nvantrel_threshold_crossed 1\n"
              "# HELP vantrel_timer_lateness_max_seconds The largest lateness of a 100 ms timer event since the "
              "start, by core.\n"
              "# TYPE vantrel_timer_lateness_max_seconds gauge\n"
              "vantrel_timer_lateness_max_seconds{core=\"0\"} 0.357883\n"
              "# HELP vantrel_timer_lateness_seconds How late the 100 ms timer events came, by core.\n"
              "# TYPE vantrel_timer_lateness_seconds histogram\n" +
                  buckets("vantrel_timer_lateness_seconds",
                          {{"0", 2}, {"0.001", 3}, {"0.002", 3}, {"0.005", 4}, {"0.01", 4}, {"0.02", 4}, {"0.05", 4},
                           {"0.1", 4}, {"0.2", 4}, {"0.5", 5}, {"1", 5}, {"2", 5}, {"5", 5}, {"10", 5}, {"+Inf", 5}}) +
                  "vantrel_timer_lateness_seconds_sum{core=\"0\"} 0.361918\n"  // the early one counts as 0
                  "vantrel_timer_lateness_seconds_count{core=\"0\"} 5\n"
                  "# HELP vantrel_wake_lateness_max_seconds The largest lateness of a 1 ms wake-up since the start, "
                  "by core.\n"
                  "# TYPE vantrel_wake_lateness_max_seconds gauge\n"
                  "vantrel_wake_lateness_max_seconds{core=\"0\"} 0.0025\n"
                  "# HELP vantrel_wake_lateness_seconds How late the wake-ups on the 1 ms grid came, by core.\n"
                  "# TYPE vantrel_wake_lateness_seconds histogram\n" +
                  buckets("vantrel_wake_lateness_seconds",
                          {{"0.00005", 1}, {"0.0001", 1}, {"0.0002", 3}, {"0.0005", 3}, {"0.001", 3}, {"0.002", 3},
                           {"0.005", 4}, {"0.01", 4}, {"0.02", 4}, {"0.05", 4}, {"0.1", 4}, {"+Inf", 4}}) +
                  "vantrel_wake_lateness_seconds_sum{core=\"0\"} 0.00277\n"
                  "vantrel_wake_lateness_seconds_count{core=\"0\"} 4\n"
                  "# HELP vantrel_wake_lines_not_logged_total Wake-ups over 1 ms left out of the log by its limit of "
                  "lines a second, by core.\n"
                  "# TYPE vantrel_wake_lines_not_logged_total counter\nvantrel_wake_lines_not_logged_total{core=\"0\"} 1\n"
                  "# HELP vantrel_wake_skipped_total Deadlines of the 1 ms grid already past at a wake-up, by core.\n"
                  "# TYPE vantrel_wake_skipped_total counter\nvantrel_wake_skipped_total{core=\"0\"} 2\n");
}

TEST(MetricsFormat, CoresWithoutEventsOrSamplerAndEscapedVersion) {
    // Core 0 has events in every bucket, core 1 none yet, core 2 no sampler.
    std::vector<CoreStatistics> cores(3, CoreStatistics{});
    for (std::int64_t ms : {-5, 0, 1, 2, 4, 9, 15, 40, 99, 150, 400, 900, 1500, 4000, 9000, 20000}) {
        addToStatistics(cores[0], TimerEvent{0, ms, ms * 1000, 0});
    }
    std::vector<WakeStatistics> wakes(3, WakeStatistics{});
    wakes[0] = WakeStatistics{6, 0, 10, 200000, 0, 0, 0, {1, 1, 1, 0, 0, 0, 0, 0, 1, 0, 1, 1}, 0};
    const bool sampled[] = {true, true, false};
    RunSummary run = summaryOf(cores, sampled, &wakes);
    run.wakeSampled = sampled;  // the wake-up samplers have marks of their own
    // With causes: the unsampled core's (made-up) stalls are not listed either.
    StallCounts stalls[3] = {{{1, 0, 0, 0, 0}, {}}, {}, {{0, 2, 0, 0, 0}, {}}};
    run.accounting = true;
    run.stallCauses = stalls;
    run.version = "2.0 \"beta\"\\\nx";
    const std::string text = render(run, "three_cores");

    // Cumulative, so +Inf and _count hold every event of the core.
    for (const char* line : {"vantrel_timer_lateness_seconds_bucket{core=\"0\",le=\"+Inf\"} 16",
                             "vantrel_timer_lateness_seconds_count{core=\"0\"} 16",
                             "vantrel_timer_lateness_seconds_bucket{core=\"1\",le=\"+Inf\"} 0",
                             "vantrel_timer_lateness_seconds_count{core=\"1\"} 0",
                             "vantrel_wake_lateness_seconds_bucket{core=\"0\",le=\"+Inf\"} 6",
                             "vantrel_wake_lateness_seconds_count{core=\"0\"} 6",
                             "vantrel_wake_lateness_seconds_bucket{core=\"1\",le=\"+Inf\"} 0",
                             "vantrel_wake_lateness_seconds_count{core=\"1\"} 0",
                             "vantrel_stalls_total{core=\"1\",cause=\"threads\"} 0",
                             "vantrel_info{version=\"2.0 \\\"beta\\\"\\\\\\nx\"} 1"}) {
        EXPECT_NE(text.find(std::string("\n") + line + "\n"), std::string::npos) << line;
    }
    EXPECT_EQ(text.find("_max_seconds{core=\"1\""), std::string::npos) << "no max without events";
    EXPECT_EQ(text.find("core=\"2\""), std::string::npos) << "a core without a sampler shows nothing";
    EXPECT_EQ(text.find("vantrel_threshold"), std::string::npos) << "no threshold without --fail-above";
}

TEST(MetricsFormat, CapacityHoldsTheLargestFigures) {
    constexpr std::int64_t big = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t small = std::numeric_limits<std::int64_t>::min();
    const std::string version(metricsVersionMax, '"');
    CoreStatistics core{big, small, big, small, small, small, small, small, {}, big};
    for (std::int64_t& count : core.histogram) count = big / histogramBucketCount;
    WakeStatistics wake{big, big, small, small, small, small, big, {}, big};
    for (std::int64_t& count : wake.histogram) count = big / wakeHistogramBucketCount;
    for (const bool withWakes : {false, true}) {
        for (const std::size_t coreCount : {1, 64, 1000}) {
            std::vector<CoreStatistics> cores(coreCount, core);
            std::vector<WakeStatistics> wakes(coreCount, wake);
            std::vector<StallCounts> stalls(coreCount, StallCounts{{big, big, big, big, big}, {big, big, big, big, big}});
            RunSummary run = summaryOf(cores, nullptr, withWakes ? &wakes : nullptr);
            run.accounting = true;
            run.stallCauses = stalls.data();
            run.version = version.c_str();
            run.startedUtcMs = run.problemCount = small;
            run.failAboveUs = run.logDropped = big;
            std::tie(run.suspects, run.suspectSnapshots, run.suspectSnapshotFailures) = std::make_tuple(true, big, big);
            const std::string name = "largest_" + std::to_string(coreCount) + (withWakes ? "_wakes" : "");
            // Overflow fails in render; a bound, but not a wasteful one.
            const std::string text = render(run, name);
            EXPECT_LT(metricsCapacity(run.coreCount, withWakes), text.size() * 2) << name;
            // Each part of the bound holds on its own, whatever slack the
            // others leave: the families, their HELP and TYPE lines, the
            // samples of no core.
            std::size_t families = 0, headerMost = 0, scalars = 0;
            std::istringstream lines(text);
            for (std::string line, type; std::getline(lines, line);) {
                if (line.rfind("# HELP ", 0) == 0 && std::getline(lines, type)) {
                    ++families;
                    headerMost = std::max(headerMost, line.size() + type.size() + 2);
                } else if (line.find("core=\"") == std::string::npos) {
                    ++scalars;
                }
            }
            EXPECT_LE(families, metricsFamiliesMost) << name;
            if (withWakes) {
                EXPECT_EQ(families, metricsFamiliesMost) << name << ": every family is written";
            }
            EXPECT_LE(headerMost, metricsHeaderMost) << name;
            EXPECT_LE(scalars, metricsScalarLinesMost) << name;
        }
    }
}

}  // namespace
