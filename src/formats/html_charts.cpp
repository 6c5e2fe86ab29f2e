// The page's charts, as SVG: per core, a timeline of the worst lateness per
// slot on a log scale against a UTC time axis (with the limit, the spans
// asleep and the worst events' marks of html_worst.cpp), and a histogram.
#include <cmath>

#include "formats/html_parts.h"
#include "formats/time_axis.h"

// The timeline's drawing, in SVG user units: a plot 1000 wide, so a full
// timeline has one unit per slot, and 28 units per decade of lateness.
constexpr std::int64_t plotLeft = 62;
constexpr std::int64_t plotWidth = 1000;
constexpr std::int64_t decadeHeight = 28;
// From 0.1 ms (and anything earlier or less late) to 10 s, on a log scale.
constexpr std::int64_t lowestDecade = 2;   // 10^2 us
constexpr std::int64_t highestDecade = 7;  // 10^7 us
constexpr std::int64_t plotHeight = (highestDecade - lowestDecade) * decadeHeight;
constexpr std::int64_t timelineWidth = plotLeft + plotWidth + 40;
// At 15 px a digit of a time label is at most this many units wide.
constexpr std::int64_t timeLabelUnits = 9;
constexpr std::int64_t timelineHeight = plotTop + plotHeight + 26;
static const char* const decadeLabels[highestDecade - lowestDecade + 1] = {"0.1 ms", "1 ms",  "10 ms",
                                                                            "100 ms", "1 s", "10 s"};

// The y of a lateness: log scale, clamped to the plot.
std::int64_t yOfLateUs(std::int64_t lateUs) {
    const double lowest = std::pow(10.0, static_cast<double>(lowestDecade));
    const double us = static_cast<double>(lateUs) < lowest ? lowest : static_cast<double>(lateUs);
    double above = (std::log10(us) - static_cast<double>(lowestDecade)) * static_cast<double>(decadeHeight);
    if (above > static_cast<double>(plotHeight)) above = static_cast<double>(plotHeight);
    return plotTop + plotHeight - static_cast<std::int64_t>(std::lround(above));
}

std::int64_t xOfUtc(const TimeAxis& axis, std::int64_t utcMs) {
    std::int64_t since = utcMs - axis.startUtcMs;
    if (since < 0) since = 0;
    if (since > axis.spanMs) since = axis.spanMs;
    return plotLeft + (since * plotWidth + axis.spanMs / 2) / axis.spanMs;
}

void appendPoint(TextBuffer& out, std::int64_t x, std::int64_t y) {
    appendInteger(out, x);
    appendChar(out, ' ');
    appendInteger(out, y);
}

void appendLine(TextBuffer& out, const char* cls, std::int64_t x1, std::int64_t x2, std::int64_t y1, std::int64_t y2) {
    appendText(out, "<line class=\"");
    appendText(out, cls);
    appendText(out, "\" x1=\"");
    appendInteger(out, x1);
    appendText(out, "\" x2=\"");
    appendInteger(out, x2);
    appendText(out, "\" y1=\"");
    appendInteger(out, y1);
    appendText(out, "\" y2=\"");
    appendInteger(out, y2);
    appendText(out, "\"/>");
}

// One series as one path: a sub-path for every stretch of measured slots,
// so the page's size depends on the slot count, not on the run's length.
static void appendSeries(TextBuffer& out, const Timeline& timeline, const std::int64_t* row, const char* cls) {
    appendText(out, "<path class=\"");
    appendText(out, cls);
    appendText(out, "\" d=\"");
    const std::int64_t slots = timeline.slotsUsed;
    bool inStretch = false;
    for (std::int64_t k = 0; k < slots; ++k) {
        if (row[k] == timelineEmpty) {
            // A lone measured slot: a zero-length line, which the round line
            // cap draws as a dot.
            if (inStretch && (k < 2 || row[k - 2] == timelineEmpty)) appendText(out, "h0");
            inStretch = false;
            continue;
        }
        const std::int64_t x = plotLeft + ((2 * k + 1) * plotWidth + slots) / (2 * slots);
        appendChar(out, inStretch ? ' ' : 'M');
        appendPoint(out, x, yOfLateUs(row[k]));
        inStretch = true;
    }
    if (inStretch && (slots < 2 || row[slots - 2] == timelineEmpty)) appendText(out, "h0");
    appendText(out, "\"/>");
}

