#include "formats/metrics_format.h"

#include <charconv>

#include "engine/stall_attribution.h"

// Sample lines: the longest name, a 20-digit core and le label and a
// 20-digit value come to about 100 bytes.
constexpr std::size_t metricsLineMax = 112;

// Both histograms' bounds are kept in whole units of these per second.
constexpr std::int64_t msPerSecond = 1000;
constexpr std::int64_t usPerSecond = 1000000;

// Seconds are written as the shortest exact decimal ("0.05", "10",
// "-0.000017"): the form Go writes for a bucket's "le", so that a query for
// le="0.05" finds it.
static void appendSeconds(TextBuffer& out, std::int64_t value, std::int64_t unitsPerSecond) {
    appendExactDecimal(out, value, unitsPerSecond);
}

static void appendFamily(TextBuffer& out, const char* name, const char* type, const char* help) {
    appendText(out, "# HELP ");
    appendText(out, name);
    appendChar(out, ' ');
    appendText(out, help);
    appendText(out, "\n# TYPE ");
    appendText(out, name);
    appendChar(out, ' ');
    appendText(out, type);
    appendChar(out, '\n');
}

static void appendIntegerSample(TextBuffer& out, const char* name, std::int64_t value) {
    appendText(out, name);
    appendChar(out, ' ');
    appendInteger(out, value);
    appendChar(out, '\n');
}

// `name{core="N"` with the brace left open for more labels.
static void appendCoreLabel(TextBuffer& out, const char* name, const char* suffix, std::int64_t core) {
    appendText(out, name);
    appendText(out, suffix);
    appendText(out, "{core=\"");
    appendInteger(out, core);
    appendChar(out, '"');
}

// Cores whose sampler never ran have no figures to show.
static bool showsCore(const RunSummary& run, std::int64_t core) {
    return run.sampled == nullptr || run.sampled[core];
}

// A core whose wake-up sampler did not run pinned to it has no wake figures
// of its own.
static bool showsWakes(const RunSummary& run, std::int64_t core) {
    return run.wakeSampled == nullptr || run.wakeSampled[core];
}

// `name{core="N"} value` for every core whose wake figures are shown.
static void appendWakeCounter(TextBuffer& out, const RunSummary& run, const char* name,
                              std::int64_t WakeStatistics::*field) {
    for (std::int64_t c = 0; c < run.coreCount; ++c) {
        if (!showsWakes(run, c)) continue;
        appendCoreLabel(out, name, "", c);
        appendText(out, "} ");
        appendInteger(out, run.wakes[c].*field);
        appendChar(out, '\n');
    }
}

// One core's histogram: cumulative buckets up to +Inf, then _sum and _count.
// `upper` holds bucketCount - 1 inclusive bounds; the last bucket is +Inf.
static void appendHistogram(TextBuffer& out, const char* name, std::int64_t core, const std::int64_t* counts,
                            const std::int64_t* upper, std::int64_t bucketCount, std::int64_t unitsPerSecond,
                            std::int64_t sumUs, std::int64_t events) {
    std::int64_t cumulative = 0;
    for (std::int64_t b = 0; b < bucketCount; ++b) {
        cumulative += counts[b];
        appendCoreLabel(out, name, "_bucket", core);
        appendText(out, ",le=\"");
        if (b < bucketCount - 1) {
            appendSeconds(out, upper[b], unitsPerSecond);
        } else {
            appendText(out, "+Inf");
        }
        appendText(out, "\"} ");
        appendInteger(out, cumulative);
        appendChar(out, '\n');
    }
    appendCoreLabel(out, name, "_sum", core);
    appendText(out, "} ");
    appendSeconds(out, sumUs, usPerSecond);
    appendChar(out, '\n');
    appendCoreLabel(out, name, "_count", core);
    appendText(out, "} ");
    appendInteger(out, events);
    appendChar(out, '\n');
}

// A core without events has no largest lateness: its sample is left out
// rather than written as 0, which would read as "on time".
static void appendMaxSample(TextBuffer& out, const char* name, std::int64_t core, std::int64_t events,
                            std::int64_t maxUs) {
    if (events == 0) return;
    appendCoreLabel(out, name, "", core);
    appendText(out, "} ");
    appendSeconds(out, maxUs, usPerSecond);
    appendChar(out, '\n');
}

