// libFuzzer target: any bytes as a log, read as `--from` reads it (twice,
// the second pass starting at the first's earliest time) in cuts chosen by
// the input's length, then the page of what was read. Nothing may crash or
// overflow, the page must fit the capacity the program gives it, and a
// refusal's message must hold printable text only.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "formats/html_format.h"
#include "formats/log_format.h"

namespace {

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
    return 0;
}
