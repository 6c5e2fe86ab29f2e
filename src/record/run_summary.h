// Everything the report, the metrics and the page show of a run, as one
// snapshot taken by the recorder (or read back from a log). The renderers
// read it and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/machine_context.h"
#include "engine/stall_cause.h"
#include "engine/wake_figures.h"
#include "record/priority_history.h"
#include "processes/suspects.h"
#include "record/statistics.h"
#include "record/suspended_spans.h"
#include "record/timeline.h"

struct SweepSummary;

// Problems met during a run: the first problemsKept are kept with their time.
constexpr std::int64_t problemsKept = 20;
constexpr std::size_t problemTextCapacity = 256;
struct Problem {
    std::int64_t atUtcMs;
    char text[problemTextCapacity];
};

// The largest timer events of the run.
constexpr std::int64_t worstEventsKept = 20;
struct WorstEvent {
    std::int64_t core;
    std::int64_t utcMs;
    std::int64_t lateUs;
    std::int64_t lateMs;  // by the tick count: what the list is ordered by
};

// The processes that were suspects of the run's stalls most often, by image
// name: in how many stalls, how often first, and their CPU time in them.
constexpr std::int64_t suspectTallyKept = 32;
struct SuspectTallyEntry {
    char process[suspectNameCapacity];
    std::int64_t stalls;
    std::int64_t first;
    std::int64_t cpuUs;
};
struct SuspectTally {
    SuspectTallyEntry kept[suspectTallyKept];  // in the order first seen
    std::int64_t count;
    std::int64_t stalls;   // stalls whose suspects are known
    std::int64_t notKept;  // suspects of names that found no room
};

struct RunSummary {
    const char* version;
    const char* machineName;    // "" when unknown
    const char* systemVersion;  // such as "Windows 10.0.19045"; "" when unknown
    std::int64_t startedUtcMs;
    std::int64_t updatedUtcMs;
    std::int64_t elapsedMs;
    bool finished;
    std::int64_t failAboveUs;  // -1: no --fail-above
    bool thresholdCrossed;
    std::int64_t coreCount;
    const CoreStatistics* cores;  // coreCount entries
    const bool* sampled;          // coreCount entries: false where no sampler ran
    std::int64_t logDropped;
    // Every distinct problem told; the first problemsKept of them in `problems`.
    std::int64_t problemCount;
    const Problem* problems;
    std::int64_t problemsListed;
    // Largest late_ms first (see worst_events.h).
    const WorstEvent* worstTimer;
    std::int64_t worstTimerCount;

    // The wake-up samplers (--fine); `wakes` is null without them.
    const WakeStatistics* wakes;  // coreCount entries
    const char* fineMethod;
    std::int64_t fineResolutionUs;
    const WakeEvent* worstWakes;  // largest first
    std::int64_t worstWakeCount;

    // Null when the run keeps none (only the page needs it).
    const Timeline* timeline;
    // A page made from a log whose last bytes were not lines (cut in the
    // middle of a line, or zero bytes after a power cut); logBytesLeftOut
    // counts every byte left out, at the end or in a gap of zero bytes.
    bool logEndsEarly;
    std::int64_t logBytesLeftOut;
    // With `wakes`: false where no wake-up sampler ran pinned to the core;
    // null when every core's did.
    const bool* wakeSampled;
    // When the machine slept, an open span ended at the snapshot; null when
    // not known (a page made from a log).
    const SuspendedSpans* suspended;

    // Why each stall happened, from the per-processor time accounting.
    // `accounting` is false when the run had none (it could not be read, or
    // a page made from a log): every pointer below is then null.
    bool accounting = false;
    std::int64_t accountingResolutionUs = -1;  // the smallest step seen; -1 when none yet
    const StallCounts* stallCauses = nullptr;  // coreCount entries
    // Beside worstTimer and worstWakes, entry for entry.
    const StallCause* worstTimerCause = nullptr;
    const StallDuring* worstTimerDuring = nullptr;
    const StallCause* worstWakeCause = nullptr;
    const StallDuring* worstWakeDuring = nullptr;

    // The suspects of each stall caused by threads, from snapshots of the
    // processes' CPU times. `suspects` is false when the run took none (no
    // accounting, or a page made from a log): the pointers are then null.
    bool suspects = false;
    std::int64_t suspectSnapshots = 0;
    std::int64_t suspectSnapshotFailures = 0;
    // Beside worstTimer and worstWakes, entry for entry; each means
    // something only where the entry's cause is threads.
    const StallSuspects* worstTimerSuspects = nullptr;
    const StallSuspects* worstWakeSuspects = nullptr;
    const SuspectTally* suspectTally = nullptr;

    // Made by reading a log back, not by a run: the log keeps no causes.
    bool readFromLog = false;

    // The context: the machine and the priority (null when not known: a log
    // written before they were kept), and a sweep's stretches (null without
    // --sweep).
    const MachineContext* machine = nullptr;
    const PriorityHistory* priority = nullptr;
    const SweepSummary* sweep = nullptr;
    // Why the run ended (context_record.h: "duration", "closed", ...); null
    // while it is measured or when not known (a page made from a log). The
    // time it was meant to measure, -1 when none was set.
    const char* ended = nullptr;
    std::int64_t plannedMs = -1;
    // Whole HTML put at the end of the page's body, or null: the comparison
    // of the levels of a run read from its log.
    const char* pageAppendix = nullptr;
    // A run started as the service (only the metrics tell it).
    bool service = false;
    // The times its log rolled over; -1: it never rolls (no --log-max-mb).
    std::int64_t logRolls = -1;
};
