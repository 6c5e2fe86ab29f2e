// The page's worst events: the verdict that names them, their numbered marks
// on the timelines and their tables.
#include "formats/html_parts.h"

#include "formats/report_format.h"
#include "formats/suspect_format.h"
#include "verdict/judge.h"

// Whether a kind of measurement crossed the limit, by the judge's rule (a
// timer event by its late_ms, a wake-up by its microseconds), to name it
// once the record says the limit was crossed.
static bool timerEventsCrossed(const RunSummary& run) {
    for (std::int64_t c = 0; c < run.coreCount; ++c) {
        if (run.cores[c].events > 0 && crossesLimit(run.failAboveUs, false, run.cores[c].maxMs, run.cores[c].maxUs)) return true;
    }
    return false;
}

static bool wakeUpsCrossed(const RunSummary& run) {
    for (std::int64_t c = 0; run.wakes != nullptr && c < run.coreCount; ++c) {
        if (run.wakes[c].events > 0 && crossesLimit(run.failAboveUs, true, 0, run.wakes[c].maxUs)) return true;
    }
    return false;
}

static void appendWhereAndWhen(TextBuffer& out, std::int64_t core, std::int64_t utcMs) {
    appendText(out, ", on core ");
    appendInteger(out, core);
    appendText(out, " (#");
    appendInteger(out, core + 1);
    appendText(out, " in the window) at ");
    appendUtc(out, utcMs);
    appendText(out, ", was ");
}

void appendVerdict(TextBuffer& out, const RunSummary& run) {
    if (run.failAboveUs < 0) return;
    const bool fine = run.wakes != nullptr;
    if (!run.thresholdCrossed) {
        appendText(out, "<p class=\"verdict passed\" id=\"verdict\">\xe2\x9c\x93 Passed: ");
        appendText(out, fine ? "no timer event and no wake-up came later than " : "no timer event came later than ");
        appendMs(out, run.failAboveUs);
        appendText(out, ".</p>\n");
        return;
    }
    const bool wakes = fine && wakeUpsCrossed(run);
    // Crossed without a wake-up above the limit: a timer event was.
    const bool timers = !wakes || timerEventsCrossed(run);
    appendText(out, "<p class=\"verdict crossed\" id=\"verdict\">\xe2\x9c\x97 Crossed: ");
    appendText(out, timers && wakes ? "timer events and wake-ups" : timers ? "timer events" : "wake-ups");
    appendText(out, " came later than ");
    appendMs(out, run.failAboveUs);
    if (timers && run.worstTimerCount > 0) {
        const WorstEvent& worst = run.worstTimer[0];
        appendText(out, wakes ? "; the worst timer event" : "; the worst");
        appendWhereAndWhen(out, worst.core, worst.utcMs);
        appendInteger(out, worst.lateMs);
        appendText(out, " ms late by the system's tick count (");
        appendMs(out, worst.lateUs);
        appendText(out, " measured with the high-resolution counter)");
    }
    if (wakes && run.worstWakeCount > 0) {
        const WakeEvent& worst = run.worstWakes[0];
        appendText(out, timers ? "; the worst wake-up" : "; the worst");
        appendWhereAndWhen(out, worst.core, worst.utcMs);
        appendMs(out, worst.lateUs);
        appendText(out, " late");
    }
    appendText(out, ".</p>\n");
}

// One worst event as its mark and its row show it: a wake-up has no late_ms;
// `cause` and `during` are null on a page without causes.
struct WorstEntry {
    WakeEvent event;
    std::int64_t lateMs;
    std::int64_t rank;
    bool wake;
    const StallCause* cause;
    const StallDuring* during;
    const StallSuspects* suspects;  // null without them
};

// Only stalls are listed and marked: events more than 5 ms late by the
// high-resolution counter, the causes' own threshold. The rest would only
// crowd a quiet run's page with marks of 1 ms events.
static bool isStall(const RunSummary& run, std::int64_t k, bool wake) {
    return (wake ? run.worstWakes[k].lateUs : run.worstTimer[k].lateUs) > stallLateUs;
}

// Entry k's number among the stalls of its list (its list is in order).
static std::int64_t stallRank(const RunSummary& run, std::int64_t k, bool wake) {
    std::int64_t rank = 0;
    for (std::int64_t j = 0; j <= k; ++j) rank += isStall(run, j, wake) ? 1 : 0;
    return rank;
}

