// A sweep's verdicts in the report (sweep_format.h).
#include "formats/sweep_format.h"


#include "record/sweep_record.h"
#include "record/sweep_verdicts.h"

namespace {

void appendUsOrNull(TextBuffer& out, bool known, std::int64_t us) {
    if (known) {
        appendInteger(out, us);
    } else {
        appendText(out, "null");
    }
}

// A rate or a probability as a JSON number.
void appendNumber(TextBuffer& out, double value) {
    appendProbability(out, value);
}

void appendSide(TextBuffer& out, const char* prefix, const JudgedFigures& f, const RateInterval& rate) {
    appendText(out, ", \"");
    appendText(out, prefix);
    appendText(out, "events\": ");
    appendInteger(out, f.events);
    appendText(out, ", \"");
    appendText(out, prefix);
    appendText(out, "stalls\": ");
    appendInteger(out, f.stalls);
    appendText(out, ", \"");
    appendText(out, prefix);
    appendText(out, "stall_rate_95\": ");
    if (f.events > 0) {
        appendChar(out, '[');
        appendNumber(out, rate.low);
        appendText(out, ", ");
        appendNumber(out, rate.high);
        appendChar(out, ']');
    } else {
        appendText(out, "null");
    }
    const PercentileFigure* const percentiles[2] = {&f.p99, &f.p999};
    const char* const names[2] = {"p99", "p999"};
    for (int k = 0; k < 2; ++k) {
        const PercentileFigure& p = *percentiles[k];
        appendText(out, ", \"");
        appendText(out, prefix);
        appendText(out, names[k]);
        appendText(out, "_us_at_most\": ");
        appendUsOrNull(out, p.known, p.us);
        appendText(out, ", \"");
        appendText(out, prefix);
        appendText(out, names[k]);
        appendText(out, "_95_us\": [");
        appendUsOrNull(out, p.known && p.lowKnown, p.lowUs);
        appendText(out, ", ");
        appendUsOrNull(out, p.known && p.highKnown, p.highUs);
        appendChar(out, ']');
    }
}

}  // namespace

const CoreVerdict* sweepVerdictOf(const RunSummary& run, std::int64_t s, std::int64_t core) {
    if (run.sweep == nullptr || run.sweep->verdicts == nullptr || !sweepHasVerdicts(*run.sweep, s)) return nullptr;
    return &run.sweep->verdicts[s * run.sweep->coreCount + core];
}

void appendSweepVerdictsJson(TextBuffer& out, const RunSummary& run, std::int64_t s) {
    if (sweepVerdictOf(run, s, 0) == nullptr) return;
    const SweepSummary& sweep = *run.sweep;
    appendText(out, ",\n      \"verdicts\": [");
    for (std::int64_t c = 0; c < sweep.coreCount; ++c) {
        const CoreVerdict& v = *sweepVerdictOf(run, s, c);
        appendText(out, c == 0 ? "\n        {\"core\": " : ",\n        {\"core\": ");
        appendInteger(out, c);
        appendText(out, ", \"level\": ");
        appendJsonString(out, sweep.stretches[s].level);
        appendText(out, ", \"against\": ");
        appendJsonString(out, sweep.stretches[sweep.baseline].level);
        appendText(out, ", \"verdict\": ");
        appendJsonString(out, verdictName(v.verdict));
        appendText(out, ", \"judged_by\": ");
        appendText(out, v.source == JudgedSource::wake ? "\"wake-ups\"" : "\"timer events\"");
        appendSide(out, "", v.run, v.runRate);
        appendSide(out, "baseline_", v.baseline, v.baselineRate);
        appendText(out, ", \"p_value\": ");
        appendNumber(out, v.pValue);
        appendText(out, ", \"holm_p_value\": ");
        appendNumber(out, v.holmPValue);
        appendText(out, ", \"minutes_needed\": ");
        if (v.verdict == Verdict::tooFew) {
            appendInteger(out, v.minutesNeeded);
        } else {
            appendText(out, "null");
        }
        appendChar(out, '}');
    }
    appendText(out, "\n      ]");
}

