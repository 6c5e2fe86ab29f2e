// Times the monitor's 100 ms repaint under the real Win32 calls: every row
// redrawn (2, 64 and 256 cores), no sampler row redrawn, and the tray icon
// update on its own. Prints the median and spread of each in microseconds.
//
//   refresh_bench.exe [repetitions]     (default 2000)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "window/monitor_window.h"

namespace {

double ticksPerMicrosecond() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart) / 1e6;
}

void fillRealisticRows(std::int64_t count) {
    for (std::int64_t r = 0; r < count; ++r) {
        std::int64_t* columns = &sampleTables.graphColumns[r * graphStride];
        for (std::int64_t k = 0; k < graphWidth; ++k) columns[k] = 1 + ((k * 7 + r * 3) % 23 == 0 ? 12 : (k + r) % 3);
        columns[graphWidth] = columns[graphWidth - 1];
        formatLabel(10 + r * 37 % 900, sampleTables.labelText[r]);
    }
}

void report(const char* name, std::vector<double>& micros) {
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) { return micros[static_cast<size_t>(q * static_cast<double>(micros.size() - 1))]; };
    std::printf("%-44s n=%-5zu median %8.1f us   p10 %8.1f   p90 %8.1f   min %8.1f   max %8.1f\n", name,
                micros.size(), at(0.5), at(0.1), at(0.9), micros.front(), micros.back());
}

enum class Dirty { allRows, none };

// One repaint per repetition, the tray update kept out of it (it has its own
// figure below): repaintCounter is reset before each run.
void timeRefresh(const char* name, std::int64_t cores, Dirty dirty, std::int64_t onTop, int repetitions) {
    createSampleTables();
    if (setupMonitorWindow(cores) != 1) {
        std::printf("%s: setup failed\n", name);
        return;
    }
    fillRealisticRows(cores);
    keepOnTop = onTop;
    const double scale = ticksPerMicrosecond();
    std::vector<double> micros;
    micros.reserve(static_cast<size_t>(repetitions));
    for (int i = -50; i < repetitions; ++i) {
        for (std::int64_t r = 0; r < cores; ++r) sampleTables.rowDirty[r] = dirty == Dirty::allRows ? 1 : 0;
        sampleTables.repaintCounter = 0;
        sampleTables.lastTick[0] = GetTickCount() - 100;
        LARGE_INTEGER start;
        LARGE_INTEGER end;
        QueryPerformanceCounter(&start);
        refreshMonitor();
        QueryPerformanceCounter(&end);
        if (i >= 0) micros.push_back(static_cast<double>(end.QuadPart - start.QuadPart) / scale);
    }
    report(name, micros);
    teardownMonitorWindow();
    MSG quit;
    PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

void timeTrayUpdate(int repetitions) {
    createSampleTables();
    if (setupMonitorWindow(2) != 1) return;
    const double scale = ticksPerMicrosecond();
    std::vector<double> micros;
    for (int i = -10; i < repetitions; ++i) {
        sampleTables.trayPeak[1] = i % 16;
        sampleTables.anyRowRedrawn = 1;
        LARGE_INTEGER start;
        LARGE_INTEGER end;
        QueryPerformanceCounter(&start);
        updateTrayIcon();
        QueryPerformanceCounter(&end);
        if (i >= 0) micros.push_back(static_cast<double>(end.QuadPart - start.QuadPart) / scale);
    }
    report("tray icon update (every 32nd repaint)", micros);
    teardownMonitorWindow();
    MSG quit;
    PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

}  // namespace

int main(int argc, char** argv) {
    // An optional repetition count; anything unreadable keeps the default.
    long requested = 2000;
    if (argc > 1) {
        char* end = nullptr;
        const long value = std::strtol(argv[1], &end, 10);
        if (end != argv[1] && *end == '\0' && value > 0 && value < 1000000) requested = value;
    }
    const int repetitions = static_cast<int>(std::max(10L, requested));
    timeRefresh("refresh, 2 cores, every row dirty", 2, Dirty::allRows, 1, repetitions);
    timeRefresh("refresh, 64 cores, every row dirty", 64, Dirty::allRows, 1, repetitions / 4);
    timeRefresh("refresh, 256 cores, every row dirty", 256, Dirty::allRows, 1, repetitions / 16);
    timeRefresh("refresh, 64 cores, only core 0's own row", 64, Dirty::none, 1, repetitions);
    timeRefresh("refresh, 64 cores, only core 0, not topmost", 64, Dirty::none, 0, repetitions);
    timeRefresh("refresh, 2 cores, only core 0's own row", 2, Dirty::none, 1, repetitions);
    timeTrayUpdate(repetitions / 4);
    return 0;
}
