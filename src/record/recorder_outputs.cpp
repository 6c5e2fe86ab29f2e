#include "record/recorder_outputs.h"

#include "engine/platform_seam.h"
#include "engine/sampled_cores.h"
#include "engine/wake_figures.h"
#include "record/event_buffer.h"
#include "record/recorder.h"
#include "record/context_record.h"
#include "text/text_buffer.h"

static bool given(const char* path) {
    return path != nullptr && path[0] != '\0';
}

bool outputsDistinct(const char* const* outputs, std::size_t count, char* error) {
    for (std::size_t a = 0; a < count; ++a) {
        for (std::size_t b = a + 1; b < count; ++b) {
            if (given(outputs[a]) && given(outputs[b]) && samePathOrTemporary(outputs[a], outputs[b])) {
                describeFailure(error, "use", outputs[b], "two outputs of the record cannot both be this file");
                return false;
            }
        }
    }
    return true;
}

bool lockRunOutputs(const char* const* outputs, std::size_t count, const char* const* wholePaths,
                    std::size_t wholeCount, OutputLock** locks, char* error) {
    for (std::size_t k = 0; k < count; ++k) {
        if (given(outputs[k]) && lockOutput(outputs[k], &locks[k], error) == LockAnswer::heldElsewhere) return false;
    }
    // A whole file's temporary is a file of its own that another run could
    // name as its output.
    for (std::size_t k = 0; k < wholeCount; ++k) {
        if (given(wholePaths[k]) && lockTemporaryOf(wholePaths[k], &locks[count + k], error) == LockAnswer::heldElsewhere) {
            return false;
        }
    }
    return true;
}

bool tellEndProblems(const RunSummary& run, std::int64_t coreCount, std::int64_t nowUtcMs) {
    bool told = false;
    for (std::int64_t core = 0; core < coreCount; ++core) {
        // An unpinned sampler was told when it started; one still on its
        // way to its timer in a short run did not fail (countsAsSampled).
        if (run.sampled[core] || isCoreUnpinned(core)) continue;
        char number[24];
        formatInteger(number, core);
        char message[messageCapacity];
        joinText(message, sizeof message, {"core ", number, " could not be sampled"});
        noteRunProblem(nowUtcMs, message);
        told = true;
    }
    if (run.logDropped > 0) {
        char number[24];
        formatInteger(number, run.logDropped);
        char message[messageCapacity];
        joinText(message, sizeof message, {number, run.logDropped == 1 ? " log line was lost" : " log lines were lost"});
        noteRunProblem(nowUtcMs, message);
        told = true;
    }
    return told;
}

std::int64_t dropQueuedLines(TimerEvent* batch, std::int64_t batchSize, std::int64_t wakeCores, WakeEvent* wakeBatch) {
    std::int64_t dropped = 0;
    lockSamples();
    for (std::int64_t count = 1; count > 0;) {
        count = popEvents(batch, batchSize);
        dropped += count;
    }
    unlockSamples();
    for (std::int64_t core = 0; core < wakeCores; ++core) {
        for (std::int64_t count = 1; count > 0;) {
            count = popLateWakes(core, wakeBatch, lateWakeQueueCapacity);
            dropped += count;
        }
    }
    return dropped;
}
