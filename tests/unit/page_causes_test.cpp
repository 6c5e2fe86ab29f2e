// The stall causes on the page: each cause's mark and cell, the per-core bars,
// the notes, and the one line of a page without causes (page_test holds the
// size of a page with causes and writes one for the browser).
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "formats/html_format.h"
#include "record/timeline.h"

namespace {

constexpr std::int64_t startMs = 1796652180000;  // 2026-12-07T14:03:00.000Z

std::string pageOf(const RunSummary& run) {
    TextBuffer out{};
    EXPECT_TRUE(makeTextBuffer(out, htmlCapacity(run.coreCount, run.wakes != nullptr)));
    formatHtml(run, out);
    std::string text(out.data, out.size);
    freeTextBuffer(out);
    return text;
}

// A worst event's cause, its lateness, and the name and the piece of path its mark must show.
struct CauseCase { StallCause cause; std::int64_t lateUs; const char* name; const char* shape; };
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
                         500, &worstWake, 1, &timeline, false, 0, nullptr, &spans, accounting, 15625};
        if (accounting) std::tie(run.stallCauses, run.worstTimerCause, run.worstTimerDuring, run.worstWakeCause, run.worstWakeDuring) =
            std::make_tuple(counts, causes.data(), during.data(), &wakeCause, &wakeDuring);
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
    const std::string html = pageOf(causes.run);
    for (std::size_t k = 0; k < std::size(causeCases); ++k) {
        const CauseCase& c = causeCases[k];
        const std::string utc = "data-utc=\"" + std::to_string(causes.worst[k].utcMs) + "\"";
        const std::string mark = partOf(html, "<g class=\"worst-mark\" data-core=\"1\" " + utc, "</g>");
        const std::string row = partOf(html, "<tr data-core=\"1\" " + utc, "</tr>");
        if (c.lateUs <= 5000) {
            EXPECT_TRUE(mark.empty() && row.empty()) << k << ": no stall, neither marked nor listed";
            continue;
        }
        EXPECT_NE(mark.find(std::string("data-cause=\"") + c.name + "\""), std::string::npos) << k << mark;
        EXPECT_NE(mark.find(c.shape), std::string::npos) << k << mark;
        EXPECT_NE(row.find(std::string(">") + c.name), std::string::npos) << k << row;
    }
    // The figures in the cell.
    EXPECT_NE(html.find("data-cause=\"threads\">threads <small>322.2 \xc2\xb7 1.5 \xc2\xb7 17.9 / 358.0</small></td>"),
              std::string::npos);
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
    EXPECT_EQ(countOf(html, "<span class=\"cause-key\">"), 5U) << "a shape per cause; no stall is not marked";
    EXPECT_EQ(countOf(html, "id=\"no-causes\""), 0U);
}

TEST(PageCauses, WithoutAccountingOneLineSaysWhyAndNothingElseChanges) {
    CausesRun plain(false);
    std::string html = pageOf(plain.run);
    for (const char* absent : {"data-cause", "</small></td>", "stalls by cause", "cause-key", "id=\"causes\""}) {
        EXPECT_EQ(countOf(html, absent), 0U) << absent;
    }
    EXPECT_EQ(countOf(html, "<p id=\"no-causes\">No causes: the per-processor time accounting could not be read"), 1U);
    EXPECT_NE(html.find("<path d=\"M"), std::string::npos);
    plain.run.readFromLog = true;
    html = pageOf(plain.run);
    EXPECT_EQ(countOf(html, "<p id=\"no-causes\">No causes: made from a log"), 1U);
}

}  // namespace
