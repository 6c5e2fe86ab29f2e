// One run of the program after its command line was read: the record when
// one is asked for, the window, the samplers, the message loop and the end.
#pragma once

#include "app/options.h"

// Answers the exit code; `startMs` is GetTickCount64 at the process start.
int runVantrel(const CommandLine& options, unsigned long long startMs);

// Called once the samplers run (the service reports RUNNING then). Null:
// nothing to do.
extern void (*samplersRunning)();
