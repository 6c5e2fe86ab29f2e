// Reading logs into the runs compared (compare_runs.h): a first reading
// finds the runs, their context and the cores, and how many bytes each log
// holds; a second adds up the figures of the judged events; further
// readings narrow each percentile and the ends of its interval down to
// their values; the judge (verdict/judge.h) then decides every verdict of
// the page together.
#include "compare/compare_runs.h"

#include <cstdlib>
#include <cstring>

#include "engine/wake_statistics.h"
#include "formats/log_format.h"
#include "text/text_buffer.h"

namespace {

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

const PriorityHistory& historyOf(const Reading& reading) {
    const Comparison& c = *reading.out;
    return c.byLevel || reading.run >= c.runCount ? c.runs[0].priority : c.runs[reading.run].priority;
}

const std::int64_t* changesOf(const Reading& reading) {
    const Comparison& c = *reading.out;
    return reading.changeUtcMs[c.byLevel || reading.run >= c.runCount ? 0 : reading.run];
}

std::int64_t stretchOf(const Reading& reading, std::int64_t utcMs) {
    return stretchAt(changesOf(reading), historyOf(reading).listed, utcMs);
}

const char* levelOfStretch(const PriorityHistory& history, std::int64_t stretch) {
    return stretch < 0 ? history.start.level : history.changes[stretch].level;
}

// The compared run of the run being read, in `stretch` (-1: none).
std::int64_t comparedOf(const Reading& reading, std::int64_t stretch) {
    const Comparison& c = *reading.out;
    if (!c.byLevel) return reading.run < c.runCount ? reading.run : -1;
    const char* level = levelOfStretch(c.runs[0].priority, stretch);
    for (std::int64_t k = 0; k < c.runCount; ++k) {
        if (std::strcmp(c.runs[k].name, level) == 0) return k;
    }
    return -1;
}

void resetCores(Reading& reading) {
    for (std::int64_t core = 0; core < logReaderCores; ++core) {
        reading.lastStretch[core] = -2;
        reading.wakeNotes[core] = 0;
        reading.lastWakes[core] = WakeCount{};
        for (std::int64_t s = 0; s < stretchesMost; ++s) reading.unjudgedUtcMs[s][core] = -1;
    }
    reading.linesSeen = 0;
}

// The context of the run just read, from the reader before it clears it.
void keepContext(Reading& reading) {
    if (reading.phase != readingStructure || reading.out->byLevel || reading.run >= comparedMost) return;
    ComparedRun& run = reading.out->runs[reading.run];
    run.machineKnown = reading.reader->machineKnown;
    run.machine = reading.reader->machine;
    std::memcpy(run.version, reading.reader->version, sizeof run.version);
    run.priority = reading.reader->priority;
}

// A run ends: its timer lines must be as many as the figures' reading found.
void endRun(Reading& reading) {
    keepContext(reading);
    if (reading.run < 0 || reading.run >= comparedMost) return;
    if (reading.phase == readingFigures) reading.linesOfRun[reading.run] = reading.linesSeen;
    if (reading.phase == readingRanks && reading.linesOfRun[reading.run] != reading.linesSeen) reading.changed = true;
}

RankSelection* selectionsOf(Reading& reading, std::int64_t compared, std::int64_t core) {
    return reading.selections + selectionsPerCore * (compared * reading.out->coreCount + core);
}

void addTimer(ComparedRun& run, ComparedCore& core, const LogLine& line, std::int64_t failAboveUs) {
    if (core.events == 0 || line.lateUs < core.minUs) core.minUs = line.lateUs;
    if (core.events == 0 || line.lateUs > core.maxUs) core.maxUs = line.lateUs;
    if (core.events == 0 || line.lateMs > core.maxMs) core.maxMs = line.lateMs;
    ++core.events;
    core.sumUs += line.lateUs;
    ++core.histogram[histogramBucketOf(line.lateMs)];
    if (isStall(line.lateUs)) ++core.stalls;
    if (crossesLimit(failAboveUs, false, line.lateMs, line.lateUs)) run.crossed = true;
    if (!run.timed || line.utcMs < run.fromUtcMs) run.fromUtcMs = line.utcMs;
    if (!run.timed || line.utcMs > run.toUtcMs) run.toUtcMs = line.utcMs;
    run.timed = true;
}

void onTimer(Reading& reading, const LogLine& line) {
    Comparison& c = *reading.out;
    if (reading.phase == readingStructure) return;
    ++reading.linesSeen;
    if (line.core >= c.coreCount) {
        reading.changed = true;
        return;
    }
    // The first event of a core in a stretch begun by a change measured a
    // period that began under the level before: not judged.
    const std::int64_t stretch = stretchOf(reading, line.utcMs);
    const bool judged = timerEventJudged(reading.lastStretch[line.core], stretch);
    reading.lastStretch[line.core] = stretch;
    const std::int64_t compared = comparedOf(reading, stretch);
    if (compared < 0) return;
    ComparedRun& run = c.runs[compared];
    if (!judged) {
        if (stretch >= 0 && stretch < stretchesMost) reading.unjudgedUtcMs[stretch][line.core] = line.utcMs;
        if (reading.phase == readingFigures) ++run.cores[line.core].unjudged;
        return;
    }
    if (reading.phase == readingFigures) {
        addTimer(run, run.cores[line.core], line, c.failAboveUs);
    } else {
        RankSelection* selections = selectionsOf(reading, compared, line.core);
        for (std::int64_t k = 0; k < timerSelections; ++k) countForRank(selections[k], judgedLateUs(line.lateUs));
    }
}

void onWake(Reading& reading, const LogLine& line) {
    Comparison& c = *reading.out;
    if (reading.phase == readingStructure) return;
    if (line.core >= c.coreCount) {
        reading.changed = true;
        return;
    }
    const std::int64_t stretch = stretchOf(reading, line.utcMs);
    const std::int64_t compared = comparedOf(reading, stretch);
    if (compared < 0) return;
    ComparedRun& run = c.runs[compared];
    ComparedCore& core = run.cores[line.core];
    const std::int64_t fromUtcMs = stretch < 0 ? -1 : historyOf(reading).changes[stretch].atUtcMs;
    if (!wakeJudged(fromUtcMs, line.utcMs, line.lateUs)) {
        // Counted in its stretch's notes all the same: taken out of them.
        if (reading.phase == readingFigures && isStall(line.lateUs)) --core.wakeStalls;
        return;
    }
    if (reading.phase == readingFigures) {
        if (core.wakeLines == 0 || line.lateUs < core.wakeLinesMinUs) core.wakeLinesMinUs = line.lateUs;
        if (line.lateUs > core.wakeMaxUs) core.wakeMaxUs = line.lateUs;
        ++core.wakeLines;
        if (isStall(line.lateUs)) ++core.wakeLineStalls;
        if (crossesLimit(c.failAboveUs, true, line.lateMs, line.lateUs)) run.crossed = true;
    } else {
        RankSelection* selections = selectionsOf(reading, compared, line.core) + timerSelections;
        for (std::int64_t k = 0; k < wakeSelections; ++k) countForRank(selections[k], line.lateUs);
    }
}

// A note of a core's wake-ups counted so far: the k-th of the run closes
// its stretch k - 1 (the start's is -1), whose wake-ups are the difference
// from the note before.
void onWakeCount(Reading& reading, const LogLine& line) {
    Comparison& c = *reading.out;
    if (reading.phase != readingFigures || line.core >= c.coreCount) return;
    const std::int64_t stretch = reading.wakeNotes[line.core]++ - 1;
    const WakeCount before = reading.lastWakes[line.core];
    reading.lastWakes[line.core] = line.wakes;
    if (stretch >= historyOf(reading).listed) return;  // more notes than stretches
    WakeCount stretchWakes{line.wakes.wakeUps - before.wakeUps, line.wakes.stalls - before.stalls,
                           line.wakes.leftOut - before.leftOut};
    if (stretchWakes.wakeUps < 0 || stretchWakes.stalls < 0 || stretchWakes.leftOut < 0) return;
    // The one wake-up whose wait began before the change is not judged.
    if (stretch >= 0 && stretchWakes.wakeUps > 0) --stretchWakes.wakeUps;
    const std::int64_t compared = comparedOf(reading, stretch);
    if (compared < 0) return;
    ComparedCore& core = c.runs[compared].cores[line.core];
    core.wakeEvents += stretchWakes.wakeUps;
    core.wakeStalls += stretchWakes.stalls;
    core.wakeLeftOut += stretchWakes.leftOut;
    ++core.wakeStretches;
}

void onStall(Reading& reading, const LogLine& line) {
    Comparison& c = *reading.out;
    if (reading.phase != readingFigures || line.core >= c.coreCount) return;
    const std::int64_t stretch = stretchOf(reading, line.utcMs);
    const std::int64_t compared = comparedOf(reading, stretch);
    if (compared < 0) return;
    // The cause of an unjudged event's stall is left out with it, wherever
    // its note comes (after the next change, too).
    if (stretch >= 0 && stretch < stretchesMost && line.utcMs == reading.unjudgedUtcMs[stretch][line.core]) return;
    ++c.runs[compared].cores[line.core].causes[static_cast<int>(line.cause)];
}

void onLine(void* context, const LogLine& line) {
    auto& reading = *static_cast<Reading*>(context);
    switch (line.kind) {
    case LogLineKind::runBegins:
        endRun(reading);
        ++reading.run;
        if (reading.phase == readingStructure) {
            ++reading.runsFound;
            ++reading.runsOfSource[reading.source];
        }
        resetCores(reading);
        return;
    case LogLineKind::timer:
        onTimer(reading, line);
        return;
    case LogLineKind::wake:
        onWake(reading, line);
        return;
    case LogLineKind::wakeCount:
        onWakeCount(reading, line);
        return;
    case LogLineKind::stall:
        onStall(reading, line);
        return;
    case LogLineKind::priority:
        return;
    }
}

bool fail(char* error, const char* name, const char* why, const char* detail) {
    joinText(error, compareErrorCapacity, {"cannot read '", name, "'", why, detail});
    return false;
}

constexpr char changedWhy[] = ": it changed while it was compared (read it again once it is written whole)";

// One reading of every log, from its start; after the first, of as many
// bytes as the first read.
bool readAll(Reading& reading, const LogSource* sources, std::int64_t count, char* chunk, char* error) {
    reading.run = -1;
    reading.changed = false;
    for (std::int64_t s = 0; s < count; ++s) {
        const LogSource& source = sources[s];
        if (!source.rewind(source.context)) return fail(error, source.name, ": the system refused the read", "");
        rewindLogReader(*reading.reader);
        // Every log begins a run of its own.
        ++reading.run;
        reading.source = s;
        if (reading.phase == readingStructure) {
            ++reading.runsFound;
            reading.runsOfSource[s] = 1;
            reading.bytesOfSource[s] = 0;
        }
        resetCores(reading);
        std::size_t bytesRead = 0;
        for (;;) {
            std::size_t want = chunkBytes;
            if (reading.phase != readingStructure) {
                const std::size_t left = reading.bytesOfSource[s] - bytesRead;
                want = left < want ? left : want;
                if (want == 0) break;
            }
            std::size_t got = 0;
            if (!source.read(source.context, chunk, want, got)) {
                return fail(error, source.name, ": the system refused the read", "");
            }
            if (got > want) return fail(error, source.name, changedWhy, "");
            bytesRead += got;
            if (got == 0 || !readLogChunk(*reading.reader, chunk, got)) break;
        }
        if (reading.phase == readingStructure) {
            reading.bytesOfSource[s] = bytesRead;
        } else if (bytesRead != reading.bytesOfSource[s]) {
            return fail(error, source.name, changedWhy, "");
        }
        if (!finishLog(*reading.reader)) {
            if (reading.phase != readingStructure) return fail(error, source.name, changedWhy, "");
            return fail(error, source.name, ": it is not a log of Vantrel: ", reading.reader->error.data);
        }
        endRun(reading);
        if (reading.phase == readingStructure && reading.reader->coreCount > reading.out->coreCount) {
            reading.out->coreCount = reading.reader->coreCount;
        }
        if (reading.changed) return fail(error, source.name, changedWhy, "");
    }
    if (reading.phase != readingStructure && reading.run + 1 != reading.runsFound) {
        return fail(error, sources[count - 1].name, changedWhy, "");
    }
    return true;
}

// The file's name without its folders.
const char* fileName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') name = p + 1;
    }
    return name;
}

