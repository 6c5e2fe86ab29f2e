// --html PAGE --from A.csv --from B.csv ...: the page that compares runs,
// and the logs opened as sources for the comparison.
#pragma once

#include "app/options.h"
#include "compare/compare_runs.h"

// Compares the logs of --from (their runs, or the levels of the one run);
// answers the exit code the page should end with after writing `page`'s
// text: 0, 3 when a run was later than --fail-above, 2 after telling why
// nothing could be compared. `comparison` is freed by the caller.
int compareFromLogs(const CommandLine& options, Comparison& comparison);

// The whole comparison page of --from's logs: the exit code.
int makeComparisonPage(const CommandLine& options);
