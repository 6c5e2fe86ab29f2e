#include "formats/report_format.h"

#include "engine/sampling.h"
#include "formats/cause_format.h"
#include "formats/context_format.h"
#include "formats/run_end.h"
#include "formats/suspect_format.h"

std::size_t reportCapacity(std::int64_t coreCount, bool withWakes) {
    constexpr std::size_t fixedPart = 4608;
    constexpr std::size_t perCore = 1856;
    constexpr std::size_t perCoreWakes = 1024;
    constexpr std::size_t perWorstWake = 320 + suspectsJsonBytes;
    // Problems' texts may grow six-fold when escaped (control characters).
    constexpr std::size_t perProblem = 80 + 6 * problemTextCapacity;
    constexpr std::size_t perSuspendedSpan = 96;
    return fixedPart + suspectsJsonBytes + (perCore + (withWakes ? perCoreWakes : 0)) * static_cast<std::size_t>(coreCount) +
           perProblem * problemsKept + perSuspendedSpan * suspendedSpansKept +
           (withWakes ? perWorstWake * worstWakesKept : 0) + runContextCapacity(coreCount, withWakes);
}

static void appendQuotedUtc(TextBuffer& out, std::int64_t utcMs) {
    appendChar(out, '"');
    appendUtc(out, utcMs);
    appendChar(out, '"');
}

// [[upper, count], ..., [null, count]]: `buckets` counts, the last one
// above every bound.
static void appendHistogram(TextBuffer& out, const std::int64_t* upper, const std::int64_t* counts,
                            std::int64_t buckets) {
    for (std::int64_t b = 0; b < buckets; ++b) {
        appendText(out, b == 0 ? "[[" : ", [");
        if (b < buckets - 1) {
            appendInteger(out, upper[b]);
        } else {
            appendText(out, "null");
        }
        appendText(out, ", ");
        appendInteger(out, counts[b]);
        appendChar(out, ']');
    }
    appendChar(out, ']');
}

// `,\n<indent>"<name>": `: every member of a core's object after its first.
static void appendKey(TextBuffer& out, const char* indent, const char* name) {
    appendText(out, ",\n");
    appendText(out, indent);
    appendChar(out, '"');
    appendText(out, name);
    appendText(out, "\": ");
}

static void appendFigure(TextBuffer& out, const char* indent, const char* name, std::int64_t value) {
    appendKey(out, indent, name);
    appendInteger(out, value);
}

// The smallest, largest and mean lateness of `events`, in one unit
// (`names`: min, max, mean); null when there are none.
static void appendRange(TextBuffer& out, const char* indent, const char* const (&names)[3], std::int64_t events,
                        std::int64_t min, std::int64_t max, std::int64_t sum) {
    const std::int64_t values[2] = {min, max};
    for (int k = 0; k < 3; ++k) {
        appendKey(out, indent, names[k]);
        if (events == 0) {
            appendText(out, "null");
        } else if (k < 2) {
            appendInteger(out, values[k]);
        } else {
            appendDecimal(out, sum, events, 3);
        }
    }
}

static void appendMaxAt(TextBuffer& out, const char* indent, std::int64_t events, std::int64_t utcMs) {
    appendKey(out, indent, "max_at_utc");
    if (events == 0) {
        appendText(out, "null");
    } else {
        appendQuotedUtc(out, utcMs);
    }
}

static const char* const usNames[3] = {"min_us", "max_us", "mean_us"};
static const char* const msNames[3] = {"min_ms", "max_ms", "mean_ms"};

static void appendWake(TextBuffer& out, const WakeStatistics& w, bool sampled) {
    const char* const indent = "        ";
    appendText(out, ",\n      \"wake\": {\n        \"sampled\": ");
    appendText(out, sampled ? "true" : "false");
    appendFigure(out, indent, "events", w.events);
    appendFigure(out, indent, "skipped", w.skipped);
    appendRange(out, indent, usNames, w.events, w.minUs, w.maxUs, w.sumUs);
    appendMaxAt(out, indent, w.events, w.maxAtUtcMs);
    appendFigure(out, indent, "over_1ms", w.over1ms);
    appendFigure(out, indent, "wake_lines_not_logged", w.linesNotLogged);
    appendKey(out, indent, "histogram_us");
    appendHistogram(out, wakeHistogramUpperUs, w.histogram, wakeHistogramBucketCount);
    appendText(out, "\n      }");
}

