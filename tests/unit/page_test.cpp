// The page of a run and what it is drawn from: the log reader on good and
// bad logs, and the page's parts (the timeline and UTC text: timeline_test.cpp).
// With VANTREL_SAMPLE_PAGE_DIR set, the pages made here are also written
// there (sample-small.html, sample-week-64.html) for a browser to check.
#include <gtest/gtest.h>

#include <array>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "formats/html_format.h"
#include "formats/log_format.h"
#include "formats/report_format.h"
#include "record/timeline.h"
#include "text/utc.h"

namespace {

constexpr std::int64_t startMs = 1796652180000;  // 2026-12-07T14:03:00.000Z

// Formats the page of `run`; with VANTREL_SAMPLE_PAGE_DIR set, also writes it there as `name`.
std::string page(const RunSummary& run, bool withWakes, const char* name) {
    TextBuffer out{};
    EXPECT_TRUE(makeTextBuffer(out, htmlCapacity(run.coreCount, withWakes)));
    formatHtml(run, out);
    EXPECT_FALSE(out.overflowed) << name;
    std::string text(out.data, out.size);
    freeTextBuffer(out);
    if (const char* dir = std::getenv("VANTREL_SAMPLE_PAGE_DIR")) {  // NOLINT(concurrency-mt-unsafe)
        std::ofstream(std::string(dir) + "/" + name, std::ios::binary) << text;
    }
    return text;
}

const std::string goodLog =
    "utc,core,late_ms,late_us\n"
    "2026-12-07T14:03:00.000Z,0,1,900\n"
    "2026-12-07T14:03:00.010Z,1,0,-120\n"
    "2026-12-07T14:03:00.100Z,0,0,300\n"
    "2026-12-07T14:03:04.459Z,1,358,357883\n"
    "2026-12-07T14:03:04.500Z,0,2,2100\n"
    "2026-12-07T14:03:08.000Z,1,0,50\n";
const std::string goodLogWithWakes =
    "utc,core,late_ms,late_us,source\n"
    "2026-12-07T14:03:00.000Z,0,1,900,timer\n"
    "2026-12-07T14:03:00.001Z,1,3,3400,wake\n"
    "2026-12-07T14:03:00.100Z,1,12,12000,timer\r\n"
    "2026-12-07T14:03:02.000Z,0,1,1200,wake\n";
const std::string cutLog = goodLog + "2026-12-07T14:03:08.100Z,0,3";

// Feeds `text` to a new reader in pieces of `chunk` bytes; answers finishLog's verdict.
bool readLog(LogReader& reader, const std::string& text, std::size_t chunk = 4096) {
    EXPECT_TRUE(makeLogReader(reader));
    for (std::size_t at = 0; at < text.size(); at += chunk) {
        readLogChunk(reader, text.data() + at, std::min(chunk, text.size() - at));
    }
    return finishLog(reader);
}

TEST(LogReader, GoodAndBadLogsInAnyChunks) {
    // A power cut: zeros at the end, or a block of zeros and lines again; a byte order mark (an editor's).
    const std::string zeros(300, '\0'), cut = goodLog + "2026-12-07T14:03:08.1" + zeros, more = "2026-12-07T14:03:09.000Z,0,1,1000\n";
    // A line of the longest length read, 100 bytes before its newline: late_us with leading zeros.
    const std::string longest = "2026-12-07T14:03:09.000Z,0,1," + std::string(67, '0') + "1000\n";
    // Each good log with its timer lines, whether it ends early, whether it has wake-ups, and bytes left out.
    const std::tuple<std::string, std::int64_t, bool, bool, std::int64_t> goods[] = {
        {goodLog, 6, false, false, 0}, {goodLogWithWakes, 2, false, true, 0}, {cutLog, 6, true, false, 28},
        {cut, 6, true, false, 321}, {cut + "00Z,1,0,5\n" + more, 7, false, false, 331},
        {goodLog + zeros + more, 7, false, false, 300}, {"\xef\xbb\xbf" + goodLog, 6, false, false, 0},
        {goodLog + longest + "2999-12-31T23:59:59.999Z,1,0,1\n", 8, false, false, 0}};
    // Each bad log with a part of the message it must give.
    const std::pair<std::string, const char*> bads[] = {
        {"", "the log is empty"},
        {"utc,core,late_ms,late_us\n", "no events"},
        {goodLog.substr(25), "line 1: not a log"},
        {"name,value\n\x7f" "ELF\x02\x01\n", "line 1: not a log"},
        {std::string(300, '\x01'), "line 1: longer than any line"},
        {goodLog + "0" + longest, "line 8: longer than any line"},
        {goodLog + "3000-01-01T00:00:00.000Z,1,0,1\n", "line 8: utc '3000-01-01T00:00:00.000Z' is outside"},
        {goodLog + "2026-12-07T14:03:09.000Z,256,0,1\n", "line 8: core '256' is beyond"},
        {goodLog + "2026-12-07T14:03:09.000Z,1,0,1,timer\n", "line 8: expected 4 fields"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,1,0,1,tick\n", "line 6: source 'tick' is neither"},
        {goodLog + "2026-12-07T14:03:09Z,1,0,1\n", "line 8: utc '2026-12-07T14:03:09Z'"},
        {goodLog + "2026-12-07T14:03:09.000Z,1,0,1e3\n", "line 8: late_us '1e3' is not"},
        {goodLog + "\n", "line 8: an empty line"},
        {zeros + goodLog, "line 1: not a log"},
        {goodLog + "2026-12-07T14:03:09.000Z,1,0,5000000000000000000\n", "line 8: late_us '5000000000000000000' is below"},
        {goodLog + "2026-12-07T14:03:09.000Z,1,-101,-100001\n", "line 8: late_ms '-101' is below"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,1,0,-1,wake\n", "line 6: late_us '-1' is below 0"},
        {goodLog + "1969-12-31T23:59:59.999Z,1,0,1\n", "line 8: utc '1969-12-31T23:59:59.999Z' is outside"},
        {goodLog + "2026-12-07T14:03:09.000Z,\x1b]0;\\\xff,0,1\n", "line 8: core '\\x1b]0;\\x5c\\xff' is not"},
        // Notes: only in a log with the source column, with every number empty.
        {goodLog + "2026-12-07T14:03:09.000Z,,,,priority=high\n", "line 8: expected 4 fields"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,1,,,priority=high\n", "line 6: late_ms '' is not"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,,,,priority\n", "line 6: source 'priority' is neither"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,,,,priority=High\n", "line 6: note 'priority=High' is not a priority"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,,,,priority=high;class=\n", "line 6: note 'priority=high;class=' is not"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,,,,priority=abcdefghijklmnop\n", "line 6: note 'priority=abcdefghijklmnop'"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,,,,machine=" + std::string(49, 'm') + "\n", "is longer than a note"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,,,,machine=a\x1b[2Jb\n", "line 6: note 'machine=a\\x1b[2Jb' is not a note"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,,,,processor=\xc3\x28\n", "line 6: note 'processor=\\xc3(' is not a note"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,,,,timer_resolution=1/2\n", "not three resolutions"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,,,,timer_resolution=0/2/3\n", "not three resolutions"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,,,,stall=256/threads\n", "not a core and a stall's cause"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,,,,stall=1/busy\n", "not a core and a stall's cause"},
        {goodLogWithWakes + "2026-12-07T14:03:09.000Z,,,,vantrel=1.6 beta\n", "is not a version"},
        {goodLogWithWakes + "3000-01-01T00:00:00.000Z,,,,priority=high\n", "is outside the years"},
        {"utc,core,late_ms,late_us,source\n2026-12-07T14:03:09.000Z,,,,priority=high\n", "no events"},
    };
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
        SCOPED_TRACE(chunk);
        for (const auto& [text, timerLines, endsEarly, wakes, leftOut] : goods) {
            LogReader reader{};
            EXPECT_TRUE(readLog(reader, text, chunk)) << reader.error.data;
            EXPECT_EQ(reader.coreCount, 2) << text;
            EXPECT_EQ(reader.timerLines, timerLines) << text;
            EXPECT_EQ(reader.endsEarly, endsEarly) << text;
            EXPECT_EQ(reader.sawWakes, wakes) << text;
            EXPECT_EQ(reader.bytesLeftOut, leftOut) << text;
            freeLogReader(reader);
        }
        for (const auto& [text, error] : bads) {
            LogReader reader{};
            EXPECT_FALSE(readLog(reader, text, chunk)) << error;
            EXPECT_NE(std::string(reader.error.data).find(error), std::string::npos) << reader.error.data;
            freeLogReader(reader);
        }
    }
}

// The notes of a log give its run's context; a header or the program's
// note after lines begins another run, with a context of its own.
TEST(LogReader, NotesGiveTheContextAndJoinedLogsTheirRuns) {
    const std::string context =
        "utc,core,late_ms,late_us,source\n2026-12-07T14:02:59.900Z,,,,vantrel=1.6.0\n"
        "2026-12-07T14:02:59.900Z,,,,machine=LAB-7 \xc3\xa4\n2026-12-07T14:02:59.900Z,,,,windows=10.0.19045\n"
        "2026-12-07T14:02:59.900Z,,,,timer_resolution=156250/5000/156250\n"
        "2026-12-07T14:02:59.900Z,,,,priority=normal;class=normal\n2026-12-07T14:03:00.000Z,0,1,900,timer\n"
        "2026-12-07T14:03:02.000Z,,,,priority=realtime;class=high\n2026-12-07T14:03:00.100Z,1,12,12000,timer\n"
        "2026-12-07T14:03:00.100Z,,,,stall=1/threads\n2026-12-07T14:03:00.100Z,,,,cause_of_the_future=x y\n"
        "2026-12-07T14:03:04.000Z,0,1,900,timer\n";
    LogReader reader{};
    ASSERT_TRUE(readLog(reader, context, 5)) << reader.error.data;
    EXPECT_EQ(reader.runCount, 1);
    EXPECT_EQ(reader.timerLines, 3) << "notes are no events";
    EXPECT_EQ(reader.earliestUtcMs, startMs - 100) << "the run's span starts at its first note";
    RunSummary run{};
    summaryFromLog(reader, run, "9.9.9", -1);
    EXPECT_EQ(std::string(run.version), "1.6.0") << "the version of the program that wrote the log";
    EXPECT_EQ(std::string(run.machineName), "LAB-7 \xc3\xa4");
    EXPECT_EQ(std::string(run.systemVersion), "Windows 10.0.19045");
    ASSERT_NE(run.machine, nullptr);
    EXPECT_EQ(run.machine->resolutionAtStart.finest, 5000);
    ASSERT_NE(run.priority, nullptr);
    EXPECT_EQ(std::string(run.priority->start.level), "normal");
    ASSERT_EQ(run.priority->listed, 1);
    EXPECT_EQ(std::string(run.priority->changes[0].level), "realtime");
    EXPECT_EQ(std::string(run.priority->changes[0].granted), "high");
    const std::string shown = page(run, false, "from-log-with-notes.html");
    EXPECT_NE(shown.find("<text class=\"priority-label\" data-utc=\"1796652182000\""), std::string::npos)
        << "each timeline names the stretch after the change";
    freeLogReader(reader);

    // An older log reads as before: no context.
    ASSERT_TRUE(readLog(reader, goodLog));
    summaryFromLog(reader, run, "9.9.9", -1);
    EXPECT_EQ(run.machine, nullptr);
    EXPECT_EQ(run.priority, nullptr);
    EXPECT_EQ(std::string(run.version), "9.9.9");
    freeLogReader(reader);

    // Joined: by a second header (4 columns after 5), or by the program's
    // note without a header; a header right after the first adds no run.
    const std::pair<std::string, std::int64_t> joins[] = {
        {context + goodLog, 2},
        {context + context.substr(32), 2},
        {"utc,core,late_ms,late_us,source\n" + goodLog, 1},
        {context + goodLog + "utc,core,late_ms,late_us\n" + goodLog.substr(25), 3},
    };
    for (const auto& [text, runs] : joins) {
        ASSERT_TRUE(readLog(reader, text)) << reader.error.data;
        EXPECT_EQ(reader.runCount, runs) << text;
        freeLogReader(reader);
    }
}

TEST(LogReader, SummaryHoldsTheLogsFigures) {
    LogReader reader{};
    ASSERT_TRUE(readLog(reader, goodLogWithWakes));
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
    EXPECT_EQ(run.wakes[1].over1ms, 1);
    EXPECT_EQ(run.wakes[0].maxUs, 1200);
    ASSERT_EQ(run.worstWakeCount, 2);
    EXPECT_EQ(run.worstWakes[0].lateUs, 3400);
    EXPECT_EQ(run.timeline->wakeLateUs[20], 1200);  // core 0 at 2 s: slot 20
    freeLogReader(reader);
}

TEST(LogReader, RunStartsAtTheEarliestLineAndSumsCannotOverflow) {
    // Wake lines follow their timer batch: the first line is not the earliest.
    const std::string log = "utc,core,late_ms,late_us,source\n2026-12-07T14:03:01.000Z,0,1,1000,timer\n"
                            "2026-12-07T14:03:00.200Z,0,5,5000,wake\n";
    LogReader reader{};
    ASSERT_TRUE(readLog(reader, log));
    const std::int64_t earliest = reader.earliestUtcMs;
    rewindLogReader(reader);
    startLogAt(reader, earliest);
    readLogChunk(reader, log.data(), log.size());
    ASSERT_TRUE(finishLog(reader));
    RunSummary run{};
    summaryFromLog(reader, run, "1.2.0", -1);
    EXPECT_EQ(run.startedUtcMs, startMs + 200);
    EXPECT_EQ(run.timeline->timerLateUs[8], 1000);
    // A year late on every line: the sum is refused before it overflows.
    rewindLogReader(reader);
    const std::string yearLate = "2026-12-07T14:03:01.000Z,0,31622400000,31622400000000\n";
    readLogChunk(reader, "utc,core,late_ms,late_us\n", 25);
    for (std::int64_t k = 0; k < 300000 && readLogChunk(reader, yearLate.data(), yearLate.size()); ++k) {}
    EXPECT_EQ(std::string(reader.error.data), "line 291674: the lateness of the core's lines adds up to more than a run can measure");
    freeLogReader(reader);
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(Page, SmallRunHasEveryPartAndNothingFromOutside) {
    LogReader reader{};
    ASSERT_TRUE(readLog(reader, goodLog + "2026-12-07T14:03:08.1"));  // ends early
    RunSummary run{};
    summaryFromLog(reader, run, "1.2.0", 250000);
    const std::string html = page(run, false, "sample-small.html");
    freeLogReader(reader);

    for (const char* part : {"id=\"timeline-core-0\"", "id=\"timeline-core-1\"", "id=\"histogram-core-0\"",
                             "id=\"histogram-core-1\"", "id=\"worst-events\"", "id=\"log-ends-early\"",
                             "Log ends early: 21 bytes left out", "class=\"verdict crossed\"", "@media print", "@media (max-width", "name=\"viewport\""}) {
        EXPECT_EQ(countOf(html, part), 1U) << part;
    }
    for (const char* outside : {"<script", "http://", "https://", "src=", "href=", "url(", "@import", "timeline-core-2"}) {
        EXPECT_EQ(countOf(html, outside), 0U) << outside;
    }
    // One row per stall (the others, 5 ms late or less, are not listed), the largest late_ms first.
    const std::size_t table = html.find("id=\"worst-events\"");
    const std::string body = html.substr(table, html.find("</tbody>", table) - table);
    std::vector<std::int64_t> lateUs;
    for (std::size_t at = body.find("<tr data-core"); at != std::string::npos; at = body.find("<tr data-core", at + 1)) {
        lateUs.push_back(std::stoll(body.substr(body.find("data-late-us=\"", at) + 14)));
    }
    EXPECT_EQ(lateUs, (std::vector<std::int64_t>{357883}));
}

TEST(Page, WeekOf64CoresWithWakesAndCausesFitsItsCapacityAndTwoMegabytes) {
    constexpr std::int64_t cores = 64;
    constexpr std::int64_t weekMs = 7 * 86400000LL;
    Timeline timeline{};
    ASSERT_TRUE(makeTimeline(timeline, cores, startMs, true));
    std::vector<CoreStatistics> statistics(cores, CoreStatistics{});
    std::vector<WakeStatistics> wakes(cores, WakeStatistics{});
    bool sampled[cores];
    std::fill_n(sampled, cores, true);
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
        worst.push_back({k * 3, startMs + k * 30000000, 20000000 - k, 20000 - k});
        // A wake-up of the same stall: its mark where the timer event's is.
        worstWakes.push_back({k * 3, startMs + k * 30000000, 19000000 - k});
    }
    // Every cause among them, each stall's figures, and every core's stalls by cause.
    std::vector<StallCause> causes;
    std::vector<StallDuring> during;
    for (std::int64_t k = 0; k < worstEventsKept; ++k) causes.push_back(static_cast<StallCause>(k % stallCauseCount));
    during.assign(worstEventsKept, StallDuring{20000000, 19999999, 1, 1000000});
    std::vector<StallCounts> counts(cores, StallCounts{{1, 20, 0, 3, 99999}, {0, 0, 7, 0, 1}});
    std::vector<Problem> problems(problemsKept, Problem{startMs, {}});
    // A laptop closed every few hours: more sleeps than are listed, each a band on every core.
    SuspendedSpans spans{};
    clearSuspendedSpans(spans);
    for (std::int64_t k = 0; k < suspendedSpansKept + 5; ++k) {
        openSuspendedSpan(spans, startMs + k * 20000000);
        closeSuspendedSpan(spans, startMs + k * 20000000 + 3600000, 0);
    }
    for (Problem& p : problems) std::fill(p.text, p.text + problemTextCapacity - 1, '"');
    const RunSummary run{"1.2.0", "A-VERY-LONG-MACHINE-NAME", "Windows 10.0.19045", startMs, startMs + weekMs,
                         weekMs, false, 50000, true, cores, statistics.data(), sampled, 0, 40, problems.data(),
                         problemsKept, worst.data(), worstEventsKept, wakes.data(), "waitable timer", 500,
                         worstWakes.data(), worstWakesKept, &timeline, false, 0, nullptr, &spans, true, 15625,
                         counts.data(), causes.data(), during.data(), causes.data(), during.data()};
    const std::string html = page(run, true, "sample-week-64.html");
    EXPECT_LE(html.size(), 2U * 1024 * 1024);
    EXPECT_NE(html.find("<meta http-equiv=\"refresh\""), std::string::npos);  // still running
    EXPECT_EQ(countOf(html, "<rect class=\"suspended\""), static_cast<std::size_t>(cores * suspendedSpansKept + 1));
    freeTimeline(timeline);
}

TEST(Page, AnySpanHasAFewTimeLabelsAndFitsWith256Cores) {
    constexpr std::int64_t cores = 256, dayMs = 86400000;
    std::vector<CoreStatistics> statistics(cores);
    std::vector<WakeStatistics> wakes(cores);
    std::vector<char> sampled(cores, 1);
    // Each span with a label its axis must show.
    const std::pair<std::int64_t, const char*> spans[] = {
        {10000, ">14:03:04<"}, {3 * 3600000, ">15:00<"}, {7 * dayMs, ">12-10<"}, {366 * dayMs, ">2027-03<"}, {18263 * dayMs, ">2040<"}};
    for (const auto& [spanMs, label] : spans) {
        SCOPED_TRACE(spanMs);
        Timeline timeline{};
        ASSERT_TRUE(makeTimeline(timeline, cores, startMs, true));
        // Every other slot measured: a lone dot each, the longest a series gets.
        for (std::int64_t k = 0; k < timelineSlots * cores; k += 2) {
            addToTimeline(timeline, k / timelineSlots, startMs + (k % timelineSlots) * (spanMs / timelineSlots), -99999, false);
            addToTimeline(timeline, k / timelineSlots, startMs + (k % timelineSlots) * (spanMs / timelineSlots), 31622400000000, true);
        }
        addToTimeline(timeline, 0, startMs + spanMs, 1, false);
        const RunSummary run{"1.2.0", "", "", startMs, startMs + spanMs, spanMs, true, 50000, true, cores,
                             statistics.data(), reinterpret_cast<const bool*>(sampled.data()), 0, 0, nullptr, 0,
                             nullptr, 0, wakes.data(), "", 500, nullptr, 0, &timeline, true, 1000000, nullptr, nullptr};
        const std::string html = page(run, true, "span.html");
        const std::size_t labels = countOf(html, "text-anchor=\"middle\">");
        EXPECT_TRUE(labels >= 2U * cores && labels <= 8U * cores) << labels;
        EXPECT_NE(html.find(label), std::string::npos);
        freeTimeline(timeline);
    }
}

// A finished run of one core with wake-ups, `outside` in every field of text from outside.
struct SmallRun {
    CoreStatistics core{};
    WakeStatistics wake{};
    bool sampled = true;
    Problem problem{startMs, {}};
    Timeline timeline{};
    RunSummary run{};

    explicit SmallRun(const std::string& outside) {
        outside.copy(problem.text, problemTextCapacity - 1);
        EXPECT_TRUE(makeTimeline(timeline, 1, startMs, true));
        const char* o = problem.text;
        run = RunSummary{o, o, o, startMs, startMs, 0, true, -1, false, 1, &core, &sampled, 0, 1, &problem, 1,
                         nullptr, 0, &wake, o, 0, nullptr, 0, &timeline, false, 0, nullptr, nullptr};
    }
    ~SmallRun() { freeTimeline(timeline); }
    SmallRun(const SmallRun&) = delete;
    SmallRun& operator=(const SmallRun&) = delete;
};

TEST(Page, OutsideTextIsShownAsTextAndAddsNoElement) {
    const SmallRun reference("plain");
    const std::string plainPage = page(reference.run, true, "sample-outside.html");
    const std::pair<std::string, std::string> cases[] = {
        {"R&D <lab>", "R&amp;D &lt;lab&gt;"}, {"\"quoted\" 'single'", "&quot;quoted&quot; &#39;single&#39;"},
        {"C:\\a&b\\<x>.html\" onload=\"x", "C:\\a&amp;b\\&lt;x&gt;.html&quot; onload=&quot;x"}};
    for (const auto& [outside, shown] : cases) {
        const SmallRun hostile(outside);
        const std::string html = page(hostile.run, true, "sample-outside.html");
        EXPECT_EQ(countOf(html, "<"), countOf(plainPage, "<")) << outside;
        EXPECT_EQ(countOf(html, shown), 7U) << outside << ": title, heading, machine, Windows, wake method, program, problem";
    }
}

// Points at the x of their slot's middle, marks at the x of their time: the axis is 1000 px from x 62.
TEST(Page, PointsAndMarksAreDrawnAtTheXOfTheirTime) {
    SmallRun small("x");
    const std::int64_t times[] = {0, 250, 260, 1230, 4990, 4999};
    std::vector<WorstEvent> worst;
    std::vector<WakeEvent> worstWakes;
    for (const std::int64_t at : times) {
        addToTimeline(small.timeline, 0, startMs + at, 1000 + at * 10, false);
        addToTimeline(small.timeline, 0, startMs + at, 500 + at, true);
        worst.push_back(WorstEvent{0, startMs + at, 6000 + at * 10, 6 + at / 100});
        worstWakes.push_back(WakeEvent{0, startMs + at, 5500 + at});
    }
    small.run.worstTimer = worst.data();
    small.run.worstWakes = worstWakes.data();
    small.run.worstTimerCount = small.run.worstWakeCount = static_cast<std::int64_t>(std::size(times));
    const std::string html = page(small.run, true, "sample-x.html");
    const auto xOf = [](std::int64_t sinceStartMs) { return 62 + std::lround(static_cast<double>(sinceStartMs) / 5.0); };
    const std::vector<long> slotXs = {xOf(50), xOf(250), xOf(1250), xOf(4950)};  // slots 0, 2, 12 and 49, once each
    const std::regex point("[M ](\\d+) \\d+");
    for (const char* series : {"<path class=\"timer\" d=\"", "<path class=\"wake\" d=\"M"}) {
        const std::size_t from = html.find(series, html.find("id=\"timeline-core-0\""));
        const std::string d = html.substr(from, html.find('"', from + std::string(series).size()) - from);
        std::vector<long> xs;
        for (std::sregex_iterator it(d.begin(), d.end(), point), end; it != end; ++it) xs.push_back(std::stol((*it)[1]));
        EXPECT_EQ(xs, slotXs) << d;
    }
    const std::regex mark("<g class=\"worst-(wake-)?mark\" data-core=\"0\" data-utc=\"(\\d+)\"[^>]*><title>[^<]*</title><path d=\"M(\\d+) ");
    std::size_t marks = 0;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), mark); it != std::sregex_iterator(); ++it, ++marks) {
        EXPECT_EQ(std::stol((*it)[3]) + ((*it)[1].matched ? 5 : 0), xOf(std::stoll((*it)[2]) - startMs)) << (*it)[0];  // a wake-up's square starts 5 left
    }
    EXPECT_EQ(marks, 2 * std::size(times));
    // Twelve marks of the same few places on one timeline: no two labels, nor a label and a mark, overlap.
    const std::regex label("<text x=\"(\\d+)\" y=\"(\\d+)\">(w?\\d+)</text></g>");
    std::vector<std::array<long, 4>> boxes;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), label); it != std::sregex_iterator(); ++it) {
        const long x = std::stol((*it)[1]), y = std::stol((*it)[2]);
        boxes.push_back({x, y - 12, x + static_cast<long>((*it)[3].length()) * 8, y + 3});
    }
    ASSERT_EQ(boxes.size(), 12U);
    for (std::size_t a = 0; a < boxes.size(); ++a) {
        for (std::size_t b = a + 1; b < boxes.size(); ++b) {
            const bool apart = boxes[a][2] <= boxes[b][0] || boxes[b][2] <= boxes[a][0] || boxes[a][3] <= boxes[b][1] ||
                               boxes[b][3] <= boxes[a][1];
            EXPECT_TRUE(apart) << "labels " << a << " and " << b << " overlap";
        }
    }
}

// Without stalls nothing is marked and the lists say so.
TEST(Page, AQuietRunMarksNothingAndSaysNoStalls) {
    SmallRun small("x");
    const WorstEvent worst{0, startMs + 100, 4999, 4};
    const WakeEvent wake{0, startMs + 100, 5000};
    small.run.worstTimer = &worst;
    small.run.worstWakes = &wake;
    small.run.worstTimerCount = small.run.worstWakeCount = 1;
    const std::string html = page(small.run, true, "sample-quiet.html");
    for (const char* part : {"id=\"no-timer-stalls\">No stalls", "id=\"no-wake-stalls\">No stalls"}) {
        EXPECT_EQ(countOf(html, part), 1U) << part;
    }
    for (const char* part : {"class=\"worst-mark\"", "class=\"worst-wake-mark\"", "id=\"worst-events\"", "id=\"worst-wakes\""}) {
        EXPECT_EQ(countOf(html, part), 0U) << part;
    }
    EXPECT_EQ(countOf(html, "id=\"wake-histogram-core-0\""), 1U) << "the wake-ups' histogram is drawn";
}

}  // namespace
