// The stall causes in the report (cause_format.h).
#include "formats/cause_format.h"

#include "engine/stall_attribution.h"

namespace {

void appendMsOrNull(TextBuffer& out, std::int64_t us) {
    if (us < 0) {
        appendText(out, "null");
    } else {
        appendExactDecimal(out, us, 1000);
    }
}

void appendCounts(TextBuffer& out, const std::int64_t* counts) {
    for (int c = 0; c < stallCauseCount; ++c) {
        appendText(out, c == 0 ? "{\"" : ", \"");
        appendText(out, stallCauseName(static_cast<StallCause>(c)));
        appendText(out, "\": ");
        appendInteger(out, counts[c]);
    }
    appendChar(out, '}');
}

}  // namespace

void appendStallCause(TextBuffer& out, StallCause cause, const StallDuring& during) {
    appendText(out, ", \"cause\": \"");
    appendText(out, stallCauseName(cause));
    appendText(out, "\", \"during\": {\"span_ms\": ");
    appendMsOrNull(out, during.spanUs);
    appendText(out, ", \"threads_ms\": ");
    appendMsOrNull(out, during.threadsUs);
    appendText(out, ", \"drivers_ms\": ");
    appendMsOrNull(out, during.driversUs);
    appendText(out, ", \"idle_ms\": ");
    appendMsOrNull(out, during.idleUs);
    appendChar(out, '}');
}

void appendCoreCauses(TextBuffer& out, const RunSummary& run, std::int64_t core) {
    appendText(out, ",\n      \"causes\": ");
    if (!run.accounting || run.stallCauses == nullptr) {
        appendText(out, "null");
        return;
    }
    appendText(out, "{\"timer\": ");
    appendCounts(out, run.stallCauses[core].timer);
    if (run.wakes != nullptr) {
        appendText(out, ", \"wake\": ");
        appendCounts(out, run.stallCauses[core].wake);
    }
    appendChar(out, '}');
}

void appendAccounting(TextBuffer& out, const RunSummary& run) {
    appendText(out, ",\n  \"accounting\": ");
    if (!run.accounting) {
        appendText(out, "null");
        return;
    }
    appendText(out, "{\"resolution_us\": ");
    if (run.accountingResolutionUs < 0) {
        appendText(out, "null");
    } else {
        appendInteger(out, run.accountingResolutionUs);
    }
    appendChar(out, '}');
}

std::int64_t findWorstTimer(const RunSummary& run, std::int64_t core, std::int64_t utcMs, std::int64_t lateMs) {
    for (std::int64_t k = 0; k < run.worstTimerCount; ++k) {
        const WorstEvent& e = run.worstTimer[k];
        if (e.core == core && e.utcMs == utcMs && e.lateMs == lateMs) return k;
    }
    return -1;
}
