// The page's labels stay inside their pictures and say no more than they
// know: the histograms' bucket labels, the time axis's first and last labels
// over any span, and the limit in whole milliseconds where it is one. Widths
// are bounds of the fonts the page sets: at 11 px (histograms) a digit or a
// dash is at most 7 units wide, at 15 px (time axis) at most 9.
#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <string>

#include "formats/html_format.h"
#include "formats/time_axis.h"
#include "record/timeline.h"

namespace {

constexpr std::int64_t startMs = 1796652180000;  // 2026-12-07T14:03:00.000Z

// Two cores with wake-ups over `spanMs`, a limit of `failAboveUs`.
struct LabelRun {
    CoreStatistics cores[2]{};
    WakeStatistics wakes[2]{};
    bool sampled[2] = {true, true};
    Timeline timeline{};
    SuspendedSpans spans{};
    RunSummary run{};

    LabelRun(std::int64_t start, std::int64_t spanMs, std::int64_t failAboveUs) {
        EXPECT_TRUE(makeTimeline(timeline, 2, start, true));
        clearSuspendedSpans(spans);
        addToTimeline(timeline, 0, start, 100, false);
        addToTimeline(timeline, 1, start + spanMs, 100, false);
        run = RunSummary{"1.2.0", "LAB", "", start, start + spanMs, spanMs, true, failAboveUs, false, 2, cores, sampled,
                         0, 0, nullptr, 0, nullptr, 0, wakes, "waitable timer", 500, nullptr, 0, &timeline, false, 0, nullptr, &spans};
    }
    ~LabelRun() { freeTimeline(timeline); }
    LabelRun(const LabelRun&) = delete;
    LabelRun& operator=(const LabelRun&) = delete;
};

std::string pageOf(const RunSummary& run) {
    TextBuffer out{};
    EXPECT_TRUE(makeTextBuffer(out, htmlCapacity(run.coreCount, run.wakes != nullptr)));
    formatHtml(run, out);
    std::string text(out.data, out.size);
    freeTextBuffer(out);
    return text;
}

// The labels' characters, counting a multi-byte character (an en dash) as one.
std::int64_t charsOf(const std::string& text) {
    std::int64_t chars = 0;
    for (const char c : text) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return chars;
}

TEST(PageLabels, EveryBucketLabelOfBothHistogramsStartsInsideItsPicture) {
    const LabelRun labels(startMs, 10000, -1);
    const std::string html = pageOf(labels.run);
    for (const char* id : {"histogram-core-1\"", "wake-histogram-core-1\""}) {
        const std::size_t from = html.find(id);
        ASSERT_NE(from, std::string::npos) << id;
        const std::string svg = html.substr(from, html.find("</svg>", from) - from);
        const std::regex label("<text x=\"(\\d+)\" y=\"\\d+\" text-anchor=\"end\">([^<]+)</text>");
        int seen = 0;
        for (std::sregex_iterator it(svg.begin(), svg.end(), label), end; it != end; ++it, ++seen) {
            const std::int64_t right = std::stoll((*it)[1]);
            EXPECT_GE(right - 7 * charsOf((*it)[2]), 0) << id << " '" << (*it)[2] << "' ends at " << right;
        }
        EXPECT_GE(seen, 13) << id;  // the unit's head and every bucket
    }
}

// Spans from seconds to years, most ending on a tick at the plot's right end:
// every label within the picture.
TEST(PageLabels, TimeAxisLabelsOfAnySpanStayInsideThePicture) {
    struct Span { const char* what; std::int64_t start; std::int64_t spanMs; };
    const Span spans[] = {
        {"8 s ending on a tick", startMs, 8000},
        {"1 h ending on a tick", startMs - 180000, 3600000},
        {"a day, day and hour", startMs - 50580000, 86400000},
        {"two days", startMs - 50580000, 2 * 86400000LL},
        {"a week ending at midnight", startMs - 50580000, 7 * 86400000LL},
        {"starting on a tick", startMs, 100000},
        {"three months", startMs - 50580000, 92 * 86400000LL},
        {"nine years", startMs - 50580000, 86400000LL * 365 * 9},
    };
    for (const Span& s : spans) {
        SCOPED_TRACE(s.what);
        const LabelRun labels(s.start, s.spanMs, -1);
        const std::string html = pageOf(labels.run);
        const std::size_t from = html.find("id=\"timeline-core-0\"");
        ASSERT_NE(from, std::string::npos);
        const std::string svg = html.substr(from, html.find("</svg>", from) - from);
        const std::regex label("<text x=\"(\\d+)\" y=\"170\" text-anchor=\"(middle|end)\">([^<]+)</text>");
        int seen = 0;
        for (std::sregex_iterator it(svg.begin(), svg.end(), label), end; it != end; ++it, ++seen) {
            const std::int64_t x = std::stoll((*it)[1]);
            const std::int64_t width = 9 * charsOf((*it)[3]);
            const std::string anchor = (*it)[2];
            const std::int64_t left = anchor == "end" ? x - width : x - width / 2;
            EXPECT_GE(left, 0) << (*it)[3];
            EXPECT_LE(left + width, 1102) << (*it)[3] << " at " << x << " (" << anchor << ")";
        }
        EXPECT_GE(seen, 2);
    }
}

TEST(PageLabels, TimeLabelCharsAreThoseWritten) {
    for (const std::int64_t spanMs : {8000LL, 3600000LL, 90000000LL, 7 * 86400000LL, 92 * 86400000LL, 86400000LL * 365 * 9}) {
        const TimeStep step = chooseTimeStep(spanMs);
        TextBuffer out{};
        ASSERT_TRUE(makeTextBuffer(out, 64));
        appendTimeLabel(out, firstTimeTick(startMs, step), step, spanMs);
        EXPECT_EQ(static_cast<std::int64_t>(out.size), timeLabelChars(step, spanMs)) << spanMs;
        freeTextBuffer(out);
    }
}

TEST(PageLabels, TheLimitShowsTheDecimalsItHasAndNoMore) {
    struct Limit { std::int64_t us; const char* shown; };
    for (const Limit& l : {Limit{50000, "the limit, 50 ms<"}, Limit{12500, "the limit, 12.5 ms<"},
                           Limit{1, "the limit, 0.001 ms<"}, Limit{250250, "the limit, 250.25 ms<"}}) {
        const LabelRun labels(startMs, 10000, l.us);
        const std::string html = pageOf(labels.run);
        EXPECT_NE(html.find(l.shown), std::string::npos) << l.shown;
        EXPECT_EQ(html.find(".000 ms"), std::string::npos) << l.us;
    }
}

}  // namespace
