// What the context of a run reads of the machine: its name, the system's
// version, the processor, the system timer's resolution and the power plan.
// Part of the platform seam (platform_seam.h): the Windows build links
// machine_win32.cpp, the native tests a stand-in that hands them values.
// None of them needs administrator rights; each answers false, writing
// nothing, when the value cannot be read.
#pragma once

#include <cstddef>
#include <cstdint>

// The system timer's resolution in 100 ns units: the one in force, the
// finest and the coarsest the system allows (NtQueryTimerResolution).
struct TimerResolution {
    std::int64_t current;
    std::int64_t finest;
    std::int64_t coarsest;
};

// Each writes UTF-8 text, cut to `capacity` bytes with its terminating zero.
bool readComputerName(char* out, std::size_t capacity);
// "10.0.19045": major, minor and build, as the kernel tells them.
bool readWindowsVersion(char* out, std::size_t capacity);
bool readProcessorName(char* out, std::size_t capacity);
// The active power plan's name ("Balanced").
bool readPowerPlanName(char* out, std::size_t capacity);
bool readTimerResolution(TimerResolution& out);
// Asks for (`set`) or gives back a timer resolution of `hundredNs` for this
// process (NtSetTimerResolution); `granted` is the resolution the system
// answers is in force then. Asking first opts the process out of the power
// saving that ignores the request while its windows are hidden or minimized;
// that opt-out alone failing (Windows before 11) is no problem.
bool setTimerResolution(std::int64_t hundredNs, bool set, std::int64_t& granted);
