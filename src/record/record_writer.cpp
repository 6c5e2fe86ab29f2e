#include "record/record_writer.h"

#include <windows.h>

#include <cstdint>

#include "engine/platform_seam.h"
#include "record/recorder.h"

namespace {

// Log lines reach the file within this; a hard kill loses at most these.
constexpr DWORD stepMs = 1000;
// The report is rewritten every this many steps: never more than 10 s old.
constexpr int stepsPerReport = 5;

HANDLE writerThread = nullptr;
HANDLE stopWriter = nullptr;
ULONGLONG startedAt = 0;

DWORD WINAPI writeRecord(LPVOID) {
    for (int step = 1; WaitForSingleObject(stopWriter, stepMs) == WAIT_TIMEOUT; ++step) {
        const auto elapsedMs = static_cast<std::int64_t>(GetTickCount64() - startedAt);
        recorderStep(readUtcMilliseconds(), elapsedMs, step % stepsPerReport == 0);
    }
    return 0;
}

}  // namespace

bool startRecordWriter(unsigned long long runStartMs) {
    startedAt = runStartMs;
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

void stopRecordWriter() {
    if (writerThread == nullptr) return;
    SetEvent(stopWriter);
    WaitForSingleObject(writerThread, INFINITE);
    CloseHandle(writerThread);
    CloseHandle(stopWriter);
    writerThread = nullptr;
    stopWriter = nullptr;
}
