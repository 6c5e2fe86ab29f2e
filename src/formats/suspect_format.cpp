// The report's and the console's text of the processes around a stall.
#include "formats/suspect_format.h"

namespace {

void appendMs(TextBuffer& out, std::int64_t us) {
    appendExactDecimal(out, us, 1000);
}

void appendSuspect(TextBuffer& out, const Suspect& s, std::int64_t windowUs) {
    appendText(out, "{\"process\": ");
    appendJsonString(out, s.process);
    appendText(out, ", \"pid\": ");
    appendInteger(out, s.pid);
    appendText(out, ", \"cpu_ms\": ");
    appendMs(out, s.cpuUs);
    appendText(out, ", \"window_ms\": ");
    appendMs(out, windowUs);
    appendText(out, ", \"base_priority\": ");
    appendInteger(out, s.basePriority);
    appendText(out, s.aboveSampler ? ", \"above_sampler\": true, \"thread\": " : ", \"above_sampler\": false, \"thread\": ");
    if (s.threadId < 0) {
        appendText(out, "null}");
        return;
    }
    appendText(out, "{\"tid\": ");
    appendInteger(out, s.threadId);
    appendText(out, ", \"cpu_ms\": ");
    appendMs(out, s.threadCpuUs);
    appendText(out, ", \"priority\": ");
    appendInteger(out, s.threadPriority);
    appendText(out, "}}");
}

}  // namespace

const StallSuspects* suspectsOf(const RunSummary& run, bool wake, std::int64_t k) {
    const StallSuspects* list = wake ? run.worstWakeSuspects : run.worstTimerSuspects;
    return run.suspects && list != nullptr && k >= 0 ? list + k : nullptr;
}

void appendSuspects(TextBuffer& out, StallCause cause, const StallSuspects* suspects) {
    if (cause != StallCause::threads) return;
    appendText(out, ", \"suspects\": ");
    if (suspects == nullptr || !suspects->known) {
        appendText(out, "null");
        return;
    }
    appendChar(out, '[');
    for (std::int64_t k = 0; k < suspects->count && k < suspectsKept; ++k) {
        if (k > 0) appendText(out, ", ");
        appendSuspect(out, suspects->list[k], suspects->windowUs);
    }
    appendChar(out, ']');
}

bool appendWorstStallSuspect(TextBuffer& out, const RunSummary& run) {
    const bool wake = run.worstWakes != nullptr && run.worstWakeCount > 0;
    if (!wake && run.worstTimerCount <= 0) return false;
    const StallCause* cause = wake ? run.worstWakeCause : run.worstTimerCause;
    const StallSuspects* suspects = suspectsOf(run, wake, 0);
    if (cause == nullptr || *cause != StallCause::threads || suspects == nullptr || !suspects->known ||
        suspects->count == 0) {
        return false;
    }
    const Suspect& s = suspects->list[0];
    // A console shows control characters as what they do: they become "?".
    char name[suspectNameCapacity];
    std::size_t n = 0;
    for (; n + 1 < sizeof name && s.process[n] != '\0'; ++n) {
        name[n] = static_cast<unsigned char>(s.process[n]) < 0x20 || s.process[n] == 0x7F ? '?' : s.process[n];
    }
    name[n] = '\0';
    appendText(out, "suspect: ");
    appendText(out, name);
    appendText(out, " (pid ");
    appendInteger(out, s.pid);
    appendText(out, "), ");
    appendInteger(out, (s.cpuUs + 500) / 1000);
    appendText(out, " ms of CPU time in the ");
    appendInteger(out, (suspects->windowUs + 500) / 1000);
    appendText(out, " ms around it");
    return true;
}
