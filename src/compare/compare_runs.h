// Runs compared on one page: up to eight, from up to eight logs (each run of
// each log: a header, or the program's note after lines of a run, begins
// one), or the priority levels of the one run a single log holds. The
// figures come from the logs' own values: events, mean, the 99th and 99.9th
// percentiles (exact: the logs are read again until each is one value) and
// the largest lateness, per core and run; the stalls and the causes the log
// names. In fixed memory whatever the logs' length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "compare/rank_select.h"
#include "engine/machine_context.h"
#include "engine/stall_cause.h"
#include "record/priority_history.h"
#include "record/statistics.h"
#include "verdict/judge.h"

struct LogReader;

constexpr std::int64_t comparedMost = 8;
constexpr std::size_t comparedNameCapacity = 80;

// One run's (or level's) figures of a core. Events are judged (the first
// period after each priority change is not: verdict/judge.h); the
// percentiles are of judged lateness (an early event as 0 late), with the
// intervals that hold together over the page.
struct ComparedCore {
    std::int64_t events;    // judged timer events
    std::int64_t unjudged;  // timer events of a first period after a change
    std::int64_t minUs;
    std::int64_t maxUs;
    std::int64_t sumUs;
    std::int64_t meanUs;  // sumUs / events rounded to the microsecond: shown, never judged
    std::int64_t maxMs;
    std::int64_t histogram[histogramBucketCount];  // by late_ms, as the report's
    std::int64_t stalls;                           // judged timer events over 5 ms (isStall)
    std::int64_t causes[stallCauseCount];          // of those, the ones the log gives a cause for
    std::int64_t p99Us;                            // == p99.us
    std::int64_t p999Us;                           // == p999.us
    PercentileFigure p99;
    PercentileFigure p999;
    // Wake-ups (--fine): from the lines, those the log holds (later than
    // 1 ms, within its limit of lines); from the notes that count them,
    // every one (logs from 1.8.0 on).
    std::int64_t wakeMaxUs;       // of the judged lines; -1: no wake line
    std::int64_t wakeLines;       // judged wake lines
    std::int64_t wakeLineStalls;  // of those, stalls
    std::int64_t wakeLinesMinUs;
    bool wakesCounted;         // the notes count every stretch of the run (or level)
    std::int64_t wakeEvents;   // judged wake-ups, on time or late
    std::int64_t wakeStalls;   // of those, over 5 ms
    std::int64_t wakeLeftOut;  // late ones the log's limit of lines left out
    std::int64_t wakeStretches;  // stretches whose notes were read
    PercentileFigure wakeP99;
    PercentileFigure wakeP999;
};

struct ComparedRun {
    char name[comparedNameCapacity];  // "A" .. "H", or the level compared
    char file[comparedNameCapacity];  // the log's file name, with ", run N" for a log of several
    bool machineKnown;
    MachineContext machine;
    char version[priorityTextCapacity];  // "" when the log does not say
    PriorityHistory priority;            // startKnown false when the log does not say
    bool timed;
    std::int64_t fromUtcMs;  // of its first judged timer event
    std::int64_t toUtcMs;    // of its last
    ComparedCore* cores;     // Comparison::coreCount entries
    bool crossed;            // a judged event above --fail-above (crossesLimit)
};

struct Comparison {
    bool byLevel;  // the levels of one run, named by their level
    std::int64_t runCount;
    ComparedRun runs[comparedMost];
    std::int64_t coreCount;
    std::int64_t failAboveUs;  // -1: none
    bool differentMachines;    // two runs name different machines
    std::int64_t passes;       // readings of the logs it took
    // The verdicts: every run (or level) but the baseline against it, per
    // core; the baseline is the first run, of levels "normal" when it was
    // measured, else the first.
    std::int64_t baseline;
    bool fine;            // the wake-ups decide where the logs count them (--fine)
    double intervalMiss;  // of each percentile's interval (intervalMissOf)
    // (runCount - 1) * coreCount each, by verdictIndex: the verdicts, and
    // with `fine` the timer events' beside those the wake-ups decide (null
    // without `fine`). Decided together: Holm over the whole page.
    CoreVerdict* verdicts;
    CoreVerdict* timerVerdicts;
};

// Where the verdict of `run` (not the baseline) on `core` is kept.
std::int64_t verdictIndex(const Comparison& comparison, std::int64_t run, std::int64_t core);

// A log to read, again from its start whenever asked.
struct LogSource {
    const char* name;  // shown: the file's name
    void* context;
    // Fills `bytes` with up to `capacity` bytes, `got` 0 at the end; false
    // when the system refused the read.
    bool (*read)(void* context, char* bytes, std::size_t capacity, std::size_t& got);
    bool (*rewind)(void* context);
};

// Whether the page of this one log, read to its end, compares: it holds
// several runs, or one run at several levels.
bool logHoldsComparison(const LogReader& reader);

// Reads the logs into `out` (its memory freed by freeComparison, also after
// a failure): false with `error` (errorCapacity bytes) naming the log and
// why. `fine`: the wake-ups decide where the logs count them. Every reading
// after the first reads as many bytes as the first: a log that grew since
// (a run still writing it) is compared as it was; one that shrank or
// changed its lines is refused.
constexpr std::size_t compareErrorCapacity = 600;
bool compareLogs(Comparison& out, const LogSource* sources, std::int64_t count, std::int64_t failAboveUs, bool fine,
                 char* error);
void freeComparison(Comparison& out);
