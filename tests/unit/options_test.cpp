// The command-line parser on good and bad command lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/options.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

bool parse(std::vector<const char*> arguments, CommandLine& line, std::string& error) {
    arguments.insert(arguments.begin(), "vantrel.exe");
    char text[commandLineErrorCapacity];
    const bool good = parseCommandLine(static_cast<int>(arguments.size()), arguments.data(), line, text);
    error = good ? "" : text;
    return good;
}

std::string errorOf(const std::vector<const char*>& arguments) {
    CommandLine line;
    std::string error;
    return parse(arguments, line, error) ? "(accepted)" : error;
}

TEST(Options, DurationIsConvertedExactlyAndRoundedUpToWholeMilliseconds) {
    const std::pair<const char*, std::int64_t> cases[] = {
        {"1.5", 1500}, {"0.0001", 1},         {"0.0011", 2},           {"0.001000", 1},
        {"2.", 2000},  {".25", 250},          {"007", 7000},           {"31536000", 31536000000},
        {"31536000.000", 31536000000},        {"0000000000000000000000000001", 1000},
    };
    for (const auto& [text, ms] : cases) {
        CommandLine line;
        std::string error;
        ASSERT_TRUE(parse({"--duration", text}, line, error)) << error;
        EXPECT_TRUE(line.hasDuration);
        EXPECT_EQ(line.durationMs, ms) << text;
    }
}

TEST(Options, EveryOptionInBothFormsAndValuesThatLookLikeOptions) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(parse({"--report", "--log", "--log=a=b.csv", "--fail-above", "0", "--duration=3", "--version", "--help"},
                      line, error))
        << error;
    EXPECT_TRUE(line.hasReport && line.hasLog && line.hasFailAbove && line.hasDuration && line.help && line.version);
    EXPECT_EQ(std::string(line.reportPath), "--log");
    EXPECT_EQ(std::string(line.logPath), "a=b.csv");
    EXPECT_EQ(line.failAboveUs, 0);
    EXPECT_EQ(line.durationMs, 3000);

    for (const auto& [text, us] : {std::pair<const char*, std::int64_t>{"2.5", 2500}, {"0.001", 1}, {".75", 750},
                                   {"9223372036854774", 9223372036854774000}}) {
        ASSERT_TRUE(parse({"--fail-above", text}, line, error)) << error;
        EXPECT_EQ(line.failAboveUs, us) << text;
    }
    EXPECT_FALSE(line.hasReport || line.hasLog || line.hasDuration || line.help || line.version || line.quiet)
        << "a second parse starts from nothing";
    for (const char* quiet : {"-q", "--quiet"}) {
        ASSERT_TRUE(parse({quiet, "--report", "r.json"}, line, error)) << error;
        EXPECT_TRUE(line.quiet && line.hasReport) << quiet;
    }
}

TEST(Options, BadNumbersAreNamedInTheError) {
    for (const char* value : {"-3", "0", "0.0000", "31536000.0001", "99999999999999999999", "1e3", "1.2.3", ".", "+1",
                              "inf", "0x10", ""}) {
        EXPECT_EQ(errorOf({"--duration", value}),
                  std::string("option '--duration' needs a number of seconds greater than 0 and at most 31536000, not '") +
                      value + "'");
    }
    for (const char* value : {"-1", "9223372036854775", "1.0005", " 1", "1e3", ""}) {
        EXPECT_EQ(errorOf({"--fail-above", value}),
                  std::string("option '--fail-above' needs a number of milliseconds from 0, with at most three "
                              "decimals, not '") + value + "'");
    }
}

