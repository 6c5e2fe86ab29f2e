// The statistics against a plain model, the event queue, and the text of the
// report and of the log's times against hand-written expectations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "formats/report_format.h"
#include "record/event_buffer.h"
#include "record/statistics.h"
#include "text/text_buffer.h"
#include "text/utc.h"

namespace {

struct Range {
    std::int64_t low;
    std::int64_t high;
};

// The buckets worked out by hand from the upper bounds 0, 1, 2, 5, ...,
// 10000 and one above; early events count in the first.
const Range bucketRanges[15] = {{-100, 0},    {1, 1},       {2, 2},       {3, 5},       {6, 10},
                                {11, 20},     {21, 50},     {51, 100},    {101, 200},   {201, 500},
                                {501, 1000},  {1001, 2000}, {2001, 5000}, {5001, 10000}, {10001, 4294967295}};

TEST(Statistics, EveryBucketEdgeLandsInItsBucket) {
    for (std::int64_t b = 0; b < 15; ++b) {
        for (const std::int64_t lateMs : {bucketRanges[b].low, bucketRanges[b].high}) {
            EXPECT_EQ(histogramBucketOf(lateMs), b) << lateMs;
        }
    }
}

TEST(Statistics, LongRandomRunMatchesPlainModel) {
    constexpr std::int64_t cores = 8;
    // A fixed seed: the same run every time, so a failure can be replayed.
    std::mt19937_64 random(20261207);  // NOLINT(cert-msc32-c,cert-msc51-cpp)
    std::vector<CoreStatistics> statistics(cores, CoreStatistics{});
    std::vector<std::vector<TimerEvent>> model(cores);
    std::int64_t utcMs = 1796652180000;
    for (int e = 0; e < 200000; ++e) {
        const auto core = static_cast<std::int64_t>(random() % cores);
        const Range& edge = bucketRanges[random() % 15];
        std::int64_t lateMs = 4294967196;  // reached again and again: ties keep the first time
        switch (core == cores - 1 ? 0 : random() % 6) {
        case 0: lateMs = -1 - static_cast<std::int64_t>(random() % 100); break;  // early (only, on the last core)
        case 1: lateMs = static_cast<std::int64_t>(random() % 3); break;
        case 2: lateMs = edge.low - 1 + static_cast<std::int64_t>(random() % 3); break;
        case 3: lateMs = std::min<std::int64_t>(edge.high - 1 + static_cast<std::int64_t>(random() % 3), 4294967295); break;
        case 4: lateMs = static_cast<std::int64_t>(random() % 4294967296); break;  // up to a tick-count wrap
        default: break;
        }
        utcMs += static_cast<std::int64_t>(random() % 200);
        const TimerEvent event{core, lateMs, lateMs * 1000 + static_cast<std::int64_t>(random() % 1999) - 999, utcMs};
        addToStatistics(statistics[core], event);
        model[core].push_back(event);
    }

    for (std::int64_t c = 0; c < cores; ++c) {
        SCOPED_TRACE("core " + std::to_string(c));
        const std::vector<TimerEvent>& events = model[c];
        const CoreStatistics& s = statistics[c];
        CoreStatistics m{static_cast<std::int64_t>(events.size()), INT64_MAX, INT64_MIN, 0, 0, INT64_MAX, INT64_MIN, 0, {}, 0};
        for (const TimerEvent& x : events) {
            m.minMs = std::min(m.minMs, x.lateMs);
            m.maxMs = std::max(m.maxMs, x.lateMs);
            m.minUs = std::min(m.minUs, x.lateUs);
            m.maxUs = std::max(m.maxUs, x.lateUs);
            m.sumMs += x.lateMs;
            m.sumUs += x.lateUs;
            m.lateSumUs += std::max<std::int64_t>(x.lateUs, 0);
            for (std::int64_t b = 0; b < 15; ++b) m.histogram[b] += (b == 0 || x.lateMs >= bucketRanges[b].low) && x.lateMs <= bucketRanges[b].high;
        }
        const auto atMax = [&](const TimerEvent& x) { return x.lateMs == m.maxMs; };
        m.maxAtUtcMs = std::find_if(events.begin(), events.end(), atMax)->utcMs;  // the first to reach it
        EXPECT_EQ(s.events, m.events);
        EXPECT_EQ(s.minMs, m.minMs);
        EXPECT_EQ(s.maxMs, m.maxMs);
        EXPECT_EQ(s.maxAtUtcMs, m.maxAtUtcMs);
        EXPECT_EQ(s.sumMs, m.sumMs);
        EXPECT_EQ(s.minUs, m.minUs);
        EXPECT_EQ(s.maxUs, m.maxUs);
        EXPECT_EQ(s.sumUs, m.sumUs);
        EXPECT_EQ(s.lateSumUs, m.lateSumUs) << "early events count as 0";
        for (std::int64_t b = 0; b < 15; ++b) EXPECT_EQ(s.histogram[b], m.histogram[b]) << "bucket " << b;
    }
    EXPECT_LT(statistics[cores - 1].maxMs, 0) << "a core with only early events has a negative maximum";
}

TEST(EventBuffer, KeepsOrderAcrossTheWrapAndCountsWhatDidNotFit) {
    ASSERT_TRUE(createEventBuffer(3));
    TimerEvent out[4] = {};
    for (std::int64_t k = 1; k <= 4; ++k) EXPECT_EQ(pushEvent(TimerEvent{k, 0, 0, 0}), k <= 3);
    EXPECT_EQ(popEvents(out, 2), 2);
    for (std::int64_t k = 5; k <= 7; ++k) pushEvent(TimerEvent{k, 0, 0, 0});
    EXPECT_EQ(popEvents(out, 4), 3);
    EXPECT_EQ(out[0].core * 100 + out[1].core * 10 + out[2].core, 356);
    EXPECT_EQ(eventsDropped(), 2);
    ASSERT_TRUE(createEventBuffer(1));
    EXPECT_EQ(eventsDropped(), 0) << "a new buffer starts its count again";
}

// A message cut at its capacity keeps only whole characters: each of a 2-,
// 3- and 4-byte character with its bytes straddling the cut at every place.
TEST(TextBuffer, CutMessagesEndOnACharacterBoundary) {
    for (const std::string character : {"\u00e9", "\u20ac", "\U0001F600"}) {
        for (std::size_t fitting = 0; fitting <= character.size(); ++fitting) {
            char out[16];
            joinText(out, 2 + fitting + 1, {"a", ("b" + character + "cd").c_str()});
            EXPECT_EQ(std::string(out), fitting == character.size() ? "ab" + character : "ab") << character << ", " << fitting << " bytes fit";
        }
    }
}

TEST(ReportFormat, UtcTimesInIso8601WithMilliseconds) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "1970-01-01T00:00:00.000Z"},               {1796652192005, "2026-12-07T14:03:12.005Z"},
        {951782400000, "2000-02-29T00:00:00.000Z"},    {951868799999, "2000-02-29T23:59:59.999Z"},
        {3981341350011, "2096-02-29T08:09:10.011Z"},   {4107542400000, "2100-03-01T00:00:00.000Z"},
        {1735689599999, "2024-12-31T23:59:59.999Z"},   {1735689600000, "2025-01-01T00:00:00.000Z"},
        {-1, "1969-12-31T23:59:59.999Z"},              {-2203934399950, "1900-02-28T12:00:00.050Z"},
        {-62135596800000, "0001-01-01T00:00:00.000Z"}, {253402300799999, "9999-12-31T23:59:59.999Z"},
        {INT64_MIN, "0000-01-01T00:00:00.000Z"},       {INT64_MAX, "9999-12-31T23:59:59.999Z"},
    };
    for (const auto& [utcMs, expected] : cases) {
        char text[utcTextCapacity + 1] = {};
        text[utcTextCapacity] = '#';
        formatUtc(utcMs, text);
        EXPECT_STREQ(text, expected) << utcMs;
        EXPECT_EQ(text[utcTextCapacity], '#') << "wrote past its capacity";
    }
}

