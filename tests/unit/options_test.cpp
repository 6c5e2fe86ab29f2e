// The command-line parser on good and bad command lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/options.h"

namespace {

bool parse(std::vector<const char*> arguments, CommandLine& line, std::string& error) {
    arguments.insert(arguments.begin(), "vantrel.exe");
    return parseCommandLine(static_cast<int>(arguments.size()), arguments.data(), line, error);
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
    EXPECT_EQ(line.reportPath, "--log");
    EXPECT_EQ(line.logPath, "a=b.csv");
    EXPECT_EQ(line.failAboveMs, 0);
    EXPECT_EQ(line.durationMs, 3000);

    ASSERT_TRUE(parse({"--fail-above=9223372036854775807"}, line, error)) << error;
    EXPECT_EQ(line.failAboveMs, INT64_MAX);
    EXPECT_FALSE(line.hasReport || line.hasLog || line.hasDuration || line.help || line.version)
        << "a second parse starts from nothing";
}

TEST(Options, BadNumbersAreNamedInTheError) {
    for (const char* value : {"-3", "0", "0.0000", "31536000.0001", "99999999999999999999", "1e3", "1.2.3", ".", "+1",
                              "inf", "0x10", ""}) {
        EXPECT_EQ(errorOf({"--duration", value}),
                  std::string("option '--duration' needs a number of seconds greater than 0 and at most 31536000, not '") +
                      value + "'");
    }
    for (const char* value : {"-1", "9223372036854775808", "1.5", " 1"}) {
        EXPECT_EQ(errorOf({"--fail-above", value}),
                  std::string("option '--fail-above' needs a whole number of milliseconds from 0 to 9223372036854775807, "
                              "not '") + value + "'");
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
        {{"-h"}, "unexpected argument '-h'"},
        {{"--log", "l.csv", "report.json"}, "unexpected argument 'report.json'"},
    };
    for (const auto& [arguments, error] : cases) EXPECT_EQ(errorOf(arguments), error);
}

TEST(Options, UsageNamesEveryOptionAndExitCode) {
    const std::string usage = usageText();
    for (const char* part : {"--report PATH", "--log PATH", "--duration SECONDS", "--fail-above MS", "--help",
                             "--version", "0  normal end", "2  bad command line", "3  an event was later"}) {
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    }
}

}  // namespace