void appendSweepBaselineJson(TextBuffer& out, const RunSummary& run) {
    if (run.sweep == nullptr) return;
    const SweepSummary& sweep = *run.sweep;
    appendText(out, ",\n  \"sweep_baseline\": ");
    if (sweep.verdicts != nullptr && sweep.baseline >= 0) {
        appendJsonString(out, sweep.stretches[sweep.baseline].level);
    } else {
        appendText(out, "null");
    }
    appendText(out, ",\n  \"sweep_judged_by\": ");
    appendText(out, sweep.withWakes ? "\"wake-ups\"" : "\"timer events\"");
}

JudgedFigures sweepShownFigures(const RunSummary& run, std::int64_t s, std::int64_t core) {
    const SweepSummary& sweep = *run.sweep;
    const CoreVerdict* own = sweepVerdictOf(run, s, core);
    if (own != nullptr) return own->run;
    for (std::int64_t other = 0; s == sweep.baseline && other < sweep.stretchCount; ++other) {
        const CoreVerdict* against = sweepVerdictOf(run, other, core);
        if (against != nullptr) return against->baseline;
    }
    return sweepFigures(sweep, s, core, sweep.withWakes ? JudgedSource::wake : JudgedSource::timer, intervalMissOf(1));
}

void appendJudgedBrief(TextBuffer& out, const JudgedFigures& figures) {
    if (figures.events <= 0) {
        appendText(out, "no events");
        return;
    }
    appendText(out, "stalls ");
    appendInteger(out, figures.stalls);
    appendText(out, " of ");
    appendInteger(out, figures.events);
    appendText(out, ", p99 <= ");
    appendExactDecimal(out, figures.p99.us, 1000);
    appendText(out, " ms");
}

void appendStretchResolution(TextBuffer& out, const SweepStretch& stretch) {
    if (stretch.askedResolution <= 0) appendText(out, "default ");
    if (stretch.resolution > 0) {
        appendText(out, stretch.askedResolution <= 0 ? "(" : "");
        appendExactDecimal(out, stretch.resolution, 10000);
        appendText(out, stretch.askedResolution <= 0 ? " ms)" : " ms");
    } else {
        appendText(out, "(unknown)");
    }
    if (stretch.askedResolution > 0 && stretch.resolution != stretch.askedResolution) {
        appendText(out, ", asked ");
        appendExactDecimal(out, stretch.askedResolution, 10000);
    }
}

void appendSweepLines(TextBuffer& out, const RunSummary& run) {
    if (run.sweep == nullptr) return;
    const SweepSummary& sweep = *run.sweep;
    if (sweep.baseline >= 0) {
        appendText(out, "levels against ");
        appendText(out, sweep.stretches[sweep.baseline].level);
        if (sweep.resolutions) {
            appendText(out, " at ");
            appendStretchResolution(out, sweep.stretches[sweep.baseline]);
        }
        appendText(out, sweep.withWakes ? ", judged by the wake-ups (stalls: over 5 ms):\n"
                                        : ", judged by the timer events (stalls: over 5 ms):\n");
    }
    for (std::int64_t s = 0; s < sweep.stretchCount; ++s) {
        const SweepStretch& stretch = sweep.stretches[s];
        appendText(out, stretch.level);
        if (stretch.granted[0] != '\0') {
            appendText(out, " (class ");
            appendText(out, stretch.granted);
            appendChar(out, ')');
        }
        if (sweep.resolutions) {
            appendText(out, " at ");
            appendStretchResolution(out, stretch);
        }
        if (!sweepStretchJudged(sweep, s)) {
            appendText(out, ": cut short, not judged\n");
            continue;
        }
        appendText(out, s == sweep.baseline ? ", the baseline:" : ":");
        for (std::int64_t c = 0; c < sweep.coreCount; ++c) {
            appendText(out, c == 0 ? " core " : "; core ");
            appendInteger(out, c);
            appendChar(out, ' ');
            appendJudgedBrief(out, sweepShownFigures(run, s, c));
            const CoreVerdict* v = sweepVerdictOf(run, s, c);
            if (v == nullptr) continue;
            appendText(out, ": ");
            appendVerdictWords(out, *v);
        }
        appendChar(out, '\n');
    }
}
