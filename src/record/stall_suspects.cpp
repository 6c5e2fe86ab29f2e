// Counts, over the whole run, how often each process was named around a stall and its CPU time.
#include "record/stall_suspects.h"

#include <cstring>

namespace {

SuspectTally tally;
SuspectTally tallyCopy;  // the snapshot's

void count(const StallSuspects& suspects) {
    ++tally.stalls;
    for (std::int64_t k = 0; k < suspects.count; ++k) {
        const Suspect& s = suspects.list[k];
        std::int64_t at = 0;
        while (at < tally.count && std::strcmp(tally.kept[at].process, s.process) != 0) ++at;
        if (at == suspectTallyKept) {
            ++tally.notKept;
            continue;
        }
        SuspectTallyEntry& e = tally.kept[at];
        if (at == tally.count) {
            ++tally.count;
            e = SuspectTallyEntry{};
            std::memcpy(e.process, s.process, sizeof e.process);
        }
        ++e.stalls;
        e.first += k == 0 ? 1 : 0;
        e.cpuUs += s.cpuUs;
    }
}

}  // namespace

void clearSuspectTally() {
    tally.count = 0;
    tally.stalls = 0;
    tally.notKept = 0;
}

bool suspectsOfStall(std::int64_t fromUs, std::int64_t toUs, bool lastTry, bool counted, StallSuspects& out) {
    if (!findStallSuspects(fromUs, toUs, lastTry, out)) return false;
    if (counted && out.known) count(out);
    return true;
}

void describeSuspects(RunSummary& run) {
    run.suspects = processSnapshotsTried();
    if (!run.suspects) return;
    run.suspectSnapshots = processSnapshotsTaken();
    run.suspectSnapshotFailures = processSnapshotFailures();
    tallyCopy = tally;
    run.suspectTally = &tallyCopy;
}
