#include "record/context_record.h"

#include "engine/platform_seam.h"
#include "engine/wake_figures.h"
#include "record/recorder_settings.h"
#include "record/run_summary.h"
#include "record/sweep_record.h"
#include "record/sweep_verdicts.h"
#include "text/text_buffer.h"
#include "verdict/judge.h"

namespace {

// Under the lock.
bool active = false;
MachineContext machine;
PriorityHistory history;
PriorityChange queue[priorityQueueCapacity];
std::int64_t queued = 0;
std::int64_t dropped = 0;
StallNote stallNotes[stallNoteQueueCapacity];
ResolutionChange resolutionQueue[priorityQueueCapacity];
std::int64_t resolutionsQueued = 0;
std::int64_t stallNotesQueued = 0;
const char* endCause = nullptr;
std::int64_t changesMade = 0;
std::int64_t lastChangesUtcMs[2] = {0, 0};  // the latest first
bool stopped = false;
std::int64_t plannedMs = -1;
// With --fine: every core's wake-ups counted at each queued change. Set
// before the run's threads start.
bool wakesCounted = false;
std::int64_t wakeCores = 0;
WakeCount queuedWakes[priorityQueueCapacity][maxCores];

// The snapshot's.
MachineContext machineCopy;
PriorityHistory historyCopy;
SweepSummary sweepCopy;
char systemText[machineTextCapacity + 16];

// Under the lock: a reading that changed the resolution in force goes to the
// ledger and the log's queue.
void noteResolution(std::int64_t utcMs, std::int64_t current) {
    if (!noteResolutionReading(machine, utcMs, current)) return;
    if (resolutionsQueued < priorityQueueCapacity) {
        resolutionQueue[resolutionsQueued++] = machine.ledger.latest;
    } else {
        ++dropped;
    }
}

// Under the lock: the first `most` of `count` queued `items` into `out`, the
// rest moved up to the front. Answers how many were taken.
template <typename Item>
std::int64_t takeFromQueue(Item* items, std::int64_t& count, Item* out, std::int64_t most) {
    const std::int64_t taken = count < most ? count : most;
    for (std::int64_t k = 0; k < taken; ++k) out[k] = items[k];
    for (std::int64_t k = taken; k < count; ++k) items[k - taken] = items[k];
    count -= taken;
    return taken;
}

}  // namespace

bool startContextRecord(const RecorderSettings& settings) {
    // Read before the lock: the calls go to the system.
    MachineContext read{};
    readMachineContext(read);
    const char* level = settings.startLevel != nullptr ? settings.startLevel : "normal";
    if (settings.askedResolution > 0) {
        read.askedResolution = settings.askedResolution;
        read.grantedResolution = settings.grantedResolution > 0 ? settings.grantedResolution : -1;
    }
    lockSamples();
    machine = read;
    resolutionsQueued = 0;
    history = PriorityHistory{};
    setPriorityStart(history, settings.startedUtcMs, level, settings.startClass);
    queued = 0;
    dropped = 0;
    stallNotesQueued = 0;
    endCause = nullptr;
    changesMade = 0;
    stopped = false;
    plannedMs = settings.plannedMs > 0 ? settings.plannedMs : -1;
    active = true;
    wakesCounted = settings.fine && wakeFiguresExist();
    wakeCores = settings.coreCount < maxCores ? settings.coreCount : maxCores;
    unlockSamples();
    if (settings.sweepLevelCount <= 0) {
        freeSweep();
        return true;
    }
    if (!makeSweep(settings.sweepLevelCount, settings.sweepLevels, settings.coreCount, settings.sweepMs, settings.fine)) {
        return false;
    }
    beginSweepStretch(settings.startedUtcMs, level, settings.startClass);
    return true;
}

void freeContextRecord() {
    freeSweep();
}

bool countingWakes() {
    return wakesCounted;
}

void countWakesNow(WakeCount* out) {
    for (std::int64_t core = 0; wakesCounted && core < wakeCores; ++core) {
        WakeStatistics figures{};
        readWakeStatistics(core, figures);
        out[core] = WakeCount{figures.events, wakeStallsInHistogram(figures.histogram),
                              figures.linesNotLogged + lateWakesDropped(core)};
    }
}

void recordPriorityChange(std::int64_t utcMs, const char* level, const char* granted) {
    // Counted at the change, before the lock: reading the wake-up figures
    // never waits for their samplers.
    WakeCount counted[maxCores];
    countWakesNow(counted);
    lockSamples();
    if (active) {
        addPriorityChange(history, utcMs, level, granted);
        lastChangesUtcMs[1] = lastChangesUtcMs[0];
        lastChangesUtcMs[0] = utcMs;
        ++changesMade;
        if (queued < priorityQueueCapacity) {
            for (std::int64_t core = 0; wakesCounted && core < wakeCores; ++core) queuedWakes[queued][core] = counted[core];
            PriorityChange& change = queue[queued++];
            change.atUtcMs = utcMs;
            setPriorityText(change.level, level);
            setPriorityText(change.granted, granted);
        } else {
            ++dropped;
        }
    }
    unlockSamples();
}

