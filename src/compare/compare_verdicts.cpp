// The verdicts of a comparison: every run against the baseline on every core, by the judge (verdict/judge.h).
#include "compare/compare_reading.h"

#include <cstdlib>

#include "text/text_buffer.h"

namespace comparison_reading {
namespace {

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

}  // namespace

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

}  // namespace comparison_reading

std::int64_t verdictIndex(const Comparison& comparison, std::int64_t run, std::int64_t core) {
    return (run < comparison.baseline ? run : run - 1) * comparison.coreCount + core;
}
