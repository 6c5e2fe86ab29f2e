// The comparison's page (compare_page.h): its verdict lines, its section and the page around it.
// The runs and notices are told by compare_context.cpp, the tables by compare_tables.cpp, the
// histograms by compare_chart.cpp.
#include "compare/compare_page.h"

#include <cstring>

#include "compare/compare_parts.h"

namespace {

void appendText2(TextBuffer& out, bool html, const char* text) {
    if (html) {
        appendHtmlText(out, text);
    } else {
        appendText(out, text);
    }
}

}  // namespace

const CoreVerdict* comparedVerdictOf(const Comparison& c, std::int64_t run, std::int64_t core) {
    if (c.verdicts == nullptr || run == c.baseline) return nullptr;
    return &c.verdicts[verdictIndex(c, run, core)];
}

namespace {

// "B against A: better beyond noise (stall rate)", and with --fine the
// timer events' verdict beside the wake-ups'.
void appendRunVerdict(TextBuffer& out, const Comparison& c, std::int64_t run, std::int64_t core, bool html) {
    const CoreVerdict& v = *comparedVerdictOf(c, run, core);
    appendText2(out, html, c.runs[run].name);
    appendText(out, " against ");
    appendText2(out, html, c.runs[c.baseline].name);
    appendText(out, ": ");
    appendVerdictWords(out, v);
    if (v.source == JudgedSource::wake) appendText(out, " by the wake-ups");
    if (c.timerVerdicts != nullptr) {
        const CoreVerdict& timer = c.timerVerdicts[verdictIndex(c, run, core)];
        appendText(out, v.source == JudgedSource::wake ? "; timer events: " : " by the timer events (the logs do not count its wake-ups)");
        if (v.source == JudgedSource::wake) appendVerdictWords(out, timer);
    }
}

void appendVerdict(TextBuffer& out, const Comparison& c, std::int64_t core, bool html) {
    appendText(out, "core ");
    appendInteger(out, core);
    appendText(out, ": ");
    if (c.runCount < 2) {
        appendText(out, "one run, nothing to compare");
        return;
    }
    const char* separator = "";
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        if (r == c.baseline) continue;
        appendText(out, separator);
        appendRunVerdict(out, c, r, core, html);
        separator = "; ";
    }
}

}  // namespace

void appendCoreVerdict(TextBuffer& out, const Comparison& comparison, std::int64_t core) {
    appendVerdict(out, comparison, core, false);
}

void appendComparisonSection(TextBuffer& out, const Comparison& c) {
    appendText(out, "<section id=\"comparison\"><h2>");
    appendText(out, c.byLevel ? "Comparison of the levels" : "Comparison of the runs");
    appendText(out, "</h2>\n");
    appendComparedRuns(out, c);
    appendComparisonWarnings(out, c);
    appendText(out, "<ul id=\"compare-verdicts\">");
    for (std::int64_t core = 0; core < c.coreCount; ++core) {
        appendText(out, "<li data-core=\"");
        appendInteger(out, core);
        appendText(out, "\">");
        appendVerdict(out, c, core, true);
        appendText(out, "</li>");
    }
    appendText(out, "</ul>\n<p id=\"how-to-read\">Each run is judged against the baseline (");
    appendHtmlText(out, c.runs[c.baseline].name);
    appendText(out, "), core by core, on what matters for timers: the stall rate (events more than 5 ms late; exact "
                    "binomial test, with each rate's 95 % interval) and the 99th and 99.9th percentiles (with "
                    "distribution-free intervals that hold together at 95 % over the page). A difference counts only "
                    "beyond noise: the stall rates' tests are corrected for their number on the page (Holm), two "
                    "percentiles differ only when their intervals do not overlap and they are more than ");
    appendText(out, c.fine ? "0.1 ms (wake-ups) or 1 ms (timer events)" : "1 ms");
    appendText(out, " apart. An early event counts as on time; the mean is shown, never judged. "
                    "\xe2\x98\x85 marks a run better beyond noise; \xe2\x80\x9ctoo few events\xe2\x80\x9d says "
                    "about how long to measure to tell a halving of the stall rate. ");
    if (c.fine) {
        appendText(out, "With --fine the wake-ups (a thousand a second) decide where the logs count them; the timer "
                        "events' verdict is shown beside. ");
    }
    appendText(out, "\xce\x94 is the difference against the baseline, in ms; percentiles are exact, from the logs' "
                    "own values, with their intervals beneath; the first period after each priority change is not "
                    "judged. Stalls' causes are given where the log names them.</p>\n");
    appendComparisonLegend(out, c);
    for (std::int64_t core = 0; core < c.coreCount; ++core) {
        appendText(out, "<h3>Core ");
        appendInteger(out, core);
        appendText(out, "</h3>\n");
        appendComparisonCoreTable(out, c, core);
        appendFiguresBehind(out, c, core);
        appendComparisonHistogram(out, c, core);
    }
    appendText(out, "</section>\n");
}

