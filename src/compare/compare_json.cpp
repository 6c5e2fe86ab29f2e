// The comparison as JSON (compare_page.h): what --report writes with
// --from. The judge decided every verdict; this only writes them down.
#include "compare/compare_page.h"

namespace {

void appendKey(TextBuffer& out, const char* key) {
    appendJsonString(out, key);
    appendText(out, ": ");
}

void appendRate(TextBuffer& out, const RateInterval& interval) {
    appendChar(out, '[');
    appendProbability(out, interval.low);
    appendText(out, ", ");
    appendProbability(out, interval.high);
    appendChar(out, ']');
}

// A percentile: {"us": .., "interval_us": [low, high]}, null where unknown.
void appendPercentile(TextBuffer& out, const PercentileFigure& figure) {
    if (!figure.known) {
        appendText(out, "null");
        return;
    }
    appendText(out, "{\"us\": ");
    appendInteger(out, figure.us);
    appendText(out, ", \"interval_us\": [");
    if (figure.lowKnown) {
        appendInteger(out, figure.lowUs);
    } else {
        appendText(out, "null");
    }
    appendText(out, ", ");
    if (figure.highKnown) {
        appendInteger(out, figure.highUs);
    } else {
        appendText(out, "null");
    }
    appendText(out, "]}");
}

void appendSide(TextBuffer& out, const JudgedFigures& figures, const RateInterval& rate) {
    appendText(out, "{\"events\": ");
    appendInteger(out, figures.events);
    appendText(out, ", \"stalls\": ");
    appendInteger(out, figures.stalls);
    appendText(out, ", \"stall_rate_interval\": ");
    appendRate(out, rate);
    appendText(out, ", \"p99\": ");
    appendPercentile(out, figures.p99);
    appendText(out, ", \"p999\": ");
    appendPercentile(out, figures.p999);
    appendChar(out, '}');
}

// The figures behind one verdict.
void appendFigures(TextBuffer& out, const CoreVerdict& v) {
    appendText(out, "\"source\": ");
    appendJsonString(out, v.source == JudgedSource::wake ? "wake" : "timer");
    appendText(out, ", \"verdict\": ");
    appendJsonString(out, verdictName(v.verdict));
    // The words hold no quote, backslash or control character.
    appendText(out, ", \"words\": \"");
    appendVerdictWords(out, v);
    appendText(out, "\", \"p_value\": ");
    appendProbability(out, v.pValue);
    appendText(out, ", \"holm_p_value\": ");
    appendProbability(out, v.holmPValue);
    appendText(out, ", \"figures\": ");
    appendSide(out, v.run, v.runRate);
    appendText(out, ", \"baseline_figures\": ");
    appendSide(out, v.baseline, v.baselineRate);
    if (v.verdict == Verdict::tooFew) {
        appendText(out, ", \"minutes_needed\": ");
        appendInteger(out, v.minutesNeeded);
        if (v.fineMinutesNeeded >= 0) {
            appendText(out, ", \"minutes_needed_fine\": ");
            appendInteger(out, v.fineMinutesNeeded);
        }
    }
}

}  // namespace

void formatComparisonJson(const Comparison& c, const char* version, TextBuffer& out) {
    clearText(out);
    appendText(out, "{\n  \"vantrel\": ");
    appendJsonString(out, version != nullptr ? version : "");
    appendText(out, ",\n  \"compared\": ");
    appendJsonString(out, c.byLevel ? "levels" : "runs");
    appendText(out, ",\n  \"runs\": [");
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        const ComparedRun& run = c.runs[r];
        appendText(out, r == 0 ? "\n    {" : ",\n    {");
        appendKey(out, c.byLevel ? "level" : "run");
        appendJsonString(out, run.name);
        appendText(out, ", \"file\": ");
        appendJsonString(out, run.file);
        appendText(out, ", \"baseline\": ");
        appendText(out, r == c.baseline ? "true" : "false");
        if (run.timed) {
            appendText(out, ", \"from\": \"");
            appendUtc(out, run.fromUtcMs);
            appendText(out, "\", \"to\": \"");
            appendUtc(out, run.toUtcMs);
            appendChar(out, '"');
        }
        if (c.failAboveUs >= 0) appendText(out, run.crossed ? ", \"crossed\": true" : ", \"crossed\": false");
        appendChar(out, '}');
    }
    appendText(out, "\n  ],\n  \"baseline\": ");
    appendJsonString(out, c.runs[c.baseline].name);
    appendText(out, ",\n  \"fail_above_ms\": ");
    if (c.failAboveUs >= 0) {
        appendExactDecimal(out, c.failAboveUs, 1000);
    } else {
        appendText(out, "null");
    }
    appendText(out, ",\n  \"verdicts\": [");
    const char* separator = "\n    {";
    for (std::int64_t r = 0; c.verdicts != nullptr && r < c.runCount; ++r) {
        if (r == c.baseline) continue;
        for (std::int64_t core = 0; core < c.coreCount; ++core) {
            const std::int64_t k = verdictIndex(c, r, core);
            appendText(out, separator);
            separator = ",\n    {";
            appendText(out, "\"core\": ");
            appendInteger(out, core);
            appendText(out, ", \"run\": ");
            appendJsonString(out, c.runs[r].name);
            if (c.byLevel) {
                appendText(out, ", \"level\": ");
                appendJsonString(out, c.runs[r].name);
            }
            appendText(out, ", \"against\": ");
            appendJsonString(out, c.runs[c.baseline].name);
            appendText(out, ", ");
            appendFigures(out, c.verdicts[k]);
            if (c.timerVerdicts != nullptr && c.verdicts[k].source == JudgedSource::wake) {
                appendText(out, ", \"timer\": {");
                appendFigures(out, c.timerVerdicts[k]);
                appendChar(out, '}');
            }
            appendChar(out, '}');
        }
    }
    appendText(out, separator[0] == '\n' ? "]\n}\n" : "\n  ]\n}\n");
}

std::size_t comparisonJsonCapacity(std::int64_t runCount, std::int64_t coreCount) {
    const auto runs = static_cast<std::size_t>(runCount < 0 ? 0 : runCount);
    const auto cores = static_cast<std::size_t>(coreCount < 0 ? 0 : coreCount);
    // A run's names escaped six-fold at worst; a verdict with the timer
    // events' beside.
    return 4096 + runs * 1536 + runs * cores * 3072;
}
