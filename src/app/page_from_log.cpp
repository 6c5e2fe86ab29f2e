#include "app/page_from_log.h"

#include <windows.h>

#include <cstdlib>

#include "app/compare_logs.h"
#include "app/user_output.h"
#include "app/version.h"
#include "files/output_file.h"
#include "files/utf16.h"
#include "compare/compare_page.h"
#include "formats/html_format.h"
#include "formats/log_format.h"
#include "record/problem_list.h"
#include "record/run_summary.h"
#include "text/text_buffer.h"

namespace {

// Read in pieces this size: the reader keeps its own fixed state, so a log
// of any length takes the same memory.
constexpr DWORD chunkBytes = 64 * 1024;

int refuse(const char* first, const char* second, const char* third) {
    char line[messageCapacity * 2];
    joinText(line, sizeof line, {"vantrel: ", first, second, third, "\n"});
    tellUser(line, true);
    return exitBadCommandLine;
}

HANDLE openLog(const char* path) {
    wchar_t* wide = utf16Of(path, L"", BadUtf8::refused);
    if (wide == nullptr) return INVALID_HANDLE_VALUE;
    HANDLE file = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    std::free(wide);
    return file;
}

// Feeds the whole file to the reader; answers false with `error` set when
// it cannot be read.
bool readWholeLog(HANDLE file, LogReader& reader, char* error, const char* path) {
    auto* chunk = static_cast<char*>(std::malloc(chunkBytes));
    if (chunk == nullptr) {
        describeFailure(error, "read", path, "not enough memory");
        return false;
    }
    bool good = true;
    for (;;) {
        DWORD count = 0;
        if (ReadFile(file, chunk, chunkBytes, &count, nullptr) == 0) {
            describeFailure(error, "read", path, "the system refused the read");
            good = false;
            break;
        }
        if (count == 0 || !readLogChunk(reader, chunk, count)) break;
    }
    std::free(chunk);
    return good;
}

int makePageLocked(const CommandLine& options) {
    HANDLE file = openLog(options.fromPath);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        return refuse("cannot open '", options.fromPath,
                      code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? "': no such file" : "'");
    }
    LogReader reader{};
    if (!makeLogReader(reader)) {
        CloseHandle(file);
        return refuse("not enough memory to read '", options.fromPath, "'");
    }
    char error[messageCapacity];
    bool read = readWholeLog(file, reader, error, options.fromPath);
    // Read twice: the first pass finds the earliest time, which lines out of
    // time order (wake lines come after their timer batch) can hold, so the
    // second pass's timeline begins there.
    if (read && finishLog(reader)) {
        const std::int64_t earliestUtcMs = reader.earliestUtcMs;
        rewindLogReader(reader);
        startLogAt(reader, earliestUtcMs);
        LARGE_INTEGER start{};
        if (SetFilePointerEx(file, start, nullptr, FILE_BEGIN) == 0) {
            describeFailure(error, "read", options.fromPath, "the system refused the read");
            read = false;
        } else {
            read = readWholeLog(file, reader, error, options.fromPath);
        }
    }
    CloseHandle(file);
    if (!read) {
        freeLogReader(reader);
        return refuse(error, "", "");
    }
    if (!finishLog(reader)) {
        char quoted[messageCapacity];
        describeFailure(quoted, "read", options.fromPath, "it is not a log of Vantrel: ");
        const int code = refuse(quoted, reader.error.data != nullptr ? reader.error.data : "", "");
        freeLogReader(reader);
        return code;
    }

    // Several runs in one log (logs joined into one file) make the page that
    // compares them; one run at several levels gets its comparison of the
    // levels at the end of its page.
    if (logHoldsComparison(reader) && reader.runCount > 1) {
        freeLogReader(reader);
        return makeComparisonPage(options);
    }
    TextBuffer appendix{};
    Comparison comparison{};
    int code = exitComplete;
    if (logHoldsComparison(reader)) {
        code = compareFromLogs(options, comparison);
        if (code != exitBadCommandLine && makeTextBuffer(appendix, comparisonCapacity(comparison.runCount, comparison.coreCount))) {
            appendComparisonSection(appendix, comparison);
        }
        freeComparison(comparison);
        if (code == exitBadCommandLine) {
            freeLogReader(reader);
            return code;
        }
    }

    RunSummary run{};
    summaryFromLog(reader, run, VANTREL_VERSION, options.hasFailAbove ? options.failAboveUs : -1);
    run.pageAppendix = appendix.data != nullptr && !appendix.overflowed ? appendix.data : nullptr;
    TextBuffer page{};
    WholeFile* target = makeWholeFile(options.htmlPath);
    // As the run would have ended: 3 when an event was later than the limit.
    code = run.thresholdCrossed ? exitThresholdCrossed : exitComplete;
    if (target == nullptr || !makeTextBuffer(page, htmlCapacity(run.coreCount, run.wakes != nullptr) + appendix.size)) {
        code = refuse("not enough memory for the page '", options.htmlPath, "'");
    } else {
        formatHtml(run, page);
        if (page.overflowed) {
            code = refuse("the page '", options.htmlPath, "' did not fit in its buffer");
        } else if (!replaceWholeFile(target, page.data, page.size, error)) {
            code = refuse(error, "", "");
        }
    }
    freeTextBuffer(appendix);
    freeTextBuffer(page);
    freeWholeFile(target);
    freeLogReader(reader);
    return code;
}

}  // namespace

// The page, made while its lock is held: a run that writes the same page is
// not overwritten under its feet, nor its temporary.
int makePageFromLog(const CommandLine& options) {
    char error[messageCapacity];
    OutputLock* lock = nullptr;
    if (lockOutput(options.htmlPath, &lock, error) == LockAnswer::heldElsewhere) return refuse(error, "", "");
    const int code = options.fromCount > 1 ? makeComparisonPage(options) : makePageLocked(options);
    unlockOutput(lock);
    return code;
}
