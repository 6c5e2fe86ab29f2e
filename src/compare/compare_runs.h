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

struct LogReader;

constexpr std::int64_t comparedMost = 8;
constexpr std::size_t comparedNameCapacity = 80;

struct ComparedCore {
    std::int64_t events;  // judged timer events
    std::int64_t minUs;
    std::int64_t maxUs;
    std::int64_t sumUs;
    std::int64_t maxMs;
    std::int64_t histogram[histogramBucketCount];  // by late_ms, as the report's
    std::int64_t stalls;                           // timer events over 5 ms
    std::int64_t causes[stallCauseCount];          // of those, the ones the log gives a cause for
    std::int64_t p99Us;
    std::int64_t p999Us;
    std::int64_t wakeMaxUs;  // -1: no wake line
};

struct ComparedRun {
    char name[comparedNameCapacity];  // "A" .. "H", or the level compared
    char file[comparedNameCapacity];  // the log's file name, with ", run N" for a log of several
    bool machineKnown;
    MachineContext machine;
    char version[priorityTextCapacity];  // "" when the log does not say
    PriorityHistory priority;            // startKnown false when the log does not say
    bool timed;
    std::int64_t fromUtcMs;
    std::int64_t toUtcMs;
    ComparedCore* cores;  // Comparison::coreCount entries
    bool crossed;         // an event above --fail-above
};

struct Comparison {
    bool byLevel;  // the levels of one run, named by their level
    std::int64_t runCount;
    ComparedRun runs[comparedMost];
    std::int64_t coreCount;
    std::int64_t failAboveUs;  // -1: none
    bool differentMachines;    // two runs name different machines
    std::int64_t passes;       // readings of the logs it took
};

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
// a failure): false with `error` (errorCapacity bytes) naming the log and why.
constexpr std::size_t compareErrorCapacity = 600;
bool compareLogs(Comparison& out, const LogSource* sources, std::int64_t count, std::int64_t failAboveUs, char* error);
void freeComparison(Comparison& out);

// The run with the lowest 99th percentile of `core` (then the lowest mean):
// -1 when none has events of it.
std::int64_t bestComparedRun(const Comparison& comparison, std::int64_t core);