static void appendCore(TextBuffer& out, const RunSummary& run, std::int64_t core, const CoreStatistics& s,
                       bool sampled, const WakeStatistics* wake, bool wakeSampled) {
    const char* const indent = "      ";
    appendText(out, "    {\n      \"core\": ");
    appendInteger(out, core);
    appendText(out, sampled ? ",\n      \"sampled\": true" : ",\n      \"sampled\": false");
    appendFigure(out, indent, "events", s.events);
    appendRange(out, indent, msNames, s.events, s.minMs, s.maxMs, s.sumMs);
    appendMaxAt(out, indent, s.events, s.maxAtUtcMs);
    appendRange(out, indent, usNames, s.events, s.minUs, s.maxUs, s.sumUs);
    appendKey(out, indent, "histogram");
    appendHistogram(out, histogramUpperMs, s.histogram, histogramBucketCount);
    if (wake != nullptr) appendWake(out, *wake, wakeSampled);
    appendCoreCauses(out, run, core);
    appendText(out, "\n    }");
}

// The spans the machine slept; none when they are not known.
static void appendSuspended(TextBuffer& out, const SuspendedSpans* spans) {
    const std::int64_t listed = spans != nullptr ? spans->listed : 0;
    appendText(out, ",\n  \"suspended\": [");
    for (std::int64_t k = 0; k < listed; ++k) {
        appendText(out, k == 0 ? "\n    {\"from_utc\": " : ",\n    {\"from_utc\": ");
        appendQuotedUtc(out, spans->kept[k].fromUtcMs);
        appendText(out, ", \"to_utc\": ");
        appendQuotedUtc(out, spans->kept[k].toUtcMs);
        appendChar(out, '}');
    }
    appendText(out, listed == 0 ? "]" : "\n  ]");
    appendText(out, ",\n  \"suspended_not_listed\": ");
    appendInteger(out, spans != nullptr ? spans->count - listed : 0);
    appendText(out, ",\n  \"suspended_seconds\": ");
    appendDecimal(out, spans != nullptr ? spans->totalMs : 0, 1000, 3);
}