// How many runs each log held, for their names: found again by reading the
// runs' order (runs of one log are consecutive).
void nameRuns(Comparison& c, const LogSource* sources, const std::int64_t* runsOfSource, std::int64_t count) {
    std::int64_t run = 0;
    for (std::int64_t s = 0; s < count; ++s) {
        for (std::int64_t k = 0; k < runsOfSource[s] && run < c.runCount; ++k, ++run) {
            const char letter[2] = {static_cast<char>('A' + run), '\0'};
            joinText(c.runs[run].name, comparedNameCapacity, {letter});
            char number[24];
            formatInteger(number, k + 1);

            joinText(c.runs[run].file, comparedNameCapacity,
                     {fileName(sources[s].name), runsOfSource[s] > 1 ? ", run " : "", runsOfSource[s] > 1 ? number : ""});
        }
    }
}

// One run at several levels: a compared run per level, in the order first
// measured, with that run's context.
bool splitByLevel(Comparison& c, const char* file, char* error) {
    const ComparedRun whole = c.runs[0];
    const PriorityHistory& history = whole.priority;
    c.byLevel = true;
    c.runCount = 0;
    for (std::int64_t k = -1; k < history.listed; ++k) {
        const char* level = levelOfStretch(history, k);
        bool known = false;
        for (std::int64_t r = 0; r < c.runCount; ++r) known = known || std::strcmp(c.runs[r].name, level) == 0;
        if (known) continue;
        if (c.runCount == comparedMost) {
            joinText(error, compareErrorCapacity, {"cannot compare '", file, "': it holds more than 8 priority levels"});
            return false;
        }
        ComparedRun& run = c.runs[c.runCount++];
        run = whole;
        run.timed = false;
        joinText(run.name, comparedNameCapacity, {level});
        joinText(run.file, comparedNameCapacity, {file});
    }
    return true;
}

