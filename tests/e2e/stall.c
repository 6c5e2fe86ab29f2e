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

/* A train of `count` stalls of `ms`, each followed by `gapMs` asleep: many
 * stalls from one process, without starting one per stall. */
static int stallTrain(long ms, long count, long gapMs) {
    struct timespec gap = {gapMs / 1000, (gapMs % 1000) * 1000000L};
    volatile unsigned long long spins = 0;
    for (long k = 0; k < count; ++k) {
        long long deadline = nowNs() + ms * 1000000LL;
        while (nowNs() < deadline) ++spins;
        nanosleep(&gap, NULL);
    }
    printf("stalls=%ld\n", count);
    return 0;
}

int main(int argc, char **argv) {
    if (argc != 2 && argc != 4) {
        fprintf(stderr, "usage: stall MILLISECONDS [COUNT GAP_MILLISECONDS]\n");
        return 2;
    }
    long ms = strtol(argv[1], NULL, 10);
    if (ms < 0 || ms > 5000) {
        fprintf(stderr, "stall: %ld ms is out of range (0..5000)\n", ms);
        return 2;
    }
    if (argc == 4) {
        long count = strtol(argv[2], NULL, 10);
        long gapMs = strtol(argv[3], NULL, 10);
        if (count < 1 || count > 10000 || gapMs < 1 || gapMs > 5000) {
            fprintf(stderr, "stall: a train of 1..10000 stalls, 1..5000 ms apart\n");
            return 2;
        }
        return stallTrain(ms, count, gapMs);
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
