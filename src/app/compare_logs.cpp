#include "app/compare_logs.h"

#include <windows.h>

#include <cstdlib>

#include "app/user_output.h"
#include "app/version.h"
#include "compare/compare_page.h"
#include "files/output_file.h"
#include "files/utf16.h"
#include "record/problem_list.h"
#include "text/text_buffer.h"

namespace {

struct LogFile {
    HANDLE handle;
};

bool readFile(void* context, char* bytes, std::size_t capacity, std::size_t& got) {
    DWORD count = 0;
    const bool read = ReadFile(static_cast<LogFile*>(context)->handle, bytes, static_cast<DWORD>(capacity), &count, nullptr) != 0;
    got = count;
    return read;
}

bool rewindFile(void* context) {
    LARGE_INTEGER start{};
    return SetFilePointerEx(static_cast<LogFile*>(context)->handle, start, nullptr, FILE_BEGIN) != 0;
}

int refuse(const char* first, const char* second, const char* third) {
    char line[compareErrorCapacity + messageCapacity];
    joinText(line, sizeof line, {"vantrel: ", first, second, third, "\n"});
    tellUser(line, true);
    return exitBadCommandLine;
}

}  // namespace

int compareFromLogs(const CommandLine& options, Comparison& comparison) {
    comparison = Comparison{};
    LogFile files[maxFromLogs] = {};
    LogSource sources[maxFromLogs] = {};
    int code = exitComplete;
    for (std::int64_t k = 0; k < options.fromCount; ++k) {
        const char* path = options.fromPaths[k];
        wchar_t* wide = utf16Of(path, L"", BadUtf8::refused);
        files[k].handle = wide == nullptr ? INVALID_HANDLE_VALUE
                                          : CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        std::free(wide);
        if (files[k].handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            code = refuse("cannot open '", path,
                          error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? "': no such file" : "'");
            break;
        }
        sources[k] = LogSource{path, &files[k], readFile, rewindFile};
    }
    if (code == exitComplete) {
        char error[compareErrorCapacity];
        if (!compareLogs(comparison, sources, options.fromCount, options.hasFailAbove ? options.failAboveUs : -1, options.fine,
                         error)) {
            code = refuse(error, "", "");
        }
    }
    for (const LogFile& file : files) {
        if (file.handle != nullptr && file.handle != INVALID_HANDLE_VALUE) CloseHandle(file.handle);
    }
    if (code != exitComplete) return code;
    for (std::int64_t r = 0; r < comparison.runCount; ++r) {
        if (comparison.runs[r].crossed) return exitThresholdCrossed;
    }
    return exitComplete;
}

namespace {

// Writes the comparison whole to `path` (--html, --report); the exit code.
int writeWhole(const char* path, void (*format)(const Comparison&, const char*, TextBuffer&), std::size_t capacity,
               const Comparison& comparison) {
    TextBuffer text{};
    WholeFile* target = makeWholeFile(path);
    char error[messageCapacity];
    int code = exitComplete;
    if (target == nullptr || !makeTextBuffer(text, capacity)) {
        code = refuse("not enough memory for '", path, "'");
    } else {
        format(comparison, VANTREL_VERSION, text);
        if (text.overflowed) {
            code = refuse("'", path, "' did not fit in its buffer");
        } else if (!replaceWholeFile(target, text.data, text.size, error)) {
            code = refuse(error, "", "");
        }
    }
    freeTextBuffer(text);
    freeWholeFile(target);
    return code;
}

}  // namespace

void tellComparison(const CommandLine& options, const Comparison& comparison, int code, bool withExitLine) {
    if (options.quiet) return;
    TextBuffer lines{};
    if (!makeTextBuffer(lines, comparisonLinesCapacity(comparison.runCount, comparison.coreCount))) return;
    if (withExitLine) {
        appendComparisonLines(lines, comparison, code);
    } else {
        appendComparisonVerdictLines(lines, comparison);
    }
    if (!lines.overflowed) tellUser(lines.data, false);
    freeTextBuffer(lines);
}

int makeComparisonPage(const CommandLine& options) {
    Comparison comparison{};
    int code = compareFromLogs(options, comparison);
    if (code == exitBadCommandLine) {
        freeComparison(comparison);
        return code;
    }
    int written = exitComplete;
    if (options.hasHtml) {
        written = writeWhole(options.htmlPath, formatComparisonPage,
                             comparisonCapacity(comparison.runCount, comparison.coreCount), comparison);
    }
    if (written == exitComplete && options.hasReport) {
        written = writeWhole(options.reportPath, formatComparisonJson,
                             comparisonJsonCapacity(comparison.runCount, comparison.coreCount), comparison);
    }
    if (written != exitComplete) code = written;
    if (code != exitBadCommandLine) tellComparison(options, comparison, code, true);
    freeComparison(comparison);
    return code;
}
