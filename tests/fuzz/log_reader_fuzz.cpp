// libFuzzer target: any bytes as a log, read as `--from` reads it (twice,
// the second pass starting at the first's earliest time) in cuts chosen by
// the input's length, then the page of what was read; a log of several runs
// or priority levels is also compared (read again until its percentiles are
// exact) into the comparison page, once as it is and once as a log that
// changes between the readings (a run still writing it, a copy in
// progress: later readings get the input cut, grown or shifted). Nothing
// may crash, overflow or read past the arrays the first reading sized,
// each page must fit the capacity the program gives it, the comparison must
// accept what the reader accepted (unless the log changed, which it must
// then say), and a refusal's message must hold printable text only.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "compare/compare_page.h"
#include "compare/compare_runs.h"
#include "formats/html_format.h"
#include "formats/log_format.h"

namespace {

// How a log changes after its first reading.
enum class Change { none, cut, grown, shifted };

struct Bytes {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    std::size_t piece;
    Change change;
    int rewinds;
};

// The byte at `k` of the reading under way: after the first reading, the
// input cut to two thirds, grown by itself, or moved by one byte.
bool byteAt(const Bytes& bytes, std::size_t k, std::uint8_t& out) {
    const bool later = bytes.rewinds > 1;
    const Change change = later ? bytes.change : Change::none;
    const std::size_t size = change == Change::cut ? bytes.size * 2 / 3 : change == Change::grown ? 2 * bytes.size : bytes.size;
    if (k >= size) return false;
    if (change == Change::shifted) {
        out = k + 1 < bytes.size ? bytes.data[k + 1] : static_cast<std::uint8_t>('\n');
    } else {
        out = bytes.data[k % bytes.size];
    }
    return true;
}

bool readBytes(void* context, char* out, std::size_t capacity, std::size_t& got) {
    auto& bytes = *static_cast<Bytes*>(context);
    got = 0;
    std::uint8_t byte = 0;
    while (got < bytes.piece && got < capacity && byteAt(bytes, bytes.at, byte)) {
        out[got++] = static_cast<char>(byte);
        ++bytes.at;
    }
    return true;
}

bool rewindBytes(void* context) {
    auto& bytes = *static_cast<Bytes*>(context);
    bytes.at = 0;
    ++bytes.rewinds;
    return true;
}

bool allowedRefusal(const char* error, bool changing) {
    return std::strstr(error, "runs: at most 8") != nullptr || std::strstr(error, "more than 8 priority levels") != nullptr ||
           std::strstr(error, "more than the 64 a comparison can place") != nullptr ||
           (changing && std::strstr(error, "it changed while it was compared") != nullptr);
}

void compareOnce(const std::uint8_t* data, std::size_t size, std::size_t piece, Change change) {
    static TextBuffer page{};
    static TextBuffer json{};
    if (page.data == nullptr && (!makeTextBuffer(page, comparisonCapacity(comparedMost, logReaderCores)) ||
                                 !makeTextBuffer(json, comparisonJsonCapacity(comparedMost, logReaderCores)))) {
        std::abort();
    }
    Bytes bytes{data, size, 0, piece, change, 0};
    const LogSource source{"fuzz.csv", &bytes, readBytes, rewindBytes};
    Comparison comparison{};
    char error[compareErrorCapacity];
    // Only more runs, levels or changes than can be compared may be
    // refused, and a log that changed.
    if (!compareLogs(comparison, &source, 1, 1000, size % 2 == 0, error)) {
        if (!allowedRefusal(error, change != Change::none)) std::abort();
        for (const char* p = error; *p != '\0'; ++p) {
            if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7f) std::abort();
        }
        freeComparison(comparison);
        return;
    }
    formatComparisonPage(comparison, "0.0.0", page);
    if (page.overflowed || page.size > comparisonCapacity(comparison.runCount, comparison.coreCount)) std::abort();
    formatComparisonJson(comparison, "0.0.0", json);
    if (json.overflowed) std::abort();
    freeComparison(comparison);
}

bool readInPieces(LogReader& reader, const std::uint8_t* data, std::size_t size, std::size_t piece) {
    for (std::size_t at = 0; at < size; at += piece) {
        if (!readLogChunk(reader, reinterpret_cast<const char*>(data + at), size - at < piece ? size - at : piece)) break;
    }
    return finishLog(reader);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static LogReader reader{};
    static TextBuffer page{};
    if (reader.cores == nullptr && (!makeLogReader(reader) || !makeTextBuffer(page, htmlCapacity(logReaderCores, true)))) {
        std::abort();
    }
    const std::size_t piece = size % 7 == 0 ? 65536 : 1 + size % 61;
    rewindLogReader(reader);
    if (!readInPieces(reader, data, size, piece)) {
        for (const char* p = reader.error.data; *p != '\0'; ++p) {
            if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7f) std::abort();
        }
        return 0;
    }
    const std::int64_t earliestUtcMs = reader.earliestUtcMs;
    rewindLogReader(reader);
    startLogAt(reader, earliestUtcMs);
    if (!readInPieces(reader, data, size, piece)) std::abort();  // the same bytes read the same
    RunSummary run{};
    summaryFromLog(reader, run, "0.0.0", 1000);
    formatHtml(run, page);
    if (page.overflowed || page.size > htmlCapacity(run.coreCount, run.wakes != nullptr)) std::abort();
    if (logHoldsComparison(reader)) {
        compareOnce(data, size, piece, Change::none);
        const Change changes[] = {Change::cut, Change::grown, Change::shifted};
        compareOnce(data, size, piece, changes[size % 3]);
    }
    return 0;
}