std::int64_t distinctLevels(const PriorityHistory& history) {
    std::int64_t count = 0;
    for (std::int64_t k = -1; k < history.listed; ++k) {
        bool seen = false;
        for (std::int64_t j = -1; j < k && !seen; ++j) {
            seen = std::strcmp(levelOfStretch(history, j), levelOfStretch(history, k)) == 0;
        }
        count += seen ? 0 : 1;
    }
    return count;
}

bool sameText(const char* a, const char* b) {
    return std::strcmp(a, b) == 0;
}

void noteMachines(Comparison& c) {
    const ComparedRun* named = nullptr;
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        const ComparedRun& run = c.runs[r];
        if (!run.machineKnown || run.machine.name[0] == '\0') continue;
        if (named != nullptr && (!sameText(named->machine.name, run.machine.name) ||
                                 !sameText(named->machine.windows, run.machine.windows))) {
            c.differentMachines = true;
        }
        named = named != nullptr ? named : &run;
    }
}

// The stretches of the one run that belong to `level`'s compared run (all
// of them for a run compared whole).
std::int64_t stretchesOf(const Comparison& c, std::int64_t compared) {
    const PriorityHistory& history = c.runs[compared].priority;
    if (!c.byLevel) return history.listed + 1;
    std::int64_t count = 0;
    for (std::int64_t k = -1; k < history.listed; ++k) count += sameText(levelOfStretch(history, k), c.runs[compared].name) ? 1 : 0;
    return count;
}

