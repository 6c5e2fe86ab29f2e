// The page's worst events: the verdict that names them, their numbered marks
// on the timelines and their tables.
#include "formats/html_parts.h"

#include "formats/report_format.h"
#include "formats/suspect_format.h"

// Whether a kind of measurement crossed the limit, judged as the recorder
// judges it for the exit code: a timer event by its late_ms, a wake-up by
// its microseconds, each strictly above the limit.
static bool timerEventsCrossed(const RunSummary& run) {
    for (std::int64_t c = 0; c < run.coreCount; ++c) {
        if (run.cores[c].events > 0 && run.cores[c].maxMs * 1000 > run.failAboveUs) return true;
    }
    return false;
}

static bool wakeUpsCrossed(const RunSummary& run) {
    for (std::int64_t c = 0; run.wakes != nullptr && c < run.coreCount; ++c) {
        if (run.wakes[c].events > 0 && run.wakes[c].maxUs > run.failAboveUs) return true;
    }
    return false;
}

static void appendWhereAndWhen(TextBuffer& out, std::int64_t core, std::int64_t utcMs) {
    appendText(out, ", on core ");
    appendInteger(out, core);
    appendText(out, " at ");
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
        appendText(out, " ms late by the tick count (");
        appendMs(out, worst.lateUs);
        appendText(out, " by the performance counter)");
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

static WorstEntry worstEntry(const RunSummary& run, std::int64_t k, bool wake) {
    const bool causes = pageHasCauses(run) && (!wake || run.worstWakeCause != nullptr);
    const StallCause* cause = wake ? run.worstWakeCause : run.worstTimerCause;
    const StallDuring* during = wake ? run.worstWakeDuring : run.worstTimerDuring;
    WorstEntry entry{run.worstWakes != nullptr && wake ? run.worstWakes[k] : WakeEvent{}, 0, k + 1, wake,
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
// for a wake-up; with them, the shape of the cause, and a wake-up's number
// starts with "w". Either way told apart without colour.
static void appendMark(TextBuffer& out, const TimeAxis& axis, const WorstEntry& entry) {
    const std::int64_t x = xOfUtc(axis, entry.event.utcMs);
    const std::int64_t y = yOfLateUs(entry.event.lateUs);
    appendText(out, entry.wake ? "<g class=\"worst-wake-mark\"" : "<g class=\"worst-mark\"");
    appendEventData(out, entry);
    appendText(out, "><title>");
    appendText(out, entry.wake ? "wake-up #" : "#");
    appendInteger(out, entry.rank);
    appendText(out, ": core ");
    appendInteger(out, entry.event.core);
    appendText(out, ", ");
    appendUtc(out, entry.event.utcMs);
    appendText(out, ", ");
    appendMs(out, entry.event.lateUs);
    appendText(out, " late</title>");
    const int shape = entry.cause != nullptr ? causeShapeOf(entry.cause, entry.event.lateUs) : entry.wake ? 3 : 4;
    appendCauseShape(out, x, y, shape);
    appendText(out, "<text x=\"");
    appendInteger(out, x + 8);
    appendText(out, "\" y=\"");
    appendInteger(out, y < plotTop + 14 ? y + 14 : y - 4);
    appendText(out, entry.wake && entry.cause != nullptr ? "\">w" : "\">");
    appendInteger(out, entry.rank);
    appendText(out, "</text></g>");
}

void appendWorstMarks(TextBuffer& out, const RunSummary& run, const TimeAxis& axis, std::int64_t core) {
    for (std::int64_t k = 0; k < run.worstTimerCount; ++k) {
        if (run.worstTimer[k].core == core) appendMark(out, axis, worstEntry(run, k, false));
    }
    for (std::int64_t k = 0; run.wakes != nullptr && k < run.worstWakeCount; ++k) {
        if (run.worstWakes[k].core == core) appendMark(out, axis, worstEntry(run, k, true));
    }
}

// A row of a worst table: a timer event carries its late_ms (the order of its
// table) as a column of its own; a wake-up has only the counter's reading.
static void appendWorstRow(TextBuffer& out, const WorstEntry& entry) {
    appendText(out, "<tr");
    appendEventData(out, entry);
    appendChar(out, '>');
    appendCell(out, entry.rank);
    appendCell(out, entry.event.core);
    appendUtcCell(out, entry.event.utcMs);
    if (!entry.wake) appendCell(out, entry.lateMs);
    appendMsCell(out, entry.event.lateUs);
    if (entry.cause != nullptr) appendCauseCell(out, *entry.cause, entry.during, entry.event.lateUs, entry.suspects);
    appendText(out, "</tr>");
}

// The cause column's head says what its small figures are.
static const char causeHead[] = "cause <small>threads \xc2\xb7 drivers \xc2\xb7 idle / span, ms</small>";

void appendWorstTimerTable(TextBuffer& out, const RunSummary& run) {
    appendTableStart(out, "worst-events",
                     "<th>#</th><th>core</th><th class=\"text\">time (UTC)</th><th>ms late</th>"
                     "<th>ms late (counter)</th>",
                     pageHasCauses(run) ? causeHead : nullptr);
    for (std::int64_t k = 0; k < run.worstTimerCount; ++k) appendWorstRow(out, worstEntry(run, k, false));
    appendTableEnd(out);
}

void appendWorstWakeTable(TextBuffer& out, const RunSummary& run) {
    appendTableStart(out, "worst-wakes", "<th>#</th><th>core</th><th class=\"text\">time (UTC)</th><th>ms late</th>",
                     pageHasCauses(run) && run.worstWakeCause != nullptr ? causeHead : nullptr);
    for (std::int64_t k = 0; k < run.worstWakeCount; ++k) appendWorstRow(out, worstEntry(run, k, true));
    appendTableEnd(out);
}
