// Times what the suspects cost under the real calls: one snapshot of every
// process's CPU time (the reader thread pays it every two seconds, and once
// after a stall) and the ranking of one stall's suspects against the ring
// (the record's writer, once per stall caused by threads). Prints medians
// and the worst in microseconds (wall time, the wineserver's part of the
// call included), and the process's own CPU time per snapshot with its
// share of one core at the steady pace.
//
//   snapshot_bench.exe [repetitions]     (default 100; 20 ms apart)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/platform_seam.h"
#include "engine/ticks.h"
#include "processes/process_snapshots.h"
#include "processes/suspects.h"

namespace {

double microsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER end;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

void printFigures(const char* what, std::vector<double>& values) {
    std::sort(values.begin(), values.end());
    std::printf("%s: median %.1f us, worst %.1f us (%zu)\n", what, values[values.size() / 2], values.back(), values.size());
}

// The process's own CPU time (user + kernel) in microseconds: under Wine in
// 10 ms steps, so it is read across a whole loop, not per call.
double processCpuMicros() {
    FILETIME created;
    FILETIME ended;
    FILETIME kernel;
    FILETIME user;
    if (GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user) == 0) return 0.0;
    const auto of = [](const FILETIME& f) {
        return static_cast<double>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10.0;
    };
    return of(kernel) + of(user);
}

void tellOut(const char* message) {
    std::printf("told: %s\n", message);
}

}  // namespace

int main(int argc, char** argv) {
    int repetitions = 100;
    if (argc > 1) {
        char* end = nullptr;
        const long value = std::strtol(argv[1], &end, 10);
        if (end != argv[1] && *end == '\0' && value > 0 && value < 100000) repetitions = static_cast<int>(value);
    }
    if (!createSampleLock() || !prepareProcessSnapshots(tellOut)) {
        std::printf("the processes cannot be read here\n");
        return 1;
    }
    std::vector<double> snapshots;
    const double cpuBefore = processCpuMicros();
    for (int i = 0; i < repetitions; ++i) {
        Sleep(20);
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        if (!takeProcessSnapshot()) return 1;
        snapshots.push_back(microsSince(start));
    }
    // The sleeps' own CPU time is in it too: an upper bound.
    const double cpuPerSnapshot = (processCpuMicros() - cpuBefore) / repetitions;
    // A stall between the last two snapshots, ranked as often as the ring allows.
    const ProcessSnapshot* window[snapshotsKept];
    lockSamples();
    const std::int64_t nowUs = ticksToMicroseconds(readPerformanceCounter(), performanceCounterFrequency());
    const std::int64_t count = snapshotWindow(nowUs - 25000, nowUs - 24000, window);
    const std::int64_t processes = count > 0 ? window[count - 1]->count : 0;
    const std::int32_t ownPriority = count > 0 ? window[count - 1]->ownPriority : -1;
    unlockSamples();
    std::vector<double> rankings;
    for (int i = 0; i < 1000; ++i) {
        StallSuspects suspects{};
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        findStallSuspects(nowUs - 25000, nowUs - 24000, true, suspects);
        rankings.push_back(microsSince(start));
    }
    std::printf("%lld processes in a snapshot, %lld snapshots in the window, own threads' priority %d\n",
                static_cast<long long>(processes), static_cast<long long>(count), static_cast<int>(ownPriority));
    printFigures("one snapshot", snapshots);
    std::printf("process CPU time per snapshot: %.1f us; one snapshot every %.1f s: %.4f %% of a core\n", cpuPerSnapshot,
                static_cast<double>(snapshotPaceUs) / 1e6, cpuPerSnapshot / static_cast<double>(snapshotPaceUs) * 100.0);
    printFigures("one stall's suspects", rankings);
    return 0;
}
