// Reading logs into the runs compared (compare_runs.h): a first reading
// finds the runs, their context and the cores; a second adds up the
// figures; further readings narrow each percentile down to its value.
#include "compare/compare_runs.h"

#include <cstdlib>
#include <cstring>

#include "formats/log_format.h"
#include "text/text_buffer.h"

namespace {

constexpr std::size_t chunkBytes = std::size_t{64} * 1024;
// Enough for any range of 64-bit values (rank_select.h), with room.
constexpr std::int64_t passesMost = 12;
constexpr std::int64_t readingStructure = 0;
constexpr std::int64_t readingFigures = 1;
constexpr std::int64_t readingRanks = 2;

struct Reading {
    Comparison* out;
    LogReader* reader;
    std::int64_t phase;
    std::int64_t run;        // the run being read, among all the logs'
    std::int64_t runsFound;  // in the first reading, runs beyond comparedMost counted too
    std::int64_t source;     // the log being read
    std::int64_t runsOfSource[comparedMost];
    // Per core: the stretch of its last timer event in the run (by level),
    // and the time of its last unjudged one.
    std::int64_t lastStretch[logReaderCores];
    std::int64_t unjudgedUtcMs[logReaderCores];
    RankSelection* selections;  // two per run and core: the 99th, the 99.9th
};

// The stretch of `history` that holds `utcMs`: -1 the start, else the change.
std::int64_t stretchAt(const PriorityHistory& history, std::int64_t utcMs) {
    std::int64_t at = -1;
    for (std::int64_t k = 0; k < history.listed && history.changes[k].atUtcMs <= utcMs; ++k) at = k;
    return at;
}

const char* levelOfStretch(const PriorityHistory& history, std::int64_t stretch) {
    return stretch < 0 ? history.start.level : history.changes[stretch].level;
}

// The compared run a line at `utcMs` belongs to (-1: none), by level or by run.
std::int64_t comparedOf(const Reading& reading, std::int64_t utcMs) {
    const Comparison& c = *reading.out;
    if (!c.byLevel) return reading.run < c.runCount ? reading.run : -1;
    const char* level = levelOfStretch(c.runs[0].priority, stretchAt(c.runs[0].priority, utcMs));
    for (std::int64_t k = 0; k < c.runCount; ++k) {
        if (std::strcmp(c.runs[k].name, level) == 0) return k;
    }
    return -1;
}

void resetCores(Reading& reading) {
    for (std::int64_t core = 0; core < logReaderCores; ++core) {
        reading.lastStretch[core] = -2;
        reading.unjudgedUtcMs[core] = -1;
    }
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

void addFigures(ComparedCore& core, const LogLine& line) {
    if (core.events == 0 || line.lateUs < core.minUs) core.minUs = line.lateUs;
    if (core.events == 0 || line.lateUs > core.maxUs) core.maxUs = line.lateUs;
    if (core.events == 0 || line.lateMs > core.maxMs) core.maxMs = line.lateMs;
    ++core.events;
    core.sumUs += line.lateUs;
    ++core.histogram[histogramBucketOf(line.lateMs)];
    if (line.lateUs > stallLateUs) ++core.stalls;
}

void onTimer(Reading& reading, const LogLine& line) {
    Comparison& c = *reading.out;
    if (c.byLevel) {
        // The first event of each core in a stretch measured a period that
        // began under the level before: not judged.
        const std::int64_t stretch = stretchAt(c.runs[0].priority, line.utcMs);
        if (reading.lastStretch[line.core] != stretch) {
            reading.lastStretch[line.core] = stretch;
            reading.unjudgedUtcMs[line.core] = line.utcMs;
            return;
        }
    }
    const std::int64_t compared = comparedOf(reading, line.utcMs);
    if (compared < 0) return;
    ComparedRun& run = c.runs[compared];
    if (reading.phase == readingFigures) {
        if (!run.timed || line.utcMs < run.fromUtcMs) run.fromUtcMs = line.utcMs;
        if (!run.timed || line.utcMs > run.toUtcMs) run.toUtcMs = line.utcMs;
        run.timed = true;
        addFigures(run.cores[line.core], line);
    } else if (reading.phase == readingRanks) {
        RankSelection* pair = reading.selections + 2 * (compared * c.coreCount + line.core);
        countForRank(pair[0], line.lateUs);
        countForRank(pair[1], line.lateUs);
    }
}

void onLine(void* context, const LogLine& line) {
    auto& reading = *static_cast<Reading*>(context);
    if (line.kind == LogLineKind::runBegins) {
        keepContext(reading);
        ++reading.run;
        if (reading.phase == readingStructure) {
            ++reading.runsFound;
            ++reading.runsOfSource[reading.source];
        }
        resetCores(reading);
        return;
    }
    if (line.kind == LogLineKind::timer) {
        onTimer(reading, line);
        return;
    }
    if (reading.phase != readingFigures || line.core < 0 || line.core >= reading.out->coreCount) return;
    const std::int64_t compared = comparedOf(reading, line.utcMs);
    if (compared < 0) return;
    ComparedCore& core = reading.out->runs[compared].cores[line.core];
    if (line.kind == LogLineKind::wake && line.lateUs > core.wakeMaxUs) core.wakeMaxUs = line.lateUs;
    // The cause of an unjudged event's stall is left out with it.
    if (line.kind == LogLineKind::stall && line.utcMs != reading.unjudgedUtcMs[line.core]) {
        ++core.causes[static_cast<int>(line.cause)];
    }
}

bool fail(char* error, const char* name, const char* why, const char* detail) {
    joinText(error, compareErrorCapacity, {"cannot read '", name, "'", why, detail});
    return false;
}

// One reading of every log, from its start.
bool readAll(Reading& reading, const LogSource* sources, std::int64_t count, char* chunk, char* error) {
    reading.run = -1;
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
        }
        resetCores(reading);
        for (;;) {
            std::size_t got = 0;
            if (!source.read(source.context, chunk, chunkBytes, got)) {
                return fail(error, source.name, ": the system refused the read", "");
            }
            if (got == 0 || !readLogChunk(*reading.reader, chunk, got)) break;
        }
        if (!finishLog(*reading.reader)) {
            return fail(error, source.name, ": it is not a log of Vantrel: ", reading.reader->error.data);
        }
        keepContext(reading);
        if (reading.reader->coreCount > reading.out->coreCount) reading.out->coreCount = reading.reader->coreCount;
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

void judge(Comparison& c) {
    const ComparedRun* named = nullptr;
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        ComparedRun& run = c.runs[r];
        for (std::int64_t core = 0; core < c.coreCount && c.failAboveUs >= 0; ++core) {
            const ComparedCore& figures = run.cores[core];
            if ((figures.events > 0 && figures.maxMs * 1000 > c.failAboveUs) || figures.wakeMaxUs > c.failAboveUs) {
                run.crossed = true;
            }
        }
        if (!run.machineKnown || run.machine.name[0] == '\0') continue;
        if (named != nullptr && (!sameText(named->machine.name, run.machine.name) ||
                                 !sameText(named->machine.windows, run.machine.windows))) {
            c.differentMachines = true;
        }
        named = named != nullptr ? named : &run;
    }
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

    const auto pairs = static_cast<std::size_t>(c.runCount * c.coreCount);
    reading.selections = static_cast<RankSelection*>(std::calloc(2 * pairs, sizeof(RankSelection)));
    if (reading.selections == nullptr) return fail(error, sources[0].name, ": not enough memory", "");
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        for (std::int64_t core = 0; core < c.coreCount; ++core) {
            const ComparedCore& figures = c.runs[r].cores[core];
            RankSelection* pair = reading.selections + 2 * (r * c.coreCount + core);
            const std::int64_t events = figures.events > 0 ? figures.events : 1;
            startRankSelection(pair[0], percentileRank(events, 990), figures.minUs, figures.events > 0 ? figures.maxUs : 0);
            startRankSelection(pair[1], percentileRank(events, 999), figures.minUs, figures.events > 0 ? figures.maxUs : 0);
        }
    }
    reading.phase = readingRanks;
    for (;;) {
        bool open = false;
        for (std::size_t k = 0; k < 2 * pairs; ++k) open = open || !reading.selections[k].found;
        if (!open || c.passes == passesMost) break;
        if (!readAll(reading, sources, count, chunk, error)) return false;
        ++c.passes;
        for (std::size_t k = 0; k < 2 * pairs; ++k) narrowRankSelection(reading.selections[k]);
    }
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        for (std::int64_t core = 0; core < c.coreCount; ++core) {
            const RankSelection* pair = reading.selections + 2 * (r * c.coreCount + core);
            c.runs[r].cores[core].p99Us = pair[0].low;
            c.runs[r].cores[core].p999Us = pair[1].low;
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
    if (c.runCount == 1 && c.runs[0].priority.startKnown && distinctLevels(c.runs[0].priority) > 1) {
        if (!splitByLevel(c, fileName(sources[0].name), error)) return false;
    } else {
        nameRuns(c, sources, reading.runsOfSource, count);
    }
    if (!readFigures(reading, sources, count, chunk, error)) return false;
    judge(c);
    return true;
}

}  // namespace

