// The comparison's text: the runs and their context, a verdict line per
// core, per core a table of every run's figures, their difference against
// the baseline and the judge's verdict with the figures behind it
// (compare_page.h); the histograms are drawn by compare_chart.cpp.
#include "compare/compare_page.h"

#include <cstring>

#include "compare/compare_parts.h"
#include "engine/stall_attribution.h"

namespace {

void appendSignedMs(TextBuffer& out, std::int64_t us) {
    if (us > 0) appendChar(out, '+');
    if (us < 0) {
        appendText(out, "\xe2\x88\x92");  // a minus sign
        us = -us;
    }
    appendDecimal(out, us, 1000, 3);
}

void appendText2(TextBuffer& out, bool html, const char* text) {
    if (html) {
        appendHtmlText(out, text);
    } else {
        appendText(out, text);
    }
}

const CoreVerdict* verdictOf(const Comparison& c, std::int64_t run, std::int64_t core) {
    if (c.verdicts == nullptr || run == c.baseline) return nullptr;
    return &c.verdicts[verdictIndex(c, run, core)];
}

// "B against A: better beyond noise (stall rate)", and with --fine the
// timer events' verdict beside the wake-ups'.
void appendRunVerdict(TextBuffer& out, const Comparison& c, std::int64_t run, std::int64_t core, bool html) {
    const CoreVerdict& v = *verdictOf(c, run, core);
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

void appendMsCell(TextBuffer& out, std::int64_t us) {
    appendText(out, "<td>");
    appendDecimal(out, us, 1000, 3);
    appendText(out, "</td>");
}

void appendDeltaCell(TextBuffer& out, std::int64_t us, bool none) {
    appendText(out, "<td>");
    if (none) {
        appendText(out, "\xe2\x80\x94");
    } else {
        appendSignedMs(out, us);
    }
    appendText(out, "</td>");
}

// A percentile's cell: its value, and its interval's ends beneath, "?"
// where the events do not tell.
void appendPercentileCell(TextBuffer& out, const PercentileFigure& figure) {
    appendText(out, "<td>");
    if (!figure.known) {
        appendText(out, "\xe2\x80\x94</td>");
        return;
    }
    appendDecimal(out, figure.us, 1000, 3);
    appendText(out, "<br><small>");
    if (figure.lowKnown) {
        appendDecimal(out, figure.lowUs, 1000, 3);
    } else {
        appendChar(out, '?');
    }
    appendText(out, " to ");
    if (figure.highKnown) {
        appendDecimal(out, figure.highUs, 1000, 3);
    } else {
        appendChar(out, '?');
    }
    appendText(out, "</small></td>");
}

// "3: 2 threads, 1 not in the log".
void appendStallsCell(TextBuffer& out, const ComparedCore& core) {
    appendText(out, "<td class=\"text stalls\">");
    appendInteger(out, core.stalls);
    std::int64_t named = 0;
    const char* separator = ": ";
    for (int cause = 0; cause < stallCauseCount; ++cause) {
        if (core.causes[cause] <= 0) continue;
        named += core.causes[cause];
        appendText(out, separator);
        appendInteger(out, core.causes[cause]);
        appendChar(out, ' ');
        appendText(out, stallCauseName(static_cast<StallCause>(cause)));
        separator = ", ";
    }
    if (core.stalls > named) {
        appendText(out, separator);
        appendInteger(out, core.stalls - named);
        appendText(out, " not in the log");
    }
    appendText(out, "</td>");
}

// A run's verdict on the core, in the table's last cell; the baseline's
// says it is the baseline.
void appendVerdictCell(TextBuffer& out, const Comparison& c, std::int64_t run, std::int64_t core) {
    appendText(out, "<td class=\"text judged\">");
    const CoreVerdict* v = verdictOf(c, run, core);
    if (v == nullptr) {
        appendText(out, c.runCount > 1 ? "baseline</td>" : "</td>");
        return;
    }
    appendVerdictWords(out, *v);
    appendText(out, "</td>");
}

// Beneath a core's table: the figures behind each run's verdict, and with
// --fine the timer events' verdict beside the wake-ups'.
void appendFiguresBehind(TextBuffer& out, const Comparison& c, std::int64_t core) {
    if (c.verdicts == nullptr) return;
    appendText(out, "<ul class=\"behind\" id=\"compare-figures-core-");
    appendInteger(out, core);
    appendText(out, "\">");
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        const CoreVerdict* v = verdictOf(c, r, core);
        if (v == nullptr) continue;
        appendText(out, "<li data-verdict-of=\"");
        appendHtmlText(out, c.runs[r].name);
        appendText(out, "\"><b>");
        appendHtmlText(out, c.runs[r].name);
        appendText(out, "</b> against ");
        appendHtmlText(out, c.runs[c.baseline].name);
        appendText(out, ": ");
        appendVerdictWords(out, *v);
        appendText(out, v->source == JudgedSource::wake ? " by the wake-ups. " : ". ");
        appendVerdictFigures(out, *v);
        if (c.timerVerdicts != nullptr && v->source == JudgedSource::wake) {
            const CoreVerdict& timer = c.timerVerdicts[verdictIndex(c, r, core)];
            appendText(out, ". Timer events: ");
            appendVerdictWords(out, timer);
            appendText(out, "; ");
            appendVerdictFigures(out, timer);
        }
        appendText(out, ".</li>");
    }
    appendText(out, "</ul>\n");
}

void appendCoreTable(TextBuffer& out, const Comparison& c, std::int64_t core) {
    appendText(out, "<div class=\"scroll\"><table id=\"compare-core-");
    appendInteger(out, core);
    appendText(out, "\"><thead><tr><th class=\"text\">run</th><th class=\"text\">verdict</th><th>events</th><th>mean ms</th><th>99th ms</th>"
                    "<th>99.9th ms</th><th>max ms</th><th>\xce\x94 mean</th><th>\xce\x94 99th</th>"
                    "<th>\xce\x94 99.9th</th><th>\xce\x94 max</th><th class=\"text\">stalls &gt; 5 ms</th>");
    if (c.fine) appendText(out, "<th>wake-ups</th><th>wake stalls</th><th>wake 99th ms</th>");
    appendText(out, "</tr></thead><tbody>");
    const ComparedCore& baseline = c.runs[c.baseline].cores[core];
    const int columns = c.fine ? 13 : 10;
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        const ComparedCore& figures = c.runs[r].cores[core];
        const CoreVerdict* v = verdictOf(c, r, core);
        appendText(out, "<tr data-run=\"");
        appendHtmlText(out, c.runs[r].name);
        appendText(out, "\" data-p99-us=\"");
        appendInteger(out, figures.events > 0 ? figures.p99Us : -1);
        appendText(out, "\" data-verdict=\"");
        appendText(out, v != nullptr ? verdictName(v->verdict) : "baseline");
        appendText(out, "\"><td class=\"text\">");
        // The mark only for a run better beyond noise.
        if (v != nullptr && v->verdict == Verdict::better) appendText(out, "\xe2\x98\x85 ");
        appendHtmlText(out, c.runs[r].name);
        appendText(out, "</td>");
        appendVerdictCell(out, c, r, core);
        if (figures.events == 0) {
            appendText(out, "<td class=\"text\" colspan=\"");
            appendInteger(out, columns);
            appendText(out, "\">no judged events</td></tr>");
            continue;
        }
        // The differences against the baseline, of the figures shown.
        const bool none = r == c.baseline || baseline.events == 0;
        appendText(out, "<td>");
        appendInteger(out, figures.events);
        appendText(out, "</td>");
        appendMsCell(out, figures.meanUs);
        appendPercentileCell(out, figures.p99);
        appendPercentileCell(out, figures.p999);
        appendMsCell(out, figures.maxUs);
        appendDeltaCell(out, figures.meanUs - baseline.meanUs, none);
        appendDeltaCell(out, figures.p99Us - baseline.p99Us, none);
        appendDeltaCell(out, figures.p999Us - baseline.p999Us, none);
        appendDeltaCell(out, figures.maxUs - baseline.maxUs, none);
        appendStallsCell(out, figures);
        if (c.fine) {
            appendText(out, "<td>");
            if (figures.wakesCounted) {
                appendInteger(out, figures.wakeEvents);
                appendText(out, "</td><td>");
                appendInteger(out, figures.wakeStalls);
                appendText(out, "</td>");
                appendPercentileCell(out, figures.wakeP99);
            } else {
                appendText(out, "not counted</td><td>");
                appendInteger(out, figures.wakeLineStalls);
                appendText(out, "</td><td>\xe2\x80\x94</td>");
            }
        }
        appendText(out, "</tr>");
    }
    appendText(out, "</tbody></table></div>\n");
}