static void appendTimeAxis(TextBuffer& out, const TimeAxis& axis) {
    const TimeStep step = chooseTimeStep(axis.spanMs);
    const std::int64_t end = axis.startUtcMs + axis.spanMs;
    // Ticks on round UTC times; the count bounds the page's size even where
    // the calendar runs out (beyond the year 9999).
    std::int64_t tick = firstTimeTick(axis.startUtcMs, step);
    for (std::int64_t labels = 0; tick <= end && labels < timeLabelsMost; ++labels, tick = nextTimeTick(tick, step)) {
        const std::int64_t x = xOfUtc(axis, tick);
        appendLine(out, "gridline", x, x, plotTop, plotTop + plotHeight + 4);
        // Centred on its tick, unless that puts it past the picture's right
        // edge: then it ends there. (The left margin is wider than half the
        // longest label.)
        const std::int64_t half = timeLabelChars(step, axis.spanMs) * timeLabelUnits / 2;
        const bool pastRight = x + half > timelineWidth - 2;
        appendText(out, "<text x=\"");
        appendInteger(out, pastRight ? timelineWidth - 2 : x);
        appendText(out, "\" y=\"");
        appendInteger(out, plotTop + plotHeight + 20);
        appendText(out, pastRight ? "\" text-anchor=\"end\">" : "\" text-anchor=\"middle\">");
        appendTimeLabel(out, tick, step, axis.spanMs);
        appendText(out, "</text>");
    }
}

void appendTimeline(TextBuffer& out, const RunSummary& run, const TimeAxis& axis, std::int64_t core) {
    const Timeline& timeline = *run.timeline;
    appendText(out, "<figure><h3>");
    appendCoreHeading(out, core);
    appendText(out, "</h3><div class=\"scroll\"><svg id=\"timeline-core-");
    appendInteger(out, core);
    appendText(out, "\" viewBox=\"0 0 ");
    appendInteger(out, timelineWidth);
    appendChar(out, ' ');
    appendInteger(out, timelineHeight);
    appendText(out, "\" role=\"img\" aria-label=\"Worst lateness over time, core ");
    appendInteger(out, core);
    appendText(out, "\">");
    for (std::int64_t d = lowestDecade; d <= highestDecade; ++d) {
        const std::int64_t y = plotTop + plotHeight - (d - lowestDecade) * decadeHeight;
        appendLine(out, "gridline", plotLeft, plotLeft + plotWidth, y, y);
        appendText(out, "<text x=\"");
        appendInteger(out, plotLeft - 6);
        appendText(out, "\" y=\"");
        appendInteger(out, y + 5);
        appendText(out, "\" text-anchor=\"end\">");
        appendText(out, decadeLabels[d - lowestDecade]);
        appendText(out, "</text>");
    }
    appendTimeAxis(out, axis);
    if (run.failAboveUs > 0) {
        const std::int64_t y = yOfLateUs(run.failAboveUs);
        appendLine(out, "limit", plotLeft, plotLeft + plotWidth, y, y);
    }
    // Asleep: a light band behind the lines, the height of the plot.
    for (std::int64_t k = 0; run.suspended != nullptr && k < run.suspended->listed; ++k) {
        const std::int64_t x = xOfUtc(axis, run.suspended->kept[k].fromUtcMs);
        const std::int64_t w = xOfUtc(axis, run.suspended->kept[k].toUtcMs) - x;
        appendText(out, "<rect class=\"suspended\" x=\"");
        appendInteger(out, x);
        appendText(out, "\" y=\"");
        appendInteger(out, plotTop);
        appendText(out, "\" width=\"");
        appendInteger(out, w > 1 ? w : 1);
        appendText(out, "\" height=\"");
        appendInteger(out, plotHeight);
        appendText(out, "\"/>");
    }
    appendSeries(out, timeline, timeline.timerLateUs + core * timelineSlots, "timer");
    if (timeline.wakeLateUs != nullptr) appendSeries(out, timeline, timeline.wakeLateUs + core * timelineSlots, "wake");
    appendPriorityMarks(out, run, axis);
    appendResolutionMarks(out, run, axis);
    appendWorstMarks(out, run, axis, core, LabelArea{plotLeft, 0, timelineWidth, plotTop + plotHeight});
    appendText(out, "</svg></div></figure>\n");
}

// The histogram: one row per bucket, a bar on a log scale of the count.
// The bars start right of the widest bucket label, which is right-aligned
// to them: at 11 px a digit or a dash is at most 7 units wide.
constexpr std::int64_t histogramRowHeight = 14;
constexpr std::int64_t histogramLabelUnits = 7;
constexpr std::int64_t histogramBarWidth = 180;
// Room right of the longest bar for its count.
constexpr std::int64_t histogramCountWidth = 66;

// "≤ 0", "3–5", "> 10000": the bucket's bounds, as the report's pairs give them.
static void appendBucketLabel(TextBuffer& out, const std::int64_t* upper, std::int64_t buckets, std::int64_t bucket) {
    if (bucket == 0) {
        appendText(out, "\xe2\x89\xa4 ");  // "≤ "
        appendInteger(out, upper[0]);
        return;
    }
    if (bucket == buckets - 1) {
        appendText(out, "> ");
        appendInteger(out, upper[bucket - 1]);
        return;
    }
    const std::int64_t low = upper[bucket - 1] + 1;
    if (low < upper[bucket]) {
        appendInteger(out, low);
        appendText(out, "\xe2\x80\x93");  // an en dash
    }
    appendInteger(out, upper[bucket]);
}