// The two families of one kind of event (timer events, wake-ups): the
// largest lateness and the histogram, by core.
struct LatenessFamilies {
    const char* maxName;
    const char* maxHelp;
    const char* name;
    const char* help;
    bool wakes;  // from run.wakes, else from run.cores
    const std::int64_t* upper;
    std::int64_t bucketCount;
    std::int64_t unitsPerSecond;  // of the bounds in `upper`
};

constexpr LatenessFamilies timerFamilies = {
    "vantrel_timer_lateness_max_seconds", "The largest lateness of a 100 ms timer event since the start, by core.",
    "vantrel_timer_lateness_seconds", "How late the 100 ms timer events came, by core.", false, histogramUpperMs,
    histogramBucketCount, msPerSecond};
constexpr LatenessFamilies wakeFamilies = {
    "vantrel_wake_lateness_max_seconds", "The largest lateness of a 1 ms wake-up since the start, by core.",
    "vantrel_wake_lateness_seconds", "How late the wake-ups on the 1 ms grid came, by core.", true,
    wakeHistogramUpperUs, wakeHistogramBucketCount, usPerSecond};

// One core's figures of either kind; `histogram` null when its sampler did
// not run (pinned), so it has none to show. `sumUs` is of lateness at or
// above zero (wake-ups are never early, timer events may be).
struct CoreLateness {
    const std::int64_t* histogram;
    std::int64_t events;
    std::int64_t sumUs;
    std::int64_t maxUs;
};

static CoreLateness latenessOf(const RunSummary& run, const LatenessFamilies& kind, std::int64_t core) {
    if (kind.wakes) {
        const WakeStatistics& w = run.wakes[core];
        return {showsWakes(run, core) ? w.histogram : nullptr, w.events, w.sumUs, w.maxUs};
    }
    const CoreStatistics& s = run.cores[core];
    return {showsCore(run, core) ? s.histogram : nullptr, s.events, s.lateSumUs, s.maxUs};
}

static void appendLatenessFamilies(TextBuffer& out, const RunSummary& run, const LatenessFamilies& kind) {
    appendFamily(out, kind.maxName, "gauge", kind.maxHelp);
    for (std::int64_t c = 0; c < run.coreCount; ++c) {
        const CoreLateness core = latenessOf(run, kind, c);
        if (core.histogram != nullptr) appendMaxSample(out, kind.maxName, c, core.events, core.maxUs);
    }
    appendFamily(out, kind.name, "histogram", kind.help);
    for (std::int64_t c = 0; c < run.coreCount; ++c) {
        const CoreLateness core = latenessOf(run, kind, c);
        if (core.histogram == nullptr) continue;
        appendHistogram(out, kind.name, c, core.histogram, kind.upper, kind.bucketCount, kind.unitsPerSecond,
                        core.sumUs, core.events);
    }
}

