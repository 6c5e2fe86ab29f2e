// For a stall caused by threads, the processes whose CPU time grew most
// between the last process snapshot before the stall and the first after
// it. That only says they ran around then: a process busy on another core
// in the same window grows just as much. No Windows header needed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "processes/process_snapshots.h"

constexpr std::int64_t suspectsKept = 3;
// An image name as a suspect keeps it, UTF-8 with its terminating zero;
// longer ones are cut at a whole character.
constexpr std::size_t suspectNameCapacity = 64;

struct Suspect {
    char process[suspectNameCapacity];
    std::int64_t pid;
    std::int64_t cpuUs;  // its CPU time's growth across the window
    std::int32_t basePriority;
    // Its thread (or, where thread times do not move, the process's base
    // priority) above the priority of Vantrel's own threads.
    bool aboveSampler;
    // Its thread with the most CPU time since the snapshot before the last;
    // -1 where thread times do not move (Wine).
    std::int64_t threadId;
    std::int64_t threadCpuUs;
    std::int32_t threadPriority;
};

struct StallSuspects {
    // False when a snapshot is missing on either side of the stall (none
    // taken, one failed, or too long ago): the report says null.
    bool known;
    std::int64_t windowUs;  // from the snapshot before to the one after
    std::int64_t count;     // 0 when no process but Vantrel grew
    Suspect list[suspectsKept];
};

// The suspects of a window of snapshots, oldest first (at least two): the
// processes whose CPU time grew most from the first to the last, largest
// first (then the lower id), leaving out `ownPid` and the idle process
// (id 0). A process that started inside the window counts from zero; one
// that ended inside it counts to its last reading; one whose time went
// backwards was read wrongly and is left out.
StallSuspects rankSuspects(const ProcessSnapshot* const* window, std::int64_t count, std::int64_t ownPid);

// The suspects of a stall that spanned fromUs..toUs on the performance
// counter, from the ring (process_snapshots.h). Answers false while the
// snapshot after it may still come (the reader works and none of its
// readings after the stall failed), unless `lastTry`; else true, with `out`
// unknown when a snapshot is missing. The record's writer; takes the lock.
bool findStallSuspects(std::int64_t fromUs, std::int64_t toUs, bool lastTry, StallSuspects& out);
