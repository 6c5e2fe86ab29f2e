// The comparison's table of each core: every run's figures, their differences, the verdicts.
#include <cstdint>

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
    const CoreVerdict* v = comparedVerdictOf(c, run, core);
    if (v == nullptr) {
        appendText(out, c.runCount > 1 ? "baseline</td>" : "</td>");
        return;
    }
    appendVerdictWords(out, *v);
    appendText(out, "</td>");
}

}  // namespace

// Beneath a core's table: the figures behind each run's verdict, and with
// --fine the timer events' verdict beside the wake-ups'.
void appendFiguresBehind(TextBuffer& out, const Comparison& c, std::int64_t core) {
    if (c.verdicts == nullptr) return;
    appendText(out, "<ul class=\"behind\" id=\"compare-figures-core-");
    appendInteger(out, core);
    appendText(out, "\">");
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        const CoreVerdict* v = comparedVerdictOf(c, r, core);
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

void appendComparisonCoreTable(TextBuffer& out, const Comparison& c, std::int64_t core) {
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
        const CoreVerdict* v = comparedVerdictOf(c, r, core);
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
