// The machine a run measured on, as the report, the page and the log give
// it, so that two runs can be told apart and compared: read once at the
// start (the timer resolution also at the end, since other programs change
// it while the run goes on). A value that cannot be read is empty (texts)
// or -1 (the resolution), and shows as null: never a problem of the run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/machine_seam.h"

// Texts are cut to this many bytes (on a whole UTF-8 character), so that a
// log line can hold any of them.
constexpr std::size_t machineTextCapacity = 49;

struct MachineContext {
    char name[machineTextCapacity];
    char windows[machineTextCapacity];
    char processor[machineTextCapacity];
    char powerPlan[machineTextCapacity];
    TimerResolution resolutionAtStart;  // every figure -1 when unknown
    TimerResolution resolutionAtEnd;
};

constexpr TimerResolution unknownResolution = {-1, -1, -1};

// Everything unknown.
MachineContext unknownMachine();
// Reads every value through the seam; the end's resolution stays unknown.
void readMachineContext(MachineContext& out);
// The resolution now, or unknownResolution.
TimerResolution timerResolutionNow();
// A text from outside, made safe for every output: control characters,
// commas and backslashes become spaces, and it is cut to the capacity on a
// whole character.
void keepMachineText(char* out, const char* text);
