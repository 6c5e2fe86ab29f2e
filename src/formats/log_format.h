// The log (CSV): its lines written as the run goes, and read back, fed in
// chunks of bytes, into what the page of a run needs: per-core statistics,
// the timeline and the worst events, and the run's context. Both sides are
// here so that they cannot drift apart (log_format.cpp: events,
// log_notes.cpp: the context, log_summary.cpp: the reader's memory and the
// summary). Reading takes fixed memory, made once, so a log of any length
// reads in the same space.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/stall_cause.h"
#include "engine/timer_event.h"
#include "engine/wake_figures.h"
#include "record/run_summary.h"
#include "record/statistics.h"
#include "record/timeline.h"
#include "record/wake_count.h"
#include "text/text_buffer.h"

// The header line, without its line end, of a log written now, and of one
// written before the source column was added.
constexpr char logColumnsWithSource[] = "utc,core,late_ms,late_us,source";
constexpr char logColumns[] = "utc,core,late_ms,late_us";
// The source column's values of events.
constexpr char logSourceTimer[] = "timer";
constexpr char logSourceWake[] = "wake";
// Notes: lines of the run's context, each "<utc>,,,,<name>=<value>" with
// the three number columns empty, so that a reader that sums or filters
// the events (by source, or by a number in late_ms) counts none of them.
// After the header: the program (which also begins a run: logs joined into
// one file read as their runs), the machine, the priority at the start;
// then every priority change.
constexpr char logNoteProgram[] = "vantrel";
constexpr char logNotePriority[] = "priority";
// A timer stall's cause, at the stall's own time: "stall=<core>/<cause>".
constexpr char logNoteStall[] = "stall";
// With --fine, each core's wake-ups counted since the run's start, at each
// priority change (before its line, counted up to the change) and at the
// end: "wakes=<core>/<wake-ups>/<over 5 ms>/<lines left out>", the lines
// left out being late wake-ups (over 1 ms) that the log's limit of lines
// per second (or a full queue) kept out. Differences of two notes of a core
// are the wake-ups of the stretch between them, not only the late ones.
// Logs before 1.8.0 have none: their wake-ups are only the lines.
constexpr char logNoteWakes[] = "wakes";
// The timer resolution: "timer_resolution=<current>/<finest>/<coarsest>"
// at the start, "timer_resolution_change=<current>" at each change and
// "timer_resolution_asked=<asked>[/<granted>]" for --timer-resolution, all
// in 100 ns units.
constexpr char logNoteResolutionChange[] = "timer_resolution_change";
constexpr char logNoteResolutionAsked[] = "timer_resolution_asked";

// The longest log line written, its newline included.
constexpr std::size_t logLineCapacity = 96;
void appendLogHeader(TextBuffer& out);
void appendLogLine(TextBuffer& out, const TimerEvent& event);
// A wake-up later than 1 ms; late_ms is its microseconds / 1000, rounded down.
void appendWakeLine(TextBuffer& out, const WakeEvent& wake);
// The notes after the header: the program's version, the machine's values
// that are known, and the priority at the start.
void appendLogContext(TextBuffer& out, const RunSummary& run);
// "<utc>,,,,priority=<level>[;class=<class>]"
void appendPriorityLine(TextBuffer& out, const PriorityChange& change);
void appendStallLine(TextBuffer& out, std::int64_t core, std::int64_t utcMs, StallCause cause);
// A core's wake-ups counted up to `utcMs` (logNoteWakes).
void appendWakeCountLine(TextBuffer& out, std::int64_t core, std::int64_t utcMs, const WakeCount& count);
void appendResolutionLine(TextBuffer& out, const ResolutionChange& change);

// Core numbers 0 .. 255: the most that a log read back can hold.
constexpr std::int64_t logReaderCores = 256;
// The longest line a log can have is 78 bytes (a 5-field line with two
// 20-character numbers); anything longer is not a log.
constexpr std::size_t longestLogLine = 100;

// What a line read means, for a caller that looks at every line as it is
// read (the comparison of runs): a run begins (before its context is
// cleared for it), a timer event, a wake-up, a priority change (the start's
// included), the cause of a timer stall (core, utcMs and cause), a core's
// wake-ups counted so far (core, utcMs and wakes).
enum class LogLineKind { runBegins, timer, wake, priority, stall, wakeCount };
struct LogLine {
    LogLineKind kind;
    std::int64_t utcMs;
    std::int64_t core;
    std::int64_t lateMs;
    std::int64_t lateUs;
    const PriorityChange* change;  // a priority line's; null otherwise
    StallCause cause = StallCause::unknown;
    WakeCount wakes = {};
};

