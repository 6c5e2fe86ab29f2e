// A cell of the page's sweep table (html_parts.h): a level's judged figures
// on one core and its verdict against the baseline, with what is behind it.
#include "formats/html_parts.h"
#include "formats/sweep_format.h"
#include "record/sweep_record.h"

void appendSweepCell(TextBuffer& out, const RunSummary& run, std::int64_t s, std::int64_t core) {
    const SweepSummary& sweep = *run.sweep;
    if (!sweepStretchJudged(sweep, s)) {
        appendText(out, "<td class=\"unjudged\">cut short: not judged</td>");
        return;
    }
    const CoreVerdict* v = sweepVerdictOf(run, s, core);
    appendText(out, "<td class=\"");
    appendText(out, v != nullptr ? verdictKey(v->verdict) : "baseline");
    appendText(out, "\" data-verdict=\"");
    appendText(out, v != nullptr ? verdictName(v->verdict) : "baseline");
    appendText(out, "\">");
    // Only a level better beyond noise is marked.
    if (v != nullptr && v->verdict == Verdict::better) appendText(out, "\xe2\x98\x85 ");
    appendJudgedBrief(out, sweepShownFigures(run, s, core));
    const CoreStatistics& timer = sweep.cores[s * sweep.coreCount + core].timer;
    appendText(out, "<br><small>");
    if (sweep.withWakes) {
        // The timer events beside the wake-ups that decide.
        appendText(out, "timer events: stalls ");
        appendInteger(out, sweep.cores[s * sweep.coreCount + core].timerStalls);
        appendText(out, " of ");
        appendInteger(out, timer.events);
        appendText(out, timer.events > 0 ? ", " : "");
    }
    if (timer.events > 0) {
        appendText(out, "mean ");
        appendDecimal(out, timer.sumUs, timer.events * 1000, 3);
        appendText(out, " \xc2\xb7 max ");
        appendInteger(out, timer.maxMs);
        appendText(out, " ms");
    }
    appendText(out, "</small><br>");
    if (v == nullptr) {
        appendText(out, "<i>the baseline</i></td>");
        return;
    }
    // The judge's words and figures hold no character that HTML escapes.
    appendText(out, "<b>");
    appendVerdictWords(out, *v);
    appendText(out, "</b><br><small>");
    appendVerdictFigures(out, *v);
    appendText(out, "</small></td>");
}
