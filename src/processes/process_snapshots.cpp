// The ring of process snapshots (process_snapshots.h). The reader fills a
// spare snapshot of its own outside the lock and swaps it for the oldest in
// the ring under it, so the writer never sees one half written.
#include "processes/process_snapshots.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "engine/platform_seam.h"
#include "processes/grow_buffer.h"

namespace {

struct ThreadTime {
    std::int64_t id;
    std::int64_t cpu;
};

std::int64_t ownPid = -1;
std::atomic<bool> tried{false};
std::atomic<bool> works{false};
std::atomic<std::int64_t> taken{0};
std::atomic<std::int64_t> failures{0};
std::atomic<std::int64_t> lastFailureUs{-1};

// Under lockSnapshots: snapshot n in slot n % snapshotsKept.
ProcessSnapshot slots[snapshotsKept];
std::int64_t stored = 0;

// The reader's: the snapshot being filled, and the threads' times of this
// reading and of the one before, by thread id.
ProcessSnapshot spare{};
ThreadTime* currentThreads = nullptr;
ThreadTime* previousThreads = nullptr;
std::int64_t previousThreadCount = 0;
std::int64_t currentCapacity = 0;
std::int64_t previousCapacity = 0;
bool havePrevious = false;

bool makeSnapshotRoom(ProcessSnapshot& s, std::int64_t processes, std::size_t nameBytes) {
    return makeRoom(s.entries, s.capacity, processes) && makeRoom(s.names, s.namesCapacity, nameBytes);
}

void freeSnapshot(ProcessSnapshot& s) {
    std::free(s.entries);
    std::free(s.names);
    s = ProcessSnapshot{};
}

// The CPU time a thread gained since the previous reading: all of it for a
// thread that was not there, none for a counter that went backwards.
std::int64_t threadGrowth(const ThreadReading& t) {
    const ThreadTime* end = previousThreads + previousThreadCount;
    const ThreadTime* found = std::lower_bound(static_cast<const ThreadTime*>(previousThreads), end, t.id,
                                               [](const ThreadTime& a, std::int64_t id) { return a.id < id; });
    const std::int64_t before = found != end && found->id == t.id ? found->cpu : 0;
    return t.cpu > before ? t.cpu - before : 0;
}

void fillEntry(const ProcessReading& p, const ThreadReading* threads, std::int64_t threadCount) {
    SnapshotEntry e{p.pid, p.createTime, p.cpu, -1, 0, p.basePriority, 0, static_cast<std::uint32_t>(spare.namesUsed),
                    static_cast<std::uint32_t>(p.nameLength)};
    std::memcpy(spare.names + spare.namesUsed, p.name, p.nameLength);
    spare.namesUsed += p.nameLength;
    const std::int64_t first = std::clamp<std::int64_t>(p.firstThread, 0, threadCount);
    const std::int64_t last = std::clamp<std::int64_t>(first + std::max<std::int64_t>(p.threadCount, 0), first, threadCount);
    std::int32_t ownTop = p.basePriority;
    for (std::int64_t k = first; k < last; ++k) {
        const ThreadReading& t = threads[k];
        const std::int64_t growth = havePrevious ? threadGrowth(t) : 0;
        if (growth > e.topThreadCpu) {
            e.topThreadId = t.id;
            e.topThreadCpu = growth;
            e.topThreadPriority = t.priority;
        }
        if (k == first || t.priority > ownTop) ownTop = t.priority;
    }
    if (p.pid == ownPid) spare.ownPriority = ownTop;
    spare.entries[spare.count++] = e;
}

const ProcessSnapshot& slot(std::int64_t n) {
    return slots[n % snapshotsKept];
}

}  // namespace

bool makeProcessSnapshots(std::int64_t pid, std::int64_t processes, std::int64_t threads, std::size_t nameBytes) {
    freeProcessSnapshots();
    ownPid = pid;
    tried.store(true);
    bool made = makeSnapshotRoom(spare, processes, nameBytes) && makeRoom(currentThreads, currentCapacity, threads) &&
                makeRoom(previousThreads, previousCapacity, threads);
    for (ProcessSnapshot& s : slots) made = made && makeSnapshotRoom(s, spare.capacity, spare.namesCapacity);
    works.store(made);
    if (!made) noteSnapshotFailure(-1);
    return made;
}

