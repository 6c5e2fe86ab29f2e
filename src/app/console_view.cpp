// The console of a recorded run (console_view.h): where standard output
// goes, the live block drawn with virtual-terminal sequences where the
// console takes them and with the console's cursor calls where it does not,
// and the summary at the end. The lines themselves are src/console's.
#include "app/console_view.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "app/user_output.h"
#include "console/console_text.h"
#include "console/live_block.h"
#include "console/summary_lines.h"
#include "formats/context_format.h"
#include "formats/sweep_format.h"
#include "formats/run_end.h"
#include "formats/suspect_format.h"
#include "record/context_record.h"
#include "record/recorder.h"
#include "record/run_summary.h"
#include "text/text_buffer.h"
#include "window/monitor_window.h"

namespace {

// The summary with a sweep's lines (a head, then at most seven levels, each
// a head and at most about 200 bytes a core: its figures and its verdict),
// what fell short, and the worst stall's first suspect.
std::size_t consoleSummaryCapacity(std::int64_t coreCount) {
    const auto cores = static_cast<std::size_t>(coreCount < 0 ? 0 : coreCount);
    return runSummaryCapacity(coreCount) + 8 * (160 + 256 * cores) + 2048;
}

// Consoles whose window the system does not report are drawn as this size.
constexpr SHORT defaultWidth = 80;
constexpr SHORT defaultHeight = 25;

enum class Output { nowhere, console, stream };

Output output = Output::nowhere;
HANDLE outHandle = nullptr;
bool attached = false;      // to the console the program was started from
bool live = false;          // the live block is drawn
bool sequences = false;     // with virtual-terminal sequences
bool restoreMode = false;   // the console's mode was changed for them
DWORD savedMode = 0;
bool errorOnConsole = false;  // standard error shows on the same console
std::int64_t plannedMs = -1;

// The live block's, taken by whoever draws or erases it; nobody waits for
// it: a step that finds it taken skips a second, a line to tell is told
// without taking the block away.
std::atomic<bool> blockBusy{false};
// How long the close waits for a drawing of the block to end.
constexpr int blockWaitMs = 500;
std::int64_t blockLines = 0;
SHORT blockTop = 0;  // the console's row of its first line, for the cursor calls
TextBuffer blockText{};
// The summary fitted to a console's width, and that written over the block.
TextBuffer fittedText{};
TextBuffer overText{};
wchar_t* wideText = nullptr;
std::size_t wideCapacity = 0;

// The final figures, kept by the writer (or the main thread) for the end.
RunSummary finalRun{};
std::atomic<bool> finalKept{false};

bool usable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return usable(handle) && GetConsoleMode(handle, &mode) != 0;
}

// A console gets UTF-16, so that "µs" shows whatever its code page; a file
// or a pipe the UTF-8 bytes, with line feeds only.
void writeOut(const char* text, std::size_t size) {
    DWORD written = 0;
    if (output == Output::console && wideText != nullptr) {
        const int length = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), wideText,
                                               static_cast<int>(wideCapacity));
        if (length > 0) WriteConsoleW(outHandle, wideText, static_cast<DWORD>(length), &written, nullptr);
        return;
    }
    WriteFile(outHandle, text, static_cast<DWORD>(size), &written, nullptr);
}

LiveConsole consoleNow() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    LiveConsole console{defaultWidth, defaultHeight, plannedMs, sequences};
    if (GetConsoleScreenBufferInfo(outHandle, &info) != 0) {
        const std::int64_t width = info.srWindow.Right - info.srWindow.Left + 1;
        const std::int64_t height = info.srWindow.Bottom - info.srWindow.Top + 1;
        if (width > 1) console.width = width;
        if (height > 1) console.height = height;
    }
    return console;
}

std::int64_t cursorRow() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(outHandle, &info) == 0) return 0;
    return info.dwCursorPosition.Y;
}

void moveToBlockTop() {
    SetConsoleCursorPosition(outHandle, COORD{0, blockTop});
}

