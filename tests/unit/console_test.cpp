// The console's lines: the live block at every width and height (columns
// dropped in order, the worst cores first, --fine in microseconds), the
// rewriting in place, and the summary and verdict at the end of a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "console/console_text.h"
#include "console/live_block.h"
#include "console/summary_lines.h"
#include "engine/wake_statistics.h"
#include "record/problem_list.h"

namespace {

constexpr std::int64_t startMs = 1796652180000;  // 2026-12-07T14:03:00.000Z

// `n` cores, core k worst at k ms (core 1 with a 357 ms stall);
// with wake-ups core k's worst is 1000 + k us.
struct MadeRun {
    std::vector<CoreStatistics> cores;
    std::vector<WakeStatistics> wakes;
    std::vector<bool> sampledBytes;
    bool sampled[256] = {};
    WorstEvent worst{1, startMs + 4601, 357883, 357};
    WakeEvent worstWake{1, startMs + 4620, 358112};
    StallCounts counts[256] = {};
    RunSummary run{};
    MadeRun(std::int64_t n, bool fine) : cores(n), wakes(n) {
        for (std::int64_t k = 0; k < n; ++k) {
            sampled[k] = true;
            cores[k] = CoreStatistics{60, 0, k, 60 * k, startMs + 200 + k, 0, k * 1000, 0, {}};
            cores[k].histogram[0] = 60;
            cores[k].lastMs = k % 3;
            cores[k].lastWakeWorstUs = 40 + k;
            wakes[k].events = 6000;
            wakes[k].minUs = 18;
            wakes[k].maxUs = 1000 + k;
            wakes[k].sumUs = std::int64_t{6000} * 80;
            wakes[k].maxAtUtcMs = startMs + 300 + k;
        }
        if (n > 1) {
            cores[1].maxMs = 357;
            cores[1].maxAtUtcMs = startMs + 4601;
            cores[1].histogram[9] = 1;
            cores[1].stalls = 1;
            wakes[1].maxUs = 358112;
            wakes[1].histogram[11] = 1;
        }
        run.version = "test";
        run.startedUtcMs = startMs;
        run.elapsedMs = 12345;
        run.failAboveUs = -1;
        run.coreCount = n;
        run.cores = cores.data();
        run.sampled = sampled;
        run.worstTimer = &worst;
        run.worstTimerCount = 1;
        if (fine) {
            run.wakes = wakes.data();
            run.worstWakes = &worstWake;
            run.worstWakeCount = 1;
        }
    }
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

std::string block(const RunSummary& run, LiveConsole console, std::int64_t previous, std::int64_t* lines = nullptr) {
    TextBuffer out{};
    EXPECT_TRUE(makeTextBuffer(out, liveBlockCapacity(console)));
    const std::int64_t n = formatLiveBlock(run, console, previous, out);
    EXPECT_FALSE(out.overflowed);
    if (lines != nullptr) *lines = n;
    std::string text(out.data, out.size);
    freeTextBuffer(out);
    return text;
}

// A line as it shows: without the sequences that erase the rest of it.
std::string shown(const std::string& line) {
    const std::size_t at = line.find("\x1b[K");
    return at == std::string::npos ? line : line.substr(0, at);
}

// The columns a line takes in Wine's console, which counts every byte of a
// sequence as one: the text's columns and the sequences' bytes.
std::size_t wineColumns(const std::string& line) {
    std::size_t columns = 0;
    std::string text;
    for (std::size_t k = 0; k < line.size(); ++k) {
        if (line[k] == '\x1b') {
            const std::size_t end = line.find_first_of("ABCDHJKm", k);
            columns += end - k + 1;
            k = end;
        } else if (line[k] != '\r') {
            text += line[k];
        }
    }
    return columns + columnsOf(text.data(), text.size());
}

std::vector<std::string> cellsOf(const std::string& line) {
    std::vector<std::string> cells;
    for (std::size_t at = line.find_first_not_of(' '); at != std::string::npos; at = line.find_first_not_of(' ', at)) {
        std::size_t end = line.find("  ", at);
        if (end == std::string::npos) end = line.size();
        cells.push_back(line.substr(at, end - at));
        at = end;
    }
    return cells;
}

TEST(LiveBlock, EveryWidthKeepsLinesWholeUnderTheWidth) {
    const MadeRun two(2, false);
    const MadeRun fine(2, true);
    const std::vector<std::string> heads[] = {
        {"Vantrel, 0:00:12 of 0:01:00: timer events of 2 cores, ms late", "Vantrel, 0:00:12 of 0:01:00, ms late",
         "0:00:12 of 0:01:00, ms late", "0:00:12 of 0:01:00"},
        {"Vantrel, 0:00:12 of 0:01:00: wake-ups of 2 cores, \xc2\xb5s late", "Vantrel, 0:00:12 of 0:01:00, \xc2\xb5s late",
         "0:00:12 of 0:01:00, \xc2\xb5s late", "0:00:12 of 0:01:00"}};
    const std::vector<std::string> headers = {"core (#row)", "events", "wake-ups", "now", "mean", "worst ms",
                                              "worst \xc2\xb5s", "worst at", "stalls"};
    for (const MadeRun* made : {&two, &fine}) {
        for (std::int64_t width = 16; width <= 130; ++width) {
            const std::string text = block(made->run, LiveConsole{width, 25, 60000, true}, 4);
            const std::vector<std::string> lines = linesOf(text);
            ASSERT_EQ(lines.size(), 4u) << width;
            for (const std::string& line : lines) {
                EXPECT_LT(wineColumns(line), static_cast<std::size_t>(width)) << width << ": '" << line << "'";
                EXPECT_EQ(line.substr(line.size() - 3), "\x1b[K") << width;
            }
            // The head in one of its forms, or the shortest cut after a word.
            const std::string head = shown(lines[0]).substr(std::string("\r\x1b[4A").size());
            bool whole = false;
            for (const std::string& form : heads[made == &fine ? 1 : 0]) {
                whole = whole || form == head || form.rfind(head + " ", 0) == 0;
            }
            EXPECT_TRUE(whole) << width << ": '" << head << "'";
            // A column that does not fit is dropped, never cut.
            for (const std::string& cell : cellsOf(shown(lines[1]))) {
                EXPECT_NE(std::find(headers.begin(), headers.end(), cell), headers.end()) << width << ": '" << cell << "'";
            }
        }
    }
    // width: the columns still there, and those gone, in the order they go.
    const struct { std::int64_t width; std::vector<const char*> kept, gone; } cases[] = {
        {66, {"events", "now", "mean", "worst at", "stalls", "14:03:04"}, {}},
        {65, {"events", "now", "mean", "stalls"}, {"worst at"}},
        {50, {"events", "now", "stalls"}, {"mean"}},
        {40, {"now", "stalls", "357"}, {"events"}},
        {30, {"now", "worst ms", "357"}, {"stalls"}},
        {25, {"worst ms", "357"}, {"now"}},
        {22, {"core (#row)"}, {"worst"}},
    };
    for (const auto& c : cases) {
        const std::string text = block(two.run, LiveConsole{c.width, 25, 60000, true}, 0);
        for (const char* part : c.kept) EXPECT_NE(text.find(part), std::string::npos) << c.width << " keeps " << part;
        for (const char* part : c.gone) EXPECT_EQ(text.find(part), std::string::npos) << c.width << " drops " << part;
    }
    const std::vector<std::string> wide = linesOf(block(two.run, LiveConsole{120, 25, 60000, true}, 0));
    EXPECT_EQ(shown(wide[0]), "Vantrel, 0:00:12 of 0:01:00: timer events of 2 cores, ms late");
    EXPECT_EQ(shown(wide[1]), "core (#row)  events  now  mean  worst ms      worst at  stalls");
    EXPECT_EQ(shown(wide[3]), "1 (#2)           60    1   1.0       357  14:03:04.601       1");
}

TEST(LiveBlock, ManyCoresKeepToTheHeightWorstFirst) {
    const MadeRun many(64, false);
    for (const std::int64_t height : {25, 10, 5}) {
        const std::vector<std::string> lines = linesOf(block(many.run, LiveConsole{80, height, -1, true}, 0));
        // Core 1's stall first, then 63, 62, ... by their worst.
        EXPECT_EQ(lines[2].rfind("1 (#2) ", 0), 0u) << lines[2];
        if (height > 5) {
            EXPECT_EQ(lines[3].rfind("63 (#64)", 0), 0u) << lines[3];
        }
        EXPECT_EQ(shown(lines.back()), "and " + std::to_string(64 - (height - 4)) + " more cores (the worst are shown)");
    }
    // Every height: the block keeps the cursor's line free, and says so
    // when the cores do not all fit; equal worst cores go by number.
    MadeRun tied(64, false);
    for (CoreStatistics& core : tied.cores) core.maxMs = 7;
    for (const MadeRun* made : {&many, static_cast<const MadeRun*>(&tied)}) {
        for (std::int64_t height = 2; height <= 70; ++height) {
            std::int64_t count = 0;
            const std::vector<std::string> lines = linesOf(block(made->run, LiveConsole{80, height, -1, true}, 0, &count));
            EXPECT_EQ(static_cast<std::int64_t>(lines.size()), count) << height;
            // Too low for a core (under 5 lines): the head and a count of them.
            EXPECT_EQ(count, height < 5 ? std::min<std::int64_t>(height - 1, 2) : std::min<std::int64_t>(height - 1, 66))
                << height;
            const bool all = height - 1 >= 66;
            EXPECT_EQ(shown(lines.back()).rfind("and ", 0) == 0, !all && height > 2) << height;
            for (std::size_t r = 2; made == &tied && r + (all ? 0 : 1) < lines.size(); ++r) {
                EXPECT_EQ(lines[r].rfind(std::to_string(r - 2) + " (#", 0), 0u) << height << ": " << lines[r];
            }
        }
    }
    // All fit: core order.
    const MadeRun four(4, false);
    EXPECT_EQ(linesOf(block(four.run, LiveConsole{80, 25, -1, true}, 0))[2].rfind("0 (#1)", 0), 0u);
}

TEST(ConsoleText, StallsAreThoseOfTheReport) {
    // late_ms, late_us: a stall by its microseconds (more than 5 ms), as the
    // causes and the report count it, whatever the tick count said.
    const struct { std::int64_t lateMs, lateUs; bool stall; } events[] = {
        {6, 4900, false}, {5, 5000, false}, {5, 5001, true}, {4, 5400, true}, {357, 357883, true}, {-1, -800, false}};
    CoreStatistics statistics{};
    std::int64_t stalls = 0;
    for (const auto& e : events) {
        addToStatistics(statistics, TimerEvent{1, e.lateMs, e.lateUs, startMs});
        stalls += e.stall ? 1 : 0;
        EXPECT_EQ(timerStallsOf(statistics), stalls) << e.lateMs << " ms, " << e.lateUs << " us";
    }
    WakeStatistics wakes{};
    for (const std::int64_t lateUs : {4999, 5000, 5001, 9000, 400000}) countWake(wakes, lateUs, 0, startMs, false);
    EXPECT_EQ(wakeStallsOf(wakes), 3);
}

TEST(ConsoleText, SpansAndWideCharacters) {
    const struct { std::int64_t ms; const char* span; } spans[] = {
        {0, "0:00:00"}, {59999, "0:00:59"}, {3723000, "1:02:03"}, {90000000, "25:00:00"}, {-5, "0:00:00"}};
    for (const auto& c : spans) {
        char bytes[32];
        TextBuffer out{bytes, 0, sizeof bytes - 1, false};
        appendClockSpan(out, c.ms);
        EXPECT_EQ(std::string(out.data, out.size), c.span) << c.ms;
    }
    // text, its columns, the bytes within 5 columns
    const struct { const char* text; std::size_t columns, withinFive; } widths[] = {
        {"abcdefg", 7, 5},
        {"\xc2\xb5s late", 7, 6},                                // a narrow two-byte character
        {"\xe6\xb8\xac\xe5\xae\x9a.exe", 8, 7},                  // two CJK ideographs: 4 columns
        {"\xed\x95\x9c\xea\xb8\x80\xed\x95\x9c", 6, 6},         // Hangul: the third does not fit
        {"\xef\xbc\xa1\xef\xbd\x82", 4, 6},                     // fullwidth letters
        {"ab\xf0\x9f\x98\x80", 4, 6},                           // a wide pictograph
    };
    for (const auto& c : widths) {
        EXPECT_EQ(columnsOf(c.text, std::strlen(c.text)), c.columns) << c.text;
        EXPECT_EQ(bytesWithinColumns(c.text, std::strlen(c.text), 5), c.withinFive) << c.text;
    }
    TextBuffer out{};
    const std::string name = "core 1: \xe6\xb8\xac\xe5\xae\x9a\xe6\xb8\xac\xe5\xae\x9a\xe6\xb8\xac\xe5\xae\x9a\xe6\xb8\xac\xe5\xae\x9a.exe ran\n";
    ASSERT_TRUE(makeTextBuffer(out, fittedCapacity(name.size())));
    appendFittedLines(out, name.data(), name.size(), 24);
    for (const std::string& line : linesOf(std::string(out.data, out.size))) {
        EXPECT_LE(columnsOf(line.data(), line.size()), 24u) << line;
    }
    freeTextBuffer(out);
}

TEST(LiveBlock, FineShowsWakeUpsInMicroseconds) {
    const MadeRun two(2, true);
    const std::vector<std::string> lines = linesOf(block(two.run, LiveConsole{100, 25, -1, true}, 0));
    EXPECT_EQ(shown(lines[0]), "Vantrel, 0:00:12 (until closed): wake-ups of 2 cores, \xc2\xb5s late");
    EXPECT_EQ(shown(lines[1]), "core (#row)  wake-ups  now  mean  worst \xc2\xb5s      worst at  stalls");
    EXPECT_EQ(shown(lines[3]), "1 (#2)           6000   41    80    358112  14:03:00.301       1");
    MadeRun unsampled(2, true);
    const bool wakeSampled[2] = {true, false};
    unsampled.run.wakeSampled = wakeSampled;
    EXPECT_EQ(shown(linesOf(block(unsampled.run, LiveConsole{100, 25, -1, true}, 0))[3]), "1 (#2)       not sampled");
}

TEST(LiveBlock, RewritesInPlaceBySequencesOrByPaddedLines) {
    const MadeRun two(2, false);
    const std::string again = block(two.run, LiveConsole{80, 25, -1, true}, 6);
    EXPECT_EQ(again.rfind("\r\x1b[6A", 0), 0u) << "moves up over the 6 lines before";
    EXPECT_EQ(again.substr(again.size() - 3), "\x1b[J") << "and erases what is left of them";
    std::int64_t count = 0;
    const std::vector<std::string> padded = linesOf(block(two.run, LiveConsole{70, 25, -1, false}, 6, &count));
    EXPECT_EQ(count, 6) << "a shorter block covers the old one with blank lines";
    ASSERT_EQ(padded.size(), 6u);
    for (const std::string& line : padded) EXPECT_EQ(line.size(), 69u) << "'" << line << "'";
    TextBuffer erase{};
    ASSERT_TRUE(makeTextBuffer(erase, 64));
    appendBlockErase(erase, 4);
    EXPECT_EQ(std::string(erase.data, erase.size), "\r\x1b[4A\x1b[J");
    clearText(erase);
    appendOverBlock(erase, 4, "a\nb\n", 4);  // the summary over it, in one write
    EXPECT_EQ(std::string(erase.data, erase.size), "\r\x1b[4Aa\x1b[K\nb\x1b[K\n\x1b[J");
    freeTextBuffer(erase);
}

TEST(Summary, LinesFitANarrowConsoleBrokenBetweenWords) {
    // columns, the text, what a console of that many columns is given
    const struct { std::size_t columns; const char* text; const char* fitted; } cases[] = {
        {40, "core 1 (#2 in the window): 50 timer events, late min 0\nexit 0: no event over 50 ms\n",
         "core 1 (#2 in the window): 50 timer\n    events, late min 0\nexit 0: no event over 50 ms\n"},
        {20, "wake-ups: 50, max 4200 \xc2\xb5s at 14:03:06.000 UTC\n",
         "wake-ups: 50, max\n    4200 \xc2\xb5s at\n    14:03:06.000 UTC\n"},
        {20, "exit 4: a-problem-without-any-space-in-it\n", "exit 4:\n    a-problem-withou\n    t-any-space-in-i\n    t\n"},
        {19, "narrower than twenty: as it is\n", "narrower than twenty: as it is\n"},
        {80, "fits\n\n", "fits\n\n"},
    };
    for (const auto& c : cases) {
        TextBuffer out{};
        ASSERT_TRUE(makeTextBuffer(out, fittedCapacity(std::strlen(c.text))));
        appendFittedLines(out, c.text, std::strlen(c.text), c.columns);
        EXPECT_FALSE(out.overflowed);
        EXPECT_EQ(std::string(out.data, out.size), c.fitted) << c.columns;
        freeTextBuffer(out);
    }
}

std::string summaryOf(const RunSummary* run, int code, const char* problem = nullptr) {
    TextBuffer out{};
    EXPECT_TRUE(makeTextBuffer(out, runSummaryCapacity(run != nullptr ? run->coreCount : 0)));
    appendRunSummary(out, run, code, problem);
    std::string text(out.data, out.size);
    freeTextBuffer(out);
    return text;
}

std::string lastLine(const std::string& text) { return linesOf(text).back(); }

TEST(Summary, VerdictSaysWhatTheExitCodeMeans) {
    MadeRun plain(2, false);
    MadeRun fine(2, true);
    Problem problems[1] = {{startMs + 7000, "core 3 could not be sampled"}};
    const auto limited = [](MadeRun& r, std::int64_t us) { r.run.failAboveUs = us; return &r.run; };
    EXPECT_EQ(lastLine(summaryOf(limited(plain, 50000), exitThresholdCrossed)),
              "exit 3: core 1 was 357.9 ms late at 14:03:04.601 UTC (limit 50 ms)");
    EXPECT_EQ(lastLine(summaryOf(limited(fine, 12500), exitThresholdCrossed)),
              "exit 3: a wake-up of core 1 was 358.1 ms late at 14:03:04.620 UTC (limit 12.5 ms)");
    fine.wakes[1].maxUs = 12540;
    fine.worstWake.lateUs = 12540;
    fine.cores[1].maxMs = 12;
    EXPECT_EQ(lastLine(summaryOf(limited(fine, 12500), exitThresholdCrossed)),
              "exit 3: a wake-up of core 1 was 12.540 ms late at 14:03:04.620 UTC (limit 12.5 ms)");
    plain.worst.utcMs += 86400000;
    EXPECT_EQ(lastLine(summaryOf(limited(plain, 250000), exitThresholdCrossed)),
              "exit 3: core 1 was 357.9 ms late at 2026-12-08 14:03:04.601 UTC (limit 250 ms)");
    // Over the limit by the tick count only: its reading, said so.
    plain.worst.lateUs = 349800;
    EXPECT_EQ(lastLine(summaryOf(limited(plain, 350000), exitThresholdCrossed)),
              "exit 3: core 1 was 357 ms late by the system's tick count at 2026-12-08 14:03:04.601 UTC (limit 350 ms)");
    EXPECT_EQ(lastLine(summaryOf(limited(plain, 400000), exitComplete)), "exit 0: no event over 400 ms");
    EXPECT_EQ(lastLine(summaryOf(limited(plain, -1), exitComplete)), "exit 0: the record is complete");
    plain.run.problems = problems;
    plain.run.problemsListed = plain.run.problemCount = 1;
    EXPECT_EQ(lastLine(summaryOf(&plain.run, exitUntrusted)), "exit 4: the record cannot be trusted: core 3 could not be sampled");
    EXPECT_EQ(summaryOf(nullptr, exitUntrusted, "the record could not be finished"),
              "exit 4: the record cannot be trusted: the record could not be finished\n");
}

TEST(Summary, OneLinePerCoreWithItsStallsByCause) {
    MadeRun fine(2, true);
    const bool wakeSampled[2] = {false, true};
    fine.run.wakeSampled = wakeSampled;
    fine.counts[1] = StallCounts{{1, 2, 0, 0, 0}, {0, 0, 0, 3, 0}};
    std::vector<std::string> lines = linesOf(summaryOf(&fine.run, exitComplete));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "core 0 (#1 in the window): 60 timer events, late min 0, mean 0.0, max 0 ms at 14:03:00.200 UTC; no stalls");
    EXPECT_EQ(lines[1], "  wake-ups: not sampled");
    EXPECT_EQ(lines[2], "core 1 (#2 in the window): 60 timer events, late min 0, mean 1.0, max 357 ms at 14:03:04.601 UTC; stalls: 1");
    EXPECT_EQ(lines[3], "  wake-ups: 6000, late min 18, mean 80, max 358112 \xc2\xb5s at 14:03:00.301 UTC; stalls: 1");
    fine.run.accounting = true;
    fine.run.stallCauses = fine.counts;
    fine.sampled[0] = false;
    lines = linesOf(summaryOf(&fine.run, exitComplete));
    EXPECT_EQ(lines[0], "core 0 (#1 in the window): not sampled");
    EXPECT_EQ(lines[2].substr(lines[2].find(';')), "; stalls: 3 (threads 2, unknown 1)");
    EXPECT_EQ(lines[3].substr(lines[3].find(';')), "; stalls: 3 (idle 3)");
}

}  // namespace