bool logHoldsComparison(const LogReader& reader) {
    return reader.runCount > 1 || (reader.priority.startKnown && distinctLevels(reader.priority) > 1);
}

void freeComparison(Comparison& out) {
    for (ComparedRun& run : out.runs) {
        std::free(run.cores);
        run.cores = nullptr;
    }
    out.runCount = 0;
}

bool compareLogs(Comparison& out, const LogSource* sources, std::int64_t count, std::int64_t failAboveUs, char* error) {
    out = Comparison{};
    out.failAboveUs = failAboveUs;
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

std::int64_t bestComparedRun(const Comparison& comparison, std::int64_t core) {
    std::int64_t best = -1;
    for (std::int64_t r = 0; r < comparison.runCount; ++r) {
        const ComparedCore& figures = comparison.runs[r].cores[core];
        if (figures.events == 0) continue;
        if (best >= 0) {
            const ComparedCore& b = comparison.runs[best].cores[core];
            const double mean = static_cast<double>(figures.sumUs) / static_cast<double>(figures.events);
            const double bestMean = static_cast<double>(b.sumUs) / static_cast<double>(b.events);
            if (figures.p99Us > b.p99Us || (figures.p99Us == b.p99Us && mean >= bestMean)) continue;
        }
        best = r;
    }
    return best;
}