TEST(Options, BadCommandLinesGiveOneLineNamingTheOption) {
    const std::pair<std::vector<const char*>, const char*> cases[] = {
        {{"--report"}, "option '--report' needs a path"},
        {{"--log="}, "option '--log' needs a path, not ''"},
        {{"--help=x"}, "option '--help' takes no value, not 'x'"},
        {{"--version="}, "option '--version' takes no value, not ''"},
        {{"--report", "a", "--report=b"}, "option '--report' is given twice"},
        {{"--help", "--help"}, "option '--help' is given twice"},
        {{"--reports", "a"}, "unknown option '--reports'"},
        {{"--", "a"}, "unknown option '--'"},
        {{"-h", "/?"}, "option '--help' is given twice"},
        {{"-q", "--quiet"}, "option '--quiet' is given twice"},
        {{"--quiet=yes"}, "option '--quiet' takes no value, not 'yes'"},
        {{"-h=x"}, "unknown option '-h'"},
        {{"-x"}, "unknown option '-x'"},
        {{"-"}, "unexpected argument '-'"},
        {{"--log", "l.csv", "report.json"}, "unexpected argument 'report.json'"},
        {{"--no-window", "--duration", "5"}, "option '--no-window' needs somewhere to record the run: '--report', "
                                             "'--log', '--metrics' or '--html'"},
        {{"--from", "run.csv"}, "option '--from' needs '--html PATH' (the page to make from the log) or '--report PATH' "
                                "(its comparison, or its report, as JSON)"},
        {{"--html", "p.html", "--from", "run.csv", "--duration", "5"},
         "option '--from' makes a page from a log without measuring: it takes only '--html', '--report', "
         "'--fail-above', '--fine' and '--quiet'"},
        {{"--html", "p.html", "--from", "a.csv", "--priority", "high"},
         "option '--from' makes a page from a log without measuring: it takes only '--html', '--report', "
         "'--fail-above', '--fine' and '--quiet'"},
        {{"--priority", "turbo"}, "option '--priority' needs a priority level: idle, low, below-normal, normal, "
                                  "above-normal, high or realtime, not 'turbo'"},
        {{"--priority", "high", "--priority=low"}, "option '--priority' is given twice"},
        {{"--sweep", "0", "--report", "r"},
         "option '--sweep' needs a number of seconds greater than 0 and at most 4505142 (52 days: seven levels of it make a year), not '0'"},
        {{"--sweep", "4505143", "--report", "r"},
         "option '--sweep' needs a number of seconds greater than 0 and at most 4505142 (52 days: seven levels of it make a year), not '4505143'"},
        {{"--sweep", "2"}, "option '--sweep' needs somewhere to record the run: '--report', '--log', '--metrics' or "
                           "'--html'"},
        {{"--sweep", "2", "--report", "r", "--duration", "9"},
         "option '--sweep' sets the run's length (SECONDS for each level): it takes no '--duration'"},
        {{"--sweep", "2", "--report", "r", "--priority", "high"},
         "options '--sweep' and '--priority' both set the priority: give one of them"},
        {{"--levels", "high", "--report", "r"}, "option '--levels' needs '--sweep SECONDS', the time each level is measured"},
        {{"--from", "1", "--from", "2", "--from", "3", "--from", "4", "--from", "5", "--from", "6", "--from", "7",
          "--from", "8", "--from", "9"},
         "option '--from' is given more than 8 times"},
        {{"--report", "a", "--metrics", "a"}, "options '--report' and '--metrics' name the same file: 'a' and 'a'"},
        {{"--log", "."}, "option '--log': '.' is a folder"},
        {{"--html", "p.html", "--from", "."}, "option '--from': '.' is a folder"},
    };
    for (const auto& [arguments, error] : cases) EXPECT_EQ(errorOf(arguments), error);
    // A device takes the log only; under Wine, Windows' own device names.
#ifdef _WIN32
    const std::vector<std::string> devices = {"NUL", "CON", "C:\\nul.txt", "\\\\.\\COM1"};
#else
    const std::vector<std::string> devices = {"/dev/null"};
#endif
    for (const std::string& device : devices) {
        const std::string notAFile = ": '" + device + "' is a device, not a file";
        EXPECT_EQ(errorOf({"--report", device.c_str()}), "option '--report'" + notAFile);
        EXPECT_EQ(errorOf({"--metrics", device.c_str(), "--log", device.c_str()}), "option '--metrics'" + notAFile);
        EXPECT_EQ(errorOf({"--log", device.c_str()}), "(accepted)");
    }
}

