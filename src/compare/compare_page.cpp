// The comparison's text: the runs and their context, a verdict line per
// core, per core a table of every run's figures and their difference
// against the first run (compare_page.h); the histograms are drawn by
// compare_chart.cpp.
#include "compare/compare_page.h"

#include <cstring>

#include "compare/compare_parts.h"
#include "engine/stall_attribution.h"

namespace {

// "14.8 ms", "1.2 ms", "0.417 ms": exact, without trailing zeros.
void appendShortMs(TextBuffer& out, std::int64_t us) {
    appendExactDecimal(out, us, 1000);
    appendText(out, " ms");
}

void appendSignedMs(TextBuffer& out, std::int64_t us) {
    if (us > 0) appendChar(out, '+');
    if (us < 0) {
        appendText(out, "\xe2\x88\x92");  // a minus sign
        us = -us;
    }
    appendDecimal(out, us, 1000, 3);
}

bool hasEvents(const Comparison& c, std::int64_t run, std::int64_t core) {
    return c.runs[run].cores[core].events > 0;
}

// The run compared against: the first with events, or after the best the
// lowest of the others.
std::int64_t referenceOf(const Comparison& c, std::int64_t core, std::int64_t best) {
    std::int64_t first = -1;
    for (std::int64_t r = 0; r < c.runCount && first < 0; ++r) first = hasEvents(c, r, core) ? r : -1;
    if (first != best) return first;
    std::int64_t next = -1;
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        if (r == best || !hasEvents(c, r, core)) continue;
        if (next < 0 || c.runs[r].cores[core].p99Us < c.runs[next].cores[core].p99Us) next = r;
    }
    return next;
}

void appendText2(TextBuffer& out, bool html, const char* text) {
    if (html) {
        appendHtmlText(out, text);
    } else {
        appendText(out, text);
    }
}

void appendVerdict(TextBuffer& out, const Comparison& c, std::int64_t core, bool html) {
    appendText(out, "core ");
    appendInteger(out, core);
    appendText(out, ": ");
    const std::int64_t best = bestComparedRun(c, core);
    if (best < 0) {
        appendText(out, "no events in any run");
        return;
    }
    const std::int64_t reference = referenceOf(c, core, best);
    appendText(out, "99th percentile ");
    appendShortMs(out, c.runs[best].cores[core].p99Us);
    appendText(out, " in ");
    appendText2(out, html, c.runs[best].name);
    if (reference >= 0) {
        const std::int64_t p99 = c.runs[reference].cores[core].p99Us;
        if (p99 == c.runs[best].cores[core].p99Us) {
            appendText(out, ", the same as in ");
        } else {
            appendText(out, " against ");
            appendShortMs(out, p99);
            appendText(out, " in ");
        }
        appendText2(out, html, c.runs[reference].name);
    }
    const char* separator = " (";
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        if (r == best || r == reference) continue;
        appendText(out, separator);
        appendText2(out, html, c.runs[r].name);
        appendChar(out, ' ');
        if (hasEvents(c, r, core)) {
            appendShortMs(out, c.runs[r].cores[core].p99Us);
        } else {
            appendText(out, "no events");
        }
        separator = ", ";
    }
    if (separator[0] == ',') appendChar(out, ')');
}

void appendMsCell(TextBuffer& out, std::int64_t us) {
    appendText(out, "<td>");
    appendDecimal(out, us, 1000, 3);
    appendText(out, "</td>");
}

void appendDeltaCell(TextBuffer& out, std::int64_t us, bool first) {
    appendText(out, "<td>");
    if (first) {
        appendText(out, "\xe2\x80\x94");
    } else {
        appendSignedMs(out, us);
    }
    appendText(out, "</td>");
}

