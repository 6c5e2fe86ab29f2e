// What the files reading logs into a comparison share (compare_all.cpp, compare_reading.cpp,
// compare_figures.cpp, compare_verdicts.cpp); not for other callers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "compare/compare_runs.h"
#include "compare/rank_select.h"
#include "formats/log_format.h"

namespace comparison_reading {

constexpr std::size_t chunkBytes = std::size_t{64} * 1024;
// Enough for any range of 64-bit values (rank_select.h), with room.
constexpr std::int64_t passesMost = 16;
constexpr std::int64_t readingStructure = 0;
constexpr std::int64_t readingFigures = 1;
constexpr std::int64_t readingRanks = 2;
// Stretches of a run: the start and every change it can place.
constexpr std::int64_t stretchesMost = priorityChangesKept + 1;

// The rank selections of a run's core: a percentile's rank and its
// interval's two ends among the judged timer events, for the 99th and the
// 99.9th; and among the judged wake lines, the ranks that bound each of
// those (wakeSlot).
constexpr std::int64_t timerSelections = 6;
constexpr std::int64_t wakeSelections = 12;
constexpr std::int64_t selectionsPerCore = timerSelections + wakeSelections;

struct Reading {
    Comparison* out;
    LogReader* reader;
    std::int64_t phase;
    std::int64_t run;        // the run being read, among all the logs'
    std::int64_t runsFound;  // in the first reading, runs beyond comparedMost counted too
    std::int64_t source;     // the log being read
    std::int64_t runsOfSource[comparedMost];
    std::size_t bytesOfSource[comparedMost];  // the first reading's extent
    std::int64_t linesOfRun[comparedMost];    // timer lines of each run, by the figures' reading
    std::int64_t linesSeen;                   // of the run being read
    bool changed;                             // a reading found what the first did not
    // The changes of every run, for their stretches (by level: run 0's).
    std::int64_t changeUtcMs[comparedMost][priorityChangesKept];
    // Per core, for the run being read: the stretch of its last timer
    // event, the time of the unjudged event of each stretch, how many notes
    // counting its wake-ups were read and what the last one counted.
    std::int64_t lastStretch[logReaderCores];
    std::int64_t unjudgedUtcMs[stretchesMost][logReaderCores];
    std::int64_t wakeNotes[logReaderCores];
    WakeCount lastWakes[logReaderCores];
    RankSelection* selections;  // selectionsPerCore per run and core
};

// The level of a run in `stretch` (-1: the start's).
const char* levelOfStretch(const PriorityHistory& history, std::int64_t stretch);
// The rank selections of a compared run's core: selectionsPerCore of them.
RankSelection* selectionsOf(Reading& reading, std::int64_t compared, std::int64_t core);
// What the log reader hands on of every line, for the reading under way.
void onLine(void* context, const LogLine& line);
// "cannot read 'name'" and why, in `error`; answers false.
bool fail(char* error, const char* name, const char* why, const char* detail);
// One reading of every log, from its start; after the first, of as many
// bytes as the first read (compare_reading.cpp).
bool readAll(Reading& reading, const LogSource* sources, std::int64_t count, char* chunk, char* error);
// The figures, then the percentiles, once the runs are known (compare_figures.cpp).
bool readFigures(Reading& reading, const LogSource* sources, std::int64_t count, char* chunk, char* error);
// Every run against the baseline on every core, decided together (compare_verdicts.cpp).
bool judgeRuns(Comparison& c, char* error);

inline bool sameText(const char* a, const char* b) {
    return std::strcmp(a, b) == 0;
}

}  // namespace comparison_reading