// The levels by the menu's texts and their short forms, in any case; a
// sweep takes all seven in the menu's order unless --levels names others.
TEST(Options, PrioritySweepAndLevels) {
    const std::pair<const char*, std::int64_t> levels[] = {
        {"idle", 10},         {"low", 11},  {"below-normal", 12}, {"below normal", 12}, {"Normal", 13},
        {"above-normal", 14}, {"HIGH", 15}, {"realtime", 16},     {"above normal", 14}};
    for (const auto& [name, id] : levels) {
        CommandLine line;
        std::string error;
        ASSERT_TRUE(parse({"--priority", name}, line, error)) << error;
        EXPECT_TRUE(line.hasPriority);
        EXPECT_EQ(line.priorityLevelId, id) << name;
    }
    CommandLine line;
    std::string error;
    ASSERT_TRUE(parse({"--sweep", "2.5", "--report", "r.json"}, line, error)) << error;
    EXPECT_EQ(line.sweepMs, 2500);
    EXPECT_EQ(std::vector<std::int64_t>(line.levelIds, line.levelIds + line.levelCount),
              (std::vector<std::int64_t>{10, 11, 12, 13, 14, 15, 16}));
    ASSERT_TRUE(parse({"--sweep=1", "--levels", "high,below normal,idle", "--log", "l.csv"}, line, error)) << error;
    EXPECT_EQ(std::vector<std::int64_t>(line.levelIds, line.levelIds + line.levelCount),
              (std::vector<std::int64_t>{15, 12, 10}));
    for (const char* bad : {"high,high", "high,", ",high", "", "high,,low", "idle,low,below-normal,normal,above-normal,"
                                                                              "high,realtime,idle", "hi"}) {
        EXPECT_EQ(errorOf({"--sweep", "1", "--report", "r", "--levels", bad}),
                  std::string("option '--levels' needs priority levels separated by commas, each once (idle, low, "
                              "below-normal, normal, above-normal, high, realtime), not '") + bad + "'");
    }
    // Up to eight logs, each kept, the first also as fromPath; --fail-above
    // judges them.
    ASSERT_TRUE(parse({"--html", "p.html", "--from", "a.csv", "--from=b.csv", "--fail-above", "5"}, line, error)) << error;
    EXPECT_EQ(line.fromCount, 2);
    EXPECT_EQ(std::string(line.fromPath), "a.csv");
    EXPECT_EQ(std::string(line.fromPaths[1]), "b.csv");
    EXPECT_EQ(line.failAboveUs, 5000);
}

#ifndef _WIN32
// An output that would write over the log (or another output) by another
// spelling of its path is refused; Windows' own spellings are tried under Wine.
TEST(Options, OutputsNamingTheSameFileAreRefused) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("vantrel-same-file-" + std::to_string(::getpid()));
    fs::create_directories(folder / "sub");
    std::ofstream(folder / "run.csv") << "x";
    fs::create_symlink(folder / "run.csv", folder / "link.csv");
    fs::create_hard_link(folder / "run.csv", folder / "hard.csv");
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    const std::string absolute = (folder / "run.csv").string();
    const std::pair<const char*, bool> cases[] = {
        {"run.csv", true},       {"./run.csv", true},        {"sub/../run.csv", true}, {absolute.c_str(), true},
        {"link.csv", true},      {"hard.csv", true},         {"run.csv.tmp", true},    {"run.csv.lock", true},  {"RUN.CSV", false},
        {"sub/run.csv", false},  {"run.csv.tm", false},      {"other.csv", false},
    };
    for (const auto& [page, same] : cases) {
        const std::string error = errorOf({"--html", page, "--from", "run.csv"});
        EXPECT_EQ(error.rfind("options '--html' and '--from' name the same file", 0) == 0, same) << page << ": " << error;
    }
    // Neither file there yet: their folders are resolved.
    EXPECT_NE(errorOf({"--log", "new.csv", "--report", "sub/../new.csv"}), "(accepted)");
    EXPECT_EQ(errorOf({"--log", "new.csv", "--report", "sub/new.csv"}), "(accepted)");
    fs::current_path(before);
    fs::remove_all(folder);
}
#endif

