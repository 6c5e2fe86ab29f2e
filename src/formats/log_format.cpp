// The log's lines, written one per event; and read back line by line into
// statistics, the timeline and the worst events, without allocating after
// makeLogReader. A header after the first line, as in logs joined into one
// file, begins another run.
#include "formats/log_format.h"

#include <charconv>
#include <cstring>

#include "engine/wake_statistics.h"
#include "engine/worst_list.h"
#include "formats/log_reader_parts.h"
#include "record/worst_events.h"
#include "text/utc.h"

void appendLogHeader(TextBuffer& out) {
    appendText(out, logColumnsWithSource);
    appendChar(out, '\n');
}

static void appendLine(TextBuffer& out, std::int64_t utcMs, std::int64_t core, std::int64_t lateMs,
                       std::int64_t lateUs, const char* source) {
    appendUtc(out, utcMs);
    appendChar(out, ',');
    appendInteger(out, core);
    appendChar(out, ',');
    appendInteger(out, lateMs);
    appendChar(out, ',');
    appendInteger(out, lateUs);
    appendChar(out, ',');
    appendText(out, source);
    appendChar(out, '\n');
}

void appendLogLine(TextBuffer& out, const TimerEvent& event) {
    appendLine(out, event.utcMs, event.core, event.lateMs, event.lateUs, logSourceTimer);
}

void appendWakeLine(TextBuffer& out, const WakeEvent& wake) {
    // Rounded down, as the timer events' milliseconds are whole ticks.
    const std::int64_t lateMs = wake.lateUs >= 0 ? wake.lateUs / 1000 : -((999 - wake.lateUs) / 1000);
    appendLine(out, wake.utcMs, wake.core, lateMs, wake.lateUs, logSourceWake);
}

constexpr std::int64_t logFieldsMost = 5;
// Lateness: a timer event comes at most one period (100 ms) early, a wake
// line is written only for a late wake-up, and nothing is later than a year
// (366 days).
constexpr std::int64_t lateUsMost = 366LL * 86400 * 1000000;
constexpr std::int64_t timerLateUsLeast = -100000;

bool failLog(LogReader& reader, const char* what) {
    reader.failed = true;
    clearText(reader.error);
    if (reader.lineNumber > 0) {
        appendText(reader.error, "line ");
        appendInteger(reader.error, reader.lineNumber);
        appendText(reader.error, ": ");
    }
    appendText(reader.error, what);
    return false;
}

// The same, naming the field's text. The message may reach a terminal, so
// everything but printable ASCII is shown as \xNN: a log cannot carry
// escape sequences into it.
bool failLogField(LogReader& reader, const char* name, const char* text, std::size_t length, const char* why) {
    static const char hex[] = "0123456789abcdef";
    failLog(reader, name);
    appendText(reader.error, " '");
    for (std::size_t k = 0; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[k]);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
            appendChar(reader.error, text[k]);
        } else {
            const char escaped[] = {'\\', 'x', hex[byte >> 4], hex[byte & 15]};
            appendText(reader.error, escaped, sizeof escaped);
        }
    }
    appendText(reader.error, "' ");
    appendText(reader.error, why);
    return false;
}

bool parseLogWhole(const char* text, std::size_t length, std::int64_t& value) {
    if (length == 0) return false;
    const std::from_chars_result result = std::from_chars(text, text + length, value);
    return result.ec == std::errc() && result.ptr == text + length;
}

static void addWake(LogReader& reader, std::int64_t core, std::int64_t utcMs, std::int64_t lateUs) {
    // A log holds no skipped deadlines and only the wake-ups it logged.
    countWake(reader.wakes[core], lateUs, 0, utcMs, false);
    keepWorst(reader.worstWakes, reader.worstWakeCount, worstWakesKept, WakeEvent{core, utcMs, lateUs}, wakeRanksBefore);
    addToTimeline(reader.timeline, core, utcMs, lateUs, true);
    reader.sawWakes = true;
}

bool isLogText(const char* text, std::size_t length, const char* expected) {
    return length == std::strlen(expected) && std::memcmp(text, expected, length) == 0;
}

// The columns a header line names: 5 with the source, 4 without, 0 when it
// is no header.
static std::int64_t headerColumns(const char* line, std::size_t length) {
    // A byte-order mark, from an editor that saved the log.
    if (length >= 3 && std::memcmp(line, "\xef\xbb\xbf", 3) == 0) {
        line += 3;
        length -= 3;
    }
    if (isLogText(line, length, logColumns)) return 4;
    return isLogText(line, length, logColumnsWithSource) ? 5 : 0;
}

