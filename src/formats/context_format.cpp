// The context of a run in the report (context_format.h).
#include "formats/context_format.h"

#include "engine/stall_attribution.h"
#include "formats/sweep_format.h"
#include "record/sweep_record.h"
#include "record/sweep_verdicts.h"

namespace {

void appendTextOrNull(TextBuffer& out, const char* text) {
    if (text == nullptr || text[0] == '\0') {
        appendText(out, "null");
    } else {
        appendJsonString(out, text);
    }
}

void appendQuotedUtc(TextBuffer& out, std::int64_t utcMs) {
    appendChar(out, '"');
    appendUtc(out, utcMs);
    appendChar(out, '"');
}

// {"current_ms": 15.625, "finest_ms": 0.5, "coarsest_ms": 15.625}, or null.
void appendResolution(TextBuffer& out, const TimerResolution& r) {
    if (r.current <= 0) {
        appendText(out, "null");
        return;
    }
    constexpr std::int64_t per100nsInMs = 10000;
    appendText(out, "{\"current_ms\": ");
    appendExactDecimal(out, r.current, per100nsInMs);
    appendText(out, ", \"finest_ms\": ");
    appendExactDecimal(out, r.finest, per100nsInMs);
    appendText(out, ", \"coarsest_ms\": ");
    appendExactDecimal(out, r.coarsest, per100nsInMs);
    appendChar(out, '}');
}

void appendResolutionMs(TextBuffer& out, std::int64_t hundredNs) {
    if (hundredNs <= 0) {
        appendText(out, "null");
    } else {
        appendExactDecimal(out, hundredNs, 10000);
    }
}

void appendMachine(TextBuffer& out, const MachineContext* machine) {
    appendText(out, ",\n  \"machine\": ");
    if (machine == nullptr) {
        appendText(out, "null");
        return;
    }
    appendText(out, "{\n    \"name\": ");
    appendTextOrNull(out, machine->name);
    appendText(out, ",\n    \"windows\": ");
    appendTextOrNull(out, machine->windows);
    appendText(out, ",\n    \"processor\": ");
    appendTextOrNull(out, machine->processor);
    appendText(out, ",\n    \"power_plan\": ");
    appendTextOrNull(out, machine->powerPlan);
    appendText(out, ",\n    \"timer_resolution\": {\"start\": ");
    appendResolution(out, machine->resolutionAtStart);
    appendText(out, ", \"end\": ");
    appendResolution(out, machine->resolutionAtEnd);
    appendText(out, ",\n      \"asked_ms\": ");
    appendResolutionMs(out, machine->askedResolution);
    appendText(out, ", \"granted_ms\": ");
    appendResolutionMs(out, machine->grantedResolution);
    const ResolutionLedger& ledger = machine->ledger;
    const std::int64_t listed = ledger.count < resolutionChangesKept ? ledger.count : resolutionChangesKept;
    appendText(out, ",\n      \"changes\": [");
    for (std::int64_t k = 0; k < listed; ++k) {
        appendText(out, k == 0 ? "\n        {\"at_utc\": " : ",\n        {\"at_utc\": ");
        appendQuotedUtc(out, ledger.changes[k].atUtcMs);
        appendText(out, ", \"current_ms\": ");
        appendResolutionMs(out, ledger.changes[k].current);
        appendChar(out, '}');
    }
    appendText(out, listed == 0 ? "]" : "\n      ]");
    appendText(out, ", \"changes_not_listed\": ");
    appendInteger(out, ledger.count - listed);
    appendText(out, "}\n  }");
}

void appendPriority(TextBuffer& out, const PriorityHistory* priority) {
    appendText(out, ",\n  \"priority\": ");
    if (priority == nullptr || !priority->startKnown) {
        appendText(out, "null");
        return;
    }
    appendText(out, "{\n    \"start\": ");
    appendJsonString(out, priority->start.level);
    appendText(out, ",\n    \"class\": ");
    appendTextOrNull(out, priority->start.granted);
    appendText(out, ",\n    \"changes\": [");
    for (std::int64_t k = 0; k < priority->listed; ++k) {
        const PriorityChange& change = priority->changes[k];
        appendText(out, k == 0 ? "\n      {\"at_utc\": " : ",\n      {\"at_utc\": ");
        appendQuotedUtc(out, change.atUtcMs);
        appendText(out, ", \"level\": ");
        appendJsonString(out, change.level);
        appendText(out, ", \"class\": ");
        appendTextOrNull(out, change.granted);
        appendChar(out, '}');
    }
    appendText(out, priority->listed == 0 ? "]" : "\n    ]");
    appendText(out, ",\n    \"changes_not_listed\": ");
    appendInteger(out, priority->count - priority->listed);
    appendText(out, "\n  }");
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

void appendSweepCore(TextBuffer& out, std::int64_t core, const SweepCore& figures, bool withWakes) {
    const CoreStatistics& s = figures.timer;
    appendText(out, "\n        {\"core\": ");
    appendInteger(out, core);
    appendText(out, ", \"events\": ");
    appendInteger(out, s.events);
    appendText(out, ", \"unjudged\": ");
    appendInteger(out, figures.unjudged);
    if (s.events == 0) {
        appendText(out, ", \"min_ms\": null, \"mean_ms\": null, \"max_ms\": null, \"max_us\": null, \"p99_ms_at_most\": null");
    } else {
        appendText(out, ", \"min_ms\": ");
        appendInteger(out, s.minMs);
        appendText(out, ", \"mean_ms\": ");
        appendDecimal(out, s.sumMs, s.events, 3);
        appendText(out, ", \"max_ms\": ");
        appendInteger(out, s.maxMs);
        appendText(out, ", \"max_us\": ");
        appendInteger(out, s.maxUs);
        appendText(out, ", \"p99_ms_at_most\": ");
        std::int64_t bound = 0;
        bool above = false;
        percentileBoundMs(s, 990, bound, above);
        if (above) {
            appendText(out, "null");
        } else {
            appendInteger(out, bound);
        }
    }
    appendText(out, ", \"stalls\": {\"timer\": ");
    appendCounts(out, figures.stalls);
    if (withWakes) {
        appendText(out, ", \"wake\": ");
        appendCounts(out, figures.wakeStalls);
    }
    appendText(out, "}}");
}

void appendSweep(TextBuffer& out, const RunSummary& run) {
    const SweepSummary& sweep = *run.sweep;
    appendText(out, ",\n  \"sweep\": [");
    for (std::int64_t s = 0; s < sweep.stretchCount; ++s) {
        const SweepStretch& stretch = sweep.stretches[s];
        appendText(out, s == 0 ? "\n    {\"level\": " : ",\n    {\"level\": ");
        appendJsonString(out, stretch.level);
        appendText(out, ", \"class\": ");
        appendTextOrNull(out, stretch.granted);
        if (sweep.resolutions) {
            appendText(out, ", \"timer_resolution_ms\": ");
            appendResolutionMs(out, stretch.resolution);
            appendText(out, ", \"timer_resolution_asked_ms\": ");
            appendResolutionMs(out, stretch.askedResolution);
        }
        appendText(out, ", \"from_utc\": ");
        appendQuotedUtc(out, stretch.fromUtcMs);
        appendText(out, ", \"to_utc\": ");
        if (stretch.toUtcMs < 0) {
            appendText(out, "null");
        } else {
            appendQuotedUtc(out, stretch.toUtcMs);
        }
        appendText(out, sweepStretchCutShort(sweep, s) ? ", \"cut_short\": true" : ", \"cut_short\": false");
        appendText(out, sweepStretchJudged(sweep, s) ? ", \"judged\": true" : ", \"judged\": false");
        appendText(out, ",\n      \"cores\": [");
        for (std::int64_t c = 0; c < sweep.coreCount; ++c) {
            if (c > 0) appendChar(out, ',');
            appendSweepCore(out, c, sweep.cores[s * sweep.coreCount + c], run.wakes != nullptr);
        }
        appendText(out, "\n      ]");
        appendSweepVerdictsJson(out, run, s);
        appendChar(out, '}');
    }
    appendText(out, sweep.stretchCount == 0 ? "]" : "\n  ]");
    appendSweepBaselineJson(out, run);
}

}  // namespace

void appendResolutionInForce(TextBuffer& out, const RunSummary& run, std::int64_t utcMs) {
    appendResolutionMs(out, run.machine != nullptr ? resolutionInForce(*run.machine, utcMs) : -1);
}

void appendRunContext(TextBuffer& out, const RunSummary& run) {
    appendMachine(out, run.machine);
    appendPriority(out, run.priority);
    if (run.sweep != nullptr) appendSweep(out, run);
}

std::size_t runContextCapacity(std::int64_t coreCount, bool withWakes) {
    constexpr std::size_t machineBytes = 2048;  // four texts escaped six-fold at worst
    constexpr std::size_t perChange = 128;
    constexpr std::size_t perResolutionChange = 80;
    constexpr std::size_t perStretch = 256;
    // Every figure at its widest (20 digits), the wake-ups' causes too.
    const std::size_t perStretchCore = withWakes ? 640 : 480;
    const auto cores = static_cast<std::size_t>(coreCount < 0 ? 0 : coreCount);
    return machineBytes + perChange * (priorityChangesKept + 1) + perResolutionChange * resolutionChangesKept +
           static_cast<std::size_t>(sweepLevelsMost) * (perStretch + (perStretchCore + sweepVerdictJsonBytes) * cores);
}
