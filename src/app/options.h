// The command line: GNU-style long options, "--name value" or "--name=value".
#pragma once

#include <cstdint>
#include <string>

struct CommandLine {
    bool help = false;
    bool version = false;
    bool hasReport = false;
    std::string reportPath;
    bool hasLog = false;
    std::string logPath;
    bool hasDuration = false;
    std::int64_t durationMs = 0;
    bool hasFailAbove = false;
    std::int64_t failAboveMs = 0;
};

// Longest --duration: a year.
constexpr std::int64_t maxDurationSeconds = 31536000;

// argv[0] is the program; the arguments are UTF-8. On a bad command line
// answers false with a one-line `error` naming the option and the value.
bool parseCommandLine(int argc, const char* const* argv, CommandLine& out, std::string& error);

// Every option and the exit codes, one line each.
const char* usageText();