// The histograms of timer events (ms) and of wake-ups (us): one row per
// bucket, a bar on a log scale of the count, so a single event still shows.
struct HistogramKind {
    const char* id;      // "histogram-core-", "wake-histogram-core-"
    const char* aria;    // what it shows, for a screen reader
    const char* unit;    // the bounds' head
    const char* counts;  // the bars' head
    const char* bar;     // the bars' class
    const std::int64_t* upper;
    std::int64_t buckets;
    std::int64_t labelChars;  // the widest bucket label: "50001–100000"
};
static const HistogramKind timerHistogram{"histogram-core-", "Timer events by lateness", "ms late",
                                          "events (bar: log scale)", "bar", histogramUpperMs, histogramBucketCount, 10};
static const HistogramKind wakeHistogram{"wake-histogram-core-", "Wake-ups by lateness", "\xc2\xb5s late",
                                         "wake-ups (bar: log scale)", "bar wake-bar", wakeHistogramUpperUs,
                                         wakeHistogramBucketCount, 12};

static void appendBars(TextBuffer& out, const HistogramKind& kind, const std::int64_t* counts, std::int64_t core) {
    std::int64_t most = 0;
    for (std::int64_t b = 0; b < kind.buckets; ++b) most = counts[b] > most ? counts[b] : most;
    const double scale = most == 0 ? 1.0 : std::log10(static_cast<double>(most)) + 1.0;
    const std::int64_t histogramBarLeft = 4 + kind.labelChars * histogramLabelUnits;
    const std::int64_t histogramWidth = histogramBarLeft + histogramBarWidth + histogramCountWidth;
    appendText(out, "<div><h3>");
    appendCoreHeading(out, core);
    appendText(out, "</h3><svg id=\"");
    appendText(out, kind.id);
    appendInteger(out, core);
    appendText(out, "\" viewBox=\"0 0 ");
    appendInteger(out, histogramWidth);
    appendChar(out, ' ');
    appendInteger(out, (kind.buckets + 1) * histogramRowHeight);
    appendText(out, "\" role=\"img\" aria-label=\"");
    appendText(out, kind.aria);
    appendText(out, ", core ");
    appendInteger(out, core);
    appendText(out, "\"><text x=\"");
    appendInteger(out, histogramBarLeft - 4);
    appendText(out, "\" y=\"11\" text-anchor=\"end\">");
    appendText(out, kind.unit);
    appendText(out, "</text><text x=\"");
    appendInteger(out, histogramBarLeft);
    appendText(out, "\" y=\"11\">");
    appendText(out, kind.counts);
    appendText(out, "</text>");
    for (std::int64_t b = 0; b < kind.buckets; ++b) {
        const std::int64_t count = counts[b];
        const std::int64_t top = (b + 1) * histogramRowHeight + 2;
        // A single event still gets a visible bar: length (log10 n + 1) / (log10 most + 1).
        const std::int64_t length =
            count == 0 ? 0
                       : 2 + static_cast<std::int64_t>(std::lround(
                                 (std::log10(static_cast<double>(count)) + 1.0) / scale *
                                 static_cast<double>(histogramBarWidth - 2)));
        appendText(out, "<text x=\"");
        appendInteger(out, histogramBarLeft - 4);
        appendText(out, "\" y=\"");
        appendInteger(out, top + 9);
        appendText(out, "\" text-anchor=\"end\">");
        appendBucketLabel(out, kind.upper, kind.buckets, b);
        appendText(out, "</text>");
        if (count > 0) {
            appendText(out, "<rect class=\"");
            appendText(out, kind.bar);
            appendText(out, "\" x=\"");
            appendInteger(out, histogramBarLeft);
            appendText(out, "\" y=\"");
            appendInteger(out, top);
            appendText(out, "\" width=\"");
            appendInteger(out, length);
            appendText(out, "\" height=\"");
            appendInteger(out, histogramRowHeight - 3);
            appendText(out, "\"/>");
        }
        appendText(out, count == 0 ? "<text class=\"empty\" x=\"" : "<text x=\"");
        appendInteger(out, histogramBarLeft + length + 4);
        appendText(out, "\" y=\"");
        appendInteger(out, top + 9);
        appendText(out, "\">");
        appendInteger(out, count);
        appendText(out, "</text>");
    }
    appendText(out, "</svg></div>\n");
}

void appendHistogram(TextBuffer& out, const CoreStatistics& s, std::int64_t core) {
    appendBars(out, timerHistogram, s.histogram, core);
}

void appendWakeHistogram(TextBuffer& out, const WakeStatistics& w, std::int64_t core) {
    appendBars(out, wakeHistogram, w.histogram, core);
}

void appendCoreHeading(TextBuffer& out, std::int64_t core) {
    appendText(out, "Core ");
    appendInteger(out, core);
    appendText(out, " <small>(#");
    appendInteger(out, core + 1);
    appendText(out, " in the window)</small>");
}