// The wake lines' ranks that bound the value of rank `rank` among all
// `events` judged wake-ups, of which `lines` are in the log (later than
// 1 ms), `leftOut` later than 1 ms but not in it, the rest at most 1 ms
// late: the lowest it can be (the left-out ones low) and the highest (the
// left-out ones high). 0: at most 1 ms; past `lines`: unknown.
struct WakeBounds {
    std::int64_t lowRank;
    std::int64_t highRank;
};
WakeBounds wakeBoundsOf(const ComparedCore& core, std::int64_t rank) {
    std::int64_t quiet = core.wakeEvents - core.wakeLines - core.wakeLeftOut;
    if (quiet < 0) quiet = 0;
    if (rank <= quiet) return WakeBounds{0, 0};
    return WakeBounds{rank - quiet - core.wakeLeftOut, rank - quiet};
}

// The wake lines' ranks to find for one percentile: for its rank, the
// lowest and highest; for its interval, the lowest of the lower end and the
// highest of the upper.
void wakeRanksOf(const ComparedCore& core, const PercentileRanks& ranks, std::int64_t* out) {
    const WakeBounds at = wakeBoundsOf(core, ranks.rank);
    out[0] = at.lowRank;
    out[1] = at.highRank;
    out[2] = ranks.low > 0 ? wakeBoundsOf(core, ranks.low).lowRank : 0;
    out[3] = ranks.high > 0 ? wakeBoundsOf(core, ranks.high).highRank : 0;
}

