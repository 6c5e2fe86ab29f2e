// The timer resolutions of the runs compared: each run's, and the warning
// when they differ. A run at 15.625 ms reads up to 16 ms late on a tick
// boundary whatever its core does, so a different resolution explains a
// different lateness before anything else does.
#include "compare/compare_parts.h"

namespace {

constexpr std::int64_t resolutionsShown = 8;

// The resolutions a run saw, in the order first seen: the start's, then each
// change's (the latest too, when the list of changes is full). Answers how
// many, at most resolutionsShown.
std::int64_t resolutionsOf(const ComparedRun& run, std::int64_t* out) {
    if (!run.machineKnown || run.machine.resolutionAtStart.current <= 0) return 0;
    const ResolutionLedger& ledger = run.machine.ledger;
    const std::int64_t listed = ledger.count < resolutionChangesKept ? ledger.count : resolutionChangesKept;
    std::int64_t count = 0;
    for (std::int64_t k = -1; k <= listed && count < resolutionsShown; ++k) {
        if (k == listed && ledger.count == 0) break;
        const std::int64_t value = k < 0 ? run.machine.resolutionAtStart.current
                                   : k < listed ? ledger.changes[k].current
                                                : ledger.latest.current;
        bool seen = false;
        for (std::int64_t s = 0; s < count && !seen; ++s) seen = out[s] == value;
        if (!seen) out[count++] = value;
    }
    return count;
}

bool sameResolutions(const std::int64_t* a, std::int64_t aCount, const std::int64_t* b, std::int64_t bCount) {
    if (aCount != bCount) return false;
    for (std::int64_t k = 0; k < aCount; ++k) {
        bool found = false;
        for (std::int64_t j = 0; j < bCount && !found; ++j) found = a[k] == b[j];
        if (!found) return false;
    }
    return true;
}

void appendList(TextBuffer& out, const std::int64_t* values, std::int64_t count) {
    if (count == 0) {
        appendText(out, "not in the log");
        return;
    }
    for (std::int64_t k = 0; k < count; ++k) {
        appendText(out, k == 0 ? "" : k + 1 == count ? " then " : ", then ");
        appendExactDecimal(out, values[k], 10000);
        appendText(out, " ms");
    }
}

}  // namespace

void appendRunResolutions(TextBuffer& out, const ComparedRun& run) {
    std::int64_t values[resolutionsShown];
    appendText(out, "; timer resolution ");
    appendList(out, values, resolutionsOf(run, values));
}

void appendResolutionWarning(TextBuffer& out, const Comparison& c) {
    std::int64_t first[resolutionsShown];
    const std::int64_t firstCount = resolutionsOf(c.runs[0], first);
    bool differ = c.byLevel && firstCount > 1;
    for (std::int64_t r = 1; r < c.runCount && !differ; ++r) {
        std::int64_t values[resolutionsShown];
        const std::int64_t count = resolutionsOf(c.runs[r], values);
        differ = firstCount > 0 && count > 0 && !sameResolutions(first, firstCount, values, count);
    }
    if (!differ) return;
    appendText(out, "<p class=\"notice\" id=\"different-resolutions\">\xe2\x9a\xa0 ");
    appendText(out, c.byLevel ? "The timer resolution changed during the run: " : "These runs had different timer resolutions: ");
    for (std::int64_t r = 0; r < (c.byLevel ? 1 : c.runCount); ++r) {
        std::int64_t values[resolutionsShown];
        if (r > 0) appendText(out, "; ");
        if (!c.byLevel) {
            appendHtmlText(out, c.runs[r].name);
            appendText(out, " at ");
        }
        appendList(out, values, resolutionsOf(c.runs[r], values));
    }
    appendText(out, ". At 15.625 ms a timer arrives on a tick boundary and reads 0 to 16 ms late whatever the core "
                    "does, at 1 ms 0 to 1 ms: what differs may be the resolution, not what changed between the "
                    "runs.</p>\n");
}
