// libFuzzer target: any bytes as a log, read as `--from` reads it (twice,
// the second pass starting at the first's earliest time) in cuts chosen by
// the input's length, then the page of what was read; a log of several runs
// or priority levels is also compared (read again until its percentiles are
// exact) into the comparison page. Nothing may crash or overflow, each page
// must fit the capacity the program gives it, the comparison must accept
// what the reader accepted, and a refusal's message must hold printable
// text only.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "compare/compare_page.h"
#include "compare/compare_runs.h"
#include "formats/html_format.h"
#include "formats/log_format.h"

namespace {

struct Bytes {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    std::size_t piece;
};

bool readBytes(void* context, char* out, std::size_t capacity, std::size_t& got) {
    auto& bytes = *static_cast<Bytes*>(context);
    got = bytes.size - bytes.at;
    if (got > bytes.piece) got = bytes.piece;
    if (got > capacity) got = capacity;
    for (std::size_t k = 0; k < got; ++k) out[k] = static_cast<char>(bytes.data[bytes.at + k]);
    bytes.at += got;
    return true;
}

bool rewindBytes(void* context) {
    static_cast<Bytes*>(context)->at = 0;
    return true;
}

void compareOnce(const std::uint8_t* data, std::size_t size, std::size_t piece) {
    static TextBuffer page{};
    if (page.data == nullptr && !makeTextBuffer(page, comparisonCapacity(comparedMost, logReaderCores))) std::abort();
    Bytes bytes{data, size, 0, piece};
    const LogSource source{"fuzz.csv", &bytes, readBytes, rewindBytes};
    Comparison comparison{};
    char error[compareErrorCapacity];
    // Only more runs than can be compared may be refused.
    if (!compareLogs(comparison, &source, 1, 1000, error)) {
        if (std::strstr(error, "runs: at most 8") == nullptr && std::strstr(error, "more than 8 priority levels") == nullptr) {
            std::abort();
        }
        freeComparison(comparison);
        return;
    }
    formatComparisonPage(comparison, "0.0.0", page);
    if (page.overflowed || page.size > comparisonCapacity(comparison.runCount, comparison.coreCount)) std::abort();
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
    if (logHoldsComparison(reader)) compareOnce(data, size, piece);
    return 0;
}
