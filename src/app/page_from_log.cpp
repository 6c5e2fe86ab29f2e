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
#include "formats/report_format.h"
#include "console/summary_lines.h"
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

// The page of one run from its log (with `appendixBytes` of comparison):
// the exit code.
int writePage(const char* path, const RunSummary& run, std::size_t appendixBytes) {
    TextBuffer page{};
    WholeFile* target = makeWholeFile(path);
    char error[messageCapacity];
    int code = exitComplete;
    if (target == nullptr || !makeTextBuffer(page, htmlCapacity(run.coreCount, run.wakes != nullptr) + appendixBytes)) {
        code = refuse("not enough memory for the page '", path, "'");
    } else {
        formatHtml(run, page);
        if (page.overflowed) {
            code = refuse("the page '", path, "' did not fit in its buffer");
        } else if (!replaceWholeFile(target, page.data, page.size, error)) {
            code = refuse(error, "", "");
        }
    }
    freeTextBuffer(page);
    freeWholeFile(target);
    return code;
}

// The JSON of a text made by `format` into a buffer of `capacity`.
int writeJson(const char* path, std::size_t capacity, void (*format)(const void*, TextBuffer&), const void* what) {
    TextBuffer text{};
    WholeFile* target = makeWholeFile(path);
    char error[messageCapacity];
    int code = exitComplete;
    if (target == nullptr || !makeTextBuffer(text, capacity)) {
        code = refuse("not enough memory for the report '", path, "'");
    } else {
        format(what, text);
        if (text.overflowed) {
            code = refuse("the report '", path, "' did not fit in its buffer");
        } else if (!replaceWholeFile(target, text.data, text.size, error)) {
            code = refuse(error, "", "");
        }
    }
    freeTextBuffer(text);
    freeWholeFile(target);
    return code;
}

int writeRunReport(const char* path, const RunSummary& run) {
    return writeJson(path, reportCapacity(run.coreCount, run.wakes != nullptr),
                     [](const void* what, TextBuffer& out) { formatReport(*static_cast<const RunSummary*>(what), out); }, &run);
}

int writeComparisonReport(const char* path, const Comparison& comparison) {
    return writeJson(path, comparisonJsonCapacity(comparison.runCount, comparison.coreCount),
                     [](const void* what, TextBuffer& out) {
                         formatComparisonJson(*static_cast<const Comparison*>(what), VANTREL_VERSION, out);
                     },
                     &comparison);
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
        const bool headerOnly = reader.headerOnly;
        describeFailure(quoted, "read", options.fromPath,
                        headerOnly ? logHeaderOnlyWhy : "it is not a log of Vantrel: ");
        const int code = refuse(quoted, headerOnly || reader.error.data == nullptr ? "" : reader.error.data, "");
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
    // A run with priority changes is judged as the comparison judges it:
    // the first period after each change is not (verdict/judge.h), for the
    // limit too, so the page, the console and the exit code agree.
    TextBuffer appendix{};
    Comparison comparison{};
    const bool levels = logHoldsComparison(reader);
    bool compared = false;
    int code = exitComplete;
    if (levels || reader.priority.count > 0) {
        code = compareFromLogs(options, comparison);
        if (code == exitBadCommandLine) {
            freeComparison(comparison);
            freeLogReader(reader);
            return code;
        }
        compared = true;
        if (levels && options.hasHtml &&
            makeTextBuffer(appendix, comparisonCapacity(comparison.runCount, comparison.coreCount))) {
            appendComparisonSection(appendix, comparison);
        }
    }

    RunSummary run{};
    summaryFromLog(reader, run, VANTREL_VERSION, options.hasFailAbove ? options.failAboveUs : -1);
    if (compared) {
        bool crossed = false;
        for (std::int64_t r = 0; r < comparison.runCount; ++r) crossed = crossed || comparison.runs[r].crossed;
        run.thresholdCrossed = crossed;
    }
    run.pageAppendix = appendix.data != nullptr && !appendix.overflowed ? appendix.data : nullptr;
    // As the run would have ended: 3 when a judged event was later than the limit.
    code = run.thresholdCrossed ? exitThresholdCrossed : exitComplete;
    if (options.hasHtml) {
        const int written = writePage(options.htmlPath, run, appendix.size);
        if (written != exitComplete) code = written;
    }
    if (options.hasReport && code != exitBadCommandLine) {
        // Of levels, their comparison; of one run, its report.
        const int written = levels ? writeComparisonReport(options.reportPath, comparison) : writeRunReport(options.reportPath, run);
        if (written != exitComplete) code = written;
    }
    if (code != exitBadCommandLine && !options.quiet) {
        TextBuffer lines{};
        if (makeTextBuffer(lines, runSummaryCapacity(run.coreCount))) {
            appendRunSummary(lines, &run, code, nullptr);
            if (!lines.overflowed) tellUser(lines.data, false);
        }
        freeTextBuffer(lines);
        if (levels) tellComparison(options, comparison, code, false);
    }
    freeComparison(comparison);
    freeTextBuffer(appendix);
    freeLogReader(reader);
    return code;
}

}  // namespace

// The page and the report, made while their locks are held: a run that
// writes the same files is not overwritten under its feet, nor their
// temporaries.
int makePageFromLog(const CommandLine& options) {
    char error[messageCapacity];
    OutputLock* locks[2] = {};
    const char* paths[2] = {options.hasHtml ? options.htmlPath : nullptr, options.hasReport ? options.reportPath : nullptr};
    for (std::size_t k = 0; k < 2; ++k) {
        if (paths[k] == nullptr || lockOutput(paths[k], &locks[k], error) != LockAnswer::heldElsewhere) continue;
        unlockOutput(locks[0]);
        return refuse(error, "", "");
    }
    const int code = options.fromCount > 1 ? makeComparisonPage(options) : makePageLocked(options);
    unlockOutput(locks[1]);
    unlockOutput(locks[0]);
    return code;
}
