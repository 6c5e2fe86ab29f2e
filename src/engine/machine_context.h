// The machine a run measured on, as the report, the page and the log give
// it, so that two runs can be told apart and compared: read once at the
// start, the timer resolution also once a second and at the end, since other
// programs change it while the run goes on (a browser playing video asks for
// 1 ms). A value that cannot be read is empty (texts) or -1 (the
// resolution), and shows as null: never a problem of the run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/machine_seam.h"

// Texts are cut to this many bytes (on a whole UTF-8 character), so that a
// log line can hold any of them.
constexpr std::size_t machineTextCapacity = 49;

// Changes of the resolution in force listed; more are only counted, and the
// latest of them kept, so that the end of a busy run still knows its value.
constexpr std::int64_t resolutionChangesKept = 64;

struct ResolutionChange {
    std::int64_t atUtcMs;
    std::int64_t current;  // 100 ns units
};

struct ResolutionLedger {
    std::int64_t count;  // changes after the start, listed or not
    ResolutionChange changes[resolutionChangesKept];
    ResolutionChange latest;  // the last of them, listed or not
};

struct MachineContext {
    char name[machineTextCapacity];
    char windows[machineTextCapacity];
    char processor[machineTextCapacity];
    char powerPlan[machineTextCapacity];
    TimerResolution resolutionAtStart;  // every figure -1 when unknown
    TimerResolution resolutionAtEnd;
    ResolutionLedger ledger;
    // --timer-resolution: what was asked and what the system answered it
    // granted (100 ns units); -1 when nothing was asked or nothing answered.
    std::int64_t askedResolution;
    std::int64_t grantedResolution;
};

constexpr TimerResolution unknownResolution = {-1, -1, -1};

// Everything unknown.
MachineContext unknownMachine();
// Reads every value through the seam; the end's resolution stays unknown.
void readMachineContext(MachineContext& out);
// The resolution now, or unknownResolution.
TimerResolution timerResolutionNow();
// A reading of the resolution in force at `utcMs` (100 ns units; 0 or less:
// not read): answers true when it differs from the one in force before, and
// then it is a change of the ledger. Nothing changes what was never known
// (a start that could not be read).
bool noteResolutionReading(MachineContext& machine, std::int64_t utcMs, std::int64_t current);
// The resolution in force at `utcMs` (100 ns units): the start's, or the
// last change at or before it; -1 when not known (a start that could not be
// read, or between the last listed change and the latest).
std::int64_t resolutionInForce(const MachineContext& machine, std::int64_t utcMs);
// --timer-resolution and a sweep's resolutions: asks the system for
// `hundredNs` instead of any resolution asked before, and answers what it
// granted (100 ns units), -1 when it answered nothing (or nothing was
// asked: 0). Released at the end, or for "default".
std::int64_t askTimerResolution(std::int64_t hundredNs);
void releaseTimerResolution();
// A text from outside, made safe for every output: control characters,
// commas and backslashes become spaces, and it is cut to the capacity on a
// whole character.
void keepMachineText(char* out, const char* text);
