// The page's context of a run: the machine's facts and the priority in the
// header, the priority changes on every timeline with the level of each
// stretch, the timer resolution's changes with their values, and a sweep's
// table of levels by cores.
#include <cstring>

#include "formats/context_format.h"
#include "formats/sweep_format.h"
#include "formats/html_parts.h"
#include "formats/run_end.h"
#include "record/sweep_record.h"

namespace {

// A stretch's label needs about this many plot units per character.
constexpr std::int64_t labelUnitsPerCharacter = 8;

void appendFactText(TextBuffer& out, const char* name, const char* text) {
    appendText(out, "<dt>");
    appendText(out, name);
    appendText(out, "</dt><dd>");
    appendHtmlText(out, text != nullptr && text[0] != '\0' ? text : "unknown");
    appendText(out, "</dd>");
}

void appendResolutionText(TextBuffer& out, const TimerResolution& r) {
    if (r.current <= 0) {
        appendText(out, "unknown");
        return;
    }
    appendExactDecimal(out, r.current, 10000);
    appendText(out, " ms (finest ");
    appendExactDecimal(out, r.finest, 10000);
    appendText(out, ", coarsest ");
    appendExactDecimal(out, r.coarsest, 10000);
    appendText(out, " ms)");
}

void appendLevel(TextBuffer& out, const PriorityChange& change) {
    appendHtmlText(out, change.level);
    if (change.granted[0] != '\0') {
        appendText(out, " <small>(class ");
        appendHtmlText(out, change.granted);
        appendText(out, ")</small>");
    }
}

// "; then 1 ms at <utc>, ... and 3 more changes; asked 0.5 ms, granted 1 ms"
void appendResolutionChanges(TextBuffer& out, const MachineContext& machine) {
    const ResolutionLedger& ledger = machine.ledger;
    const std::int64_t listed = ledger.count < resolutionChangesKept ? ledger.count : resolutionChangesKept;
    for (std::int64_t k = 0; k < listed; ++k) {
        appendText(out, k == 0 ? "; then " : ", ");
        appendExactDecimal(out, ledger.changes[k].current, 10000);
        appendText(out, " ms at ");
        appendUtc(out, ledger.changes[k].atUtcMs);
    }
    if (ledger.count > listed) {
        appendText(out, " and ");
        appendInteger(out, ledger.count - listed);
        appendText(out, " more changes");
    }
    if (machine.askedResolution <= 0) return;
    appendText(out, "; asked ");
    appendExactDecimal(out, machine.askedResolution, 10000);
    appendText(out, " ms, granted ");
    if (machine.grantedResolution > 0) {
        appendExactDecimal(out, machine.grantedResolution, 10000);
        appendText(out, " ms");
    } else {
        appendText(out, "unknown");
    }
}

}  // namespace

void appendContextStyle(TextBuffer& out) {
    appendText(out, ".priority-change{fill:none;stroke:#555;stroke-width:1.5;stroke-dasharray:2 3}"
                    ".priority-label{font-size:13px;font-style:italic}"
                    ".resolution-change{fill:none;stroke:#a05a00;stroke-width:1.5;stroke-dasharray:6 3}"
                    ".resolution-label{font-size:12px;fill:#a05a00}"
                    "#sweep td.better{font-weight:700;outline:2px solid var(--pass);outline-offset:-2px}"
                    "#sweep td.worse{outline:2px solid var(--wake);outline-offset:-2px}");
}

void appendContextFacts(TextBuffer& out, const RunSummary& run) {
    if (run.machine != nullptr) {
        appendFactText(out, "Processor", run.machine->processor);
        appendFactText(out, "Power plan", run.machine->powerPlan);
        appendText(out, "<dt>Timer resolution</dt><dd>");
        appendResolutionText(out, run.machine->resolutionAtStart);
        if (run.machine->resolutionAtEnd.current > 0 &&
            std::memcmp(&run.machine->resolutionAtEnd, &run.machine->resolutionAtStart, sizeof(TimerResolution)) != 0) {
            appendText(out, " at the start, ");
            appendResolutionText(out, run.machine->resolutionAtEnd);
            appendText(out, " at the end");
        }
        appendResolutionChanges(out, *run.machine);
        appendText(out, "</dd>");
    }
    if (run.priority == nullptr || !run.priority->startKnown) return;
    appendText(out, "<dt>Priority</dt><dd id=\"priority\">");
    appendLevel(out, run.priority->start);
    appendText(out, " at the start");
    for (std::int64_t k = 0; k < run.priority->listed; ++k) {
        appendText(out, k == 0 ? "; then " : ", ");
        appendLevel(out, run.priority->changes[k]);
        appendText(out, " at ");
        appendUtc(out, run.priority->changes[k].atUtcMs);
    }
    if (run.priority->count > run.priority->listed) {
        appendText(out, " and ");
        appendInteger(out, run.priority->count - run.priority->listed);
        appendText(out, " more changes");
    }
    appendText(out, "</dd>");
}