static std::int64_t stallCount(const RunSummary& run, bool wake) {
    const std::int64_t listed = wake ? (run.worstWakes != nullptr ? run.worstWakeCount : 0) : run.worstTimerCount;
    return listed > 0 ? stallRank(run, listed - 1, wake) : 0;
}

static WorstEntry worstEntry(const RunSummary& run, std::int64_t k, bool wake) {
    const bool causes = pageHasCauses(run) && (!wake || run.worstWakeCause != nullptr);
    const StallCause* cause = wake ? run.worstWakeCause : run.worstTimerCause;
    const StallDuring* during = wake ? run.worstWakeDuring : run.worstTimerDuring;
    WorstEntry entry{run.worstWakes != nullptr && wake ? run.worstWakes[k] : WakeEvent{}, 0, stallRank(run, k, wake), wake,
                     causes ? cause + k : nullptr, causes && during != nullptr ? during + k : nullptr,
                     causes ? suspectsOf(run, wake, k) : nullptr};
    if (!wake) {
        const WorstEvent& e = run.worstTimer[k];
        entry.event = WakeEvent{e.core, e.utcMs, e.lateUs};
        entry.lateMs = e.lateMs;
    }
    return entry;
}

// The attributes that let a script or a test find a worst event, on its mark
// and on its row alike.
static void appendEventData(TextBuffer& out, const WorstEntry& entry) {
    appendText(out, " data-core=\"");
    appendInteger(out, entry.event.core);
    appendText(out, "\" data-utc=\"");
    appendInteger(out, entry.event.utcMs);
    appendText(out, "\" data-late-us=\"");
    appendInteger(out, entry.event.lateUs);
    if (!entry.wake) {
        appendText(out, "\" data-late-ms=\"");
        appendInteger(out, entry.lateMs);
    }
    if (entry.cause != nullptr) {
        appendText(out, "\" data-cause=\"");
        appendText(out, causeName(causeShapeOf(entry.cause, entry.event.lateUs)));
    }
    appendChar(out, '"');
}

// A numbered mark. Without causes, a diamond for a timer event and a square
// for a wake-up; with them, the shape of the cause. A wake-up's number starts
// with "w" either way, so that the two kinds never share a number; told
// apart without colour.
static void appendMark(TextBuffer& out, const WorstEntry& entry, const MarkLabel& label) {
    appendText(out, entry.wake ? "<g class=\"worst-wake-mark\"" : "<g class=\"worst-mark\"");
    appendEventData(out, entry);
    appendText(out, "><title>");
    appendText(out, entry.wake ? "wake-up w" : "timer event ");
    appendInteger(out, entry.rank);
    appendText(out, ": core ");
    appendInteger(out, entry.event.core);
    appendText(out, " (#");
    appendInteger(out, entry.event.core + 1);
    appendText(out, " in the window), ");
    appendUtc(out, entry.event.utcMs);
    appendText(out, ", ");
    appendMs(out, entry.event.lateUs);
    appendText(out, " late</title>");
    const int shape = entry.cause != nullptr ? causeShapeOf(entry.cause, entry.event.lateUs) : entry.wake ? 3 : 4;
    appendCauseShape(out, label.x, label.y, shape);
    if (label.away) {
        // A line from the mark to the side of the label that faces it.
        const bool right = label.textX > label.x;
        appendLine(out, "leader", label.x, right ? label.textX - 2 : label.textX + label.width + 2, label.y, label.textY - 4);
    }
    appendText(out, "<text x=\"");
    appendInteger(out, label.textX);
    appendText(out, "\" y=\"");
    appendInteger(out, label.textY);
    appendText(out, entry.wake ? "\">w" : "\">");
    appendInteger(out, entry.rank);
    appendText(out, "</text></g>");
}