void formatMetrics(const RunSummary& run, TextBuffer& out) {
    clearText(out);

    appendFamily(out, "vantrel_cores", "gauge", "Processors that Windows reports; each is sampled by one thread.");
    appendIntegerSample(out, "vantrel_cores", run.coreCount);

    appendFamily(out, "vantrel_info", "gauge", "The running Vantrel's version; the value is always 1.");
    appendText(out, "vantrel_info{version=\"");
    appendLabelValue(out, run.version != nullptr ? run.version : "");
    appendText(out, "\"} 1\n");

    appendFamily(out, "vantrel_log_dropped_total", "counter", "Log lines not written because the disk fell behind.");
    appendIntegerSample(out, "vantrel_log_dropped_total", run.logDropped);

    appendFamily(out, "vantrel_problems_total", "counter", "Distinct problems met during the run.");
    appendIntegerSample(out, "vantrel_problems_total", run.problemCount);

    // A file that no longer changes is a run that ended when this says so,
    // and one that hangs or was killed when it does not.
    appendFamily(out, "vantrel_run_final", "gauge",
                 "1 in the last file of a run that ended (closed, --duration over, logoff), 0 while it runs.");
    appendIntegerSample(out, "vantrel_run_final", run.finished ? 1 : 0);

    // Only the service's run says it, so that its stop can raise an alert
    // that a logon task's logoff never raises.
    if (run.service) {
        appendFamily(out, "vantrel_service", "gauge", "1: the run was started by the service manager as the service Vantrel.");
        appendIntegerSample(out, "vantrel_service", 1);
    }

    if (run.accounting) {
        const char* const stalls = "vantrel_stalls_total";
        appendFamily(out, stalls, "counter",
                     "Timer events later than 5 ms, by core and by what the core did meanwhile.");
        for (std::int64_t c = 0; c < run.coreCount; ++c) {
            for (int cause = 0; showsCore(run, c) && cause < stallCauseCount; ++cause) {
                appendCoreLabel(out, stalls, "", c);
                appendText(out, ",cause=\"");
                appendText(out, stallCauseName(static_cast<StallCause>(cause)));
                appendText(out, "\"} ");
                appendInteger(out, run.stallCauses[c].timer[cause]);
                appendChar(out, '\n');
            }
        }
    }

    // Nothing per process: a process name is no label for a fleet.
    if (run.suspects) {
        appendFamily(out, "vantrel_suspect_snapshots_total", "counter",
                     "Snapshots of every process's CPU time taken to name the suspects of stalls caused by threads.");
        appendIntegerSample(out, "vantrel_suspect_snapshots_total", run.suspectSnapshots);
        appendFamily(out, "vantrel_suspect_snapshot_failures_total", "counter",
                     "Snapshots of the processes' CPU times that failed: the stalls they were for have no suspects.");
        appendIntegerSample(out, "vantrel_suspect_snapshot_failures_total", run.suspectSnapshotFailures);
    }

    appendFamily(out, "vantrel_start_time_seconds", "gauge", "When the run started, in seconds since 1970-01-01 UTC.");
    appendText(out, "vantrel_start_time_seconds ");
    appendDecimal(out, run.startedUtcMs, msPerSecond, 3);
    appendChar(out, '\n');

    appendFamily(out, "vantrel_suspended_seconds_total", "counter",
                 "Time the machine slept during the run (suspend to resume), not counted as lateness.");
    appendText(out, "vantrel_suspended_seconds_total ");
    appendSeconds(out, run.suspended != nullptr ? run.suspended->totalMs : 0, msPerSecond);
    appendChar(out, '\n');

    if (run.failAboveUs >= 0) {
        appendFamily(out, "vantrel_threshold_crossed", "gauge",
                     "1 once a timer event (with --fine, a wake-up too) came later than --fail-above, else 0.");
        appendIntegerSample(out, "vantrel_threshold_crossed", run.thresholdCrossed ? 1 : 0);
    }

    // The buckets count by whole milliseconds of lateness, as the report's
    // histogram does (early events in the first); the sum is in microseconds
    // and counts an early event as 0, so that it never falls: PromQL takes
    // any fall of a _sum for a restart.
    appendLatenessFamilies(out, run, timerFamilies);
    if (run.wakes != nullptr) {
        appendLatenessFamilies(out, run, wakeFamilies);

        const char* const notLogged = "vantrel_wake_lines_not_logged_total";
        appendFamily(out, notLogged, "counter",
                     "Wake-ups over 1 ms left out of the log by its limit of lines a second, by core.");
        appendWakeCounter(out, run, notLogged, &WakeStatistics::linesNotLogged);

        const char* const skipped = "vantrel_wake_skipped_total";
        appendFamily(out, skipped, "counter", "Deadlines of the 1 ms grid already past at a wake-up, by core.");
        appendWakeCounter(out, run, skipped, &WakeStatistics::skipped);
    }
}

std::size_t metricsCapacity(std::int64_t coreCount, bool withWakes) {
    const std::size_t cores = coreCount > 0 ? static_cast<std::size_t>(coreCount) : 0;
    // Per core: the buckets, _sum, _count, the max and the stalls by cause; with wake-ups the same
    // again, the lines not logged and the skipped counter.
    std::size_t linesPerCore = static_cast<std::size_t>(histogramBucketCount) + 3 + stallCauseCount;
    if (withWakes) linesPerCore += static_cast<std::size_t>(wakeHistogramBucketCount) + 5;
    // The version may need every character escaped.
    return metricsFamiliesMost * metricsHeaderMost + metricsScalarLinesMost * metricsLineMax + 2 * metricsVersionMax +
           cores * linesPerCore * metricsLineMax;
}
