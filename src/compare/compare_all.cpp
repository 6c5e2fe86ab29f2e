// Reading logs into the runs compared (compare_runs.h): a first reading
// finds the runs, their context and the cores, and how many bytes each log
// holds; a second adds up the figures of the judged events; further
// readings narrow each percentile and the ends of its interval down to
// their values; the judge (verdict/judge.h) then decides every verdict of
// the page together. The readings are compare_reading.cpp's, the figures
// compare_figures.cpp's, the verdicts compare_verdicts.cpp's.
#include "compare/compare_runs.h"

#include <cstdlib>
#include <cstring>

#include "compare/compare_reading.h"
#include "formats/log_format.h"
#include "text/text_buffer.h"

namespace comparison_reading {
namespace {

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
}  // namespace comparison_reading

bool logHoldsComparison(const LogReader& reader) {
    return reader.runCount > 1 || (reader.priority.startKnown && comparison_reading::distinctLevels(reader.priority) > 1);
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
    auto* reading = static_cast<comparison_reading::Reading*>(std::calloc(1, sizeof(comparison_reading::Reading)));
    auto* chunk = static_cast<char*>(std::malloc(comparison_reading::chunkBytes));
    LogReader reader{};
    bool good = reading != nullptr && chunk != nullptr && makeLogReader(reader);
    if (!good) {
        joinText(error, compareErrorCapacity, {"not enough memory to compare the logs"});
    } else {
        reader.onLine = comparison_reading::onLine;
        reader.onLineContext = reading;
        reading->out = &out;
        reading->reader = &reader;
        good = comparison_reading::compareAll(*reading, sources, count, chunk, error);
        std::free(reading->selections);
    }
    std::free(chunk);
    std::free(reading);
    freeLogReader(reader);
    return good;
}