static bool pageMarksPriority(const RunSummary& run) {
    return run.priority != nullptr && run.priority->startKnown && run.priority->listed > 0;
}

void appendPriorityLegend(TextBuffer& out, const RunSummary& run) {
    if (!pageMarksPriority(run)) return;
    appendText(out, "<span><svg viewBox=\"0 0 36 12\"><path class=\"priority-change\" d=\"M18 0v12\"/></svg> "
                    "a priority change; each stretch is named by its level</span>");
}

void appendPriorityMarks(TextBuffer& out, const RunSummary& run, const TimeAxis& axis) {
    if (!pageMarksPriority(run)) return;
    const PriorityHistory& history = *run.priority;
    const std::int64_t bottom = yOfLateUs(0);
    appendText(out, "<path class=\"priority-change\" d=\"");
    for (std::int64_t k = 0; k < history.listed; ++k) {
        appendChar(out, 'M');
        appendPoint(out, xOfUtc(axis, history.changes[k].atUtcMs), plotTop);
        appendChar(out, 'V');
        appendInteger(out, bottom);
    }
    appendText(out, "\"/>");
    // Each stretch's level at its left, where the stretch leaves room.
    for (std::int64_t k = -1; k < history.listed; ++k) {
        const PriorityChange& stretch = k < 0 ? history.start : history.changes[k];
        const std::int64_t x = xOfUtc(axis, k < 0 ? axis.startUtcMs : stretch.atUtcMs);
        const std::int64_t end = k + 1 < history.listed ? xOfUtc(axis, history.changes[k + 1].atUtcMs)
                                                        : xOfUtc(axis, axis.startUtcMs + axis.spanMs);
        const auto room = static_cast<std::int64_t>(std::strlen(stretch.level)) * labelUnitsPerCharacter + 8;
        if (end - x < room) continue;
        appendText(out, "<text class=\"priority-label\" data-utc=\"");
        appendInteger(out, stretch.atUtcMs);
        appendText(out, "\" x=\"");
        appendInteger(out, x + 4);
        appendText(out, "\" y=\"");
        appendInteger(out, plotTop + 13);
        appendText(out, "\">");
        appendHtmlText(out, stretch.level);
        appendText(out, "</text>");
    }
}

static bool pageMarksResolution(const RunSummary& run) {
    return run.machine != nullptr && run.machine->ledger.count > 0;
}

void appendResolutionLegend(TextBuffer& out, const RunSummary& run) {
    if (!pageMarksResolution(run)) return;
    appendText(out, "<span><svg viewBox=\"0 0 36 12\"><path class=\"resolution-change\" d=\"M18 0v12\"/></svg> "
                    "a change of the timer resolution, with its new value</span>");
}

// Each listed change of the timer resolution: a line down the plot and the
// new value at its foot, so a change of a run's character can be read
// against the step of the system's timer.
void appendResolutionMarks(TextBuffer& out, const RunSummary& run, const TimeAxis& axis) {
    if (!pageMarksResolution(run)) return;
    const ResolutionLedger& ledger = run.machine->ledger;
    const std::int64_t listed = ledger.count < resolutionChangesKept ? ledger.count : resolutionChangesKept;
    const std::int64_t bottom = yOfLateUs(0);
    appendText(out, "<path class=\"resolution-change\" d=\"");
    for (std::int64_t k = 0; k < listed; ++k) {
        appendChar(out, 'M');
        appendPoint(out, xOfUtc(axis, ledger.changes[k].atUtcMs), plotTop);
        appendChar(out, 'V');
        appendInteger(out, bottom);
    }
    appendText(out, "\"/>");
    for (std::int64_t k = 0; k < listed; ++k) {
        appendText(out, "<text class=\"resolution-label\" data-utc=\"");
        appendInteger(out, ledger.changes[k].atUtcMs);
        appendText(out, "\" x=\"");
        appendInteger(out, xOfUtc(axis, ledger.changes[k].atUtcMs) + 3);
        appendText(out, "\" y=\"");
        appendInteger(out, bottom - 4);
        appendText(out, "\">");
        appendExactDecimal(out, ledger.changes[k].current, 10000);
        appendText(out, " ms</text>");
    }
}