void startSelection(RankSelection& selection, std::int64_t rank, std::int64_t count, std::int64_t least, std::int64_t most) {
    // A rank outside the values is never looked for.
    if (rank < 1 || rank > count) {
        startRankSelection(selection, 1, 0, 0);
        return;
    }
    startRankSelection(selection, rank, least, most);
}

void startSelections(Reading& reading) {
    const Comparison& c = *reading.out;
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        for (std::int64_t core = 0; core < c.coreCount; ++core) {
            const ComparedCore& figures = c.runs[r].cores[core];
            RankSelection* selections = selectionsOf(reading, r, core);
            const std::int64_t least = judgedLateUs(figures.minUs);
            const std::int64_t most = judgedLateUs(figures.maxUs);
            const std::int64_t perMille[] = {990, 999};
            for (std::int64_t p = 0; p < 2; ++p) {
                const PercentileRanks ranks = percentileRanks(figures.events, perMille[p], c.intervalMiss);
                const std::int64_t wanted[] = {ranks.rank, ranks.low, ranks.high};
                for (std::int64_t k = 0; k < 3; ++k) {
                    startSelection(selections[3 * p + k], wanted[k], figures.events, least, most);
                }
                std::int64_t wakeRanks[4] = {};
                const bool wakes = c.fine && figures.wakesCounted;
                if (wakes) wakeRanksOf(figures, percentileRanks(figures.wakeEvents, perMille[p], c.intervalMiss), wakeRanks);
                for (std::int64_t k = 0; k < 4; ++k) {
                    startSelection(selections[timerSelections + 4 * p + k], wakes ? wakeRanks[k] : 0, figures.wakeLines,
                                   figures.wakeLinesMinUs, figures.wakeMaxUs);
                }
            }
        }
    }
}

// The value a selection found, when its rank was among the values.
bool foundValue(const RankSelection& selection, std::int64_t rank, std::int64_t count, std::int64_t& value) {
    if (rank < 1 || rank > count) return false;
    value = selection.low;
    return true;
}

void takeTimerPercentile(const Comparison& c, const ComparedCore& figures, const RankSelection* selections,
                         std::int64_t perMille, PercentileFigure& out) {
    const PercentileRanks ranks = percentileRanks(figures.events, perMille, c.intervalMiss);
    out = PercentileFigure{};
    out.known = figures.events > 0;
    foundValue(selections[0], ranks.rank, figures.events, out.us);
    out.lowKnown = foundValue(selections[1], ranks.low, figures.events, out.lowUs);
    out.highKnown = foundValue(selections[2], ranks.high, figures.events, out.highUs);
}