TEST(Options, UsageNamesEveryOptionAndExitCode) {
    const std::string usage = usageText();
    for (const char* part : {"--report PATH", "--log PATH", "--duration SECONDS", "--fail-above MS", "--help",
                             "--priority LEVEL", "--sweep SECONDS", "--levels A,B", "up to 8 logs", "--timer-resolution MS",
                             "--version", "-q, --quiet", "0  normal end", "2  bad command line", "3  an event was later",
                             "4  the record cannot be trusted", "--metrics, --html", "never sampled or not pinned"}) {
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    }
}

// A resolution in ms, kept in 100 ns units, from 0.5 to 15.625; "default"
// asks for nothing.
TEST(Options, TimerResolutionInItsRangeOrDefault) {
    const std::pair<const char*, std::int64_t> goods[] = {{"0.5", 5000}, {"1", 10000}, {"15.625", 156250}, {"default", 0}};
    for (const auto& [text, hundredNs] : goods) {
        CommandLine line;
        std::string error;
        ASSERT_TRUE(parse({"--timer-resolution", text}, line, error)) << error;
        EXPECT_TRUE(line.hasTimerResolution);
        EXPECT_EQ(line.timerResolution, hundredNs) << text;
    }
    for (const char* bad : {"0.499", "15.6251", "20", "abc", "0", "-1", "Default", ""}) {
        EXPECT_EQ(errorOf({"--timer-resolution", bad}),
                  std::string("option '--timer-resolution' needs a timer resolution in ms from 0.5 to 15.625, or "
                              "'default', not '") + bad + "'");
    }
}

// A sweep over resolutions: alone at the start's level, or crossed with the
// levels; what it cannot be given is refused by name.
TEST(Options, SweepOverResolutions) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(parse({"--sweep", "2", "--resolutions", "default,1,0.5", "--report", "r"}, line, error)) << error;
    EXPECT_EQ(line.resolutionCount, 3);
    EXPECT_EQ(line.resolutions[0], 0);
    EXPECT_EQ(line.resolutions[2], 5000);
    EXPECT_EQ(line.levelCount, 1) << "the resolutions alone, at the start's level";
    ASSERT_TRUE(parse({"--sweep", "2", "--levels", "high,normal", "--resolutions", "1,default", "--log", "l"}, line, error))
        << error;
    EXPECT_EQ(line.levelCount * line.resolutionCount, 4);
    const std::pair<std::vector<const char*>, const char*> bads[] = {
        {{"--resolutions", "1", "--report", "r"}, "option '--resolutions' needs '--sweep SECONDS'"},
        {{"--sweep", "1", "--resolutions", "1", "--timer-resolution", "1", "--report", "r"}, "both set the timer resolution"},
        {{"--sweep", "1", "--resolutions", "1,1", "--report", "r"}, "each once"},
        {{"--sweep", "1", "--resolutions", "1,,2", "--report", "r"}, "each once"},
        {{"--sweep", "1", "--levels", "idle,low,normal,high,realtime,above-normal", "--resolutions", "1,2,3", "--report",
          "r"},
         "at most 16 pairs"},
        {{"--sweep", "1", "--resolutions", "20", "--report", "r"}, "from 0.5 to 15.625"},
    };
    for (const auto& [arguments, part] : bads) {
        const std::string message = errorOf(arguments);
        EXPECT_NE(message.find(part), std::string::npos) << message;
    }
}

}  // namespace