// Takes the block away, leaving the cursor where it began. With the block
// held.
void eraseBlock() {
    if (blockLines == 0) return;
    if (sequences) {
        clearText(blockText);
        appendBlockErase(blockText, blockLines);
        writeOut(blockText.data, blockText.size);
    } else {
        const LiveConsole console = consoleNow();
        DWORD written = 0;
        FillConsoleOutputCharacterW(outHandle, L' ', static_cast<DWORD>(console.width * blockLines), COORD{0, blockTop},
                                    &written);
        moveToBlockTop();
    }
    blockLines = 0;
}

void drawLiveBlock(std::int64_t nowUtcMs, std::int64_t elapsedMs) {
    // The block first, then whether it is still drawn: the summary at the
    // close takes the block before it ends the drawing.
    if (blockBusy.exchange(true, std::memory_order_acquire)) return;
    if (!live) {
        blockBusy.store(false, std::memory_order_release);
        return;
    }
    const RunSummary run = takeViewSummary(nowUtcMs, elapsedMs, false);
    const LiveConsole console = consoleNow();
    if (!sequences && blockLines > 0) moveToBlockTop();
    const std::int64_t lines = formatLiveBlock(run, console, blockLines, blockText);
    if (!blockText.overflowed) {
        writeOut(blockText.data, blockText.size);
        blockLines = lines;
        // Where the block now begins, after whatever scrolling its lines made.
        const std::int64_t top = cursorRow() - lines;
        if (!sequences) blockTop = static_cast<SHORT>(top > 0 ? top : 0);
    }
    blockBusy.store(false, std::memory_order_release);
}

// Ctrl+C or Ctrl+Break in the console ends the run as closing the window
// does, with its final record and summary, instead of killing the process.
BOOL WINAPI onConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    noteRunEnd(endedByInterrupt);
    PostMessageA(monitorWindow, WM_CLOSE, 0, 0);
    return TRUE;
}

