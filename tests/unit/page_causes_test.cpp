// The stall causes on the page: each cause's mark and cell, the per-core bars,
// the notes, the one line of a page without causes, and the size with the
// most a page of causes can hold. With VANTREL_SAMPLE_PAGE_DIR set, the page
// with causes is also written there (sample-causes.html) for a browser.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats/html_format.h"
#include "record/timeline.h"

namespace {

constexpr std::int64_t startMs = 1796652180000;  // 2026-12-07T14:03:00.000Z

std::string pageOf(const RunSummary& run, const char* sampleName = nullptr) {
    TextBuffer out{};
    EXPECT_TRUE(makeTextBuffer(out, htmlCapacity(run.coreCount, run.wakes != nullptr)));
    formatHtml(run, out);
    EXPECT_FALSE(out.overflowed);
    std::string text(out.data, out.size);
    freeTextBuffer(out);
    const char* dir = std::getenv("VANTREL_SAMPLE_PAGE_DIR");  // NOLINT(concurrency-mt-unsafe)
    if (dir != nullptr && sampleName != nullptr) std::ofstream(std::string(dir) + "/" + sampleName, std::ios::binary) << text;
    return text;
}

// A worst event's cause, its lateness, and the name and the piece of path its mark must show.
struct CauseCase {
    StallCause cause;
    std::int64_t lateUs;
    const char* name;
    const char* shape;
};
const CauseCase causeCases[] = {
    {StallCause::threads, 358000, "threads", "a6 6 0 1 0 12 0"}, {StallCause::drivers, 200000, "drivers", "l6 11h-12z"},
    {StallCause::idle, 150000, "idle", "h10v10h-10z"},           {StallCause::mixed, 90000, "mixed", "l6 6-6 6-6-6z"},
    {static_cast<StallCause>(77), 40000, "unknown", "h4v4h4v4"},  // a value from nowhere reads as unknown
    {StallCause::unknown, 6000, "unknown", "h4v4h4v4"},          {StallCause::threads, 5000, "none", "h12v4h-12z"}};

// Two cores with wake-ups, core 1's worst events one per case, over 10 s.
struct CausesRun {
    CoreStatistics cores[2]{};
    WakeStatistics wakes[2]{};
    bool sampled[2] = {true, true};
    Timeline timeline{};
    SuspendedSpans spans{};
    std::vector<WorstEvent> worst;
    std::vector<StallCause> causes;
    std::vector<StallDuring> during;
    WakeEvent worstWake{1, startMs + 4100, 120000};
    StallCause wakeCause = StallCause::idle;
    StallDuring wakeDuring{120000, 0, 0, 118000};
    StallCounts counts[2] = {{}, {{2, 3, 0, 1, 0}, {0, 0, 0, 4, 0}}};
    RunSummary run{};

