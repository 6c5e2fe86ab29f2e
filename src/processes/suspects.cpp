// Which snapshots bound a stall, and the processes ranked by what they ran between them.
#include "processes/suspects.h"

#include <algorithm>

#include "engine/platform_seam.h"

namespace {

// The process `e` identifies (by id and start) in `s`; null when absent.
const SnapshotEntry* findIn(const ProcessSnapshot& s, const SnapshotEntry& e) {
    const SnapshotEntry* begin = s.entries;
    const SnapshotEntry* end = begin + s.count;
    const SnapshotEntry* found =
        std::lower_bound(begin, end, e.pid, [](const SnapshotEntry& a, std::int64_t pid) { return a.pid < pid; });
    return found != end && found->pid == e.pid && found->createTime == e.createTime ? found : nullptr;
}

// `text` cut to `capacity` - 1 bytes at a whole UTF-8 character, terminated.
void copyName(char* to, std::size_t capacity, const char* text, std::size_t length) {
    std::size_t n = length < capacity - 1 ? length : capacity - 1;
    // Back off continuation bytes (10xxxxxx) so no character is cut.
    if (n < length) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0U) == 0x80U) --n;
    }
    std::copy(text, text + n, to);
    to[n] = '\0';
}

struct Ranking {
    StallSuspects& out;
    std::int64_t ownPid;
    std::int32_t ownPriority;

    // Offers `e` as read last in `s`, grown by `growth` (100 ns).
    void offer(const ProcessSnapshot& s, const SnapshotEntry& e, std::int64_t growth) const {
        if (e.pid == 0 || e.pid == ownPid || growth <= 0) return;
        const std::int64_t cpuUs = growth / 10;
        std::int64_t at = out.count;
        while (at > 0 && (cpuUs > out.list[at - 1].cpuUs || (cpuUs == out.list[at - 1].cpuUs && e.pid < out.list[at - 1].pid))) {
            --at;
        }
        if (at >= suspectsKept) return;
        if (out.count < suspectsKept) ++out.count;
        for (std::int64_t k = out.count - 1; k > at; --k) out.list[k] = out.list[k - 1];
        Suspect& taken = out.list[at];
        copyName(taken.process, sizeof taken.process, s.names + e.nameAt, e.nameLength);
        taken.pid = e.pid;
        taken.cpuUs = cpuUs;
        taken.basePriority = e.basePriority;
        taken.threadId = e.topThreadId;
        taken.threadCpuUs = e.topThreadId >= 0 ? e.topThreadCpu / 10 : 0;
        taken.threadPriority = e.topThreadPriority;
        const std::int32_t priority = e.topThreadId >= 0 ? e.topThreadPriority : e.basePriority;
        taken.aboveSampler = ownPriority >= 0 && priority > ownPriority;
    }
};

// The growth from `first` (null: the process started inside the window)
// to `last`; -1 when its counter went backwards.
std::int64_t growthBetween(const SnapshotEntry* first, const SnapshotEntry& last) {
    if (first == nullptr) return last.cpu;
    return last.cpu >= first->cpu ? last.cpu - first->cpu : -1;
}

}  // namespace

StallSuspects rankSuspects(const ProcessSnapshot* const* window, std::int64_t count, std::int64_t ownPid) {
    StallSuspects out{};
    if (count < 2) return out;
    const ProcessSnapshot& first = *window[0];
    const ProcessSnapshot& last = *window[count - 1];
    out.known = true;
    out.windowUs = last.toUs - first.fromUs;
    const Ranking ranking{out, ownPid, last.ownPriority};
    // Each process counts at the last snapshot of the window that has it:
    // the last one, or for one that ended inside the window the latest one
    // that has it. One found in the first only did not grow.
    for (std::int64_t k = count - 1; k > 0; --k) {
        const ProcessSnapshot& s = *window[k];
        for (std::int64_t e = 0; e < s.count; ++e) {
            const SnapshotEntry& entry = s.entries[e];
            bool later = false;
            for (std::int64_t j = k + 1; j < count && !later; ++j) later = findIn(*window[j], entry) != nullptr;
            if (later) continue;
            ranking.offer(s, entry, growthBetween(findIn(first, entry), entry));
        }
    }
    return out;
}

bool findStallSuspects(std::int64_t fromUs, std::int64_t toUs, bool lastTry, StallSuspects& out) {
    out = StallSuspects{};
    const ProcessSnapshot* window[snapshotsKept];
    // The ring's own lock, not sampleLock: the ranking takes as long as the
    // window is wide, and only the snapshot reader may wait for it.
    lockSnapshots();
    const std::int64_t count = snapshotWindow(fromUs, toUs, window);
    if (count > 0) out = rankSuspects(window, count, ownProcessId());
    unlockSnapshots();
    const bool mayCome = processSnapshotsWork() && lastSnapshotFailureUs() < toUs;
    return count >= 0 || lastTry || !mayCome;
}
