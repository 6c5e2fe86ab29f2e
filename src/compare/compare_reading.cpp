// The readings of the logs: each line to the run and core it belongs to, for the structure, figures or ranks.
#include "compare/compare_reading.h"

#include <cstring>

#include "engine/wake_statistics.h"
#include "formats/log_format.h"
#include "text/text_buffer.h"

namespace comparison_reading {
namespace {

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

}  // namespace

const char* levelOfStretch(const PriorityHistory& history, std::int64_t stretch) {
    return stretch < 0 ? history.start.level : history.changes[stretch].level;
}

namespace {

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

}  // namespace

RankSelection* selectionsOf(Reading& reading, std::int64_t compared, std::int64_t core) {
    return reading.selections + selectionsPerCore * (compared * reading.out->coreCount + core);
}

namespace {

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

}  // namespace

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
            if (reading.reader->headerOnly) return fail(error, source.name, ": ", logHeaderOnlyWhy);
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

}  // namespace comparison_reading
