// The page's stall causes: the shape and colour of each cause, the cause
// column of the worst tables, the per-core bars of stalls by cause, and the
// lines that say what each cause means and what to try.
#include <algorithm>
#include <cstdint>

#include "formats/html_parts.h"

// A cause is told by its shape and its name; the colour (from the Okabe-Ito
// set, like the series) only helps. Each shape is 12 units across, its path
// starting at (dx, dy) from the centre. Indexed by StallCause, then the mark
// of a worst event that was no stall at all. The square and the diamond are
// also the wake-up's and the timer event's marks on a page without causes.
struct CauseLook {
    const char* name;
    const char* colour;
    int dx;
    int dy;
    const char* path;
};
static const CauseLook causeLooks[stallCauseCount + 1] = {
    {"unknown", "#999", -2, -6, "h4v4h4v4h-4v4h-4v-4h-4v-4h4z"},     // a plus
    {"threads", "#E69F00", -6, 0, "a6 6 0 1 0 12 0a6 6 0 1 0-12 0z"},  // a circle
    {"drivers", "#CC79A7", 0, -6, "l6 11h-12z"},                       // a triangle
    {"idle", "#56B4E9", -5, -5, "h10v10h-10z"},                        // a square
    {"mixed", "#F0E442", 0, -6, "l6 6-6 6-6-6z"},                      // a diamond
    {"none", "#fff", -6, -2, "h12v4h-12z"}};                           // a flat bar
constexpr int noStall = stallCauseCount;
// The order of the legend and the notes: the causes that say what ran, then
// unknown, then (in the legend) no stall.
static const int keyOrder[stallCauseCount + 1] = {1, 2, 3, 4, 0, noStall};

// What each cause means and what to try, in the order of StallCause.
static const char* const causeNotes[stallCauseCount] = {
    "the stall was shorter than twice the accounting's resolution, or the accounting had not covered it yet.",
    "another thread ran (a process at higher priority): raise Vantrel's priority in the menu and watch the stall "
    "go, then find the process.",
    "deferred procedure calls and interrupts ran: a kernel trace names the driver.",
    "nothing Windows accounts for ran: the core was idle and still the wake-up came late. Power-state exits, a "
    "virtual machine's hypervisor, firmware or the timer itself: change the power plan, move off the virtual "
    "machine, ask the vendor.",
    "busy and idle by turns: neither threads, drivers nor idle time filled half the stall."};

bool pageHasCauses(const RunSummary& run) {
    return run.accounting && run.stallCauses != nullptr && run.worstTimerCause != nullptr;
}

void appendCauseStyle(TextBuffer& out) {
    for (const CauseLook& look : causeLooks) {
        appendText(out, "[data-cause=");
        appendText(out, look.name);
        appendText(out, "]{--cause:");
        appendText(out, look.colour);
        appendChar(out, '}');
    }
    appendText(out, "[data-cause] path,rect[data-cause]{fill:var(--cause);stroke:#000;stroke-width:1}"
                    ".worst-wake-mark[data-cause] path{stroke-dasharray:2 1.5}"
                    ".causebar{display:inline-block;width:100px;height:10px;vertical-align:middle}"
                    ".cause-key svg{display:inline-block;width:36px;height:12px;vertical-align:middle}"
                    "small{color:#555;font-size:.8em}dl.causes dd{margin:0 0 .3em 1.5em}.suspect{display:block}");
}

int causeShapeOf(const StallCause* cause, std::int64_t lateUs) {
    if (lateUs <= stallLateUs) return noStall;
    const auto index = static_cast<int>(*cause);
    return index < stallCauseCount ? index : static_cast<int>(StallCause::unknown);
}

const char* causeName(int shape) { return causeLooks[shape].name; }

void appendCauseShape(TextBuffer& out, std::int64_t x, std::int64_t y, int shape) {
    const CauseLook& look = causeLooks[shape];
    appendText(out, "<path d=\"M");
    appendPoint(out, x + look.dx, y + look.dy);
    appendText(out, look.path);
    appendText(out, "\"/>");
}

// A shape in a small box, then its label.
static void appendCauseKey(TextBuffer& out, int shape, const char* label) {
    appendText(out, "<svg viewBox=\"0 0 36 12\" data-cause=\"");
    appendText(out, causeLooks[shape].name);
    appendText(out, "\">");
    appendCauseShape(out, 18, 6, shape);
    appendText(out, "</svg> ");
    appendText(out, label);
}