void recordSweepLevel(std::int64_t utcMs, const char* level, const char* granted) {
    lockSamples();
    const bool recording = active;
    unlockSamples();
    if (!recording) return;
    recordPriorityChange(utcMs, level, granted);
    beginSweepStretch(utcMs, level, granted);
}

std::int64_t priorityStretchAt(std::int64_t utcMs) {
    if (changesMade == 0 || utcMs >= lastChangesUtcMs[0]) return changesMade - 1;
    if (changesMade == 1 || utcMs >= lastChangesUtcMs[1]) return changesMade - 2;
    return changesMade - 3;
}

void recordSweepDone() {
    completeSweep();
}

void noteRunEnd(const char* cause) {
    lockSamples();
    if (endCause == nullptr) endCause = cause;
    unlockSamples();
}

void recordSweepStretch(std::int64_t utcMs, const char* level, const char* granted) {
    lockSamples();
    const bool recording = active;
    unlockSamples();
    if (recording) beginSweepStretch(utcMs, level, granted);
}

void stopContextRecord(std::int64_t utcMs) {
    const TimerResolution atEnd = timerResolutionNow();
    lockSamples();
    if (endCause == nullptr) endCause = endedByClose;
    stopped = true;
    if (active) {
        active = false;
        machine.resolutionAtEnd = atEnd;
        // A change since the last reading is the ledger's too, at the end.
        noteResolution(utcMs, atEnd.current);
        endSweep(utcMs);
    }
    unlockSamples();
}

void checkTimerResolution(std::int64_t utcMs) {
    const TimerResolution now = timerResolutionNow();
    lockSamples();
    if (active) noteResolution(utcMs, now.current);
    unlockSamples();
}

std::int64_t takeResolutionForLog(ResolutionChange* out, std::int64_t most) {
    lockSamples();
    const std::int64_t taken = takeFromQueue(resolutionQueue, resolutionsQueued, out, most);
    unlockSamples();
    return taken;
}

std::int64_t takePriorityForLog(PriorityChange* out, WakeCount* wakes, std::int64_t most) {
    lockSamples();
    // Each change's wake-up counts move along with it.
    const std::int64_t before = queued;
    const std::int64_t taken = takeFromQueue(queue, queued, out, most);
    for (std::int64_t k = 0; wakes != nullptr && wakesCounted && k < taken; ++k) {
        for (std::int64_t core = 0; core < wakeCores; ++core) wakes[k * maxCores + core] = queuedWakes[k][core];
    }
    for (std::int64_t k = taken; k < before; ++k) {
        for (std::int64_t core = 0; wakesCounted && core < wakeCores; ++core) queuedWakes[k - taken][core] = queuedWakes[k][core];
    }
    unlockSamples();
    return taken;
}

std::int64_t priorityLinesDropped() {
    lockSamples();
    const std::int64_t lost = dropped;
    unlockSamples();
    return lost;
}

void noteAttributedStall(std::int64_t core, std::int64_t utcMs, std::int64_t lateUs, bool wake, StallCause cause) {
    countSweepStall(core, utcMs, lateUs, wake, cause);
    if (wake) return;
    lockSamples();
    // Stalls are attributed up to the end of the record, after it stopped.
    if (stallNotesQueued < stallNoteQueueCapacity) stallNotes[stallNotesQueued++] = StallNote{core, utcMs, cause};
    unlockSamples();
}

std::int64_t takeStallNotes(StallNote* out, std::int64_t most) {
    lockSamples();
    const std::int64_t taken = takeFromQueue(stallNotes, stallNotesQueued, out, most);
    unlockSamples();
    return taken;
}

void describeContext(RunSummary& run) {
    lockSamples();
    machineCopy = machine;
    historyCopy = history;
    run.ended = stopped ? endCause : nullptr;
    run.plannedMs = plannedMs;
    unlockSamples();
    run.machine = &machineCopy;
    run.priority = &historyCopy;
    run.sweep = copyJudgedSweep(sweepCopy) ? &sweepCopy : nullptr;
    run.machineName = machineCopy.name;
    systemText[0] = '\0';
    if (machineCopy.windows[0] != '\0') joinText(systemText, sizeof systemText, {"Windows ", machineCopy.windows});
    run.systemVersion = systemText;
}
