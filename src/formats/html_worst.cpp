// The page's worst events: the verdict that names them, their numbered marks
// on the timelines and their tables.
#include "formats/html_parts.h"

#include "formats/report_format.h"

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

// The attributes that let a script or a test find a worst event, on its mark
// and on its row alike.
static void appendEventData(TextBuffer& out, const WakeEvent& event, std::int64_t lateMs, bool wake) {
    appendText(out, " data-core=\"");
    appendInteger(out, event.core);
    appendText(out, "\" data-utc=\"");
    appendInteger(out, event.utcMs);
    appendText(out, "\" data-late-us=\"");
    appendInteger(out, event.lateUs);
    if (!wake) {
        appendText(out, "\" data-late-ms=\"");
        appendInteger(out, lateMs);
    }
    appendChar(out, '"');
}

// A numbered mark: a diamond for a timer event, a square for a wake-up, so
// the two are told apart without colour.
static void appendMark(TextBuffer& out, const TimeAxis& axis, const WakeEvent& event, std::int64_t lateMs,
                       std::int64_t rank, bool wake) {
    const std::int64_t x = xOfUtc(axis, event.utcMs);
    const std::int64_t y = yOfLateUs(event.lateUs);
    appendText(out, wake ? "<g class=\"worst-wake-mark\"" : "<g class=\"worst-mark\"");
    appendEventData(out, event, lateMs, wake);
    appendText(out, "><title>");
    appendText(out, wake ? "wake-up #" : "#");
    appendInteger(out, rank);
    appendText(out, ": core ");
    appendInteger(out, event.core);
    appendText(out, ", ");
    appendUtc(out, event.utcMs);
    appendText(out, ", ");
    appendMs(out, event.lateUs);
    appendText(out, " late</title><path d=\"M");
    if (wake) {
        appendPoint(out, x - 5, y - 5);
        appendText(out, "h10v10h-10z\"/><text x=\"");
    } else {
        appendPoint(out, x, y - 6);
        appendText(out, "l6 6-6 6-6-6z\"/><text x=\"");
    }
    appendInteger(out, x + 8);
    appendText(out, "\" y=\"");
    appendInteger(out, y < plotTop + 14 ? y + 14 : y - 4);
    appendText(out, "\">");
    appendInteger(out, rank);
    appendText(out, "</text></g>");
}

void appendWorstMarks(TextBuffer& out, const RunSummary& run, const TimeAxis& axis, std::int64_t core) {
    for (std::int64_t k = 0; k < run.worstTimerCount; ++k) {
        const WorstEvent& e = run.worstTimer[k];
        if (e.core == core) appendMark(out, axis, WakeEvent{e.core, e.utcMs, e.lateUs}, e.lateMs, k + 1, false);
    }
    for (std::int64_t k = 0; run.wakes != nullptr && k < run.worstWakeCount; ++k) {
        if (run.worstWakes[k].core == core) appendMark(out, axis, run.worstWakes[k], 0, k + 1, true);
    }
}

// A row of a worst table: a timer event carries its late_ms (the order of its
// table) as a column of its own; a wake-up has only the counter's reading.
static void appendWorstRow(TextBuffer& out, const WakeEvent& event, std::int64_t lateMs, std::int64_t rank,
                           bool wake) {
    appendText(out, "<tr");
    appendEventData(out, event, lateMs, wake);
    appendChar(out, '>');
    appendCell(out, rank);
    appendCell(out, event.core);
    appendUtcCell(out, event.utcMs);
    if (!wake) appendCell(out, lateMs);
    appendMsCell(out, event.lateUs);
    appendText(out, "</tr>");
}

void appendWorstTimerTable(TextBuffer& out, const RunSummary& run) {
    appendTableStart(out, "worst-events",
                     "<th>#</th><th>core</th><th class=\"text\">time (UTC)</th><th>ms late</th>"
                     "<th>ms late (counter)</th>");
    for (std::int64_t k = 0; k < run.worstTimerCount; ++k) {
        const WorstEvent& e = run.worstTimer[k];
        appendWorstRow(out, WakeEvent{e.core, e.utcMs, e.lateUs}, e.lateMs, k + 1, false);
    }
    appendTableEnd(out);
}

void appendWorstWakeTable(TextBuffer& out, const RunSummary& run) {
    appendTableStart(out, "worst-wakes", "<th>#</th><th>core</th><th class=\"text\">time (UTC)</th><th>ms late</th>");
    for (std::int64_t k = 0; k < run.worstWakeCount; ++k) appendWorstRow(out, run.worstWakes[k], 0, k + 1, true);
    appendTableEnd(out);
}
