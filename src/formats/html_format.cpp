// The page of a run: its skeleton, style, header and legend, the problems,
// and its capacity; the timelines and histograms (html_charts.cpp), the
// per-core tables (html_tables.cpp) and the worst events (html_worst.cpp)
// are drawn by the files beside it.
#include "formats/html_format.h"

#include <cstring>

#include "formats/html_parts.h"
#include "formats/report_format.h"

// Colours of the Okabe-Ito set, told apart with colour blindness too; every
// series has its own line style and a label besides, never colour alone.
// The CSS is written once per page, so its size does not grow with the run.
static const char pageStyle[] =
    ":root{--timer:#0072B2;--wake:#D55E00;--mark:#E69F00;--limit:#CC79A7;--pass:#009E73;--ink:#1a1a1a;"
    "--grid:#d0d0d0}"
    "body{font-family:system-ui,-apple-system,'Segoe UI',Roboto,sans-serif;color:var(--ink);background:#fff;"
    "max-width:1100px;margin:0 auto;padding:16px;line-height:1.4;overflow-wrap:anywhere}"
    "h1{font-size:1.5em;margin:.2em 0}h2{font-size:1.2em;margin:1.2em 0 .4em;border-bottom:1px solid var(--grid)}"
    "h3{font-size:1em;margin:.6em 0 .1em}figure{margin:0 0 .4em}"
    "dl.facts{display:grid;grid-template-columns:max-content 1fr;gap:.1em 1em;margin:.5em 0}dl.facts dt{font-weight:600}"
    "dl.facts dd{margin:0}"
    ".verdict,.notice{padding:.5em .8em;border:2px solid;border-radius:4px;margin:.6em 0;font-weight:600}"
    ".verdict.passed{border-color:var(--pass)}.verdict.crossed{border-color:var(--wake);border-width:4px}"
    ".notice{border-style:dashed;border-color:#777}"
    ".legend{display:flex;flex-wrap:wrap;gap:.4em 1.5em;margin:.3em 0}.legend svg{vertical-align:middle}"
    ".scroll{overflow-x:auto}svg{display:block;width:100%;height:auto}svg text{font-size:15px;fill:var(--ink)}"
    ".legend svg{display:inline-block;width:36px;height:12px}"
    ".gridline{stroke:var(--grid);stroke-width:1}.axis{stroke:#555;stroke-width:1}"
    ".timer{fill:none;stroke:var(--timer);stroke-width:2;stroke-linejoin:round;stroke-linecap:round}"
    ".wake{fill:none;stroke:var(--wake);stroke-width:1.5;stroke-dasharray:6 3;stroke-linecap:round}"
    ".limit{stroke:var(--limit);stroke-width:1.5;stroke-dasharray:10 3 2 3}"
    ".suspended{fill:#8a8a8a;fill-opacity:.25;stroke:#8a8a8a;stroke-opacity:.6}"
    ".worst-mark path{fill:var(--mark);stroke:#000;stroke-width:1}.worst-wake-mark path{fill:var(--wake);stroke:#000;"
    "stroke-width:1}.worst-mark text,.worst-wake-mark text{font-size:13px;font-weight:700}"
    ".histograms{display:grid;grid-template-columns:repeat(auto-fill,minmax(300px,1fr));gap:.5em 1.5em}"
    ".histograms svg text{font-size:11px}.bar{fill:var(--timer)}.empty{fill:#777}"
    "table{border-collapse:collapse;margin:.4em 0;font-variant-numeric:tabular-nums}"
    "th,td{border-bottom:1px solid var(--grid);padding:.15em .6em;text-align:right;white-space:nowrap;"
    "overflow-wrap:normal}td.words{white-space:normal}th{background:#f2f2f2}small{color:#555}"
    ".leader{stroke:#555;stroke-width:1}"
    ".wake-bar{fill:var(--wake)}"
    "td.text,th.text{text-align:left}"
    "@media (max-width:640px){body{padding:8px;font-size:14px}.scroll svg{min-width:600px}"
    "table{font-size:12px}th,td{padding:.1em .3em}.histograms{grid-template-columns:1fr}}"
    "@media print{@page{size:A4;margin:12mm}body{max-width:none;padding:0;font-size:9pt}"
    "*{-webkit-print-color-adjust:exact;print-color-adjust:exact}.scroll{overflow:visible}"
    "figure,tr,.histograms>div{break-inside:avoid}h2{break-after:avoid}}";

