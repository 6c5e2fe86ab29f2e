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
    const char* fromPath;  // the first --from
    const char* fromPaths[8];
    std::int64_t fromCount;
    bool hasDuration;
    std::int64_t durationMs;
    bool hasFailAbove;
    std::int64_t failAboveUs;
    bool fine;
    bool noWindow;
    // Nothing on standard output: no live block, no summary at the end.
    bool quiet;
    // --priority: the level's menu command (10 .. 16).
    bool hasPriority;
    std::int64_t priorityLevelId;
    // --sweep: each level for sweepMs; the levels' commands in the order
    // measured (--levels, else all seven from idle to realtime).
    bool hasSweep;
    std::int64_t sweepMs;
    bool hasLevels;
    std::int64_t levelIds[7];
    std::int64_t levelCount;
    // The service: registered, removed, or this process started as it.
    bool installService;
    bool uninstallService;
    bool service;
    bool hasServiceAccount;
    const char* serviceAccount;
    // --log-max-mb: the log rolls over at this size (MB of 1048576 bytes,
    // decimals allowed, kept in bytes).
    bool hasLogMaxMb;
    std::int64_t logMaxBytes;
    // --timer-resolution: in 100 ns units; 0 for "default" (nothing asked).
    bool hasTimerResolution;
    std::int64_t timerResolution;
    // --resolutions with --sweep: each measured in turn, in 100 ns units
    // (0: "default"); crossed with the levels, every level at each of them.
    bool hasResolutions;
    std::int64_t resolutions[8];
    std::int64_t resolutionCount;
};

// Largest --log-max-mb: a terabyte.
constexpr std::int64_t maxLogMaxMb = 1048576;

// --from may be given this many times: the logs of one comparison.
constexpr std::int64_t maxFromLogs = 8;

// Longest --duration: a year; a --sweep's seven levels take at most as long.
constexpr std::int64_t maxDurationSeconds = 31536000;
constexpr std::int64_t maxSweepSeconds = maxDurationSeconds / 7;
// A sweep's stretches (levels by resolutions) at most.
constexpr std::int64_t maxSweepStretches = 16;
// An error names the option and its value, cut to this.
constexpr std::size_t commandLineErrorCapacity = 512;

// argv[0] is the program; the arguments are UTF-8. On a bad command line
// answers false with a one-line `error` (commandLineErrorCapacity bytes)
// naming the option and the value.
bool parseCommandLine(int argc, const char* const* argv, CommandLine& out, char* error);

// The combinations of the service's options, once every option is known
// (service_command.cpp, which also builds the service's command line).
// Answers false with a one-line `error` (commandLineErrorCapacity bytes).
bool checkServiceOptions(CommandLine& out, char* error);

// A sweep's stretches, every level at each resolution (0 without --sweep),
// and the time they take together.
std::int64_t sweepStretches(const CommandLine& options);
std::int64_t sweepPlannedMs(const CommandLine& options);

// Whether the option `argument` ("--log" or "--log=x") takes a value.
bool optionTakesValue(const char* argument);

// Every option and the exit codes, one line each.
const char* usageText();
