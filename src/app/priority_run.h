// The priority of a run: --priority and --sweep, and the record of every
// change, whether the menu, the option or the sweep made it. Every change
// goes through applyPriorityLevel with a note of this file's, so the record
// sees them all alike. Main thread only.
#pragma once

#include "app/options.h"

// Before anything starts: finds the level the run starts at and the class
// the system grants it. --priority realtime that the system grants less
// than (Windows gives a process without the privilege to raise priorities
// HIGH for REALTIME) is refused: false, with `error` (messageCapacity
// bytes) saying what was granted.
bool choosePriority(const CommandLine& options, char* error);
// The start's level (its menu text) and the class granted, for the record.
const char* startLevelText();
const char* startClassText();

// Once every thread of the run exists (a thread started later keeps the
// normal priority): applies the start's level of --priority or of the
// sweep, hands the menu its note when the run is recorded, and arms the
// sweep's steps, the last of which closes the window as the user would.
void startPriority(const CommandLine& options, bool recording);
