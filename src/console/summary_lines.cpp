// The summary at the end of a run (summary_lines.h).
#include "console/summary_lines.h"

#include "console/console_text.h"
#include "engine/stall_attribution.h"
#include "formats/run_end.h"
#include "record/problem_list.h"
#include "verdict/judge.h"

namespace {

// The causes in the order the page lists them: those that say what ran,
// then unknown.
constexpr StallCause causeOrder[] = {StallCause::threads, StallCause::drivers, StallCause::idle, StallCause::mixed,
                                     StallCause::unknown};

// "; stalls: 3 (threads 2, unknown 1)", "; stalls: 3" without causes, or
// "; no stalls".
void appendStalls(TextBuffer& out, std::int64_t histogramCount, const std::int64_t* byCause) {
    std::int64_t total = histogramCount;
    if (byCause != nullptr) {
        total = 0;
        for (int k = 0; k < stallCauseCount; ++k) total += byCause[k];
    }
    if (total == 0) {
        appendText(out, "; no stalls");
        return;
    }
    appendText(out, "; stalls: ");
    appendInteger(out, total);
    if (byCause == nullptr) return;
    const char* separator = " (";
    for (const StallCause cause : causeOrder) {
        const std::int64_t n = byCause[static_cast<int>(cause)];
        if (n == 0) continue;
        appendText(out, separator);
        appendText(out, stallCauseName(cause));
        appendChar(out, ' ');
        appendInteger(out, n);
        separator = ", ";
    }
    appendChar(out, ')');
}

void appendAt(TextBuffer& out, const RunSummary& run, std::int64_t utcMs) {
    appendText(out, " at ");
    appendClockTime(out, utcMs, onOtherDays(utcMs, run.startedUtcMs));
    appendText(out, " UTC");
}

// A lateness in microseconds as ms with one decimal, or with three where one
// would not show it above `limitUs` (a wake-up 12.54 ms late over 12.5 ms).
void appendLateUs(TextBuffer& out, std::int64_t lateUs, std::int64_t limitUs) {
    const std::int64_t tenths = (lateUs + (lateUs >= 0 ? 50 : -50)) / 100;
    appendDecimal(out, lateUs, 1000, limitUs >= 0 && tenths * 100 <= limitUs ? 3 : 1);
}

bool timerCrossed(const RunSummary& run) {
    for (std::int64_t c = 0; c < run.coreCount; ++c) {
        if (run.cores[c].events > 0 && crossesLimit(run.failAboveUs, false, run.cores[c].maxMs, run.cores[c].maxUs)) return true;
    }
    return false;
}

bool wakeCrossed(const RunSummary& run) {
    for (std::int64_t c = 0; run.wakes != nullptr && c < run.coreCount; ++c) {
        if (run.wakes[c].events > 0 && crossesLimit(run.failAboveUs, true, 0, run.wakes[c].maxUs)) return true;
    }
    return false;
}

// The worst event over the limit: the worst wake-up when wake-ups crossed
// and it was the later (or timer events did not cross), else the worst
// timer event, chosen by its late_ms as the exit code is.
void appendCrossing(TextBuffer& out, const RunSummary& run) {
    const bool timers = timerCrossed(run) && run.worstTimerCount > 0;
    const bool wakes = wakeCrossed(run) && run.worstWakes != nullptr && run.worstWakeCount > 0;
    if (!timers && !wakes) {
        appendText(out, "an event was later than the limit of ");
        appendExactDecimal(out, run.failAboveUs, 1000);
        appendText(out, " ms");
        return;
    }
    const bool nameWake = wakes && (!timers || run.worstWakes[0].lateUs >= run.worstTimer[0].lateMs * 1000);
    if (nameWake) {
        // Said as a wake-up: the timer line above it may show a lower max.
        const WakeEvent& worst = run.worstWakes[0];
        appendText(out, "a wake-up of core ");
        appendInteger(out, worst.core);
        appendText(out, " was ");
        appendLateUs(out, worst.lateUs, run.failAboveUs);
        appendText(out, " ms late");
        appendAt(out, run, worst.utcMs);
    } else {
        // It crossed by its late_ms, the tick count's reading. The precise
        // reading tells it to a tenth, unless that one is not over the limit:
        // the tick count moves in steps of 10 to 16 ms on Windows.
        const WorstEvent& worst = run.worstTimer[0];
        appendText(out, "core ");
        appendInteger(out, worst.core);
        appendText(out, " was ");
        if (worst.lateUs > run.failAboveUs) {
            appendLateUs(out, worst.lateUs, run.failAboveUs);
            appendText(out, " ms late");
        } else {
            appendInteger(out, worst.lateMs);
            appendText(out, " ms late by the system's tick count");
        }
        appendAt(out, run, worst.utcMs);
    }
    appendText(out, " (limit ");
    appendExactDecimal(out, run.failAboveUs, 1000);
    appendText(out, " ms)");
}

}  // namespace