void appendWorstMarks(TextBuffer& out, const RunSummary& run, const TimeAxis& axis, std::int64_t core,
                      const LabelArea& area) {
    WorstEntry entries[worstEventsKept + worstWakesKept];
    MarkLabel labels[worstEventsKept + worstWakesKept];
    std::int64_t count = 0;
    const auto take = [&](std::int64_t k, bool wake) {
        const WorstEntry entry = worstEntry(run, k, wake);
        entries[count] = entry;
        labels[count] = MarkLabel{xOfUtc(axis, entry.event.utcMs), yOfLateUs(entry.event.lateUs),
                                  markLabelWidth(entry.rank, wake), 0, 0, false};
        ++count;
    };
    for (std::int64_t k = 0; k < run.worstTimerCount && k < worstEventsKept; ++k) {
        if (run.worstTimer[k].core == core && isStall(run, k, false)) take(k, false);
    }
    for (std::int64_t k = 0; run.wakes != nullptr && run.worstWakes != nullptr && k < run.worstWakeCount && k < worstWakesKept; ++k) {
        if (run.worstWakes[k].core == core && isStall(run, k, true)) take(k, true);
    }
    placeMarkLabels(labels, count, area);
    for (std::int64_t k = 0; k < count; ++k) appendMark(out, entries[k], labels[k]);
}

// A row of a worst table: a timer event carries its late_ms (the order of its
// table) as a column of its own; a wake-up has only the counter's reading.
static void appendWorstRow(TextBuffer& out, const RunSummary& run, const WorstEntry& entry) {
    appendText(out, "<tr");
    appendEventData(out, entry);
    appendChar(out, '>');
    appendText(out, entry.wake ? "<td>w" : "<td>");
    appendInteger(out, entry.rank);
    appendText(out, "</td>");
    appendCell(out, entry.event.core);
    appendUtcCell(out, entry.event.utcMs);
    if (!entry.wake) appendCell(out, entry.lateMs);
    appendMsCell(out, entry.event.lateUs);
    // The system timer's step in force: at 15.625 ms a timer reads up to
    // 16 ms late whatever the core did.
    const std::int64_t resolution = run.machine != nullptr ? resolutionInForce(*run.machine, entry.event.utcMs) : -1;
    if (resolution > 0) {
        appendText(out, "<td>");
        appendExactDecimal(out, resolution, 10000);
        appendText(out, "</td>");
    } else {
        appendText(out, "<td>unknown</td>");
    }
    if (entry.cause != nullptr) appendCauseCell(out, *entry.cause, entry.during, entry.event.lateUs, entry.suspects);
    appendText(out, "</tr>");
}

// The cause column's head says what its small figures are.
static const char causeHead[] = "cause <small>threads \xc2\xb7 drivers \xc2\xb7 idle / span, ms</small>";

// The rows of the stalls of one list, or the line that says there are none.
static void appendStallRows(TextBuffer& out, const RunSummary& run, bool wake, const char* id, const char* head,
                            const char* noneText) {
    if (stallCount(run, wake) == 0) {
        appendText(out, noneText);
        return;
    }
    const bool causes = pageHasCauses(run) && (!wake || run.worstWakeCause != nullptr);
    appendTableStart(out, id, head, causes ? causeHead : nullptr);
    const std::int64_t listed = wake ? run.worstWakeCount : run.worstTimerCount;
    for (std::int64_t k = 0; k < listed; ++k) {
        if (isStall(run, k, wake)) appendWorstRow(out, run, worstEntry(run, k, wake));
    }
    appendTableEnd(out);
}

void appendWorstTimerTable(TextBuffer& out, const RunSummary& run) {
    appendStallRows(out, run, false, "worst-events",
                    "<th>#</th><th>core</th><th class=\"text\">time (UTC)</th><th>ms late</th>"
                    "<th>precise ms late</th><th>timer resolution ms</th>",
                    "<p id=\"no-timer-stalls\">No stalls: no timer event was more than 5 ms late.</p>\n");
    if (stallCount(run, false) > 0) {
        appendText(out, "<p><small>Stalls only: of the run's 20 worst timer events, those more than 5 ms late, largest first. "
                        "<i>ms late</i> is read from the system's tick count, which moves in steps of 10 to 16 ms "
                        "on Windows; <i>precise ms late</i> is the same wait measured with the high-resolution "
                        "counter; <i>timer resolution ms</i> is the system timer's step in force then: at 15.625 ms a "
                        "100 ms timer arrives on a tick boundary and reads 0 to 16 ms late whatever the core does."
                        "</small></p>\n");
    }
}

void appendWorstWakeTable(TextBuffer& out, const RunSummary& run) {
    appendStallRows(out, run, true, "worst-wakes",
                    "<th>#</th><th>core</th><th class=\"text\">time (UTC)</th><th>ms late</th>"
                    "<th>timer resolution ms</th>",
                    "<p id=\"no-wake-stalls\">No stalls: no wake-up was more than 5 ms late.</p>\n");
}