void useConsole(HANDLE handle, std::int64_t coreCount) {
    output = Output::console;
    outHandle = handle;
    live = true;
    DWORD mode = 0;
    GetConsoleMode(handle, &mode);
    sequences = (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    if (!sequences && SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
        sequences = true;
        restoreMode = true;
        savedMode = mode;
    }
    errorOnConsole = isConsole(GetStdHandle(STD_ERROR_HANDLE));
    const LiveConsole largest{liveWidthMost, liveHeightMost, -1, sequences};
    const std::size_t summary = consoleSummaryCapacity(coreCount);
    const std::size_t capacity = liveBlockCapacity(largest) > summary ? liveBlockCapacity(largest) : summary;
    const std::size_t over = overBlockCapacity(fittedCapacity(summary));
    wideCapacity = capacity > over ? capacity : over;
    wideText = static_cast<wchar_t*>(std::malloc(wideCapacity * sizeof(wchar_t)));
    if (!makeTextBuffer(blockText, capacity) || !makeTextBuffer(fittedText, fittedCapacity(summary)) ||
        !makeTextBuffer(overText, over) || wideText == nullptr) {
        live = false;
    }
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

}  // namespace

void openConsoleView(const CommandLine& options, std::int64_t coreCount) {
    if (options.quiet) return;
    plannedMs = options.hasDuration ? options.durationMs : options.hasSweep ? sweepPlannedMs(options) : -1;
    HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (isConsole(handle)) {
        useConsole(handle, coreCount);
        return;
    }
    if (usable(handle) && GetFileType(handle) != FILE_TYPE_UNKNOWN) {
        output = Output::stream;
        outHandle = handle;
        makeTextBuffer(blockText, consoleSummaryCapacity(coreCount));
        return;
    }
    // A windowed program started from a console has no standard output
    // there unless it was redirected: the console it was started from gets
    // what a console program would write. Started from Explorer there is
    // none, and nothing is written.
    if (AttachConsole(ATTACH_PARENT_PROCESS) == 0) return;
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (!isConsole(console)) {
        if (usable(console)) CloseHandle(console);
        FreeConsole();
        return;
    }
    attached = true;
    useConsole(console, coreCount);
}

void recordAndShowStep(std::int64_t nowUtcMs, std::int64_t elapsedMs, bool rewrite) {
    recorderStep(nowUtcMs, elapsedMs, rewrite);
    drawLiveBlock(nowUtcMs, elapsedMs);
}

void keepFinalFigures(std::int64_t nowUtcMs, std::int64_t elapsedMs) {
    if (output == Output::nowhere) return;
    finalRun = takeViewSummary(nowUtcMs, elapsedMs, true);
    finalKept.store(true, std::memory_order_release);
}

void finishAndKeepRecord(std::int64_t nowUtcMs, std::int64_t elapsedMs, std::int64_t giveUpAtCounter) {
    finishRecorder(nowUtcMs, elapsedMs, giveUpAtCounter);
    keepFinalFigures(nowUtcMs, elapsedMs);
}

void tellAboveLiveBlock(const char* line) {
    if (live && errorOnConsole && !blockBusy.exchange(true, std::memory_order_acquire)) {
        eraseBlock();
        tellStandardError(line);
        blockBusy.store(false, std::memory_order_release);
        return;
    }
    tellStandardError(line);
}

void closeConsoleView(int exitCode, const char* unfinished) {
    if (output == Output::nowhere) return;
    // A writer left behind at the end (a write that never returned) may still
    // hold the block: it is left as it is, and the summary goes below it.
    // With sequences the summary is written over the block in the same write.
    std::int64_t overLines = 0;
    // The summary is built and written with the block held, so that no
    // second of the block is drawn into it: a drawing under way is waited
    // for, a little (the writer may be the one left behind).
    bool held = false;
    for (int k = 0; live && k < blockWaitMs && !held; ++k) {
        held = !blockBusy.exchange(true, std::memory_order_acquire);
        if (!held) Sleep(1);
    }
    if (held) {
        if (sequences && overText.data != nullptr) {
            overLines = blockLines;
            blockLines = 0;
        } else {
            eraseBlock();
        }
    }
    live = false;
    const RunSummary* run = unfinished == nullptr && finalKept.load(std::memory_order_acquire) ? &finalRun : nullptr;
    if (blockText.data != nullptr) {
        clearText(blockText);
        // The cores, then what the record adds to them (a sweep's levels,
        // the processes that ran during the worst stall), then the verdict.
        for (std::int64_t core = 0; run != nullptr && core < run->coreCount; ++core) appendCoreSummary(blockText, *run, core);
        if (run != nullptr) {
            appendSweepLines(blockText, *run);
            if (sweepFellShort(*run)) {
                appendText(blockText, "sweep: ");
                appendSweepShortfall(blockText, *run);
                appendText(blockText, "\n");
            }
            if (appendWorstStallSuspect(blockText, *run)) appendText(blockText, "\n");
        }
        appendVerdictLine(blockText, run, exitCode, unfinished);
        const TextBuffer* text = &blockText;
        if (output == Output::console && fittedText.data != nullptr) {
            // Broken between words where the console is too narrow for a
            // line: where the console wraps a line itself, anywhere, Wine's
            // console in a terminal also redraws it over the lines above.
            // Over the block, the sequences that move up and erase take
            // columns of their lines in Wine's console, which wraps a line
            // that reaches the width.
            clearText(fittedText);
            const std::int64_t lineTaken = overLines > 0 ? static_cast<std::int64_t>(overBlockLineTaken) : 0;
            const std::int64_t room = consoleNow().width - 1 - lineTaken;
            appendFittedLines(fittedText, blockText.data, blockText.size, static_cast<std::size_t>(room > 0 ? room : 0),
                              overBlockFirstTaken(overLines));
            text = &fittedText;
            if (overLines > 0) {
                clearText(overText);
                appendOverBlock(overText, overLines, fittedText.data, fittedText.size);
                text = &overText;
            }
        }
        if (!text->overflowed) writeOut(text->data, text->size);
    }
    if (held) blockBusy.store(false, std::memory_order_release);
    if (output == Output::console) SetConsoleCtrlHandler(onConsoleControl, FALSE);
    if (restoreMode) SetConsoleMode(outHandle, savedMode);
    if (attached) {
        CloseHandle(outHandle);
        FreeConsole();
    }
    output = Output::nowhere;
}