void freeProcessSnapshots() {
    works.store(false);
    tried.store(false);
    lockSnapshots();
    for (ProcessSnapshot& s : slots) freeSnapshot(s);
    stored = 0;
    unlockSnapshots();
    freeSnapshot(spare);
    std::free(currentThreads);
    std::free(previousThreads);
    currentThreads = nullptr;
    previousThreads = nullptr;
    previousThreadCount = 0;
    currentCapacity = 0;
    previousCapacity = 0;
    havePrevious = false;
    taken.store(0);
    failures.store(0);
    lastFailureUs.store(-1);
}

bool storeProcessReading(std::int64_t fromUs, std::int64_t toUs, const ProcessReading* processes,
                         std::int64_t processCount, const ThreadReading* threads, std::int64_t threadCount) {
    if (!works.load()) return false;
    processCount = std::max<std::int64_t>(processCount, 0);
    threadCount = std::max<std::int64_t>(threadCount, 0);
    std::size_t nameBytes = 0;
    for (std::int64_t k = 0; k < processCount; ++k) nameBytes += processes[k].nameLength;
    if (!makeSnapshotRoom(spare, processCount, nameBytes) || !makeRoom(currentThreads, currentCapacity, threadCount)) {
        noteSnapshotFailure(fromUs);
        return false;
    }
    spare.fromUs = fromUs;
    spare.toUs = toUs;
    spare.ownPriority = -1;
    spare.count = 0;
    spare.namesUsed = 0;
    for (std::int64_t k = 0; k < processCount; ++k) fillEntry(processes[k], threads, threadCount);
    std::sort(spare.entries, spare.entries + spare.count,
              [](const SnapshotEntry& a, const SnapshotEntry& b) { return a.pid < b.pid; });

    lockSnapshots();
    std::swap(slots[stored % snapshotsKept], spare);
    ++stored;
    unlockSnapshots();

    for (std::int64_t k = 0; k < threadCount; ++k) currentThreads[k] = ThreadTime{threads[k].id, threads[k].cpu};
    std::sort(currentThreads, currentThreads + threadCount,
              [](const ThreadTime& a, const ThreadTime& b) { return a.id < b.id; });
    std::swap(currentThreads, previousThreads);
    std::swap(currentCapacity, previousCapacity);
    previousThreadCount = threadCount;
    havePrevious = true;
    taken.fetch_add(1);
    return true;
}

void noteSnapshotFailure(std::int64_t fromUs) {
    tried.store(true);
    failures.fetch_add(1);
    lastFailureUs.store(fromUs);
}

void stopProcessSnapshots() {
    tried.store(true);
    works.store(false);
}

bool processSnapshotsTried() { return tried.load(); }
bool processSnapshotsWork() { return works.load(); }
std::int64_t processSnapshotsTaken() { return taken.load(); }
std::int64_t processSnapshotFailures() { return failures.load(); }
std::int64_t lastSnapshotFailureUs() { return lastFailureUs.load(); }
std::int64_t ownProcessId() { return ownPid; }

std::int64_t snapshotWindow(std::int64_t fromUs, std::int64_t toUs, const ProcessSnapshot** out) {
    const std::int64_t oldest = stored > snapshotsKept ? stored - snapshotsKept : 0;
    std::int64_t before = -1;
    for (std::int64_t n = oldest; n < stored; ++n) {
        const ProcessSnapshot& s = slot(n);
        if (s.toUs <= fromUs) before = n;
        if (s.fromUs < toUs) continue;
        if (before < 0) return 0;
        for (std::int64_t k = before; k <= n; ++k) out[k - before] = &slot(k);
        return n - before + 1;
    }
    return before < 0 ? 0 : -1;
}
