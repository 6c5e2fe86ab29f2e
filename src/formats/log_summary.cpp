// The log reader's memory, made once and reused, and the run it read as a
// summary for the page (log_format.h).
#include <algorithm>
#include <new>

#include "formats/log_format.h"
#include "formats/log_reader_parts.h"
#include "text/text_buffer.h"

// A reader's context before the first line: one run, nothing known.
static void startReading(LogReader& reader) {
    reader.runCount = 1;
    reader.machine = unknownMachine();
}

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
    startReading(reader);
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
    // The caller that looks at every line looks at them again.
    reader.onLine = kept.onLine;
    reader.onLineContext = kept.onLineContext;
    startReading(reader);
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

void summaryFromLog(LogReader& reader, RunSummary& run, const char* version, std::int64_t failAboveUs) {
    reader.shown = reader.timeline;
    reader.shown.coreCount = reader.coreCount;
    if (!reader.sawWakes) reader.shown.wakeLateUs = nullptr;

    run = RunSummary{};
    run.version = reader.version[0] != '\0' ? reader.version : version;
    run.readFromLog = true;
    run.machineName = reader.machine.name;
    reader.systemText[0] = '\0';
    if (reader.machine.windows[0] != '\0') {
        joinText(reader.systemText, sizeof reader.systemText, {"Windows ", reader.machine.windows});
    }
    run.systemVersion = reader.systemText;
    if (reader.machineKnown) run.machine = &reader.machine;
    if (reader.priority.startKnown) run.priority = &reader.priority;
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