void appendTextOr(TextBuffer& out, const char* text, const char* otherwise) {
    appendHtmlText(out, text != nullptr && text[0] != '\0' ? text : otherwise);
}

void appendPrioritySteps(TextBuffer& out, const PriorityHistory& priority) {
    if (!priority.startKnown) {
        appendText(out, "priority not in the log");
        return;
    }
    appendText(out, "priority ");
    appendHtmlText(out, priority.start.level);
    for (std::int64_t k = 0; k < priority.listed; ++k) {
        appendText(out, k == 0 ? ", then " : ", ");
        appendHtmlText(out, priority.changes[k].level);
        appendText(out, " at ");
        appendUtc(out, priority.changes[k].atUtcMs);
    }
}

// A run's context: its file, its time, its priority, the machine, the program.
void appendContext(TextBuffer& out, const ComparedRun& run) {
    appendHtmlText(out, run.file);
    if (run.timed) {
        appendText(out, ", ");
        appendUtc(out, run.fromUtcMs);
        appendText(out, " to ");
        appendUtc(out, run.toUtcMs);
    }
    appendText(out, "; ");
    appendPrioritySteps(out, run.priority);
    appendText(out, "; machine ");
    if (!run.machineKnown) {
        appendText(out, "not in the log");
    } else {
        appendTextOr(out, run.machine.name, "unknown");
        // What is known of it, in parentheses.
        const char* const parts[] = {run.machine.windows, run.machine.processor, run.machine.powerPlan};
        const char* const labels[] = {"Windows ", "", "power plan "};
        const char* separator = " (";
        for (std::size_t k = 0; k < 3; ++k) {
            if (parts[k][0] == '\0') continue;
            appendText(out, separator);
            appendText(out, labels[k]);
            appendHtmlText(out, parts[k]);
            separator = ", ";
        }
        if (separator[0] == ',') appendChar(out, ')');
    }
    appendRunResolutions(out, run);
    appendText(out, "; Vantrel ");
    appendTextOr(out, run.version, "of a version that wrote no notes");
}