RunSummary summaryOf(const char* version, std::int64_t started, std::int64_t updated, bool finished,
                     std::int64_t elapsedMs, std::int64_t failAboveUs, const CoreStatistics* cores, std::int64_t count,
                     std::int64_t dropped) {
    RunSummary run{};
    run.version = version;
    run.startedUtcMs = started;
    run.updatedUtcMs = updated;
    run.finished = finished;
    run.elapsedMs = elapsedMs;
    run.failAboveUs = failAboveUs;
    run.cores = cores;
    run.coreCount = count;
    run.logDropped = dropped;
    return run;
}

std::string reportOf(const RunSummary& run) {
    TextBuffer text{};
    EXPECT_TRUE(makeTextBuffer(text, reportCapacity(run.coreCount, run.wakes != nullptr)));
    appendText(text, "old text");
    formatReport(run, text);
    EXPECT_FALSE(text.overflowed);
    std::string report(text.data, text.size);
    freeTextBuffer(text);
    return report;
}

TEST(ReportFormat, WholeReportWithAnIdleCore) {
    CoreStatistics cores[2] = {};
    cores[0] = CoreStatistics{3, -3, 352, 356, 1796652192345, -2950, 352113, 356183, {1, 0, 0, 0, 1, 0, 0, 0, 0, 1}, 359133};
    RunSummary run = summaryOf("1.0 \"test\" \\", 1796652180000, 1796652192345, true, 12345, 2500, cores, 2, 7);
    const bool sampled[2] = {true, false};
    run.sampled = sampled;
    Problem problems[1] = {{1796652181000, "cannot write to 'C:\\l\"og': full"}};
    run.problems = problems;
    run.problemsListed = 1;
    run.problemCount = 3;
    const SuspendedSpans asleep{{{1796652182000, 1796652185250}}, 1, 22, 67890, -1};
    run.suspended = &asleep;
    EXPECT_EQ(reportOf(run), R"json({
  "program": "Vantrel",
  "version": "1.0 \"test\" \\",
  "started_utc": "2026-12-07T14:03:00.000Z",
  "updated_utc": "2026-12-07T14:03:12.345Z",
  "final": true,
  "seconds": 12.345,
  "period_ms": 100,
  "fail_above_ms": 2.5,
  "ended": null,
  "planned_seconds": null,
  "accounting": null,
  "machine": null,
  "priority": null,
  "complete": false,
  "cores": [
    {
      "core": 0,
      "sampled": true,
      "events": 3,
      "min_ms": -3,
      "max_ms": 352,
      "mean_ms": 118.667,
      "max_at_utc": "2026-12-07T14:03:12.345Z",
      "min_us": -2950,
      "max_us": 352113,
      "mean_us": 118727.667,
      "histogram": [[0, 1], [1, 0], [2, 0], [5, 0], [10, 1], [20, 0], [50, 0], [100, 0], [200, 0], [500, 1], [1000, 0], [2000, 0], [5000, 0], [10000, 0], [null, 0]],
      "causes": null
    },
    {
      "core": 1,
      "sampled": false,
      "events": 0,
      "min_ms": null,
      "max_ms": null,
      "mean_ms": null,
      "max_at_utc": null,
      "min_us": null,
      "max_us": null,
      "mean_us": null,
      "histogram": [[0, 0], [1, 0], [2, 0], [5, 0], [10, 0], [20, 0], [50, 0], [100, 0], [200, 0], [500, 0], [1000, 0], [2000, 0], [5000, 0], [10000, 0], [null, 0]],
      "causes": null
    }
  ],
  "worst": {
    "core": 0,
    "late_ms": 352,
    "at_utc": "2026-12-07T14:03:12.345Z",
    "timer_resolution_ms": null
  },
  "log_dropped": 7,
  "problems": [
    {"at_utc": "2026-12-07T14:03:01.000Z", "message": "cannot write to 'C:\\l\"og': full"}
  ],
  "problems_not_listed": 2,
  "suspended": [
    {"from_utc": "2026-12-07T14:03:02.000Z", "to_utc": "2026-12-07T14:03:05.250Z"}
  ],
  "suspended_not_listed": 21,
  "suspended_seconds": 67.890
}
)json");
}

