// --log-max-mb: a log that reaches its bound is renamed to its rolled name
// (PATH with ".1" before its extension, replacing an older one) and a new
// log starts with the same header. Run by the recorder's writer only.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "files/output_file.h"
#include "text/text_buffer.h"

// "run.csv" -> "run.1.csv", "C:\logs\run" -> "C:\logs\run.1", ".csv" ->
// ".csv.1" (a name that is all extension keeps it whole). False when it
// does not fit `capacity`.
bool rolledLogName(const char* path, char* out, std::size_t capacity);

struct LogRoll {
    const char* path;  // the log
    char rolledPath[1024];
    std::size_t maxBytes;  // 0: never rolled
    // The log's size at which it rolls next: maxBytes, or later after a
    // rename that failed, so that a reader holding the rolled log open is
    // not asked again at every batch.
    std::size_t rollAt;
    TextBuffer header;  // the log's header and context, as at the start
    bool headerOwed;    // the new log's header is still to be written
    bool failing;
    // Read by the snapshots, written by the writer.
    std::atomic<std::int64_t> rolls;
};

// Before the log's next batch (none of it written yet): rolls the log over
// when it is due. `log` and `bytesWritten` are the recorder's; answers false
// when nothing may be written to the log now (its header could not be).
bool rollLogIfDue(LogRoll& roll, OutputFile*& log, std::size_t& bytesWritten);
