#include "files/record_writer.h"

#include <windows.h>

#include <cstdint>

#include "engine/platform_seam.h"
#include "engine/ticks.h"

namespace {

// Log lines reach the file within this; a hard kill loses at most these.
constexpr DWORD stepMs = 1000;
// The report is rewritten every this many steps: never more than 10 s old.
constexpr int stepsPerReport = 5;
// The log gets this long less than the whole end, so that the final report
// can still go out after it.
constexpr ULONGLONG reportReserveMs = 2000;

HANDLE writerThread = nullptr;
HANDLE stopWriter = nullptr;
ULONGLONG startedAt = 0;
ULONGLONG finishBy = 0;
RecordWriterSteps writerSteps{};

std::int64_t elapsedMs() {
    return static_cast<std::int64_t>(GetTickCount64() - startedAt);
}

DWORD WINAPI writeRecord(LPVOID) {
    for (int step = 1; WaitForSingleObject(stopWriter, stepMs) == WAIT_TIMEOUT; ++step) {
        writerSteps.step(readUtcMilliseconds(), elapsedMs(), step % stepsPerReport == 0);
    }
    // The log may use the time left until the end, less the report's share.
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG logMs = finishBy > now + reportReserveMs ? finishBy - now - reportReserveMs : 0;
    const std::int64_t giveUpAt =
        readPerformanceCounter() + millisecondsToTicks(static_cast<std::int64_t>(logMs), performanceCounterFrequency());
    writerSteps.finish(readUtcMilliseconds(), elapsedMs(), giveUpAt);
    return 0;
}

}  // namespace

bool startRecordWriter(unsigned long long runStartMs, const RecordWriterSteps& steps) {
    startedAt = runStartMs;
    writerSteps = steps;
    stopWriter = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (stopWriter == nullptr) return false;
    writerThread = CreateThread(nullptr, 0, writeRecord, nullptr, 0, nullptr);
    if (writerThread == nullptr) {
        CloseHandle(stopWriter);
        stopWriter = nullptr;
        return false;
    }
    return true;
}

bool finishRecordWriter(unsigned long long lastMs) {
    if (writerThread == nullptr) return false;
    finishBy = lastMs;
    SetEvent(stopWriter);
    const ULONGLONG now = GetTickCount64();
    const DWORD waitMs = lastMs > now ? static_cast<DWORD>(lastMs - now) : 0;
    if (WaitForSingleObject(writerThread, waitMs) != WAIT_OBJECT_0) {
        // Left running: the process ends it. Nothing else waits for it.
        return false;
    }
    CloseHandle(writerThread);
    CloseHandle(stopWriter);
    writerThread = nullptr;
    stopWriter = nullptr;
    return true;
}
