// The CPU time of every process the user can list, read a few times a
// second at most, kept as a ring of snapshots that covers the time a stall
// may wait for its cause. Filled by one reader thread of its own (never a
// sampler), read by the record's writer to name the suspects of a stall
// (suspects.h). Portable: the reading itself is process_reader_win32.cpp's,
// and the native tests hand storeProcessReading tables of their own.
#pragma once

#include <cstddef>
#include <cstdint>

// The steady pace: one snapshot every two seconds. Under Wine a call costs
// the program and the wineserver together about 1.5 ms of CPU, so one a
// second came to 0.15 % of a core; every two seconds keeps it under 0.1 %.
// The price: the window before a stall (from the last steady snapshot) is
// up to two seconds, so a process busy all along grows more in it next to
// the one that ran during the stall.
constexpr std::int64_t snapshotPaceUs = 2000000;
// After a stall over snapshotStallUs one is taken at once, but never closer
// than this to the one before: at most four a second.
constexpr std::int64_t snapshotGapUs = 250000;
// Snapshots kept: six seconds at four a second, more at the steady pace;
// a stall waits at most three seconds for its cause, and its window starts
// up to two seconds before it.
constexpr std::int64_t snapshotsKept = 24;

// One thread of a reading, as the system lists it.
struct ThreadReading {
    std::int64_t id;
    std::int64_t cpu;  // user + kernel time since the thread started, 100 ns
    std::int32_t priority;  // its base priority
};

// One process of a reading; its threads are `threadCount` entries of the
// reading's threads from `firstThread` on.
struct ProcessReading {
    std::int64_t pid;
    std::int64_t createTime;  // tells a reused process id from the process that had it
    std::int64_t cpu;         // user + kernel time since the process started, 100 ns
    std::int32_t basePriority;
    const char* name;         // its image name, UTF-8, `nameLength` bytes, not terminated
    std::size_t nameLength;
    std::int64_t firstThread;
    std::int64_t threadCount;
};

// A process as a snapshot keeps it.
struct SnapshotEntry {
    std::int64_t pid;
    std::int64_t createTime;
    std::int64_t cpu;
    // Its thread with the most CPU time since the previous reading, where
    // thread times move; -1 when none moved (or at the first reading).
    std::int64_t topThreadId;
    std::int64_t topThreadCpu;  // 100 ns since the previous reading
    std::int32_t basePriority;
    std::int32_t topThreadPriority;
    std::uint32_t nameAt;  // into the snapshot's names
    std::uint32_t nameLength;
};

struct ProcessSnapshot {
    // The performance counter (us) before and after the system's call: the
    // reading was made in between.
    std::int64_t fromUs;
    std::int64_t toUs;
    // The priority of Vantrel's own threads (its samplers'): the highest
    // base priority among them, or the process's when it lists none.
    std::int32_t ownPriority;
    SnapshotEntry* entries;  // by process id, `count` of `capacity`
    std::int64_t count;
    std::int64_t capacity;
    char* names;
    std::size_t namesUsed;
    std::size_t namesCapacity;
};

// Makes the ring and the reader's buffers for readings of about this many
// processes, threads and bytes of names, before the reader starts; they
// grow on the reader's thread when a reading is larger. `ownPid` is
// Vantrel's own process. Answers false without memory.
bool makeProcessSnapshots(std::int64_t ownPid, std::int64_t processes, std::int64_t threads, std::size_t nameBytes);
// Once the reader has ended (the tests); the program keeps them to its end.
void freeProcessSnapshots();

// One reading, made between fromUs and toUs on the performance counter, into
// the ring. The reader's thread only; takes lockSnapshots briefly, and allocates
// (outside it) only when the reading does not fit. Answers false, the
// reading lost and counted as a failure, without the memory for it.
bool storeProcessReading(std::int64_t fromUs, std::int64_t toUs, const ProcessReading* processes,
                         std::int64_t processCount, const ThreadReading* threads, std::int64_t threadCount);
// A reading that failed (begun at fromUs): counted; a stall that needed it
// has no suspects.
void noteSnapshotFailure(std::int64_t fromUs);
// The reader will read no more (it could not start, or a failure it cannot
// get over): stalls no longer wait for a snapshot.
void stopProcessSnapshots();

// Whether a reader was started for this run, and whether it still reads.
bool processSnapshotsTried();
bool processSnapshotsWork();
std::int64_t processSnapshotsTaken();
std::int64_t processSnapshotFailures();
// Where the last failed reading began; -1 when none failed.
std::int64_t lastSnapshotFailureUs();
std::int64_t ownProcessId();

// With lockSnapshots held: the snapshots of the window of a span fromUs..toUs,
// the last taken before it to the first taken after it, oldest first, into
// `out` (snapshotsKept entries). Answers how many; 0 when the ring has none
// before the span (it never reached, or no longer reaches, so far back);
// -1 when it has one before but none after it yet.
std::int64_t snapshotWindow(std::int64_t fromUs, std::int64_t toUs, const ProcessSnapshot** out);

// Provided by process_reader_win32.cpp. Looks up the system's call, takes a
// first reading, makes the buffers from its size and starts the reader
// thread; sets stallSeen. Answers false, having told `tellFailure` why, when
// the processes cannot be read; a reading that fails later is told there
// once. `tellFailure` must not wait for anything.
bool startProcessSnapshots(void (*tellFailure)(const char* message));
// The same without the thread, and one reading on the calling thread: for
// the bench, which times them.
bool prepareProcessSnapshots(void (*tellFailure)(const char* message));
bool takeProcessSnapshot();