static bool readHeader(LogReader& reader, const char* line, std::size_t length) {
    const std::int64_t columns = headerColumns(line, length);
    reader.withSource = columns == 5;
    if (columns != 0) return true;
    failLog(reader, "not a log: the first line must be '");
    appendText(reader.error, logColumns);
    appendText(reader.error, "' or '");
    appendText(reader.error, logColumnsWithSource);
    appendChar(reader.error, '\'');
    return false;
}

static void tellLine(LogReader& reader, LogLineKind kind, std::int64_t utcMs, std::int64_t core, std::int64_t lateMs,
                     std::int64_t lateUs) {
    reader.runHasLines = true;
    if (reader.onLine != nullptr) reader.onLine(reader.onLineContext, LogLine{kind, utcMs, core, lateMs, lateUs, nullptr});
}

void noteLogTime(LogReader& reader, std::int64_t utcMs) {
    if (!reader.sawTimed) {
        reader.sawTimed = true;
        reader.earliestUtcMs = utcMs;
        reader.latestUtcMs = utcMs;
        if (!reader.startGiven) reader.timeline.startUtcMs = utcMs;
    }
    if (utcMs < reader.earliestUtcMs) reader.earliestUtcMs = utcMs;
    if (utcMs > reader.latestUtcMs) reader.latestUtcMs = utcMs;
}

static bool readEvent(LogReader& reader, const char* line, std::size_t length) {
    const char* field[logFieldsMost + 1];
    std::size_t fieldLength[logFieldsMost + 1];
    std::int64_t fields = 0;
    const char* from = line;
    for (const char* p = line;; ++p) {
        if (p == line + length || *p == ',') {
            if (fields == logFieldsMost + 1) return failLog(reader, "too many fields");
            field[fields] = from;
            fieldLength[fields] = static_cast<std::size_t>(p - from);
            ++fields;
            from = p + 1;
            if (p == line + length) break;
        }
    }
    const std::int64_t expected = reader.withSource ? 5 : 4;
    if (fields != expected) {
        failLog(reader, "expected ");
        appendInteger(reader.error, expected);
        appendText(reader.error, " fields (");
        appendText(reader.error, reader.withSource ? logColumnsWithSource : logColumns);
        appendText(reader.error, "), found ");
        appendInteger(reader.error, fields);
        return false;
    }

    std::int64_t utcMs = 0;
    std::int64_t core = 0;
    std::int64_t lateMs = 0;
    std::int64_t lateUs = 0;
    if (!parseUtc(field[0], fieldLength[0], utcMs)) {
        return failLogField(reader, "utc", field[0], fieldLength[0], "is not a time like 2026-12-07T14:03:12.345Z");
    }
    if (reader.withSource && fieldLength[1] == 0 && fieldLength[2] == 0 && fieldLength[3] == 0) {
        if (utcMs < 0 || utcMs >= utcMsMost) {
            return failLogField(reader, "utc", field[0], fieldLength[0], "is outside the years 1970 to 2999");
        }
        if (!readLogNote(reader, utcMs, field[4], fieldLength[4])) return false;
        noteLogTime(reader, utcMs);
        return true;
    }
    if (!parseLogWhole(field[1], fieldLength[1], core) || core < 0) {
        return failLogField(reader, "core", field[1], fieldLength[1], "is not a core number");
    }
    if (core >= logReaderCores) {
        return failLogField(reader, "core", field[1], fieldLength[1], "is beyond the 256 cores a page can show");
    }
    if (!parseLogWhole(field[2], fieldLength[2], lateMs)) {
        return failLogField(reader, "late_ms", field[2], fieldLength[2], "is not a whole number");
    }
    if (!parseLogWhole(field[3], fieldLength[3], lateUs)) {
        return failLogField(reader, "late_us", field[3], fieldLength[3], "is not a whole number");
    }
    bool wake = false;
    if (reader.withSource) {
        const char* source = field[4];
        const std::size_t sourceLength = fieldLength[4];
        wake = isLogText(source, sourceLength, logSourceWake);
        if (!wake && !isLogText(source, sourceLength, logSourceTimer)) {
            return failLogField(reader, "source", source, sourceLength, "is neither 'timer', 'wake' nor a note");
        }
    }
    if (utcMs < 0 || utcMs >= utcMsMost) {
        return failLogField(reader, "utc", field[0], fieldLength[0], "is outside the years 1970 to 2999");
    }
    const std::int64_t leastUs = wake ? 0 : timerLateUsLeast;
    const char* const range = wake ? "is below 0 or beyond a year" : "is below -100 ms (one period early) or beyond a year";
    if (lateMs < leastUs / 1000 || lateMs > lateUsMost / 1000) return failLogField(reader, "late_ms", field[2], fieldLength[2], range);
    if (lateUs < leastUs || lateUs > lateUsMost) return failLogField(reader, "late_us", field[3], fieldLength[3], range);
    // Checked before anything is added, so a refused line changes nothing.
    std::int64_t sum = 0;
    const bool overflows = wake ? __builtin_add_overflow(reader.wakes[core].sumUs, lateUs, &sum)
                                : __builtin_add_overflow(reader.cores[core].sumUs, lateUs, &sum) ||
                                      __builtin_add_overflow(reader.cores[core].sumMs, lateMs, &sum) ||
                                      __builtin_add_overflow(reader.cores[core].lateSumUs, lateUs > 0 ? lateUs : 0, &sum);
    if (overflows) return failLog(reader, "the lateness of the core's lines adds up to more than a run can measure");

    noteLogTime(reader, utcMs);
    if (core >= reader.coreCount) reader.coreCount = core + 1;
    reader.timeline.coreCount = reader.coreCount;
    if (wake) {
        addWake(reader, core, utcMs, lateUs);
        tellLine(reader, LogLineKind::wake, utcMs, core, lateMs, lateUs);
        return true;
    }
    addToStatistics(reader.cores[core], TimerEvent{core, lateMs, lateUs, utcMs});
    reader.sampled[core] = true;
    keepWorst(reader.worstTimer, reader.worstTimerCount, worstEventsKept, WorstEvent{core, utcMs, lateUs, lateMs},
              worstRanksBefore);
    addToTimeline(reader.timeline, core, utcMs, lateUs, false);
    ++reader.timerLines;
    tellLine(reader, LogLineKind::timer, utcMs, core, lateMs, lateUs);
    return true;
}

