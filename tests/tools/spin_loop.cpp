// spin_loop: a Windows program that keeps its CPU busy for MS milliseconds,
// COUNT times, PAUSE_MS apart (and PAUSE_MS before the first, so that its
// own start is not one of them, and after the last, so that the process
// snapshot taken after it still finds the process: one that has ended
// counts only to its last reading). Started under `chrt -f 50 taskset -c 1` it
// holds off every thread of Vantrel on that CPU, and its process's CPU time
// grows by as much: the suspect the end-to-end test expects. Each spin ends
// by reading the performance counter; a watchdog such as timeout(1) would
// inherit the real-time priority and CPU and never get to run.
//
//   spin_loop.exe MS COUNT PAUSE_MS   prints "spin=K start_utc_ms=... end_utc_ms=..."
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

long long utcMs() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const long long intervals = static_cast<long long>((static_cast<unsigned long long>(now.dwHighDateTime) << 32) |
                                                       now.dwLowDateTime);
    return intervals / 10000 - 11644473600000LL;
}

long long counterMs() {
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return counter.QuadPart / (frequency.QuadPart / 1000);
}

long argument(const char* text, long most) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= 0 && value <= most ? value : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const long ms = argc == 4 ? argument(argv[1], 5000) : -1;
    const long count = argc == 4 ? argument(argv[2], 100) : -1;
    const long pauseMs = argc == 4 ? argument(argv[3], 60000) : -1;
    if (ms < 0 || count < 0 || pauseMs < 0) {
        static_cast<void>(std::fprintf(stderr, "usage: spin_loop MS(0..5000) COUNT(0..100) PAUSE_MS(0..60000)\n"));
        return 2;
    }
    for (long k = 1; k <= count; ++k) {
        Sleep(static_cast<DWORD>(pauseMs));
        const long long startUtc = utcMs();
        const long long deadline = counterMs() + ms;
        volatile unsigned long long spins = 0;
        while (counterMs() < deadline) spins = spins + 1;
        std::printf("spin=%ld start_utc_ms=%lld end_utc_ms=%lld\n", k, startUtc, utcMs());
        static_cast<void>(std::fflush(stdout));
    }
    Sleep(static_cast<DWORD>(pauseMs));
    return 0;
}
