// The page's tables of per-core figures, timer events and wake-ups, and the
// cells that every table of the page is made of.
#include "formats/html_parts.h"

void appendCell(TextBuffer& out, std::int64_t value) {
    appendText(out, "<td>");
    appendInteger(out, value);
    appendText(out, "</td>");
}

void appendMsCell(TextBuffer& out, std::int64_t lateUs) {
    appendText(out, "<td>");
    appendDecimal(out, lateUs, 1000, 3);
    appendText(out, "</td>");
}

void appendUtcCell(TextBuffer& out, std::int64_t utcMs) {
    appendText(out, "<td class=\"text\">");
    appendUtc(out, utcMs);
    appendText(out, "</td>");
}

void appendTableStart(TextBuffer& out, const char* id, const char* head, const char* causeHead) {
    appendText(out, "<div class=\"scroll\"><table id=\"");
    appendText(out, id);
    appendText(out, "\"><thead><tr>");
    appendText(out, head);
    if (causeHead != nullptr) {
        appendText(out, "<th class=\"text\">");
        appendText(out, causeHead);
        appendText(out, "</th>");
    }
    appendText(out, "</tr></thead><tbody>");
}

void appendTableEnd(TextBuffer& out) { appendText(out, "</tbody></table></div>\n"); }

static const char causeBarHead[] = "stalls by cause";

void appendCoreTable(TextBuffer& out, const RunSummary& run) {
    const bool causes = pageHasCauses(run);
    const std::int64_t most = causes ? mostStalls(run, false) : 0;
    appendTableStart(out, "cores",
                     "<th>core</th><th>events</th><th>min ms</th><th>mean ms</th><th>max ms</th>"
                     "<th class=\"text\">max at (UTC)</th><th>precise max ms</th>",
                     causes ? causeBarHead : nullptr);
    for (std::int64_t c = 0; c < run.coreCount; ++c) {
        const CoreStatistics& s = run.cores[c];
        appendText(out, "<tr>");
        appendCell(out, c);
        if (s.events == 0) {
            appendText(out, run.sampled != nullptr && !run.sampled[c]
                                ? "<td class=\"text\" colspan=\"6\">not sampled</td>"
                                : "<td class=\"text\" colspan=\"6\">no events yet</td>");
        } else {
            appendCell(out, s.events);
            appendCell(out, s.minMs);
            appendText(out, "<td>");
            appendDecimal(out, s.sumMs, s.events, 3);
            appendText(out, "</td>");
            appendCell(out, s.maxMs);
            appendUtcCell(out, s.maxAtUtcMs);
            appendMsCell(out, s.maxUs);
        }
        if (causes) appendCauseBarCell(out, run.stallCauses[c].timer, most);
        appendText(out, "</tr>");
    }
    appendTableEnd(out);
}

void appendWakeTable(TextBuffer& out, const RunSummary& run) {
    const bool causes = pageHasCauses(run) && run.worstWakeCause != nullptr;
    const std::int64_t most = causes ? mostStalls(run, true) : 0;
    appendTableStart(out, "wake-cores",
                     "<th>core</th><th>wake-ups</th><th>skipped</th><th>over 1 ms</th><th>min ms</th>"
                     "<th>mean ms</th><th>max ms</th><th class=\"text\">max at (UTC)</th>",
                     causes ? causeBarHead : nullptr);
    for (std::int64_t c = 0; c < run.coreCount; ++c) {
        const WakeStatistics& w = run.wakes[c];
        appendText(out, "<tr>");
        appendCell(out, c);
        appendCell(out, w.events);
        appendCell(out, w.skipped);
        appendCell(out, w.over1ms);
        if (w.events == 0) {
            appendText(out, "<td colspan=\"4\"></td>");
        } else {
            appendMsCell(out, w.minUs);
            appendText(out, "<td>");
            appendDecimal(out, w.sumUs, w.events * 1000, 3);
            appendText(out, "</td>");
            appendMsCell(out, w.maxUs);
            appendUtcCell(out, w.maxAtUtcMs);
        }
        if (causes) appendCauseBarCell(out, run.stallCauses[c].wake, most);
        appendText(out, "</tr>");
    }
    appendTableEnd(out);
}
