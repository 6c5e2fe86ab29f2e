// --html PATH --from LOG: the page of a run made afterwards from its log,
// without measuring anything.
#pragma once

#include "app/options.h"

// Answers the exit code: 0 when the page was written (also for a log that
// ends in the middle of a line: the page says so), 2 for a log that cannot
// be read or is not a log, or a page that cannot be written.
int makePageFromLog(const CommandLine& options);