// A wake-up percentile from its bounds among the lines (wakeBoundsOf): at
// most 1 ms where its rank falls among the quiet wake-ups; just over 1 ms
// at least where it may fall among the lines left out. Its value is the
// highest it can be.
void takeWakePercentile(const Comparison& c, const ComparedCore& figures, const RankSelection* selections,
                        std::int64_t perMille, PercentileFigure& out) {
    out = PercentileFigure{};
    if (!c.fine || !figures.wakesCounted || figures.wakeEvents <= 0) return;
    const PercentileRanks ranks = percentileRanks(figures.wakeEvents, perMille, c.intervalMiss);
    std::int64_t quiet = figures.wakeEvents - figures.wakeLines - figures.wakeLeftOut;
    if (quiet < 0) quiet = 0;
    auto lowest = [&](std::int64_t rank, const RankSelection& selection, std::int64_t& value) {
        if (rank <= quiet) {
            value = 0;
            return true;
        }
        const std::int64_t lineRank = rank - quiet - figures.wakeLeftOut;
        if (lineRank < 1) {
            value = lateWakeUs + 1;
            return true;
        }
        return foundValue(selection, lineRank, figures.wakeLines, value);
    };
    auto highest = [&](std::int64_t rank, const RankSelection& selection, std::int64_t& value) {
        if (rank <= quiet) {
            value = lateWakeUs;
            return true;
        }
        return foundValue(selection, rank - quiet, figures.wakeLines, value);
    };
    out.known = true;
    if (!highest(ranks.rank, selections[1], out.us)) lowest(ranks.rank, selections[0], out.us);
    out.lowKnown = ranks.low > 0 && lowest(ranks.low, selections[2], out.lowUs);
    out.highKnown = ranks.high > 0 && highest(ranks.high, selections[3], out.highUs);
}

// The figures, then the percentiles, once the runs are known.
bool readFigures(Reading& reading, const LogSource* sources, std::int64_t count, char* chunk, char* error) {
    Comparison& c = *reading.out;
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        c.runs[r].cores = static_cast<ComparedCore*>(std::calloc(static_cast<std::size_t>(c.coreCount), sizeof(ComparedCore)));
        if (c.runs[r].cores == nullptr) return fail(error, sources[0].name, ": not enough memory", "");
        for (std::int64_t core = 0; core < c.coreCount; ++core) c.runs[r].cores[core].wakeMaxUs = -1;
    }
    reading.phase = readingFigures;
    if (!readAll(reading, sources, count, chunk, error)) return false;
    c.passes = 2;
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        for (std::int64_t core = 0; core < c.coreCount; ++core) {
            ComparedCore& figures = c.runs[r].cores[core];
            figures.wakesCounted = figures.wakeStretches == stretchesOf(c, r) && figures.wakeEvents >= figures.wakeLines;
            if (figures.wakeStalls < 0) figures.wakeStalls = 0;
            if (figures.events > 0) {
                // Rounded half away from zero, as the page shows it.
                const std::int64_t half = figures.events / 2;
                figures.meanUs = figures.sumUs >= 0 ? (figures.sumUs + half) / figures.events
                                                    : -((-figures.sumUs + half) / figures.events);
            }
        }
    }

    const auto cores = static_cast<std::size_t>(c.runCount * c.coreCount);
    reading.selections = static_cast<RankSelection*>(std::calloc(selectionsPerCore * cores, sizeof(RankSelection)));
    if (reading.selections == nullptr) return fail(error, sources[0].name, ": not enough memory", "");
    startSelections(reading);
    reading.phase = readingRanks;
    for (;;) {
        bool open = false;
        for (std::size_t k = 0; k < selectionsPerCore * cores; ++k) open = open || !reading.selections[k].found;
        if (!open || c.passes == passesMost) break;
        if (!readAll(reading, sources, count, chunk, error)) return false;
        ++c.passes;
        for (std::size_t k = 0; k < selectionsPerCore * cores; ++k) narrowRankSelection(reading.selections[k]);
    }
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        for (std::int64_t core = 0; core < c.coreCount; ++core) {
            ComparedCore& figures = c.runs[r].cores[core];
            const RankSelection* selections = selectionsOf(reading, r, core);
            takeTimerPercentile(c, figures, selections, 990, figures.p99);
            takeTimerPercentile(c, figures, selections + 3, 999, figures.p999);
            takeWakePercentile(c, figures, selections + timerSelections, 990, figures.wakeP99);
            takeWakePercentile(c, figures, selections + timerSelections + 4, 999, figures.wakeP999);
            figures.p99Us = figures.p99.us;
            figures.p999Us = figures.p999.us;
        }
    }
    return true;
}