// The look of the page of a run, for the parts a comparison has.
static const char comparisonStyle[] =
    ":root{--pass:#009E73;--wake:#D55E00;--ink:#1a1a1a;--grid:#d0d0d0}"
    "body{font-family:system-ui,-apple-system,'Segoe UI',Roboto,sans-serif;color:var(--ink);background:#fff;"
    "max-width:1100px;margin:0 auto;padding:16px;line-height:1.4;overflow-wrap:anywhere}"
    "h1{font-size:1.5em;margin:.2em 0}h2{font-size:1.2em;margin:1.2em 0 .4em;border-bottom:1px solid var(--grid)}"
    "h3{font-size:1em;margin:.8em 0 .1em}"
    ".verdict,.notice{padding:.5em .8em;border:2px solid;border-radius:4px;margin:.6em 0;font-weight:600}"
    "small{color:#444}.verdict.passed{border-color:var(--pass)}.verdict.crossed{border-color:var(--wake);border-width:4px}"
    ".notice{border-style:dashed;border-color:#777}.legend{display:flex;flex-wrap:wrap;gap:.4em 1.5em;margin:.3em 0}"
    ".scroll{overflow-x:auto}svg{display:block;width:100%;max-width:720px;height:auto}svg text{font-size:13px;"
    "fill:var(--ink)}.legend svg{display:inline-block;width:36px;height:12px;vertical-align:middle}"
    "table{border-collapse:collapse;margin:.4em 0;font-variant-numeric:tabular-nums}"
    "th,td{border-bottom:1px solid var(--grid);padding:.15em .6em;text-align:right;white-space:nowrap}"
    "th{background:#f2f2f2}td.text,th.text{text-align:left}td.judged,td.stalls{white-space:normal;min-width:9em}ul.behind{font-size:.9em;color:#333}"
    "@media print{@page{size:A4;margin:12mm}body{max-width:none;padding:0;font-size:9pt}"
    "*{-webkit-print-color-adjust:exact;print-color-adjust:exact}.scroll{overflow:visible}}";

void formatComparisonPage(const Comparison& c, const char* version, TextBuffer& out) {
    clearText(out);
    appendText(out, "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>Vantrel: ");
    appendText(out, c.byLevel ? "comparison of the levels of a run" : "comparison of ");
    if (!c.byLevel) {
        appendInteger(out, c.runCount);
        appendText(out, c.runCount == 1 ? " run" : " runs");
    }
    appendText(out, "</title><style>");
    appendText(out, comparisonStyle);
    appendText(out, "</style></head><body>\n<header><h1>Timer lateness compared</h1><p>Made by Vantrel ");
    appendHtmlText(out, version != nullptr ? version : "");
    appendText(out, " from the logs of ");
    appendInteger(out, c.byLevel ? 1 : c.runCount);
    appendText(out, c.byLevel || c.runCount == 1 ? " run" : " runs");
    appendText(out, ".</p></header>\n");
    appendComparisonSection(out, c);
    appendText(out, "</body></html>\n");
}

std::size_t comparisonCapacity(std::int64_t runCount, std::int64_t coreCount) {
    const auto runs = static_cast<std::size_t>(runCount < 0 ? 0 : runCount);
    const auto cores = static_cast<std::size_t>(coreCount < 0 ? 0 : coreCount);
    // Texts from the logs (a machine's, a level's) escaped six-fold at worst.
    constexpr std::size_t fixedBytes = 16384;
    constexpr std::size_t perRunContext = std::size_t{6} * 4 * 64 + 160 * (priorityChangesKept + 1) + 1024 +
                                           512;  // its timer resolutions, here and in the notice
    // A row with its verdict, the figures behind it and the timer events' beside.
    constexpr std::size_t perRunRow = 4096;
    constexpr std::size_t perCoreFixed = 2048 + 1024;
    // The verdict line of each run on each core, names escaped.
    constexpr std::size_t perRunVerdict = 1024;
    return fixedBytes + runs * perRunContext +
           cores * (perCoreFixed + runs * (perRunRow + perRunVerdict + comparisonChartBytesPerRun)) + runs * 512;
}