void appendSweepSection(TextBuffer& out, const RunSummary& run) {
    if (run.sweep == nullptr) return;
    const SweepSummary& sweep = *run.sweep;
    appendText(out, "<section><h2>Sweep of priority levels</h2>\n<p>Each level measured for ");
    appendDecimal(out, sweep.stretchMs, 1000, 1);
    appendText(out, " s, in this order; the first period of each core after a change is not judged (it began under "
                    "the level before). On each core, each level is judged against ");
    if (sweep.baseline >= 0) {
        appendHtmlText(out, sweep.stretches[sweep.baseline].level);
    } else {
        appendText(out, "the baseline");
    }
    appendText(out, sweep.withWakes ? " by its wake-ups" : " by its timer events");
    appendText(out, ": its stall rate (over 5 ms) and its 99th and 99.9th percentiles, an early event counting as on "
                    "time, the tests of the whole table corrected for their number (Holm). A cell: the judged "
                    "figures (a percentile is known to a bucket: at most), then the verdict; \xe2\x98\x85 marks a "
                    "level better beyond noise. The mean is shown, never judged.</p>\n"
                    "<div class=\"scroll\"><table id=\"sweep\"><thead><tr><th class=\"text\">level</th>");
    for (std::int64_t c = 0; c < sweep.coreCount; ++c) {
        appendText(out, "<th>core ");
        appendInteger(out, c);
        appendText(out, "</th>");
    }
    appendText(out, "</tr></thead><tbody>");
    for (std::int64_t s = 0; s < sweep.stretchCount; ++s) {
        const SweepStretch& stretch = sweep.stretches[s];
        appendText(out, "<tr data-level=\"");
        appendHtmlText(out, stretch.level);
        if (sweep.resolutions) {
            appendText(out, "\" data-resolution=\"");
            if (stretch.askedResolution > 0) {
                appendExactDecimal(out, stretch.askedResolution, 10000);
            } else {
                appendText(out, "default");
            }
        }
        appendText(out, "\"><td class=\"text\">");
        appendHtmlText(out, stretch.level);
        if (stretch.granted[0] != '\0') {
            appendText(out, " <small>(class ");
            appendHtmlText(out, stretch.granted);
            appendText(out, ")</small>");
        }
        if (sweep.resolutions) {
            appendText(out, " <small>at ");
            appendStretchResolution(out, stretch);
            appendText(out, "</small>");
        }
        appendText(out, "</td>");
        for (std::int64_t c = 0; c < sweep.coreCount; ++c) appendSweepCell(out, run, s, c);
        appendText(out, "</tr>");
    }
    appendText(out, "</tbody></table></div></section>\n");
}

void appendEndNotice(TextBuffer& out, const RunSummary& run) {
    if (runEndedEarly(run)) {
        appendText(out, "<p class=\"notice\" id=\"ended-early\">\xe2\x9a\xa0 Ended before its time: ");
        appendEarlyEnd(out, run);
        appendText(out, ".</p>\n");
    }
    if (sweepFellShort(run)) {
        appendText(out, "<p class=\"notice\" id=\"sweep-short\">\xe2\x9a\xa0 Sweep: ");
        appendSweepShortfall(out, run);
        appendText(out, ".</p>\n");
    }
}

std::size_t pageContextCapacity(std::int64_t coreCount) {
    constexpr std::size_t factsBytes = 4096;
    constexpr std::size_t perChangeFact = 160;
    constexpr std::size_t perResolutionFact = 48;
    constexpr std::size_t marksPerCore = 1024 + 16 * priorityChangesKept + 96 * (priorityChangesKept + 1) + 512 +
                                         112 * resolutionChangesKept;
    constexpr std::size_t sweepFixed = 2048;
    constexpr std::size_t perSweepCell = 1024;
    const auto cores = static_cast<std::size_t>(coreCount < 0 ? 0 : coreCount);
    return factsBytes + perChangeFact * priorityChangesKept + perResolutionFact * resolutionChangesKept + marksPerCore * cores + sweepFixed +
           static_cast<std::size_t>(sweepLevelsMost) * (perSweepCell * (cores + 1) + 256);
}
