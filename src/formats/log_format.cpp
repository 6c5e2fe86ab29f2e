// The log's lines, written one per event; and read back line by line into
// statistics, the timeline and the worst events, without allocating after
// makeLogReader.
#include "formats/log_format.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/wake_statistics.h"
#include "engine/worst_list.h"
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

constexpr std::size_t logErrorCapacity = 400;
constexpr std::int64_t logFieldsMost = 5;
// What a run can write. Times: from 1970 to the end of 2999, wide enough for
// a clock that was wrong before the network set it. Lateness: a timer event
// comes at most one period (100 ms) early, a wake line is written only for
// a late wake-up, and nothing is later than a year (366 days).
constexpr std::int64_t utcMsMost = 32503680000000;  // 3000-01-01T00:00:00.000Z
constexpr std::int64_t lateUsMost = 366LL * 86400 * 1000000;
constexpr std::int64_t timerLateUsLeast = -100000;

bool makeLogReader(LogReader& reader) {
    reader = LogReader{};
    reader.cores = new (std::nothrow) CoreStatistics[logReaderCores]();
    reader.sampled = new (std::nothrow) bool[logReaderCores]();
    reader.wakes = new (std::nothrow) WakeStatistics[logReaderCores]();
    // The start is not known before the first line; it is set there.
    const bool made = reader.cores != nullptr && reader.sampled != nullptr && reader.wakes != nullptr &&
                      makeTimeline(reader.timeline, logReaderCores, 0, true) &&
                      makeTextBuffer(reader.error, logErrorCapacity);
    if (!made) freeLogReader(reader);
    // Rows for every core are there; the timeline takes in (and merges) the
    // rows of the cores met so far, so a log of 4 cores merges 4 rows.
    reader.timeline.coreCount = 0;
    return made;
}

void freeLogReader(LogReader& reader) {
    delete[] reader.cores;
    delete[] reader.sampled;
    delete[] reader.wakes;
    freeTimeline(reader.timeline);
    freeTextBuffer(reader.error);
    reader = LogReader{};
}

void rewindLogReader(LogReader& reader) {
    LogReader kept = reader;
    reader = LogReader{};
    reader.cores = kept.cores;
    reader.sampled = kept.sampled;
    reader.wakes = kept.wakes;
    reader.timeline = kept.timeline;
    reader.error = kept.error;
    std::fill_n(reader.cores, logReaderCores, CoreStatistics{});
    std::fill_n(reader.sampled, logReaderCores, false);
    std::fill_n(reader.wakes, logReaderCores, WakeStatistics{});
    // Rows beyond the cores met were never written.
    std::fill_n(reader.timeline.timerLateUs, kept.coreCount * timelineSlots, timelineEmpty);
    std::fill_n(reader.timeline.wakeLateUs, kept.coreCount * timelineSlots, timelineEmpty);
    reader.timeline.coreCount = 0;
    reader.timeline.startUtcMs = 0;
    reader.timeline.slotMs = timelineFirstSlotMs;
    reader.timeline.slotsUsed = 0;
    clearText(reader.error);
}

