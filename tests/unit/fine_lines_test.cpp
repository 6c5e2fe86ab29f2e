// The late wake-ups' lines of a --fine record: queued only for a log, so a
// run without one loses none, and counted as lost when the writer gives up
// with some still queued.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "engine/platform_seam.h"
#include "engine/sampled_cores.h"
#include "engine/wake_figures.h"
#include "formats/record_formats.h"
#include "record/recorder.h"
#include "tests/support/fake_platform.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t startedUtcMs = 1796652180000;  // 2026-12-07T14:03:00.000Z

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The integers after every `"name": ` in a report, added up.
std::int64_t sumOf(const std::string& report, const std::string& name) {
    std::int64_t sum = 0;
    const std::string key = "\"" + name + "\": ";
    for (std::size_t at = report.find(key); at != std::string::npos; at = report.find(key, at + 1)) {
        sum += std::stoll(report.substr(at + key.size()));
    }
    return sum;
}

TEST(FineLines, QueuedForALogOnlyAndCountedWhenTheWriterGivesUp) {
    ASSERT_TRUE(createSampleLock());
    const fs::path directory = fs::temp_directory_path() / ("vantrel-fine-lines-" + std::to_string(std::random_device()()));
    fs::create_directories(directory);
    markCoreSampled(0);
    markCoreSampled(1);
    const std::string report = (directory / "r.json").string();
    const std::string log = (directory / "l.csv").string();
    // With a log or not, whether the writer gives up at the end; what the
    // report then counts as lost, and left out of the log by its limit.
    // Of each core's 600 wake-ups over 1 ms in one second, the log takes
    // wakeLinesPerSecond - 1 at once and holds one for the second's end.
    constexpr std::int64_t queued = wakeLinesPerSecond - 1;
    // With a log or not, whether the writer gives up at the end; what the
    // report then counts as lost, and left out of the log by its limit.
    const struct { bool withLog, givesUp; std::int64_t dropped, notLogged; } cases[] = {
        {false, false, 0, 0},
        {false, true, 0, 0},
        {true, false, 0, 2 * (600 - queued)},
        {true, true, 2 * queued, 2 * (600 - queued)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.withLog ? "a log" : "no log") + (c.givesUp ? ", the writer gives up" : ""));
        freeWakeFigures();
        ASSERT_TRUE(createWakeFigures(2));
        RecorderSettings settings{};
        settings.reportPath = report.c_str();
        settings.logPath = c.withLog ? log.c_str() : "";
        settings.htmlPath = "";
        settings.fine = true;
        settings.failAboveUs = -1;
        settings.coreCount = 2;
        settings.startedUtcMs = startedUtcMs;
        settings.version = "9.9.9";
        settings.tellProblem = [](const char*) {};
        settings.formats = &recordFormats;
        char error[messageCapacity] = "";
        ASSERT_TRUE(startRecorder(settings, error)) << error;
        // 600 wake-ups of 2 ms on each core within one second.
        for (std::int64_t k = 0; k < 600; ++k) {
            for (std::int64_t core = 0; core < 2; ++core) recordWake(core, 2000, 0, startedUtcMs + 100 + k);
        }
        // A give-up time already past: the writer gives up at once.
        advanceFakeCounter(1);
        finishRecorder(startedUtcMs + 1000, 1000, c.givesUp ? readPerformanceCounter() : 0);
        const std::string text = readFile(report);
        EXPECT_EQ(sumOf(text, "log_dropped"), c.dropped) << text;
        EXPECT_EQ(sumOf(text, "wake_lines_not_logged"), c.notLogged);
        EXPECT_NE(text.find(c.dropped == 0 ? "\"complete\": true" : "\"complete\": false"), std::string::npos);
    }
    freeWakeFigures();
    clearSampledCores();
    fs::remove_all(directory);
}

}  // namespace