// Texts from the system (machine name, problems) are cut to this many bytes
// before escaping, so that the page's capacity holds whatever they are.
constexpr std::size_t outsideTextMost = 300;

static void appendLimited(TextBuffer& out, const char* text) {
    char cut[outsideTextMost + 1];
    joinText(cut, sizeof cut, {text});
    appendHtmlText(out, cut);
}

void appendMs(TextBuffer& out, std::int64_t lateUs) {
    appendExactDecimal(out, lateUs, 1000);
    appendText(out, " ms");
}

// "8.003 s", "12 min 05 s", "3 h 02 min", "6 d 23 h 59 min".
static void appendLength(TextBuffer& out, std::int64_t ms) {
    if (ms < 0) ms = 0;
    const std::int64_t seconds = ms / 1000;
    const auto two = [&out](std::int64_t value) {
        if (value < 10) appendChar(out, '0');
        appendInteger(out, value);
    };
    if (seconds < 60) {
        appendDecimal(out, ms, 1000, 3);
        appendText(out, " s");
    } else if (seconds < 3600) {
        appendInteger(out, seconds / 60);
        appendText(out, " min ");
        two(seconds % 60);
        appendText(out, " s");
    } else if (seconds < 86400) {
        appendInteger(out, seconds / 3600);
        appendText(out, " h ");
        two(seconds / 60 % 60);
        appendText(out, " min");
    } else {
        appendInteger(out, seconds / 86400);
        appendText(out, " d ");
        appendInteger(out, seconds / 3600 % 24);
        appendText(out, " h ");
        two(seconds / 60 % 60);
        appendText(out, " min");
    }
}

static void appendUtcWithZone(TextBuffer& out, std::int64_t utcMs) {
    appendUtc(out, utcMs);
    appendText(out, " UTC");
}

static void appendFact(TextBuffer& out, const char* name) {
    appendText(out, "<dt>");
    appendText(out, name);
    appendText(out, "</dt><dd>");
}

// "every 1 ms, woken by a 1 ms sleep; the system timer ticks every 1 ms":
// how the wake-up samplers wait, in words.
static void appendWakeMethod(TextBuffer& out, const RunSummary& run) {
    const bool sleep = std::strcmp(run.fineMethod, "sleep") == 0;
    appendText(out, sleep ? "every 1 ms, woken by a 1 ms sleep" : "every 1 ms, woken by a ");
    if (!sleep) appendLimited(out, run.fineMethod);
    if (run.fineResolutionUs > 0) {
        appendText(out, "; the system timer ticks every ");
        appendExactDecimal(out, run.fineResolutionUs, 1000);
        appendText(out, " ms");
    } else {
        appendText(out, "; the system did not say how often its timer ticks");
    }
}

static void appendHeader(TextBuffer& out, const RunSummary& run) {
    const bool named = run.machineName != nullptr && run.machineName[0] != '\0';
    appendText(out, "<header><h1>Timer lateness");
    if (named) {
        appendText(out, " of ");
        appendLimited(out, run.machineName);
    }
    appendText(out, "</h1><dl class=\"facts\">");
    appendFact(out, "Machine");
    appendLimited(out, named ? run.machineName : "unknown");
    appendText(out, "</dd>");
    appendFact(out, "Windows");
    appendLimited(out, run.systemVersion != nullptr && run.systemVersion[0] != '\0' ? run.systemVersion : "unknown");
    appendText(out, "</dd>");
    appendFact(out, "Cores");
    appendInteger(out, run.coreCount);
    appendText(out, "</dd>");
    appendFact(out, "Started");
    appendUtcWithZone(out, run.startedUtcMs);
    appendText(out, "</dd>");
    appendFact(out, "Length");
    appendLength(out, run.elapsedMs);
    appendText(out, run.finished ? " (the whole run)" : " so far");
    appendText(out, "</dd>");
    appendFact(out, "Updated");
    appendUtcWithZone(out, run.updatedUtcMs);
    appendText(out, "</dd>");
    if (run.wakes != nullptr && run.fineMethod != nullptr && run.fineMethod[0] != '\0') {
        appendFact(out, "Wake-ups");
        appendWakeMethod(out, run);
        appendText(out, "</dd>");
    }
    appendContextFacts(out, run);
    appendFact(out, "Program");
    appendText(out, "Vantrel ");
    appendLimited(out, run.version != nullptr ? run.version : "");
    appendText(out, "</dd></dl>\n");

    if (!run.finished) {
        appendText(out, "<p class=\"notice\" id=\"running\">Still running: this page is rewritten "
                        "every 5 s and reloads itself.</p>\n");
    }
    if (run.logEndsEarly || run.logBytesLeftOut > 0) {
        // A cut last line, or zero bytes where a power cut lost the data.
        appendText(out, run.logEndsEarly ? "<p class=\"notice\" id=\"log-ends-early\">\xe2\x9a\xa0 Log ends early: "
                                         : "<p class=\"notice\" id=\"log-ends-early\">\xe2\x9a\xa0 Log has a gap: ");
        appendInteger(out, run.logBytesLeftOut);
        appendText(out, run.logEndsEarly ? " bytes left out (a line cut short, or zero bytes where a power cut lost "
                                           "the data), so the run's last moments may be missing.</p>\n"
                                         : " bytes left out (zero bytes where a power cut lost the data, and the "
                                           "lines they cut into).</p>\n");
    }
    appendEndNotice(out, run);
    appendVerdict(out, run);
    appendText(out, "</header>\n");
}

