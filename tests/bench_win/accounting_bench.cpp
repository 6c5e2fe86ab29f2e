// Times what the stall causes cost under the real calls: one reading of the
// time accounting of every core (core 0's sampler pays it once per 100 ms
// period) and the attribution of one stall against a full ring of steps
// (the record's writer). Prints medians in microseconds and the reading's
// share of one core.
//
//   accounting_bench.exe [repetitions]     (default 100; 51 ms apart)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/accounting.h"
#include "engine/platform_seam.h"

namespace {

double medianOf(std::vector<double>& values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double microsBetween(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    // An optional repetition count; anything unreadable keeps the default.
    int repetitions = 100;
    if (argc > 1) {
        char* end = nullptr;
        const long value = std::strtol(argv[1], &end, 10);
        if (end != argv[1] && *end == '\0' && value > 0 && value < 1000000) repetitions = static_cast<int>(value);
    }
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    const std::int64_t cores = static_cast<std::int32_t>(info.dwNumberOfProcessors);
    if (!createSampleLock() || !startAccounting(cores, nullptr) || accountingReader == nullptr) {
        std::printf("the accounting cannot be read here\n");
        return 1;
    }
    std::vector<double> reads;
    for (int i = 0; i < repetitions; ++i) {
        // Readings closer than 50 ms are skipped on purpose.
        Sleep(51);
        LARGE_INTEGER start;
        LARGE_INTEGER end;
        QueryPerformanceCounter(&start);
        accountingReader();
        QueryPerformanceCounter(&end);
        reads.push_back(microsBetween(start, end));
    }
    AccountingStep steps[accountingStepsKept];
    const std::int64_t count = copyAccountingSteps(1 % cores, steps);
    std::vector<double> attributions;
    volatile int sink = 0;
    for (int i = 0; i < 1000; ++i) {
        LARGE_INTEGER start;
        LARGE_INTEGER end;
        QueryPerformanceCounter(&start);
        const Attribution a = attributeStall(steps, count, steps[count - 1].toUs - 1000, 150000, accountingResolutionUs());
        QueryPerformanceCounter(&end);
        sink = sink + static_cast<int>(a.cause);
        attributions.push_back(microsBetween(start, end));
    }
    const double read = medianOf(reads);
    std::printf("one reading of %lld cores: median %.1f us, %.4f %% of a core at one per 100 ms\n",
                static_cast<long long>(cores), read, read / 100000.0 * 100.0);
    std::printf("one stall against %lld steps: median %.2f us (the writer's, once per stall)\n",
                static_cast<long long>(count), medianOf(attributions));
    return 0;
}