static bool readLine(LogReader& reader) {
    ++reader.lineNumber;
    const std::size_t whole = reader.lineLength;
    std::size_t length = whole;
    const char* line = reader.line;
    reader.lineLength = 0;
    if (length > 0 && line[length - 1] == '\r') --length;  // a log copied through Windows tools
    if (reader.lineNumber == 1) return readHeader(reader, line, length);
    const bool afterZeros = reader.afterZeros;
    reader.afterZeros = false;
    // Logs joined into one file: each header begins a run of its own.
    const std::int64_t columns = headerColumns(line, length);
    if (columns != 0) {
        beginLogRun(reader);
        reader.withSource = columns == 5;
        return true;
    }
    if (length > 0 && readEvent(reader, line, length)) return true;
    if (!afterZeros) return length == 0 ? failLog(reader, "an empty line") : false;
    // After zero bytes a line may have lost its start: what does not read
    // as a line is left out with them.
    reader.failed = false;
    clearText(reader.error);
    reader.bytesLeftOut += static_cast<std::int64_t>(whole) + 1;
    return true;
}

void startLogAt(LogReader& reader, std::int64_t earliestUtcMs) {
    reader.timeline.startUtcMs = earliestUtcMs;
    reader.startGiven = true;
}

bool readLogChunk(LogReader& reader, const char* bytes, std::size_t length) {
    for (std::size_t k = 0; k < length && !reader.failed; ++k) {
        if (bytes[k] == '\0') {
            if (reader.lineNumber == 0) {
                ++reader.lineNumber;
                failLog(reader, "not a log: its first line holds zero bytes");
                break;
            }
            // The line that the zeros cut into goes with them.
            if (!reader.inZeros) reader.bytesLeftOut += static_cast<std::int64_t>(reader.lineLength);
            reader.lineLength = 0;
            reader.inZeros = true;
            ++reader.bytesLeftOut;
            continue;
        }
        if (reader.inZeros) {
            reader.inZeros = false;
            reader.afterZeros = true;
        }
        if (bytes[k] == '\n') {
            readLine(reader);
        } else if (reader.lineLength == longestLogLine) {
            ++reader.lineNumber;
            failLog(reader, "longer than any line of a log");
        } else {
            reader.line[reader.lineLength++] = bytes[k];
        }
    }
    return !reader.failed;
}

bool finishLog(LogReader& reader) {
    if (reader.failed) return false;
    if (reader.lineNumber == 0) {
        return failLog(reader, reader.lineLength == 0 ? "the log is empty" : "the log ends inside its first line");
    }
    reader.endsEarly = reader.lineLength > 0 || reader.inZeros;
    reader.bytesLeftOut += static_cast<std::int64_t>(reader.lineLength);
    reader.lineLength = 0;
    if (reader.timerLines == 0 && !reader.sawWakes) {
        reader.headerOnly = true;
        return failLog(reader, "the log holds no events, only its header");
    }
    return true;
}

