// How a run ended (run_end.h).
#include "formats/run_end.h"

#include <cstring>

#include "record/context_record.h"
#include "record/sweep_record.h"

namespace {

const char* endPhrase(const char* ended) {
    if (std::strcmp(ended, endedByInterrupt) == 0) return "interrupted";
    if (std::strcmp(ended, endedBySessionEnd) == 0) return "ended with the session";
    if (std::strcmp(ended, endedByProblem) == 0) return "ended by a problem";
    return "closed";
}

// "4.1 s": a tenth of a second is what a person reads here.
void appendSeconds(TextBuffer& out, std::int64_t ms) {
    appendDecimal(out, ms, 1000, 1);
    appendText(out, " s");
}

}  // namespace

bool runEndedEarly(const RunSummary& run) {
    return run.plannedMs > 0 && run.ended != nullptr && std::strcmp(run.ended, endedByDuration) != 0;
}

void appendEarlyEnd(TextBuffer& out, const RunSummary& run) {
    if (!runEndedEarly(run)) return;
    appendText(out, endPhrase(run.ended));
    appendText(out, " after ");
    appendSeconds(out, run.elapsedMs);
    appendText(out, " of the ");
    appendSeconds(out, run.plannedMs);
    appendText(out, " planned");
}

bool sweepFellShort(const RunSummary& run) {
    if (run.sweep == nullptr || run.ended == nullptr) return false;
    const SweepSummary& sweep = *run.sweep;
    return sweep.stretchCount < sweep.levelsPlanned || (sweep.stretchCount > 0 && sweepStretchCutShort(sweep, sweep.stretchCount - 1));
}

void appendSweepShortfall(TextBuffer& out, const RunSummary& run) {
    if (!sweepFellShort(run)) return;
    const SweepSummary& sweep = *run.sweep;
    const char* separator = "";
    if (sweep.stretchCount < sweep.levelsPlanned) {
        appendText(out, sweep.levelsPlanned - sweep.stretchCount == 1 ? "level not measured: " : "levels not measured: ");
        for (std::int64_t k = sweep.stretchCount; k < sweep.levelsPlanned; ++k) {
            if (k > sweep.stretchCount) appendText(out, ", ");
            appendText(out, sweep.planned[k]);
        }
        separator = "; ";
    }
    const std::int64_t last = sweep.stretchCount - 1;
    if (last >= 0 && sweepStretchCutShort(sweep, last)) {
        const SweepStretch& stretch = sweep.stretches[last];
        appendText(out, separator);
        appendText(out, stretch.level);
        appendText(out, " cut short after ");
        appendSeconds(out, stretch.toUtcMs - stretch.fromUtcMs);
        appendText(out, " of ");
        appendSeconds(out, sweep.stretchMs);
        appendText(out, sweepStretchJudged(sweep, last) ? " (judged: it measured most of its time)" : " (not judged)");
    }
}

void appendEndJson(TextBuffer& out, const RunSummary& run) {
    appendText(out, ",\n  \"ended\": ");
    if (run.ended == nullptr) {
        appendText(out, "null");
    } else {
        appendJsonString(out, run.ended);
    }
    appendText(out, ",\n  \"planned_seconds\": ");
    if (run.plannedMs > 0) {
        appendDecimal(out, run.plannedMs, 1000, 3);
    } else {
        appendText(out, "null");
    }
    if (run.sweep == nullptr) return;
    const SweepSummary& sweep = *run.sweep;
    appendText(out, ",\n  \"sweep_not_measured\": [");
    // While the sweep is measured, the levels to come are not "not measured".
    for (std::int64_t k = sweep.stretchCount; run.ended != nullptr && k < sweep.levelsPlanned; ++k) {
        if (k > sweep.stretchCount) appendText(out, ", ");
        appendJsonString(out, sweep.planned[k]);
    }
    appendChar(out, ']');
}