void appendCoreSummary(TextBuffer& out, const RunSummary& run, std::int64_t core) {
    const CoreStatistics& s = run.cores[core];
    const bool causes = run.accounting && run.stallCauses != nullptr;
    appendCoreName(out, core);
    appendText(out, ": ");
    if (run.sampled != nullptr && !run.sampled[core]) {
        appendText(out, "not sampled");
    } else if (s.events == 0) {
        appendText(out, "no timer events");
    } else {
        appendInteger(out, s.events);
        appendText(out, s.events == 1 ? " timer event, late min " : " timer events, late min ");
        appendInteger(out, s.minMs);
        appendText(out, ", mean ");
        appendDecimal(out, s.sumMs, s.events, 1);
        appendText(out, ", max ");
        appendInteger(out, s.maxMs);
        appendText(out, " ms");
        appendAt(out, run, s.maxAtUtcMs);
        appendStalls(out, timerStallsOf(s), causes ? run.stallCauses[core].timer : nullptr);
    }
    appendChar(out, '\n');
    if (run.wakes == nullptr) return;
    const WakeStatistics& w = run.wakes[core];
    appendText(out, "  wake-ups: ");
    if (run.wakeSampled != nullptr && !run.wakeSampled[core]) {
        appendText(out, "not sampled");
    } else if (w.events == 0) {
        appendText(out, "none");
    } else {
        appendInteger(out, w.events);
        appendText(out, ", late min ");
        appendInteger(out, w.minUs);
        appendText(out, ", mean ");
        appendInteger(out, (w.sumUs + w.events / 2) / w.events);
        appendText(out, ", max ");
        appendInteger(out, w.maxUs);
        appendText(out, " \xc2\xb5s");
        appendAt(out, run, w.maxAtUtcMs);
        appendStalls(out, wakeStallsOf(w), causes ? run.stallCauses[core].wake : nullptr);
    }
    appendChar(out, '\n');
}

void appendVerdictLine(TextBuffer& out, const RunSummary* run, int exitCode, const char* problem) {
    appendText(out, "exit ");
    appendInteger(out, exitCode);
    appendText(out, ": ");
    if (exitCode == exitThresholdCrossed) {
        if (run != nullptr) {
            appendCrossing(out, *run);
        } else {
            appendText(out, "an event was later than --fail-above");
        }
    } else if (exitCode == exitUntrusted) {
        appendText(out, "the record cannot be trusted: ");
        const bool listed = run != nullptr && run->problemsListed > 0;
        appendText(out, listed ? run->problems[0].text : problem != nullptr ? problem : "a problem was met");
    } else if (exitCode == exitComplete && run != nullptr && run->failAboveUs >= 0) {
        appendText(out, "no event over ");
        appendExactDecimal(out, run->failAboveUs, 1000);
        appendText(out, " ms");
    } else if (exitCode == exitComplete) {
        appendText(out, "the record is complete");
    } else {
        appendText(out, problem != nullptr ? problem : "the run did not end normally");
    }
    // Complete, but of less time than was asked for.
    if (exitCode == exitComplete && run != nullptr && runEndedEarly(*run)) {
        appendText(out, "; ");
        appendEarlyEnd(out, *run);
    }
    appendChar(out, '\n');
}

// "timer resolutions seen: 15.625 ms, 1 ms", in the order first seen, when
// the run saw more than one: a different step explains a different lateness.
static void appendResolutionsSeen(TextBuffer& out, const RunSummary& run) {
    if (run.machine == nullptr || run.machine->ledger.count == 0) return;
    const MachineContext& machine = *run.machine;
    constexpr std::int64_t shownMost = 8;
    std::int64_t seen[shownMost];
    std::int64_t count = 0;
    const std::int64_t listed = machine.ledger.count < resolutionChangesKept ? machine.ledger.count : resolutionChangesKept;
    for (std::int64_t k = -1; k <= listed && count < shownMost; ++k) {
        const std::int64_t value = k < 0 ? machine.resolutionAtStart.current
                                   : k < listed ? machine.ledger.changes[k].current
                                                : machine.ledger.latest.current;
        bool known = value <= 0;
        for (std::int64_t s = 0; s < count && !known; ++s) known = seen[s] == value;
        if (!known) seen[count++] = value;
    }
    if (count < 2) return;
    appendText(out, "timer resolutions seen:");
    for (std::int64_t s = 0; s < count; ++s) {
        appendText(out, s == 0 ? " " : ", ");
        appendExactDecimal(out, seen[s], 10000);
        appendText(out, " ms");
    }
    appendChar(out, '\n');
}

void appendRunSummary(TextBuffer& out, const RunSummary* run, int exitCode, const char* problem) {
    for (std::int64_t core = 0; run != nullptr && core < run->coreCount; ++core) appendCoreSummary(out, *run, core);
    if (run != nullptr) appendResolutionsSeen(out, *run);
    appendVerdictLine(out, run, exitCode, problem);
}

std::size_t runSummaryCapacity(std::int64_t coreCount) {
    // Two lines of at most about 200 bytes per core, and the verdict with a
    // problem's text.
    return static_cast<std::size_t>(coreCount < 0 ? 0 : coreCount) * 480 + problemTextCapacity + 512 + 256;
}
