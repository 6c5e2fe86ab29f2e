#include "formats/report_format.h"

#include <charconv>
#include <cstring>

#include "engine/sampling.h"
#include "formats/cause_format.h"

char* formatInteger(char* out, std::int64_t value) {
    char* end = std::to_chars(out, out + 24, value).ptr;
    *end = '\0';
    return end;
}

std::size_t reportCapacity(std::int64_t coreCount, bool withWakes) {
    constexpr std::size_t fixedPart = 4608;
    constexpr std::size_t perCore = 1856;
    constexpr std::size_t perCoreWakes = 1024;
    constexpr std::size_t perWorstWake = 288;
    // Problems' texts may grow six-fold when escaped (control characters).
    constexpr std::size_t perProblem = 80 + 6 * problemTextCapacity;
    constexpr std::size_t perSuspendedSpan = 96;
    return fixedPart + (perCore + (withWakes ? perCoreWakes : 0)) * static_cast<std::size_t>(coreCount) +
           perProblem * problemsKept + perSuspendedSpan * suspendedSpansKept +
           (withWakes ? perWorstWake * worstWakesKept : 0);
}

void appendLogHeader(TextBuffer& out) {
    appendText(out, "utc,core,late_ms,late_us,source\n");
}

void appendWakeLine(TextBuffer& out, const WakeEvent& wake) {
    appendUtc(out, wake.utcMs);
    appendChar(out, ',');
    appendInteger(out, wake.core);
    appendChar(out, ',');
    // Rounded down, as the timer events' milliseconds are whole ticks.
    appendInteger(out, wake.lateUs >= 0 ? wake.lateUs / 1000 : -((999 - wake.lateUs) / 1000));
    appendChar(out, ',');
    appendInteger(out, wake.lateUs);
    appendText(out, ",wake\n");
}

void appendLogLine(TextBuffer& out, const TimerEvent& event) {
    appendUtc(out, event.utcMs);
    appendChar(out, ',');
    appendInteger(out, event.core);
    appendChar(out, ',');
    appendInteger(out, event.lateMs);
    appendChar(out, ',');
    appendInteger(out, event.lateUs);
    appendText(out, ",timer\n");
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

static void appendWake(TextBuffer& out, const WakeStatistics& w, bool sampled) {
    appendText(out, ",\n      \"wake\": {\n        \"sampled\": ");
    appendText(out, sampled ? "true" : "false");
    appendText(out, ",\n        \"events\": ");
    appendInteger(out, w.events);
    appendText(out, ",\n        \"skipped\": ");
    appendInteger(out, w.skipped);
    if (w.events == 0) {
        appendText(out, ",\n        \"min_us\": null,\n        \"max_us\": null,\n        \"mean_us\": null,\n"
                        "        \"max_at_utc\": null");
    } else {
        appendText(out, ",\n        \"min_us\": ");
        appendInteger(out, w.minUs);
        appendText(out, ",\n        \"max_us\": ");
        appendInteger(out, w.maxUs);
        appendText(out, ",\n        \"mean_us\": ");
        appendDecimal(out, w.sumUs, w.events, 3);
        appendText(out, ",\n        \"max_at_utc\": ");
        appendQuotedUtc(out, w.maxAtUtcMs);
    }
    appendText(out, ",\n        \"over_1ms\": ");
    appendInteger(out, w.over1ms);
    appendText(out, ",\n        \"wake_lines_not_logged\": ");
    appendInteger(out, w.linesNotLogged);
    appendText(out, ",\n        \"histogram_us\": ");
    appendHistogram(out, wakeHistogramUpperUs, w.histogram, wakeHistogramBucketCount);
    appendText(out, "\n      }");
}

static void appendCore(TextBuffer& out, const RunSummary& run, std::int64_t core, const CoreStatistics& s,
                       bool sampled, const WakeStatistics* wake, bool wakeSampled) {
    appendText(out, "    {\n      \"core\": ");
    appendInteger(out, core);
    appendText(out, sampled ? ",\n      \"sampled\": true" : ",\n      \"sampled\": false");
    appendText(out, ",\n      \"events\": ");
    appendInteger(out, s.events);
    if (s.events == 0) {
        appendText(out, ",\n      \"min_ms\": null,\n      \"max_ms\": null,\n      \"mean_ms\": null,\n"
                        "      \"max_at_utc\": null,\n      \"min_us\": null,\n      \"max_us\": null,\n"
                        "      \"mean_us\": null,\n");
    } else {
        appendText(out, ",\n      \"min_ms\": ");
        appendInteger(out, s.minMs);
        appendText(out, ",\n      \"max_ms\": ");
        appendInteger(out, s.maxMs);
        appendText(out, ",\n      \"mean_ms\": ");
        appendDecimal(out, s.sumMs, s.events, 3);
        appendText(out, ",\n      \"max_at_utc\": ");
        appendQuotedUtc(out, s.maxAtUtcMs);
        appendText(out, ",\n      \"min_us\": ");
        appendInteger(out, s.minUs);
        appendText(out, ",\n      \"max_us\": ");
        appendInteger(out, s.maxUs);
        appendText(out, ",\n      \"mean_us\": ");
        appendDecimal(out, s.sumUs, s.events, 3);
        appendText(out, ",\n");
    }
    appendText(out, "      \"histogram\": ");
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

// Milliseconds from microseconds: whole when they are, else with as many
// decimals as it takes (at most three).
void appendMillisecondsOf(TextBuffer& out, std::int64_t us) {
    if (us % 1000 == 0) {
        appendInteger(out, us / 1000);
    } else if (us % 100 == 0) {
        appendDecimal(out, us, 1000, 1);
    } else if (us % 10 == 0) {
        appendDecimal(out, us, 1000, 2);
    } else {
        appendDecimal(out, us, 1000, 3);
    }
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
        appendMillisecondsOf(out, run.failAboveUs);
    }
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
        if (run.accounting && k >= 0) appendStallCause(out, run.worstTimerCause[k], run.worstTimerDuring[k]);
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
            if (run.accounting) appendStallCause(out, run.worstWakeCause[k], run.worstWakeDuring[k]);
            appendChar(out, '}');
        }
        appendText(out, run.worstWakeCount == 0 ? "]" : "\n  ]");
    }
    appendText(out, ",\n  \"log_dropped\": ");
    appendInteger(out, run.logDropped);
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