// What every reader of logs says of a log that holds its header alone.
constexpr char logHeaderOnlyWhy[] =
    "it holds no events yet, only its header (a log that has rolled over keeps the earlier ones in its .1 file)";

struct LogReader {
    CoreStatistics* cores;  // logReaderCores entries
    bool* sampled;          // logReaderCores entries: the core has timer lines
    // From wake lines: a log holds only the wake-ups later than 1 ms, so
    // events, over1ms and the histogram count those alone, and skipped is 0.
    WakeStatistics* wakes;  // logReaderCores entries
    Timeline timeline;      // logReaderCores rows, with wake-ups
    WorstEvent worstTimer[worstEventsKept];
    std::int64_t worstTimerCount;
    WakeEvent worstWakes[worstWakesKept];
    std::int64_t worstWakeCount;

    std::int64_t coreCount;  // the highest core met, plus one
    bool withSource;         // the header has the source column
    bool sawWakes;
    std::int64_t lineNumber;  // whole lines read, the header included
    std::int64_t timerLines;
    // Lines are not in time order (wake lines come after their timer
    // batch): the run spans the earliest to the latest time of any line.
    std::int64_t earliestUtcMs;
    std::int64_t latestUtcMs;
    bool startGiven;  // startLogAt was called
    // Bytes that are not lines: a line cut short at the end, and runs of
    // zero bytes (a power cut leaves the file's new length written before
    // its data) with the pieces of lines they cut into.
    bool endsEarly;  // the log's last bytes were left out
    // A well-formed log without a single event, such as the new file of a
    // log that has just rolled over: refused, but not as a foreign file
    // (logHeaderOnlyWhy says why).
    bool headerOnly;
    std::int64_t bytesLeftOut;
    bool inZeros;     // inside a run of zero bytes
    bool afterZeros;  // the line being put together began right after one

    // The line being put together from the chunks.
    char line[longestLogLine];
    std::size_t lineLength;

    bool failed;
    TextBuffer error;  // why, when failed

    // What the summary points at: the timeline cut to coreCount cores.
    Timeline shown;

    // The context of the run being read (the last run of a log that holds
    // several): cleared where a run begins.
    std::int64_t runCount;  // a header after the first line, or a program note after events, begins one
    bool runHasLines;       // events or notes since the run began
    bool sawTimed;          // any line with a time: the span starts there
    bool machineKnown;
    MachineContext machine;
    char version[priorityTextCapacity];
    PriorityHistory priority;
    char systemText[machineTextCapacity + 16];

    // Called for every line read and kept, or null.
    void (*onLine)(void* context, const LogLine& line);
    void* onLineContext;
};

// Before reading; answers false when the memory is not there.
bool makeLogReader(LogReader& reader);
void freeLogReader(LogReader& reader);

// Back to what makeLogReader left, keeping the memory: for reading the log
// a second time, or another log.
void rewindLogReader(LogReader& reader);

// Before the first chunk, for a caller that read the log once already:
// the timeline begins at `earliestUtcMs` (the first pass's earliestUtcMs)
// instead of the first line's time, so no earlier line is squeezed into
// its first slot.
void startLogAt(LogReader& reader, std::int64_t earliestUtcMs);

// The next bytes of the log, in any cut. Zero bytes after the header are
// left out with what they cut into, up to the next line end after them;
// reading goes on there. Answers false once the log is
// found not to be one; the reason is then in reader.error.data.
bool readLogChunk(LogReader& reader, const char* bytes, std::size_t length);
// After the last chunk: answers false for an empty log, a log without
// events, or an earlier failure (reader.error says which). A last line
// without its line end, or zero bytes at the end, are left out and mark the
// log as ending early.
bool finishLog(LogReader& reader);

// The run as the log tells it, for the page (of a log of several runs, all
// of them together, with the last run's context). The log does not say the
// limit: the caller passes the limit given with the log (-1: none); the
// program's version is the log's, else `version`. Points into `reader`,
// which must outlive `run`.
void summaryFromLog(LogReader& reader, RunSummary& run, const char* version, std::int64_t failAboveUs);