// The baseline: the first run; of levels, "normal" when it was measured.
std::int64_t baselineOf(const Comparison& c) {
    if (!c.byLevel) return 0;
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        if (sameText(c.runs[r].name, "normal") && c.runs[r].timed) return r;
    }
    return 0;
}

JudgedFigures timerFigures(const ComparedCore& core) {
    return JudgedFigures{core.events, core.stalls, core.p99, core.p999};
}

JudgedFigures wakeFigures(const ComparedCore& core) {
    return JudgedFigures{core.wakeEvents, core.wakeStalls, core.wakeP99, core.wakeP999};
}

// Every run against the baseline on every core, decided together.
bool judgeRuns(Comparison& c, char* error) {
    c.baseline = baselineOf(c);
    if (c.runCount < 2) return true;
    const auto count = static_cast<std::size_t>((c.runCount - 1) * c.coreCount);
    c.verdicts = static_cast<CoreVerdict*>(std::calloc(2 * count, sizeof(CoreVerdict)));
    if (c.verdicts == nullptr) {
        joinText(error, compareErrorCapacity, {"not enough memory to compare the logs"});
        return false;
    }
    c.timerVerdicts = c.fine ? c.verdicts + count : nullptr;
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        if (r == c.baseline) continue;
        for (std::int64_t core = 0; core < c.coreCount; ++core) {
            const ComparedCore& run = c.runs[r].cores[core];
            const ComparedCore& baseline = c.runs[c.baseline].cores[core];
            const std::int64_t k = verdictIndex(c, r, core);
            const bool wakes = c.fine && run.wakesCounted && baseline.wakesCounted;
            const JudgedFigures timerRun = timerFigures(run);
            const JudgedFigures timerBaseline = timerFigures(baseline);
            c.verdicts[k] = wakes ? judgeFigures(JudgedSource::wake, wakeFigures(run), wakeFigures(baseline), c.intervalMiss)
                                  : judgeFigures(JudgedSource::timer, timerRun, timerBaseline, c.intervalMiss);
            if (c.timerVerdicts != nullptr) {
                c.timerVerdicts[k] = judgeFigures(JudgedSource::timer, timerRun, timerBaseline, c.intervalMiss);
            }
        }
    }
    decideVerdicts(c.verdicts, static_cast<std::int64_t>(c.fine ? 2 * count : count));
    // How long the wake-ups would take, where they count the stalls.
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        if (r == c.baseline) continue;
        for (std::int64_t core = 0; core < c.coreCount; ++core) {
            const ComparedCore& run = c.runs[r].cores[core];
            const ComparedCore& baseline = c.runs[c.baseline].cores[core];
            if (!run.wakesCounted || !baseline.wakesCounted) continue;
            const std::int64_t minutes = minutesToTellHalving(JudgedSource::wake, run.wakeStalls + baseline.wakeStalls,
                                                              run.wakeEvents + baseline.wakeEvents, c.intervalMiss);
            CoreVerdict& v = c.verdicts[verdictIndex(c, r, core)];
            if (v.source == JudgedSource::timer) v.fineMinutesNeeded = minutes;
            if (c.timerVerdicts != nullptr) c.timerVerdicts[verdictIndex(c, r, core)].fineMinutesNeeded = minutes;
        }
    }
    return true;
}

