// The stall causes on the page: each cause's mark and cell, the per-core bars,
// the notes, and the one line of a page without causes (page_test holds the
// size of a page with causes and writes one for the browser).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "formats/html_format.h"
#include "formats/html_parts.h"
#include "formats/metrics_format.h"
#include "formats/report_format.h"
#include "formats/suspect_format.h"
#include "record/timeline.h"

namespace {

constexpr std::int64_t startMs = 1796652180000;  // 2026-12-07T14:03:00.000Z

std::string textOf(const RunSummary& run, void (*format)(const RunSummary&, TextBuffer&) = formatHtml,
                   std::size_t (*capacity)(std::int64_t, bool) = htmlCapacity) {
    TextBuffer out{};
    EXPECT_TRUE(makeTextBuffer(out, capacity(run.coreCount, run.wakes != nullptr)));
    format(run, out);
    EXPECT_FALSE(out.overflowed);
    std::string text(out.data, out.size);
    freeTextBuffer(out);
    return text;
}

std::string pageOf(const RunSummary& run) { return textOf(run); }

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

TEST(PageCauses, FiguresNotReadShowAsNotKnownNotAsNothing) {
    CausesRun causes(true);
    // The report writes null for them; the page a dash, never "0.0".
    causes.during[0] = StallDuring{9800, -1, -1, -1};
    causes.wakeDuring = StallDuring{-1, -1, 2500, -1};
    const std::string html = pageOf(causes.run);
    const char* const dash = "\xe2\x80\x94";
    const char* const dot = " \xc2\xb7 ";
    EXPECT_NE(html.find(std::string("threads <small>") + dash + dot + dash + dot + dash + " / 9.8</small>"), std::string::npos);
    EXPECT_NE(html.find(std::string("idle <small>") + dash + dot + "2.5" + dot + dash + " / " + dash + "</small>"),
              std::string::npos);
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

TEST(PageCauses, SuspectsOfThreadsStallsInThePageTheReportTheMetricsAndTheConsole) {
    CausesRun causes(true);
    causes.causes[3] = StallCause::threads;  // with its suspects unknown
    std::vector<StallSuspects> suspects(causes.worst.size());
    suspects[0] = {true, 412345, 2, {{"spin<1>.exe", 52, 150000, 8, true, 80, 140000, 15}, {"b", 9, 5000, 13, false, -1, 0, 0}}};
    suspects[1] = suspects[0];  // not caused by threads: shown nowhere
    const SuspectTally tally{{{"b", 1, 0, 5000}, {"spin<1>.exe", 3, 2, 450000}}, 2, 3, 0};
    StallSuspects wakeSuspects{};
    RunSummary& run = causes.run;
    std::tie(run.suspects, run.suspectSnapshots, run.suspectSnapshotFailures, run.worstTimerSuspects,
             run.worstWakeSuspects, run.suspectTally) = std::make_tuple(true, 12, 1, suspects.data(), &wakeSuspects, &tally);
    causes.wakeCause = StallCause::threads;
    causes.cores[1] = CoreStatistics{};
    std::tie(causes.cores[1].events, causes.cores[1].maxMs, causes.cores[1].maxAtUtcMs) =
        std::make_tuple(1, causes.worst[0].lateMs, causes.worst[0].utcMs);

    const std::string html = pageOf(run);
    EXPECT_NE(partOf(html, "<tr data-core=\"1\" data-utc=\"" + std::to_string(causes.worst[0].utcMs), "</tr>")
                  .find("<span class=\"suspect\" data-process=\"spin&lt;1&gt;.exe\" data-cpu-us=\"150000\">"
                        "spin&lt;1&gt;.exe 150.0 ms <small>CPU in 412.3</small></span></td>"),
              std::string::npos) << html;
    EXPECT_EQ(countOf(html, "class=\"suspect\""), 3U) << "the first suspect of each stall caused by threads";
    EXPECT_EQ(countOf(html, "<small class=\"suspect\">suspects unknown</small>"), 2U);
    const std::string table = partOf(html, "id=\"suspects\"", "</table>");
    EXPECT_NE(table.find("<tr data-process=\"spin&lt;1&gt;.exe\"><td class=\"text\">spin&lt;1&gt;.exe</td><td>3</td>"
                         "<td>2</td><td>450.0</td></tr><tr data-process=\"b\">"),
              std::string::npos) << table;
    EXPECT_NE(html.find("(3 stalls; 12 snapshots, 1 failed). It ran near the stall"), std::string::npos);

    const std::string report = textOf(run, formatReport, reportCapacity);
    EXPECT_NE(report.find("\"suspects\": [{\"process\": \"spin<1>.exe\", \"pid\": 52, \"cpu_ms\": 150, \"window_ms\": "
                          "412.345, \"base_priority\": 8, \"above_sampler\": true, \"thread\": {\"tid\": 80, \"cpu_ms\": "
                          "140, \"priority\": 15}}, {\"process\": \"b\", \"pid\": 9, \"cpu_ms\": 5, \"window_ms\": "
                          "412.345, \"base_priority\": 13, \"above_sampler\": false, \"thread\": null}],\n    \"timer_resolution_ms\": null\n  }"),
              std::string::npos) << report;
    EXPECT_NE(report.find("\"cause\": \"threads\", \"during\": {\"span_ms\": 120, \"threads_ms\": 0, \"drivers_ms\": 0, "
                          "\"idle_ms\": 118}, \"suspects\": null, \"timer_resolution_ms\": null}"),
              std::string::npos) << report;
    EXPECT_EQ(countOf(report, "\"suspects\""), 2U);

    const std::string metrics = textOf(run, formatMetrics, metricsCapacity);
    EXPECT_NE(metrics.find("\nvantrel_suspect_snapshots_total 12\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("\nvantrel_suspect_snapshot_failures_total 1\n"), std::string::npos) << metrics;

    // The console's word on the worst stall: the worst wake-up, then without wake-ups the worst timer event.
    TextBuffer line{};
    ASSERT_TRUE(makeTextBuffer(line, 256));
    EXPECT_FALSE(appendWorstStallSuspect(line, run)) << "its suspects are unknown";
    wakeSuspects = suspects[0];
    wakeSuspects.list[0].process[4] = '\n';
    EXPECT_TRUE(appendWorstStallSuspect(line, run));
    EXPECT_EQ(std::string(line.data, line.size), "suspect: spin?1>.exe (pid 52), 150 ms of CPU time in the 412 ms around it");
    freeTextBuffer(line);
    run.suspects = false;
    EXPECT_EQ(countOf(textOf(run, formatReport, reportCapacity), "\"suspects\": null"), 2U) << "without snapshots all null";
    EXPECT_EQ(countOf(pageOf(run), "class=\"suspect\""), 0U);
    EXPECT_EQ(countOf(textOf(run, formatMetrics, metricsCapacity), "suspect"), 0U);
}

TEST(PageCauses, EveryWorstEntrysSuspectsWithTheLongestNamesFitThePageAndTheReport) {
    // Quotes grow most in the page, control characters in the report; every
    // entry caused by threads, every suspect known.
    Suspect longest{{}, INT64_MAX, INT64_MAX, INT32_MIN, true, INT64_MAX, INT64_MAX, INT32_MIN};
    std::fill(longest.process, longest.process + suspectNameCapacity - 1, '"');
    const StallSuspects full{true, INT64_MAX, suspectsKept, {longest, longest, longest}};
    SuspectTally tally{};
    for (SuspectTallyEntry& e : tally.kept) e = {{}, INT64_MAX, INT64_MAX, INT64_MAX};
    for (SuspectTallyEntry& e : tally.kept) std::copy(longest.process, longest.process + suspectNameCapacity, e.process);
    tally.count = suspectTallyKept;
    CausesRun causes(true);
    std::vector<WorstEvent> worst(worstEventsKept, causes.worst[0]);
    std::vector<WakeEvent> wakes(worstWakesKept, causes.worstWake);
    const std::vector<StallCause> threads(worstWakesKept, StallCause::threads);
    const std::vector<StallDuring> during(worstWakesKept, StallDuring{INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX});
    std::vector<StallSuspects> suspects(worstWakesKept, full);
    RunSummary& run = causes.run;
    std::tie(run.worstTimer, run.worstTimerCount, run.worstWakes, run.worstWakeCount) =
        std::make_tuple(worst.data(), worstEventsKept, wakes.data(), worstWakesKept);
    std::tie(run.worstTimerCause, run.worstTimerDuring, run.worstWakeCause, run.worstWakeDuring) =
        std::make_tuple(threads.data(), during.data(), threads.data(), during.data());
    std::tie(run.suspects, run.worstTimerSuspects, run.worstWakeSuspects, run.suspectTally) =
        std::make_tuple(true, suspects.data(), suspects.data(), &tally);
    causes.cores[1] = CoreStatistics{};
    std::tie(causes.cores[1].events, causes.cores[1].maxMs, causes.cores[1].maxAtUtcMs) =
        std::make_tuple(1, worst[0].lateMs, worst[0].utcMs);
    const std::string page = textOf(run);
    EXPECT_EQ(countOf(page, "<tr data-process="), 10U) << "the table's ten rows";
    for (StallSuspects& s : suspects) {
        for (Suspect& each : s.list) std::fill(each.process, each.process + suspectNameCapacity - 1, '\x01');
    }
    const std::string report = textOf(run, formatReport, reportCapacity);
    EXPECT_EQ(countOf(report, "\"process\""), static_cast<std::size_t>(suspectsKept * (1 + worstWakesKept)));
    run.suspects = false;
    EXPECT_LE(report.size() - textOf(run, formatReport, reportCapacity).size(), (1 + worstWakesKept) * suspectsJsonBytes)
        << "the report's bound of one stall's suspects";
    const std::size_t table = partOf(page, "<h3>Suspects</h3>", "never suspects.</p>").size();
    EXPECT_LE(table, suspectTableBytes) << "the bound of the table of suspects";
    EXPECT_LE(page.size() - textOf(run).size() - table, (worstEventsKept + worstWakesKept) * suspectCellBytes)
        << "the bound of a cause cell's first suspect";
}

}  // namespace