static void appendLegend(TextBuffer& out, const RunSummary& run) {
    appendText(out, "<p class=\"legend\"><span><svg viewBox=\"0 0 36 12\"><path class=\"timer\" d=\"M2 6h32\"/>"
                    "</svg> timer events: the worst per slot</span>");
    if (run.timeline->wakeLateUs != nullptr) {
        appendText(out, "<span><svg viewBox=\"0 0 36 12\"><path class=\"wake\" d=\"M2 6h32\"/></svg> "
                        "wake-ups: the worst per slot (dashed)</span>");
    }
    if (pageHasCauses(run)) {
        appendCauseLegend(out, run.wakes != nullptr);
    } else {
        appendText(out, "<span class=\"worst-mark\"><svg viewBox=\"0 0 36 12\"><path d=\"M18 0l6 6-6 6-6-6z\"/>"
                        "</svg> n: the n-th worst timer event over 5 ms (a stall)</span>");
    }
    if (run.wakes != nullptr && !pageHasCauses(run)) {
        appendText(out, "<span class=\"worst-wake-mark\"><svg viewBox=\"0 0 36 12\"><path d=\"M13 1h10v10h-10z\"/>"
                        "</svg> wn: the n-th worst wake-up over 5 ms</span>");
    }
    if (run.suspended != nullptr && run.suspended->listed > 0) {
        appendText(out, "<span><svg viewBox=\"0 0 36 12\"><rect class=\"suspended\" x=\"2\" y=\"0\" width=\"32\" "
                        "height=\"12\"/></svg> the machine slept (not counted as lateness)</span>");
    }
    if (run.failAboveUs > 0) {
        appendText(out, "<span><svg viewBox=\"0 0 36 12\"><path class=\"limit\" d=\"M2 6h32\"/></svg> "
                        "the limit, ");
        appendMs(out, run.failAboveUs);
        appendText(out, "</span>");
    }
    appendPriorityLegend(out, run);
    appendResolutionLegend(out, run);
    appendText(out, "</p><p>Each slot covers ");
    appendLength(out, run.timeline->slotMs);
    appendText(out, "; lateness on a log scale, times in UTC.</p>\n");
}

static void appendProblems(TextBuffer& out, const RunSummary& run) {
    appendText(out, "<h2>Problems</h2><ul id=\"problems\">");
    for (std::int64_t k = 0; k < run.problemsListed; ++k) {
        appendText(out, "<li>");
        appendUtc(out, run.problems[k].atUtcMs);
        appendText(out, ": ");
        appendLimited(out, run.problems[k].text);
        appendText(out, "</li>");
    }
    if (run.problemCount > run.problemsListed) {
        appendText(out, "<li>and ");
        appendInteger(out, run.problemCount - run.problemsListed);
        appendText(out, " more</li>");
    }
    appendText(out, "</ul>\n");
}