// "3: 2 threads, 1 not in the log".
void appendStallsCell(TextBuffer& out, const ComparedCore& core) {
    appendText(out, "<td class=\"text\">");
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

void appendCoreTable(TextBuffer& out, const Comparison& c, std::int64_t core) {
    appendText(out, "<div class=\"scroll\"><table id=\"compare-core-");
    appendInteger(out, core);
    appendText(out, "\"><thead><tr><th class=\"text\">run</th><th>events</th><th>mean ms</th><th>99th ms</th>"
                    "<th>99.9th ms</th><th>max ms</th><th>\xce\x94 mean</th><th>\xce\x94 99th</th>"
                    "<th>\xce\x94 99.9th</th><th>\xce\x94 max</th><th class=\"text\">stalls &gt; 5 ms</th>"
                    "</tr></thead><tbody>");
    std::int64_t first = -1;
    const std::int64_t best = bestComparedRun(c, core);
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        const ComparedCore& figures = c.runs[r].cores[core];
        appendText(out, "<tr data-run=\"");
        appendHtmlText(out, c.runs[r].name);
        appendText(out, "\" data-p99-us=\"");
        appendInteger(out, figures.events > 0 ? figures.p99Us : -1);
        appendText(out, "\"><td class=\"text\">");
        if (r == best) appendText(out, "\xe2\x98\x85 ");
        appendHtmlText(out, c.runs[r].name);
        appendText(out, "</td>");
        if (figures.events == 0) {
            appendText(out, "<td class=\"text\" colspan=\"10\">no events</td></tr>");
            continue;
        }
        const ComparedCore* against = first >= 0 ? &c.runs[first].cores[core] : nullptr;
        const std::int64_t mean = figures.sumUs / figures.events;
        appendText(out, "<td>");
        appendInteger(out, figures.events);
        appendText(out, "</td><td>");
        appendDecimal(out, figures.sumUs, figures.events * 1000, 3);
        appendText(out, "</td>");
        appendMsCell(out, figures.p99Us);
        appendMsCell(out, figures.p999Us);
        appendMsCell(out, figures.maxUs);
        appendDeltaCell(out, against != nullptr ? mean - against->sumUs / against->events : 0, against == nullptr);
        appendDeltaCell(out, against != nullptr ? figures.p99Us - against->p99Us : 0, against == nullptr);
        appendDeltaCell(out, against != nullptr ? figures.p999Us - against->p999Us : 0, against == nullptr);
        appendDeltaCell(out, against != nullptr ? figures.maxUs - against->maxUs : 0, against == nullptr);
        appendStallsCell(out, figures);
        appendText(out, "</tr>");
        if (first < 0) first = r;
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
        appendText(out, "</b>: ");
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
        appendText(out, "<li>");
        appendVerdict(out, c, core, true);
        appendText(out, "</li>");
    }
    appendText(out, "</ul>\n<p>Percentiles are exact, from the logs' own values (by the performance counter); "
                    "\xce\x94 is the difference against the first run with events on the core, in ms; "
                    "\xe2\x98\x85 the lowest 99th percentile. Stalls are timer events more than 5 ms late; their "
                    "cause is given where the log names it.</p>\n");
    appendComparisonLegend(out, c);
    for (std::int64_t core = 0; core < c.coreCount; ++core) {
        appendText(out, "<h3>Core ");
        appendInteger(out, core);
        appendText(out, "</h3>\n");
        appendCoreTable(out, c, core);
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
    ".verdict.passed{border-color:var(--pass)}.verdict.crossed{border-color:var(--wake);border-width:4px}"
    ".notice{border-style:dashed;border-color:#777}.legend{display:flex;flex-wrap:wrap;gap:.4em 1.5em;margin:.3em 0}"
    ".scroll{overflow-x:auto}svg{display:block;width:100%;max-width:720px;height:auto}svg text{font-size:13px;"
    "fill:var(--ink)}.legend svg{display:inline-block;width:36px;height:12px;vertical-align:middle}"
    "table{border-collapse:collapse;margin:.4em 0;font-variant-numeric:tabular-nums}"
    "th,td{border-bottom:1px solid var(--grid);padding:.15em .6em;text-align:right;white-space:nowrap}"
    "th{background:#f2f2f2}td.text,th.text{text-align:left}"
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
    constexpr std::size_t perRunRow = 1024;
    constexpr std::size_t perCoreFixed = 2048 + 1024;
    return fixedBytes + runs * perRunContext + cores * (perCoreFixed + runs * (perRunRow + comparisonChartBytesPerRun)) +
           runs * 512;
}
