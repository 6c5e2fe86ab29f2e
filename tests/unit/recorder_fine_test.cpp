// A --fine record: the exit code, the report and the page agree on what
// crossed the limit, and equal lateness is ordered the same in every list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "engine/platform_seam.h"
#include "engine/wake_figures.h"
#include "record/recorder.h"
#include "tests/unit/recorder_support.h"

namespace {

// The --fine record: wake-ups fed as their samplers do, timer events carrying
// the worst wake-up since the previous one, as recordTimerEvent hands them over.
TEST_F(Recorder, FineExitCodeReportAndPageAgreeOnWhatCrossed) {
    const struct {
        const char* name;
        std::vector<WakeEvent> timers, wakes, wakesAfterClose;  // utcMs from the start; a timer's late_ms is lateUs / 1000
        const char* verdict;
    } cases[] = {
        {"both exactly at the limit", {{1, 200, 15000}}, {{1, 150, 15000}}, {}, "Passed: no timer event and no wake-up came later than 15 ms."},
        {"a late wake-up after the close request", {{1, 200, 2000}}, {{1, 150, 5000}}, {{1, 950, 25000}}, "Passed: no timer event and no wake-up"},
        {"a wake-up only, the worst timer event exactly at the limit", {{1, 300, 15000}}, {{1, 150, 14000}, {1, 250, 25000}}, {},
         "Crossed: wake-ups came later than 15 ms; the worst, on core 1 (#2 in the window) at 2026-12-07T14:03:00.250Z, "
         "was 25 ms late."},
        {"both", {{0, 100, 16000}, {1, 300, 1000}}, {{1, 250, 31000}}, {},
         "Crossed: timer events and wake-ups came later than 15 ms; the worst timer event, on core 0 (#1 in the "
         "window) at 2026-12-07T14:03:00.100Z, was 16 ms late by the system's tick count (16 ms measured with the "
         "high-resolution counter); the worst wake-up, on core 1 (#2 in the window) at 2026-12-07T14:03:00.250Z, was "
         "31 ms late."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(start(at("r.json"), at("l.csv"), 2, 15, at("p.html"), true)) << error;
        for (const WakeEvent& w : c.wakes) recordWake(w.core, w.lateUs, 0, startedUtcMs + w.utcMs);
        for (const WakeEvent& t : c.timers) {
            lockSamples();
            recordEvent(TimerEvent{t.core, t.lateUs / 1000, t.lateUs, startedUtcMs + t.utcMs, takeColumnWorstUs(t.core)});
            unlockSamples();
        }
        recorderStep(startedUtcMs + 500, 500, true);
        stopRecording(startedUtcMs + 900, 900);
        for (const WakeEvent& w : c.wakesAfterClose) recordWake(w.core, w.lateUs, 0, startedUtcMs + w.utcMs);
        finishRecorder(startedUtcMs + 1000, 1000, 0);

        EXPECT_EQ(recorderSawFailure(), std::string(c.verdict).rfind("Crossed", 0) == 0);
        const std::string page = readFile(at("p.html"));
        EXPECT_NE(page.find(c.verdict), std::string::npos) << page.substr(page.find("id=\"verdict\""), 400);
        for (const WakeEvent& w : c.wakesAfterClose) {
            EXPECT_EQ((readFile(at("r.json")) + readFile(at("l.csv"))).find(std::to_string(w.lateUs)), std::string::npos);
        }
        // Core 1's wake-ups reached its timeline, late enough for the log or not, and the stalls among them are marked.
        EXPECT_EQ(countOf(page, "<path class=\"wake\" d=\"M"), 2U) << "the legend's and core 1's";
        const auto stalls = std::count_if(c.wakes.begin(), c.wakes.end(), [](const WakeEvent& w) { return w.lateUs > 5000; });
        EXPECT_EQ(countOf(page, "<g class=\"worst-wake-mark\""), static_cast<std::size_t>(stalls));
    }
}

TEST_F(Recorder, FineEqualLatenessTheEarlierLeadsEveryList) {
    ASSERT_TRUE(start(at("r.json"), at("l.csv"), 2, -1, at("p.html"), true)) << error;
    // Each core in its own time order; across cores the lock is taken in any order.
    for (const auto& [core, atMs] : {std::pair{0, 150}, {1, 100}, {1, 300}, {0, 200}}) record(core, 20, startedUtcMs + atMs);
    for (const auto& [core, atMs] : {std::pair{0, 150}, {1, 120}, {1, 180}}) recordWake(core, 9000, 0, startedUtcMs + atMs);
    finishRecorder(startedUtcMs + 1000, 1000, 0);
    const std::string report = readFile(at("r.json"));
    const std::string page = readFile(at("p.html"));
    for (const char* first : {"\"worst\": {\n    \"core\": 1,\n    \"late_ms\": 20,\n    \"at_utc\": \"2026-12-07T14:03:00.100Z\"",
                              "\"max_at_utc\": \"2026-12-07T14:03:00.150Z\"",   // core 0's timer events
                              "\"max_at_utc\": \"2026-12-07T14:03:00.100Z\"",   // core 1's
                              "\"max_at_utc\": \"2026-12-07T14:03:00.120Z\"",   // core 1's wake-ups
                              "\"worst_wakes\": [\n    {\"core\": 1, \"at_utc\": \"2026-12-07T14:03:00.120Z\""}) {
        EXPECT_NE(report.find(first), std::string::npos) << first << "\n" << report;
    }
    for (const auto& [table, first] : {std::pair{"id=\"worst-events\"", "<tr data-core=\"1\" data-utc=\"1796652180100\""},
                                       std::pair{"id=\"worst-wakes\"", "<tr data-core=\"1\" data-utc=\"1796652180120\""}}) {
        EXPECT_EQ(page.substr(page.find("<tr data-core=", page.find(table)), std::string(first).size()), first) << table;
    }
}

}  // namespace
