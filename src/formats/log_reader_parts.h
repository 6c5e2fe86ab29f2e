// What the files of the log reader share (log_format.cpp, log_notes.cpp,
// log_summary.cpp); not for other callers.
#pragma once

#include <cstddef>
#include <cstdint>

struct LogReader;  // formats/log_format.h: the reader these parts work on

constexpr std::size_t logErrorCapacity = 400;
// What a run can write. Times: from 1970 to the end of 2999, wide enough for
// a clock that was wrong before the network set it.
constexpr std::int64_t utcMsMost = 32503680000000;  // 3000-01-01T00:00:00.000Z

// Mark the reader failed with `what` (after "line N: "); answer false.
bool failLog(LogReader& reader, const char* what);
// The same, naming the field and its text (shown as printable ASCII).
bool failLogField(LogReader& reader, const char* name, const char* text, std::size_t length, const char* why);
bool parseLogWhole(const char* text, std::size_t length, std::int64_t& value);
bool isLogText(const char* text, std::size_t length, const char* expected);

// A note's source field ("name=value"), its time read and checked already.
// Answers false after failLog when it is not a note this program writes.
bool readLogNote(LogReader& reader, std::int64_t utcMs, const char* source, std::size_t length);
// A run begins (not the log's first): tells the caller, then clears the
// context of the one before.
void beginLogRun(LogReader& reader);
// The run's span takes in a line at `utcMs` (the first sets the start).
void noteLogTime(LogReader& reader, std::int64_t utcMs);