// The text after `"name": ` up to the end of its line, without a comma.
std::string valueOf(const std::string& text, const std::string& name) {
    const std::size_t at = text.find("\"" + name + "\": ");
    if (at == std::string::npos) return "(missing)";
    const std::size_t begin = at + name.size() + 4;
    const std::string value = text.substr(begin, text.find('\n', begin) - begin);
    return value.back() == ',' ? value.substr(0, value.size() - 1) : value;
}

TEST(ReportFormat, MeansAndSecondsHaveThreeDecimalsRoundedHalfAwayFromZero) {
    const std::tuple<std::int64_t, std::int64_t, const char*> cases[] = {
        {2, 3, "0.667"},     {-1, 3, "-0.333"},    {-1, 2, "-0.500"}, {1, 2000, "0.001"},
        {1999, 2000, "1.000"}, {-1, 3000, "0.000"}, {-5, 1, "-5.000"}, {INT64_MAX, 7, "1317624576693539401.000"},
        {INT64_MIN, 1, "-9223372036854775808.000"},
    };
    for (const auto& [sum, events, mean] : cases) {
        const CoreStatistics core{events, 0, 0, sum, 0, 0, 0, sum, {}, 0};
        const std::string text = reportOf(summaryOf("1", 0, 0, false, 5, -1, &core, 1, 0));
        EXPECT_EQ(valueOf(text, "mean_ms"), mean);
        EXPECT_EQ(valueOf(text, "mean_us"), mean);
    }
}