void formatReport(const RunSummary& run, TextBuffer& out) {
    clearText(out);
    appendText(out, "{\n  \"program\": \"Vantrel\",\n  \"version\": ");
    appendJsonString(out, run.version != nullptr ? run.version : "");
    appendText(out, ",\n  \"started_utc\": ");
    appendQuotedUtc(out, run.startedUtcMs);
    appendText(out, ",\n  \"updated_utc\": ");
    appendQuotedUtc(out, run.updatedUtcMs);
    appendText(out, run.finished ? ",\n  \"final\": true" : ",\n  \"final\": false");
    appendText(out, ",\n  \"seconds\": ");
    appendDecimal(out, run.elapsedMs, 1000, 3);
    appendText(out, ",\n  \"period_ms\": ");
    appendInteger(out, timerPeriodMs);
    appendText(out, ",\n  \"fail_above_ms\": ");
    if (run.failAboveUs < 0) {
        appendText(out, "null");
    } else {
        appendExactDecimal(out, run.failAboveUs, 1000);
    }
    appendEndJson(out, run);
    if (run.wakes != nullptr) {
        appendText(out, ",\n  \"fine\": {\"interval_us\": ");
        appendInteger(out, wakeIntervalUs);
        appendText(out, ", \"method\": ");
        appendJsonString(out, run.fineMethod != nullptr ? run.fineMethod : "");
        appendText(out, ", \"resolution_us\": ");
        appendInteger(out, run.fineResolutionUs);
        appendChar(out, '}');
    }
    appendAccounting(out, run);
    appendRunContext(out, run);
    appendText(out, ",\n  \"complete\": ");
    appendText(out, run.problemCount == 0 && run.logDropped == 0 ? "true" : "false");

    appendText(out, ",\n  \"cores\": [");
    std::int64_t worst = -1;
    for (std::int64_t c = 0; c < run.coreCount; ++c) {
        const CoreStatistics& s = run.cores[c];
        appendText(out, c == 0 ? "\n" : ",\n");
        appendCore(out, run, c, s, run.sampled == nullptr || run.sampled[c], run.wakes != nullptr ? &run.wakes[c] : nullptr,
                   run.wakeSampled == nullptr || run.wakeSampled[c]);
        if (s.events == 0) continue;
        // Ties go to the earlier time, then to the lower core (seen first).
        const CoreStatistics* w = worst < 0 ? nullptr : &run.cores[worst];
        if (w == nullptr || s.maxMs > w->maxMs || (s.maxMs == w->maxMs && s.maxAtUtcMs < w->maxAtUtcMs)) worst = c;
    }
    appendText(out, run.coreCount == 0 ? "],\n" : "\n  ],\n");

    appendText(out, "  \"worst\": ");
    if (worst < 0) {
        appendText(out, "null");
    } else {
        appendText(out, "{\n    \"core\": ");
        appendInteger(out, worst);
        appendText(out, ",\n    \"late_ms\": ");
        appendInteger(out, run.cores[worst].maxMs);
        appendText(out, ",\n    \"at_utc\": ");
        appendQuotedUtc(out, run.cores[worst].maxAtUtcMs);
        const std::int64_t k = findWorstTimer(run, worst, run.cores[worst].maxAtUtcMs, run.cores[worst].maxMs);
        if (run.accounting && k >= 0) {
            appendStallCause(out, run.worstTimerCause[k], run.worstTimerDuring[k]);
            appendSuspects(out, run.worstTimerCause[k], suspectsOf(run, false, k));
        }
        appendText(out, ",\n    \"timer_resolution_ms\": ");
        appendResolutionInForce(out, run, run.cores[worst].maxAtUtcMs);
        appendText(out, "\n  }");
    }
    if (run.wakes != nullptr) {
        appendText(out, ",\n  \"worst_wakes\": [");
        for (std::int64_t k = 0; k < run.worstWakeCount; ++k) {
            const WakeEvent& wake = run.worstWakes[k];
            appendText(out, k == 0 ? "\n    {\"core\": " : ",\n    {\"core\": ");
            appendInteger(out, wake.core);
            appendText(out, ", \"at_utc\": ");
            appendQuotedUtc(out, wake.utcMs);
            appendText(out, ", \"late_us\": ");
            appendInteger(out, wake.lateUs);
            if (run.accounting) {
                appendStallCause(out, run.worstWakeCause[k], run.worstWakeDuring[k]);
                appendSuspects(out, run.worstWakeCause[k], suspectsOf(run, true, k));
            }
            appendText(out, ", \"timer_resolution_ms\": ");
            appendResolutionInForce(out, run, wake.utcMs);
            appendChar(out, '}');
        }
        appendText(out, run.worstWakeCount == 0 ? "]" : "\n  ]");
    }
    appendText(out, ",\n  \"log_dropped\": ");
    appendInteger(out, run.logDropped);
    if (run.logRolls >= 0) {
        appendText(out, ",\n  \"log_rolls\": ");
        appendInteger(out, run.logRolls);
    }
    appendText(out, ",\n  \"problems\": [");
    for (std::int64_t k = 0; k < run.problemsListed; ++k) {
        appendText(out, k == 0 ? "\n    {\"at_utc\": " : ",\n    {\"at_utc\": ");
        appendQuotedUtc(out, run.problems[k].atUtcMs);
        appendText(out, ", \"message\": ");
        appendJsonString(out, run.problems[k].text);
        appendChar(out, '}');
    }
    appendText(out, run.problemsListed == 0 ? "]" : "\n  ]");
    appendText(out, ",\n  \"problems_not_listed\": ");
    appendInteger(out, run.problemCount - run.problemsListed);
    appendSuspended(out, run.suspended);
    appendText(out, "\n}\n");
}
