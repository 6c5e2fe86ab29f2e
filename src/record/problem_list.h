// The problems met during a run: told once each (and their recovery once),
// kept with their time for the report up to a fixed number, the rest only
// counted. Plain data; the caller guards it.
#pragma once

#include <cstdint>

#include "record/run_summary.h"

// Problems beyond the kept ones whose texts are still remembered (as
// hashes), so that one repeated after the list filled is not told again.
constexpr std::int64_t problemsRemembered = 128;

struct ProblemList {
    Problem kept[problemsKept];
    std::int64_t listed;
    std::int64_t count;
    std::uint64_t unlistedHashes[problemsRemembered];
    std::int64_t unlistedRemembered;
};

void clearProblems(ProblemList& list);
// Adds `message` at `atUtcMs` unless the same text was told already.
// Answers whether it was added (and so is to be told).
bool addProblem(ProblemList& list, std::int64_t atUtcMs, const char* message);
// For something that fails and may work again (a file): a failure is added
// only when `failing` was clear, and sets it; a success while `failing` is
// set clears it and adds `recovery`. Each answers whether it added.
bool addFailure(ProblemList& list, bool& failing, std::int64_t atUtcMs, const char* message);
bool addRecovery(ProblemList& list, bool& failing, std::int64_t atUtcMs, const char* recovery);

// The exit code of a run: 3 when the threshold was crossed, else 4 when
// the record cannot be trusted, else 0.
constexpr int exitComplete = 0;
constexpr int exitBadCommandLine = 2;
constexpr int exitThresholdCrossed = 3;
constexpr int exitUntrusted = 4;
constexpr int runExitCode(bool thresholdCrossed, bool trusted) {
    return thresholdCrossed ? exitThresholdCrossed : trusted ? exitComplete : exitUntrusted;
}