void appendCauseLegend(TextBuffer& out, bool wakes) {
    appendText(out, wakes ? "<span>n: the n-th worst timer event over 5 ms (a stall), wn: the n-th worst wake-up "
                            "over 5 ms (dashed outline); the shape tells the cause:</span>"
                          : "<span>n: the n-th worst timer event over 5 ms (a stall); the shape tells the "
                            "cause:</span>");
    // Only stalls are marked, so "no stall" has no key.
    for (int k = 0; k < stallCauseCount; ++k) {
        appendText(out, "<span class=\"cause-key\">");
        appendCauseKey(out, keyOrder[k], causeLooks[keyOrder[k]].name);
        appendText(out, "</span>");
    }
}

// A figure the record could not read is negative (null in the report): it
// shows as a dash, not as a measured nothing.
static void appendDuringMs(TextBuffer& out, std::int64_t us) {
    if (us < 0) {
        appendText(out, "\xe2\x80\x94");  // an em dash
        return;
    }
    appendDecimal(out, us, 1000, 1);
}

// The first suspect of a stall caused by threads, under its cause.
static void appendFirstSuspect(TextBuffer& out, const StallSuspects& suspects) {
    if (!suspects.known) {
        appendText(out, "<small class=\"suspect\">suspects unknown</small>");
        return;
    }
    if (suspects.count == 0) {
        appendText(out, "<small class=\"suspect\">no listed process grew</small>");
        return;
    }
    const Suspect& s = suspects.list[0];
    appendText(out, "<span class=\"suspect\" data-process=\"");
    appendHtmlText(out, s.process);
    appendText(out, "\" data-cpu-us=\"");
    appendInteger(out, s.cpuUs);
    appendText(out, "\">");
    appendHtmlText(out, s.process);
    appendChar(out, ' ');
    appendDuringMs(out, s.cpuUs);
    appendText(out, " ms <small>CPU in ");
    appendDuringMs(out, suspects.windowUs);
    appendText(out, "</small></span>");
}

void appendCauseCell(TextBuffer& out, const StallCause& cause, const StallDuring* during, std::int64_t lateUs,
                     const StallSuspects* suspects) {
    const int shape = causeShapeOf(&cause, lateUs);
    if (shape == noStall) {
        appendText(out, "<td class=\"text\">\xe2\x80\x94</td>");  // an em dash
        return;
    }
    appendText(out, "<td class=\"text words\" data-cause=\"");
    appendText(out, causeLooks[shape].name);
    appendText(out, "\">");
    appendText(out, causeLooks[shape].name);
    if (during != nullptr) {
        appendText(out, " <small>");
        appendDuringMs(out, during->threadsUs);
        appendText(out, " \xc2\xb7 ");
        appendDuringMs(out, during->driversUs);
        appendText(out, " \xc2\xb7 ");
        appendDuringMs(out, during->idleUs);
        appendText(out, " / ");
        appendDuringMs(out, during->spanUs);
        appendText(out, "</small>");
    }
    if (shape == static_cast<int>(StallCause::threads) && suspects != nullptr) appendFirstSuspect(out, *suspects);
    appendText(out, "</td>");
}

std::int64_t mostStalls(const RunSummary& run, bool wakes) {
    std::int64_t most = 0;
    for (std::int64_t c = 0; c < run.coreCount; ++c) {
        const std::int64_t* counts = wakes ? run.stallCauses[c].wake : run.stallCauses[c].timer;
        std::int64_t total = 0;
        for (int k = 0; k < stallCauseCount; ++k) {
            if (counts[k] > 0) total = counts[k] > INT64_MAX - total ? INT64_MAX : total + counts[k];
        }
        most = total > most ? total : most;
    }
    return most;
}

// A bar as long as the core's stalls (the core with the most fills it), in
// one piece per cause, and the counts beside it in words.
void appendCauseBarCell(TextBuffer& out, const std::int64_t* counts, std::int64_t most) {
    constexpr std::int64_t barWidth = 100;
    if (most <= 0 || std::all_of(counts, counts + stallCauseCount, [](std::int64_t n) { return n <= 0; })) {
        appendText(out, "<td class=\"text\">none</td>");
        return;
    }
    appendText(out, "<td class=\"text words\"><svg class=\"causebar\" viewBox=\"0 0 100 10\">");
    std::int64_t x = 0;
    for (int k = 0; k < stallCauseCount; ++k) {
        const int cause = keyOrder[k];
        if (counts[cause] <= 0) continue;
        // In floating point: a count times the width may not fit 64 bits.
        const auto share = static_cast<std::int64_t>(static_cast<double>(counts[cause]) * barWidth / static_cast<double>(most));
        const std::int64_t width = share > 2 ? share : 2;
        appendText(out, "<rect data-cause=\"");
        appendText(out, causeLooks[cause].name);
        appendText(out, "\" x=\"");
        appendInteger(out, x);
        appendText(out, "\" width=\"");
        appendInteger(out, width);
        appendText(out, "\" height=\"10\"/>");
        x += width;
    }
    appendText(out, "</svg>");
    const char* separator = " ";
    for (int k = 0; k < stallCauseCount; ++k) {
        const int cause = keyOrder[k];
        if (counts[cause] <= 0) continue;
        appendText(out, separator);
        appendInteger(out, counts[cause]);
        appendChar(out, ' ');
        appendText(out, causeLooks[cause].name);
        separator = ", ";
    }
    appendText(out, "</td>");
}

