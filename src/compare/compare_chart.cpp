// The comparison's histograms: every run's timer events of a core by
// lateness, on one axis, as the share of the run's events in each bucket
// (runs of different lengths compare alike), on a log scale from 0.001 % to
// all of them. Each run has its colour (the Okabe-Ito set) and its own
// dashes, and the legend names it, so colour is never the only sign.
#include <cmath>

#include "compare/compare_parts.h"

namespace {

constexpr std::int64_t chartWidth = 700;
constexpr std::int64_t chartLeft = 70;
constexpr std::int64_t bucketWidth = 40;
constexpr std::int64_t chartTop = 10;
constexpr std::int64_t decadeHeight = 34;
constexpr std::int64_t decades = 5;  // 100 % down to 0.001 %
constexpr std::int64_t chartBottom = chartTop + decades * decadeHeight;
constexpr std::int64_t noneY = chartBottom + 14;  // where a bucket without events is drawn
constexpr std::int64_t chartHeight = noneY + 34;

const char* const colours[comparedMost] = {"#0072B2", "#D55E00", "#009E73", "#CC79A7",
                                            "#E69F00", "#56B4E9", "#000000", "#F0E442"};
const char* const dashes[comparedMost] = {"none", "7 3", "2 2", "9 3 2 3", "1 3", "12 4", "4 2 1 2", "14 2"};
const char* const decadeLabels[decades + 1] = {"100 %", "10 %", "1 %", "0.1 %", "0.01 %", "0.001 %"};

std::int64_t xOfBucket(std::int64_t bucket) {
    return chartLeft + bucket * bucketWidth + bucketWidth / 2;
}

std::int64_t yOfShare(std::int64_t count, std::int64_t events) {
    if (count <= 0 || events <= 0) return noneY;
    const double below = -std::log10(static_cast<double>(count) / static_cast<double>(events));
    const double y = static_cast<double>(chartTop) + below * static_cast<double>(decadeHeight);
    return y > static_cast<double>(chartBottom) ? chartBottom : static_cast<std::int64_t>(std::lround(y));
}

void appendStroke(TextBuffer& out, std::int64_t run) {
    appendText(out, "stroke=\"");
    appendText(out, colours[run]);
    appendText(out, "\" stroke-dasharray=\"");
    appendText(out, dashes[run]);
    appendText(out, "\"");
}

// A bucket by its upper bound, short enough for its column: "≤ 0", "5",
// "200", "1 s", "> 10 s".
void appendBucketLabel(TextBuffer& out, std::int64_t bucket) {
    if (bucket == 0) {
        appendText(out, "\xe2\x89\xa4 0");
        return;
    }
    const bool above = bucket == histogramBucketCount - 1;
    const std::int64_t ms = histogramUpperMs[above ? bucket - 1 : bucket];
    if (above) appendText(out, "> ");
    if (ms >= 1000) {
        appendInteger(out, ms / 1000);
        appendText(out, " s");
    } else {
        appendInteger(out, ms);
    }
}

}  // namespace

void appendComparisonLegend(TextBuffer& out, const Comparison& c) {
    appendText(out, "<p class=\"legend\">");
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        appendText(out, "<span><svg viewBox=\"0 0 36 12\"><path d=\"M2 6h32\" fill=\"none\" stroke-width=\"2.5\" ");
        appendStroke(out, r);
        appendText(out, "/></svg> ");
        appendHtmlText(out, c.runs[r].name);
        appendText(out, "</span>");
    }
    appendText(out, "</p>\n");
}

void appendComparisonHistogram(TextBuffer& out, const Comparison& c, std::int64_t core) {
    appendText(out, "<svg id=\"compare-histogram-core-");
    appendInteger(out, core);
    appendText(out, "\" viewBox=\"0 0 ");
    appendInteger(out, chartWidth);
    appendChar(out, ' ');
    appendInteger(out, chartHeight);
    appendText(out, "\" role=\"img\" aria-label=\"Timer events by lateness of every run, core ");
    appendInteger(out, core);
    appendText(out, "\">");
    for (std::int64_t d = 0; d <= decades; ++d) {
        const std::int64_t y = chartTop + d * decadeHeight;
        appendText(out, "<line x1=\"");
        appendInteger(out, chartLeft);
        appendText(out, "\" x2=\"");
        appendInteger(out, chartLeft + histogramBucketCount * bucketWidth);
        appendText(out, "\" y1=\"");
        appendInteger(out, y);
        appendText(out, "\" y2=\"");
        appendInteger(out, y);
        appendText(out, "\" stroke=\"#d0d0d0\"/><text x=\"");
        appendInteger(out, chartLeft - 6);
        appendText(out, "\" y=\"");
        appendInteger(out, y + 4);
        appendText(out, "\" text-anchor=\"end\">");
        appendText(out, decadeLabels[d]);
        appendText(out, "</text>");
    }
    appendText(out, "<text x=\"");
    appendInteger(out, chartLeft - 6);
    appendText(out, "\" y=\"");
    appendInteger(out, noneY + 4);
    appendText(out, "\" text-anchor=\"end\">none</text>");
    for (std::int64_t b = 0; b < histogramBucketCount; ++b) {
        appendText(out, "<text x=\"");
        appendInteger(out, xOfBucket(b));
        appendText(out, "\" y=\"");
        appendInteger(out, noneY + 20);
        appendText(out, "\" text-anchor=\"middle\" font-size=\"11\">");
        appendBucketLabel(out, b);
        appendText(out, "</text>");
    }
    appendText(out, "<text x=\"");
    appendInteger(out, chartLeft + histogramBucketCount * bucketWidth / 2);
    appendText(out, "\" y=\"");
    appendInteger(out, chartHeight - 2);
    appendText(out, "\" text-anchor=\"middle\">ms late, at most (the share of each run's events, log scale)</text>");
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        const ComparedCore& figures = c.runs[r].cores[core];
        if (figures.events == 0) continue;
        appendText(out, "<g data-run=\"");
        appendHtmlText(out, c.runs[r].name);
        appendText(out, "\" fill=\"");
        appendText(out, colours[r]);
        appendText(out, "\"><path fill=\"none\" stroke-width=\"2\" ");
        appendStroke(out, r);
        appendText(out, " d=\"");
        for (std::int64_t b = 0; b < histogramBucketCount; ++b) {
            appendChar(out, b == 0 ? 'M' : 'L');
            appendInteger(out, xOfBucket(b));
            appendChar(out, ' ');
            appendInteger(out, yOfShare(figures.histogram[b], figures.events));
        }
        appendText(out, "\"/>");
        for (std::int64_t b = 0; b < histogramBucketCount; ++b) {
            if (figures.histogram[b] == 0) continue;
            appendText(out, "<circle r=\"3\" cx=\"");
            appendInteger(out, xOfBucket(b));
            appendText(out, "\" cy=\"");
            appendInteger(out, yOfShare(figures.histogram[b], figures.events));
            appendText(out, "\"/>");
        }
        appendText(out, "</g>");
    }
    appendText(out, "</svg>\n");
}
