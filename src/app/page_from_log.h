// --html PATH --from LOG: the page of a run made afterwards from its log,
// without measuring anything.
#pragma once

#include "app/options.h"

// Answers the exit code: 0 when the page was written (also for a log that
// ends in the middle of a line: the page says so), 3 when it was written and
// an event was later than --fail-above, 2 for a log that cannot be read or
// is not a log, or a page that cannot be written. Several logs, or one of
// several runs, make the page that compares them (compare_logs.h).
int makePageFromLog(const CommandLine& options);