static bool fail(LogReader& reader, const char* what) {
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
static bool failField(LogReader& reader, const char* name, const char* text, std::size_t length, const char* why) {
    static const char hex[] = "0123456789abcdef";
    fail(reader, name);
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

static bool parseWhole(const char* text, std::size_t length, std::int64_t& value) {
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

static bool isText(const char* text, std::size_t length, const char* expected) {
    return length == std::strlen(expected) && std::memcmp(text, expected, length) == 0;
}

static bool readHeader(LogReader& reader, const char* line, std::size_t length) {
    if (isText(line, length, logColumns)) return true;
    if (isText(line, length, logColumnsWithSource)) {
        reader.withSource = true;
        return true;
    }
    fail(reader, "not a log: the first line must be '");
    appendText(reader.error, logColumns);
    appendText(reader.error, "' or '");
    appendText(reader.error, logColumnsWithSource);
    appendChar(reader.error, '\'');
    return false;
}

static bool readEvent(LogReader& reader, const char* line, std::size_t length) {
    const char* field[logFieldsMost + 1];
    std::size_t fieldLength[logFieldsMost + 1];
    std::int64_t fields = 0;
    const char* from = line;
    for (const char* p = line;; ++p) {
        if (p == line + length || *p == ',') {
            if (fields == logFieldsMost + 1) return fail(reader, "too many fields");
            field[fields] = from;
            fieldLength[fields] = static_cast<std::size_t>(p - from);
            ++fields;
            from = p + 1;
            if (p == line + length) break;
        }
    }
    const std::int64_t expected = reader.withSource ? 5 : 4;
    if (fields != expected) {
        fail(reader, "expected ");
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
        return failField(reader, "utc", field[0], fieldLength[0], "is not a time like 2026-12-07T14:03:12.345Z");
    }
    if (!parseWhole(field[1], fieldLength[1], core) || core < 0) {
        return failField(reader, "core", field[1], fieldLength[1], "is not a core number");
    }
    if (core >= logReaderCores) {
        return failField(reader, "core", field[1], fieldLength[1], "is beyond the 256 cores a page can show");
    }
    if (!parseWhole(field[2], fieldLength[2], lateMs)) {
        return failField(reader, "late_ms", field[2], fieldLength[2], "is not a whole number");
    }
    if (!parseWhole(field[3], fieldLength[3], lateUs)) {
        return failField(reader, "late_us", field[3], fieldLength[3], "is not a whole number");
    }
    bool wake = false;
    if (reader.withSource) {
        const char* source = field[4];
        const std::size_t sourceLength = fieldLength[4];
        wake = isText(source, sourceLength, logSourceWake);
        if (!wake && !isText(source, sourceLength, logSourceTimer)) {
            return failField(reader, "source", source, sourceLength, "is neither 'timer' nor 'wake'");
        }
    }
    if (utcMs < 0 || utcMs >= utcMsMost) {
        return failField(reader, "utc", field[0], fieldLength[0], "is outside the years 1970 to 2999");
    }
    const std::int64_t leastUs = wake ? 0 : timerLateUsLeast;
    const char* const range = wake ? "is below 0 or beyond a year" : "is below -100 ms (one period early) or beyond a year";
    if (lateMs < leastUs / 1000 || lateMs > lateUsMost / 1000) return failField(reader, "late_ms", field[2], fieldLength[2], range);
    if (lateUs < leastUs || lateUs > lateUsMost) return failField(reader, "late_us", field[3], fieldLength[3], range);
    // Checked before anything is added, so a refused line changes nothing.
    std::int64_t sum = 0;
    const bool overflows = wake ? __builtin_add_overflow(reader.wakes[core].sumUs, lateUs, &sum)
                                : __builtin_add_overflow(reader.cores[core].sumUs, lateUs, &sum) ||
                                      __builtin_add_overflow(reader.cores[core].sumMs, lateMs, &sum) ||
                                      __builtin_add_overflow(reader.cores[core].lateSumUs, lateUs > 0 ? lateUs : 0, &sum);
    if (overflows) return fail(reader, "the lateness of the core's lines adds up to more than a run can measure");

    if (reader.timerLines == 0 && !reader.sawWakes) {
        reader.earliestUtcMs = utcMs;
        reader.latestUtcMs = utcMs;
        if (!reader.startGiven) reader.timeline.startUtcMs = utcMs;
    }
    if (utcMs < reader.earliestUtcMs) reader.earliestUtcMs = utcMs;
    if (utcMs > reader.latestUtcMs) reader.latestUtcMs = utcMs;
    if (core >= reader.coreCount) reader.coreCount = core + 1;
    reader.timeline.coreCount = reader.coreCount;
    if (wake) {
        addWake(reader, core, utcMs, lateUs);
        return true;
    }
    addToStatistics(reader.cores[core], TimerEvent{core, lateMs, lateUs, utcMs});
    reader.sampled[core] = true;
    keepWorst(reader.worstTimer, reader.worstTimerCount, worstEventsKept, WorstEvent{core, utcMs, lateUs, lateMs},
              worstRanksBefore);
    addToTimeline(reader.timeline, core, utcMs, lateUs, false);
    ++reader.timerLines;
    return true;
}

static bool readLine(LogReader& reader) {
    ++reader.lineNumber;
    const std::size_t whole = reader.lineLength;
    std::size_t length = whole;
    const char* line = reader.line;
    reader.lineLength = 0;
    if (length > 0 && line[length - 1] == '\r') --length;  // a log copied through Windows tools
    if (reader.lineNumber == 1) {
        // A byte-order mark, from an editor that saved the log.
        if (length >= 3 && std::memcmp(line, "\xef\xbb\xbf", 3) == 0) {
            line += 3;
            length -= 3;
        }
        return readHeader(reader, line, length);
    }
    const bool afterZeros = reader.afterZeros;
    reader.afterZeros = false;
    if (length > 0 && readEvent(reader, line, length)) return true;
    if (!afterZeros) return length == 0 ? fail(reader, "an empty line") : false;
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
                fail(reader, "not a log: its first line holds zero bytes");
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
            fail(reader, "longer than any line of a log");
        } else {
            reader.line[reader.lineLength++] = bytes[k];
        }
    }
    return !reader.failed;
}

bool finishLog(LogReader& reader) {
    if (reader.failed) return false;
    if (reader.lineNumber == 0) {
        return fail(reader, reader.lineLength == 0 ? "the log is empty" : "the log ends inside its first line");
    }
    reader.endsEarly = reader.lineLength > 0 || reader.inZeros;
    reader.bytesLeftOut += static_cast<std::int64_t>(reader.lineLength);
    reader.lineLength = 0;
    if (reader.timerLines == 0 && !reader.sawWakes) return fail(reader, "the log holds no events, only its header");
    return true;
}

void summaryFromLog(LogReader& reader, RunSummary& run, const char* version, std::int64_t failAboveUs) {
    reader.shown = reader.timeline;
    reader.shown.coreCount = reader.coreCount;
    if (!reader.sawWakes) reader.shown.wakeLateUs = nullptr;

    run = RunSummary{};
    run.version = version;
    run.readFromLog = true;
    run.machineName = "";
    run.systemVersion = "";
    run.startedUtcMs = reader.earliestUtcMs;
    run.updatedUtcMs = reader.latestUtcMs;
    run.elapsedMs = reader.latestUtcMs - reader.earliestUtcMs;
    // The log is all there is of the run: nothing more will come.
    run.finished = true;
    run.failAboveUs = failAboveUs;
    run.coreCount = reader.coreCount;
    run.cores = reader.cores;
    run.sampled = reader.sampled;
    for (std::int64_t c = 0; c < reader.coreCount; ++c) {
        // As the recorder judges: the tick count's lateness above the limit.
        if (failAboveUs >= 0 && reader.cores[c].events > 0 && reader.cores[c].maxMs * 1000 > failAboveUs) {
            run.thresholdCrossed = true;
        }
        // With wake lines the run was --fine, where wake-ups count too.
        if (failAboveUs >= 0 && reader.sawWakes && reader.wakes[c].events > 0 && reader.wakes[c].maxUs > failAboveUs) {
            run.thresholdCrossed = true;
        }
    }
    run.worstTimer = reader.worstTimer;
    run.worstTimerCount = reader.worstTimerCount;
    if (reader.sawWakes) {
        run.wakes = reader.wakes;
        run.fineMethod = "";
        run.worstWakes = reader.worstWakes;
        run.worstWakeCount = reader.worstWakeCount;
    }
    run.timeline = &reader.shown;
    run.logEndsEarly = reader.endsEarly;
    run.logBytesLeftOut = reader.bytesLeftOut;
}