void appendRuns(TextBuffer& out, const Comparison& c) {
    if (c.byLevel) {
        appendText(out, "<p>The levels of one run: ");
        appendContext(out, c.runs[0]);
        appendText(out, ". The first period of each core after a change is not judged (it began under the level "
                        "before).</p>\n");
    }
    appendText(out, "<ol id=\"compared-runs\">");
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        const ComparedRun& run = c.runs[r];
        appendText(out, "<li data-run=\"");
        appendHtmlText(out, run.name);
        appendText(out, "\"><b>");
        appendHtmlText(out, run.name);
        appendText(out, "</b>");
        if (c.runCount > 1 && r == c.baseline) appendText(out, " (the baseline)");
        appendText(out, ": ");
        if (c.byLevel) {
            appendText(out, "measured ");
            if (run.timed) {
                appendText(out, "from ");
                appendUtc(out, run.fromUtcMs);
                appendText(out, " to ");
                appendUtc(out, run.toUtcMs);
            } else {
                appendText(out, "no judged event");
            }
        } else {
            appendContext(out, run);
        }
        if (run.crossed) appendText(out, " <b>\xe2\x9c\x97 later than the limit</b>");
        appendText(out, "</li>");
    }
    appendText(out, "</ol>\n");
}

void appendWarnings(TextBuffer& out, const Comparison& c) {
    if (c.differentMachines) {
        appendText(out, "<p class=\"notice\" id=\"different-machines\">\xe2\x9a\xa0 These runs come from different "
                        "machines (or Windows versions): ");
        for (std::int64_t r = 0; r < c.runCount; ++r) {
            if (r > 0) appendText(out, ", ");
            appendHtmlText(out, c.runs[r].name);
            appendText(out, " on ");
            appendTextOr(out, c.runs[r].machineKnown ? c.runs[r].machine.name : "", "an unknown machine");
        }
        appendText(out, ". What differs may be the machines, not what changed between the runs.</p>\n");
    }
    appendResolutionWarning(out, c);
    if (c.failAboveUs < 0) return;
    bool crossed = false;
    for (std::int64_t r = 0; r < c.runCount; ++r) crossed = crossed || c.runs[r].crossed;
    appendText(out, crossed ? "<p class=\"verdict crossed\" id=\"verdict\">\xe2\x9c\x97 Later than the limit of "
                            : "<p class=\"verdict passed\" id=\"verdict\">\xe2\x9c\x93 No event later than the limit of ");
    appendDecimal(out, c.failAboveUs, 1000, 3);
    appendText(out, " ms");
    const char* separator = " in ";
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        if (!c.runs[r].crossed) continue;
        appendText(out, separator);
        appendHtmlText(out, c.runs[r].name);
        separator = ", ";
    }
    appendText(out, crossed ? "</p>\n" : " in any run</p>\n");
}

}  // namespace

void appendCoreVerdict(TextBuffer& out, const Comparison& comparison, std::int64_t core) {
    appendVerdict(out, comparison, core, false);
}

void appendComparisonSection(TextBuffer& out, const Comparison& c) {
    appendText(out, "<section id=\"comparison\"><h2>");
    appendText(out, c.byLevel ? "Comparison of the levels" : "Comparison of the runs");
    appendText(out, "</h2>\n");
    appendRuns(out, c);
    appendWarnings(out, c);
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
        appendCoreTable(out, c, core);
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