void formatHtml(const RunSummary& run, TextBuffer& out) {
    clearText(out);
    appendText(out, "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">");
    // A page opened during the run follows it by reloading the file; no
    // script and nothing from the network.
    if (!run.finished) appendText(out, "<meta http-equiv=\"refresh\" content=\"5\">");
    appendText(out, "<title>Vantrel: ");
    appendLimited(out, run.machineName != nullptr && run.machineName[0] != '\0' ? run.machineName : "run");
    appendText(out, ", ");
    appendUtc(out, run.startedUtcMs);
    appendText(out, "</title><style>");
    appendText(out, pageStyle);
    if (pageHasCauses(run)) appendCauseStyle(out);
    appendContextStyle(out);
    appendText(out, "</style></head><body>\n");
    appendHeader(out, run);

    if (run.timeline != nullptr && run.timeline->slotsUsed > 0) {
        appendText(out, "<section><h2>Timeline</h2>\n");
        appendLegend(out, run);
        const TimeAxis axis{run.timeline->startUtcMs, run.timeline->slotsUsed * run.timeline->slotMs};
        const std::int64_t drawn = run.coreCount < run.timeline->coreCount ? run.coreCount : run.timeline->coreCount;
        for (std::int64_t c = 0; c < drawn; ++c) appendTimeline(out, run, axis, c);
        appendText(out, "</section>\n");
    }

    appendSweepSection(out, run);
    appendText(out, "<section><h2>Worst timer events</h2>\n");
    appendWorstTimerTable(out, run);
    appendCauseNotes(out, run);
    appendSuspectTable(out, run);
    appendText(out, "</section>\n<section><h2>Timer events by lateness</h2><div class=\"histograms\">\n");
    for (std::int64_t c = 0; c < run.coreCount; ++c) appendHistogram(out, run.cores[c], c);
    appendText(out, "</div>\n");
    appendCoreTable(out, run);
    appendText(out, "</section>\n");

    if (run.wakes != nullptr) {
        appendText(out, "<section><h2>Wake-ups</h2>\n<h3>Worst wake-ups</h3>\n");
        appendWorstWakeTable(out, run);
        appendText(out, "<h3>Wake-ups by lateness</h3><div class=\"histograms\">\n");
        for (std::int64_t c = 0; c < run.coreCount; ++c) appendWakeHistogram(out, run.wakes[c], c);
        appendText(out, "</div>\n<h3>Per core</h3>\n");
        appendWakeTable(out, run);
        appendText(out, "</section>\n");
    }
    if (run.problemCount > 0) appendProblems(out, run);
    if (run.pageAppendix != nullptr) appendText(out, run.pageAppendix);
    appendText(out, "</body></html>\n");
}

// Generous sizes of each part; the test of a worst case checks that the
// page fits.
constexpr std::size_t pageFixedBytes = 32768;
constexpr std::size_t timelineFixedBytes = 4096;
constexpr std::size_t seriesBytesPerSlot = 12;  // "M1062 110h0" at most
constexpr std::size_t histogramBytes = 4096;
constexpr std::size_t tableRowBytes = 512;
constexpr std::size_t causeBarBytes = 640;     // a core's bar of stalls by cause and its counts
// A worst event's cause, its figures and its first suspect (html_parts.h
// has the suspects' own bounds, beside the table's).
constexpr std::size_t causeCellBytes = 160 + suspectCellBytes;
constexpr std::size_t worstMarkBytes = 768;  // with its title and a line to its label
constexpr std::size_t suspendedSpanBytes = 96;
constexpr std::size_t problemBytes = outsideTextMost * 6 + 128;  // "&quot;" for every byte

// A worst row's timer resolution: "<td>15.625</td>".
constexpr std::size_t resolutionCellBytes = 32;

std::size_t htmlCapacity(std::int64_t coreCount, bool withWakes) {
    const auto cores = static_cast<std::size_t>(coreCount < 0 ? 0 : coreCount);
    const std::size_t series = withWakes ? 2 : 1;
    const std::size_t perCore = timelineFixedBytes + suspendedSpanBytes * suspendedSpansKept +
                                series * seriesBytesPerSlot * timelineSlots + series * histogramBytes +
                                series * (tableRowBytes + causeBarBytes);
    const std::size_t events = static_cast<std::size_t>(worstEventsKept + worstWakesKept) *
                               (worstMarkBytes + tableRowBytes + causeCellBytes + resolutionCellBytes);
    return pageFixedBytes + suspectTableBytes + cores * perCore + events + static_cast<std::size_t>(problemsKept) * problemBytes +
           5 * outsideTextMost * 6 + pageContextCapacity(coreCount);
}