bool compareAll(Reading& reading, const LogSource* sources, std::int64_t count, char* chunk, char* error) {
    Comparison& c = *reading.out;
    if (count < 1 || count > comparedMost) {
        joinText(error, compareErrorCapacity, {"between 1 and 8 logs can be compared"});
        return false;
    }
    // The runs and their context; every run found up to the most keeps it.
    reading.phase = readingStructure;
    c.runCount = comparedMost;
    if (!readAll(reading, sources, count, chunk, error)) return false;
    if (reading.runsFound > comparedMost) {
        char number[24];
        formatInteger(number, reading.runsFound);
        joinText(error, compareErrorCapacity, {"the logs hold ", number, " runs: at most 8 can be compared"});
        return false;
    }
    c.runCount = reading.runsFound;
    nameRuns(c, sources, reading.runsOfSource, count);
    // Every change placed, or none: a run of more changes than are kept
    // would file the events after them under the wrong level.
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        const PriorityHistory& history = c.runs[r].priority;
        if (history.count > history.listed) {
            char number[24];
            formatInteger(number, history.count);
            joinText(error, compareErrorCapacity,
                     {"cannot compare '", c.runs[r].file, "': it holds ", number, " priority changes, more than the 64 a comparison can place"});
            return false;
        }
        for (std::int64_t k = 0; k < history.listed; ++k) reading.changeUtcMs[r][k] = history.changes[k].atUtcMs;
    }
    if (c.runCount == 1 && c.runs[0].priority.startKnown && distinctLevels(c.runs[0].priority) > 1) {
        if (!splitByLevel(c, fileName(sources[0].name), error)) return false;
    }
    const std::int64_t sourcesJudged = c.fine ? 2 : 1;
    c.intervalMiss = intervalMissOf(c.runCount * c.coreCount * 2 * sourcesJudged);
    reading.runsFound = c.byLevel ? 1 : c.runCount;
    if (!readFigures(reading, sources, count, chunk, error)) return false;
    noteMachines(c);
    return judgeRuns(c, error);
}

}  // namespace

std::int64_t verdictIndex(const Comparison& comparison, std::int64_t run, std::int64_t core) {
    return (run < comparison.baseline ? run : run - 1) * comparison.coreCount + core;
}

bool logHoldsComparison(const LogReader& reader) {
    return reader.runCount > 1 || (reader.priority.startKnown && distinctLevels(reader.priority) > 1);
}

void freeComparison(Comparison& out) {
    for (ComparedRun& run : out.runs) {
        std::free(run.cores);
        run.cores = nullptr;
    }
    std::free(out.verdicts);
    out.verdicts = nullptr;
    out.timerVerdicts = nullptr;
    out.runCount = 0;
}

bool compareLogs(Comparison& out, const LogSource* sources, std::int64_t count, std::int64_t failAboveUs, bool fine,
                 char* error) {
    out = Comparison{};
    out.failAboveUs = failAboveUs;
    out.fine = fine;
    auto* reading = static_cast<Reading*>(std::calloc(1, sizeof(Reading)));
    auto* chunk = static_cast<char*>(std::malloc(chunkBytes));
    LogReader reader{};
    bool good = reading != nullptr && chunk != nullptr && makeLogReader(reader);
    if (!good) {
        joinText(error, compareErrorCapacity, {"not enough memory to compare the logs"});
    } else {
        reader.onLine = onLine;
        reader.onLineContext = reading;
        reading->out = &out;
        reading->reader = &reader;
        good = compareAll(*reading, sources, count, chunk, error);
        std::free(reading->selections);
    }
    std::free(chunk);
    std::free(reading);
    freeLogReader(reader);
    return good;
}
