// --html PAGE --from A.csv --from B.csv ...: the page that compares runs,
// and the logs opened as sources for the comparison.
#pragma once

#include "app/options.h"
#include "compare/compare_runs.h"

// Compares the logs of --from (their runs, or the levels of the one run;
// with --fine the wake-ups decide where the logs count them); answers the
// exit code the page should end with after writing `page`'s text: 0, 3 when
// a judged event was later than --fail-above (verdict/judge.h: the first
// period after a priority change is not judged), 2 after telling why
// nothing could be compared. `comparison` is freed by the caller.
int compareFromLogs(const CommandLine& options, Comparison& comparison);

// The comparison of --from's logs: its page (--html), its JSON (--report)
// and its lines on the console: the exit code.
int makeComparisonPage(const CommandLine& options);

// The comparison's lines on the console (not with --quiet): the verdicts,
// and with `withExitLine` the exit code's line.
void tellComparison(const CommandLine& options, const Comparison& comparison, int code, bool withExitLine);