    explicit CausesRun(bool accounting) {
        EXPECT_TRUE(makeTimeline(timeline, 2, startMs, true));
        clearSuspendedSpans(spans);
        for (std::int64_t k = 0; k < static_cast<std::int64_t>(std::size(causeCases)); ++k) {
            const CauseCase& c = causeCases[k];
            worst.push_back({1, startMs + 4000 + k * 700, c.lateUs, c.lateUs / 1000});
            causes.push_back(c.cause);
            during.push_back({c.lateUs, c.lateUs * 9 / 10, 1500, c.lateUs / 20});
            addToTimeline(timeline, 1, worst.back().utcMs, c.lateUs, false);
        }
        addToTimeline(timeline, 0, startMs + 10000, 100, false);
        run = RunSummary{"1.2.0", "LAB", "", startMs, startMs + 10000, 10000, true, -1, false, 2, cores, sampled, 0, 0,
                         nullptr, 0, worst.data(), static_cast<std::int64_t>(worst.size()), wakes, "waitable timer",
                         500, &worstWake, 1, &timeline, false, 0, nullptr, &spans};
        if (accounting) {
            run.accounting = true;
            run.accountingResolutionUs = 15625;
            run.stallCauses = counts;
            run.worstTimerCause = causes.data();
            run.worstTimerDuring = during.data();
            run.worstWakeCause = &wakeCause;
            run.worstWakeDuring = &wakeDuring;
        }
    }
    ~CausesRun() { freeTimeline(timeline); }
    CausesRun(const CausesRun&) = delete;
    CausesRun& operator=(const CausesRun&) = delete;
};

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// The element that starts with `start`, up to the end `end`.
std::string partOf(const std::string& html, const std::string& start, const char* end) {
    const std::size_t from = html.find(start);
    return from == std::string::npos ? "" : html.substr(from, html.find(end, from) - from);
}

TEST(PageCauses, EachWorstEventShowsItsCauseByShapeNameAndFigures) {
    const CausesRun causes(true);
    const std::string html = pageOf(causes.run, "sample-causes.html");
    for (std::size_t k = 0; k < std::size(causeCases); ++k) {
        const CauseCase& c = causeCases[k];
        const std::string utc = "data-utc=\"" + std::to_string(causes.worst[k].utcMs) + "\"";
        const std::string mark = partOf(html, "<g class=\"worst-mark\" data-core=\"1\" " + utc, "</g>");
        const std::string row = partOf(html, "<tr data-core=\"1\" " + utc, "</tr>");
        EXPECT_NE(mark.find(std::string("data-cause=\"") + c.name + "\""), std::string::npos) << k << mark;
        EXPECT_NE(mark.find(c.shape), std::string::npos) << k << mark;
        EXPECT_NE(row.find(std::string(c.lateUs > 5000 ? ">" : "data-cause=\"") + c.name), std::string::npos) << k << row;
    }
    // The figures in the cell; a no-stall row has a dash and none.
    EXPECT_NE(html.find("data-cause=\"threads\">threads <small>322.2 \xc2\xb7 1.5 \xc2\xb7 17.9 / 358.0</small></td>"),
              std::string::npos);
    EXPECT_NE(html.find("<td class=\"text\">\xe2\x80\x94</td></tr>"), std::string::npos);
    // The wake-up: its own number, its cause's square, its figures.
    const std::string wakeMark = partOf(html, "<g class=\"worst-wake-mark\"", "</g>");
    EXPECT_NE(wakeMark.find("data-cause=\"idle\""), std::string::npos) << wakeMark;
    EXPECT_NE(wakeMark.find(">w1<"), std::string::npos) << wakeMark;
    EXPECT_NE(partOf(html, "id=\"worst-wakes\"", "</table>").find("idle <small>0.0 \xc2\xb7 0.0 \xc2\xb7 118.0 / 120.0"),
              std::string::npos);
    // Bars as long as the stalls, the core with the most (6) filling 100; counts in words.
    const std::string cores = partOf(html, "id=\"cores\"", "</table>");
    EXPECT_NE(cores.find("<rect data-cause=\"threads\" x=\"0\" width=\"50\" height=\"10\"/><rect data-cause=\"idle\" "
                         "x=\"50\" width=\"16\" height=\"10\"/><rect data-cause=\"unknown\" x=\"66\" width=\"33\""),
              std::string::npos) << cores;
    EXPECT_NE(cores.find("</svg> 3 threads, 1 idle, 2 unknown</td>"), std::string::npos);
    EXPECT_EQ(countOf(cores, "<td class=\"text\">none</td>"), 1U);
    EXPECT_NE(partOf(html, "id=\"wake-cores\"", "</table>").find("x=\"0\" width=\"100\" height=\"10\"/></svg> 4 idle"),
              std::string::npos);
    // What each cause means, the accounting's step, and a legend of every shape.
    EXPECT_EQ(countOf(partOf(html, "id=\"causes\"", "</dl>"), "<dt class=\"cause-key\">"), 5U);
    EXPECT_NE(html.find("raise Vantrel's priority in the menu"), std::string::npos);
    EXPECT_NE(html.find("steps of 15.6 ms"), std::string::npos);
    EXPECT_EQ(countOf(html, "<span class=\"cause-key\">"), 6U);
    EXPECT_EQ(countOf(html, "id=\"no-causes\""), 0U);
}

TEST(PageCauses, WithoutAccountingOneLineSaysWhyAndNothingElseChanges) {
    CausesRun plain(false);
    std::string html = pageOf(plain.run);
    for (const char* absent : {"data-cause", "<small>", "stalls by cause", "cause-key", "id=\"causes\""}) {
        EXPECT_EQ(countOf(html, absent), 0U) << absent;
    }
    EXPECT_EQ(countOf(html, "<p id=\"no-causes\">No causes: the per-processor time accounting could not be read"), 1U);
    EXPECT_NE(html.find("<path d=\"M"), std::string::npos);
    plain.run.suspended = nullptr;  // as a log gives it
    html = pageOf(plain.run);
    EXPECT_EQ(countOf(html, "<p id=\"no-causes\">No causes: made from a log"), 1U);
}

TEST(PageCauses, TheMostCausesOf256CoresFitTheCapacity) {
    constexpr std::int64_t cores = 256, huge = 4000000000000000000, many = 1000000000000000000;
    std::vector<CoreStatistics> statistics(cores);
    std::vector<WakeStatistics> wakes(cores);
    std::vector<char> sampled(cores, 1);
    std::vector<StallCounts> counts(cores, StallCounts{{many, many, many, many, many}, {many, many, many, many, many}});
    std::vector<WorstEvent> worst(worstEventsKept, WorstEvent{cores - 1, startMs, huge, huge / 1000});
    std::vector<WakeEvent> worstWakes(worstWakesKept, WakeEvent{cores - 1, startMs, huge});
    std::vector<StallCause> causes(worstWakesKept, StallCause::mixed);
    std::vector<StallDuring> during(worstWakesKept, StallDuring{-huge, -huge, -huge, -huge});
    Timeline timeline{};
    ASSERT_TRUE(makeTimeline(timeline, cores, startMs, true));
    for (std::int64_t c = 0; c < cores; ++c) addToTimeline(timeline, c, startMs, huge, false);
    RunSummary run{"1.2.0", "", "", startMs, startMs, 0, true, 1, true, cores, statistics.data(),
                   reinterpret_cast<const bool*>(sampled.data()), 0, 0, nullptr, 0, worst.data(), worstEventsKept,
                   wakes.data(), "", 500, worstWakes.data(), worstWakesKept, &timeline, false, 0, nullptr, nullptr};
    run.accounting = true;
    run.accountingResolutionUs = huge;
    run.stallCauses = counts.data();
    run.worstTimerCause = run.worstWakeCause = causes.data();
    run.worstTimerDuring = run.worstWakeDuring = during.data();
    const std::string html = pageOf(run);
    EXPECT_EQ(countOf(html, "<rect data-cause=\"mixed\" x=\"60\" width=\"20\""), 2U * cores);
    EXPECT_EQ(countOf(html, ", 1000000000000000000 unknown</td>"), 2U * cores);
    freeTimeline(timeline);
}

}  // namespace
