// The command line: GNU-style long options, "--name value" or "--name=value".
#pragma once

#include <cstddef>
#include <cstdint>

struct CommandLine {
    bool help;
    bool version;
    // Paths point into the arguments, which live as long as the process.
    bool hasReport;
    const char* reportPath;
    bool hasLog;
    const char* logPath;
    bool hasMetrics;
    const char* metricsPath;
    bool hasHtml;
    const char* htmlPath;
    bool hasFrom;
    const char* fromPath;
    bool hasDuration;
    std::int64_t durationMs;
    bool hasFailAbove;
    std::int64_t failAboveUs;
    bool fine;
    bool noWindow;
    // Nothing on standard output: no live block, no summary at the end.
    bool quiet;
};

// Longest --duration: a year.
constexpr std::int64_t maxDurationSeconds = 31536000;
// An error names the option and its value, cut to this.
constexpr std::size_t commandLineErrorCapacity = 512;

// argv[0] is the program; the arguments are UTF-8. On a bad command line
// answers false with a one-line `error` (commandLineErrorCapacity bytes)
// naming the option and the value.
bool parseCommandLine(int argc, const char* const* argv, CommandLine& out, char* error);

// Every option and the exit codes, one line each.
const char* usageText();