TEST(ReportFormat, WorstIsTheLargestMaximumThenTheEarlierTimeThenTheLowerCore) {
    // Per case: events, max_ms and its time for cores 0 to 2, and the worst.
    const std::pair<std::vector<std::int64_t>, const char*> cases[] = {
        {{1, 10, 9000, 1, 352, 5000, 1, 352, 3000}, "2 352 1970-01-01T00:00:03.000Z"},
        {{1, 352, 3000, 1, 352, 3000, 1, 352, 3000}, "0 352 1970-01-01T00:00:03.000Z"},
        {{0, 0, 0, 1, -3, 1000, 0, 0, 0}, "1 -3 1970-01-01T00:00:01.000Z"},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0}, "null"},
    };
    for (const auto& [maxima, worst] : cases) {
        CoreStatistics cores[3] = {};
        for (std::size_t c = 0; c < 3; ++c) {
            cores[c].events = maxima[c * 3];
            cores[c].maxMs = maxima[c * 3 + 1];
            cores[c].maxAtUtcMs = maxima[c * 3 + 2];
        }
        const std::string text = reportOf(summaryOf("1", 0, 0, false, 0, -1, cores, 3, 0));
        const std::string block = text.substr(text.find("\"worst\": "));
        EXPECT_EQ(valueOf(block, "worst") == "null" ? "null"
                      : valueOf(block, "core") + " " + valueOf(block, "late_ms") + " " + valueOf(block, "at_utc").substr(1, 24),
                  worst);
    }
}

// Each core's wake object says whether its own sampler measured it and how many wake-ups
// over 1 ms the log's limit left out; those are not lost lines: the report stays complete.
TEST(ReportFormat, WakeObjectsSayTheirSamplerAndTheLinesNotLogged) {
    CoreStatistics cores[2] = {};
    const WakeStatistics wakes[2] = {{500, 0, 0, 0, 0, 0, 480, {}, 460}, {}};
    const bool wakeSampled[2] = {true, false};
    RunSummary run = summaryOf("1", 0, 0, false, 0, -1, cores, 2, 0);
    run.wakes = wakes;
    run.wakeSampled = wakeSampled;
    const std::string text = reportOf(run);
    const std::string wake0 = text.substr(text.find("\"wake\": {")), wake1 = text.substr(text.rfind("\"wake\": {"));
    EXPECT_EQ(valueOf(wake0, "sampled") + valueOf(wake0, "wake_lines_not_logged") + valueOf(wake1, "sampled"), "true460false");
    EXPECT_EQ(valueOf(text, "complete"), "true");
}

}  // namespace
