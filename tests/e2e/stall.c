/* Keeps one CPU busy for a given number of milliseconds and then ends by
 * itself. Run at real-time priority on one CPU (chrt -f 50 taskset -c 1) it
 * holds off every ordinary thread pinned to that CPU, which is how the
 * end-to-end tests make one core's timer events late. It must stop by
 * reading the clock: a watchdog such as timeout(1) would inherit the same
 * priority and CPU and never get to run. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static long long readNs(clockid_t clock) {
    struct timespec now;
    clock_gettime(clock, &now);
    return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

static long long nowNs(void) {
    return readNs(CLOCK_MONOTONIC);
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: stall MILLISECONDS\n");
        return 2;
    }
    long ms = strtol(argv[1], NULL, 10);
    if (ms < 0 || ms > 5000) {
        fprintf(stderr, "stall: %ld ms is out of range (0..5000)\n", ms);
        return 2;
    }
    long long startUtc = readNs(CLOCK_REALTIME);
    long long start = nowNs();
    long long deadline = start + ms * 1000000LL;
    volatile unsigned long long spins = 0;
    while (nowNs() < deadline) ++spins;
    long long end = nowNs();
    long long endUtc = readNs(CLOCK_REALTIME);
    printf("stalled_ms=%lld\n", (end - start) / 1000000LL);
    /* When, for a benchmark that matches the stall with what saw it: on the
     * monotonic clock (cyclictest's) and in UTC (a log's). */
    printf("started_mono_us=%lld ended_mono_us=%lld started_utc_us=%lld ended_utc_us=%lld\n", start / 1000,
           end / 1000, startUtc / 1000, endUtc / 1000);
    return 0;
}