void appendCauseNotes(TextBuffer& out, const RunSummary& run) {
    if (!pageHasCauses(run)) {
        appendText(out, run.readFromLog
                            ? "<p id=\"no-causes\">No causes: made from a log, which keeps none.</p>\n"
                            : "<p id=\"no-causes\">No causes: the per-processor time accounting could not be read "
                              "during this run.</p>\n");
        return;
    }
    appendText(out, "<dl class=\"causes\" id=\"causes\">");
    for (int k = 0; k < stallCauseCount; ++k) {
        const int cause = keyOrder[k];
        appendText(out, "<dt class=\"cause-key\">");
        appendCauseKey(out, cause, causeLooks[cause].name);
        appendText(out, "</dt><dd>");
        appendText(out, causeNotes[cause]);
        appendText(out, "</dd>");
    }
    appendText(out, "</dl><p>A stall is a timer event or wake-up more than 5 ms late; the figures beside a cause are "
                    "the milliseconds of thread, driver and idle time in the stall's span. The accounting ");
    if (run.accountingResolutionUs > 0) {
        appendText(out, "comes in steps of ");
        appendDecimal(out, run.accountingResolutionUs, 1000, 1);
        appendText(out, " ms here and ");
    }
    appendText(out, "says what the core did, not which process or driver.</p>\n");
}

// The tally's entry that ranks next after those already `listed`: the most
// stalls, then the most CPU time, then the first seen.
static std::int64_t nextInTally(const SuspectTally& tally, const bool* listed) {
    std::int64_t best = -1;
    for (std::int64_t k = 0; k < tally.count; ++k) {
        if (listed[k]) continue;
        const SuspectTallyEntry& e = tally.kept[k];
        if (best < 0 || e.stalls > tally.kept[best].stalls ||
            (e.stalls == tally.kept[best].stalls && e.cpuUs > tally.kept[best].cpuUs)) {
            best = k;
        }
    }
    return best;
}

void appendSuspectTable(TextBuffer& out, const RunSummary& run) {
    if (!pageHasCauses(run) || !run.suspects || run.suspectTally == nullptr) return;
    const SuspectTally& tally = *run.suspectTally;
    appendText(out, "<h3>Suspects</h3>\n");
    if (tally.count == 0) {
        appendText(out, "<p id=\"suspects\">No stall caused by threads had a suspect.</p>\n");
    } else {
        appendTableStart(out, "suspects",
                         "<th class=\"text\">process</th><th>stalls</th><th>first suspect</th><th>CPU ms in them</th>");
        bool listed[suspectTallyKept] = {};
        for (std::int64_t row = 0; row < suspectTableRows; ++row) {
            const std::int64_t k = nextInTally(tally, listed);
            if (k < 0) break;
            listed[k] = true;
            const SuspectTallyEntry& e = tally.kept[k];
            appendText(out, "<tr data-process=\"");
            appendHtmlText(out, e.process);
            appendText(out, "\"><td class=\"text\">");
            appendHtmlText(out, e.process);
            appendText(out, "</td>");
            appendCell(out, e.stalls);
            appendCell(out, e.first);
            appendText(out, "<td>");
            appendDuringMs(out, e.cpuUs);
            appendText(out, "</td></tr>");
        }
        appendTableEnd(out);
    }
    appendText(out, "<p>A suspect is a process whose CPU time grew most between the snapshots of every process's "
                    "CPU time taken just before and just after a stall caused by threads (");
    appendInteger(out, tally.stalls);
    appendText(out, tally.stalls == 1 ? " stall; " : " stalls; ");
    appendInteger(out, run.suspectSnapshots);
    appendText(out, " snapshots, ");
    appendInteger(out, run.suspectSnapshotFailures);
    appendText(out, " failed). It ran near the stall, on this core or another: that is not proof that it held "
                    "the core. Vantrel itself and the idle process are never suspects.</p>\n");
}
