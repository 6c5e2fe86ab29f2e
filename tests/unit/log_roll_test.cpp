// --log-max-mb: the rolled log's name, and the recorder rolling its log over
// at the bound, with the header in each file and no line lost or doubled;
// a rename that fails is told once and the log goes on.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine/platform_seam.h"
#include "engine/sampled_cores.h"
#include "formats/record_formats.h"
#include "record/log_roll.h"
#include "record/recorder.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t startedUtcMs = 1796652180000;  // 2026-12-07T14:03:00.000Z
std::vector<std::string> problems;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(LogRoll, RolledNameHasOneBeforeTheExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"run.csv", "run.1.csv"},          {"C:\\logs\\run.csv", "C:\\logs\\run.1.csv"}, {"run", "run.1"},
        {"a.b\\run", "a.b\\run.1"},        {"dir.x/run", "dir.x/run.1"},                 {".csv", ".csv.1"},
        {"run.tar.gz", "run.tar.1.gz"},    {"C:run.csv", "C:run.1.csv"},
    };
    for (const auto& [path, rolled] : cases) {
        char out[64];
        ASSERT_TRUE(rolledLogName(path, out, sizeof out)) << path;
        EXPECT_STREQ(out, rolled) << path;
    }
    char small[9];
    EXPECT_FALSE(rolledLogName("run.csv", small, sizeof small)) << "run.1.csv and its end need 10 bytes";
}

class LogRollRecorder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(createSampleLock());
        directory = fs::temp_directory_path() / ("vantrel-roll-" + std::to_string(std::random_device()()));
        fs::create_directories(directory);
        problems.clear();
        for (std::int64_t core = 0; core < 2; ++core) markCoreSampled(core);
    }
    void TearDown() override {
        finishRecorder(0, 0, 0);
        clearSampledCores();
        fs::remove_all(directory);
    }
    bool start(std::int64_t maxBytes) {
        RecorderSettings settings{};
        const std::string report = (directory / "r.json").string();
        log = (directory / "l.csv").string();
        settings.reportPath = report.c_str();
        settings.logPath = log.c_str();
        settings.failAboveUs = -1;
        settings.coreCount = 2;
        settings.startedUtcMs = startedUtcMs;
        settings.version = "9.9.9";
        settings.tellProblem = [](const char* message) { problems.emplace_back(message); };
        settings.formats = &recordFormats;
        settings.logMaxBytes = maxBytes;
        char error[messageCapacity] = "";
        const bool started = startRecorder(settings, error);
        EXPECT_TRUE(started) << error;
        return started;
    }
    // 20 steps of 5 events each, event k at startedUtcMs + 10 k.
    void recordSteps() {
        for (std::int64_t step = 0; step < 20; ++step) {
            for (std::int64_t k = step * 5; k < step * 5 + 5; ++k) {
                lockSamples();
                recordEvent(TimerEvent{k % 2, 1, 1007, startedUtcMs + 10 * k});
                unlockSamples();
            }
            recorderStep(startedUtcMs + 1000 * step, 1000 * step, false);
        }
        finishRecorder(startedUtcMs + 30000, 30000, 0);
    }
    fs::path directory;
    std::string log;
};

// The events' lines of a log, and its header (every line before the first event).
void split(const std::string& text, std::string& header, std::vector<std::string>& events) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at + 1);
        if (line.find(",timer\n") != std::string::npos) {
            events.push_back(line);
        } else if (events.empty()) {
            header += line;
        }
        at = end + 1;
    }
}

TEST_F(LogRollRecorder, RollsAtTheBoundWithTheHeaderInEachFileAndNoLineLost) {
    ASSERT_TRUE(start(1200));
    recordSteps();
    std::string header;
    std::string rolledHeader;
    std::vector<std::string> last;
    std::vector<std::string> rolled;
    split(readFile(log), header, last);
    split(readFile(directory / "l.1.csv"), rolledHeader, rolled);
    ASSERT_FALSE(header.empty());
    EXPECT_EQ(rolledHeader, header) << "each log starts with the run's header";
    const auto rolledSize = static_cast<std::int64_t>(fs::file_size(directory / "l.1.csv"));
    // Rolled before the batch that would go past the bound: at most a step's 5 lines over.
    EXPECT_GE(rolledSize, 1200);
    EXPECT_LE(rolledSize, 1200 + 5 * 50);
    // The rolled log and the log hold the last events without a gap.
    ASSERT_FALSE(rolled.empty());
    ASSERT_FALSE(last.empty());
    std::vector<std::string> joined = rolled;
    joined.insert(joined.end(), last.begin(), last.end());
    const std::int64_t first = 100 - static_cast<std::int64_t>(joined.size());
    for (std::size_t k = 0; k < joined.size(); ++k) {
        const std::int64_t ms = 10 * (first + static_cast<std::int64_t>(k));
        const std::string millis = std::to_string(1000 + ms % 1000).substr(1);
        const std::string utc = "2026-12-07T14:03:0" + std::to_string(ms / 1000) + "." + millis + "Z,";
        ASSERT_EQ(joined[k].rfind(utc, 0), 0U) << "line " << k << ": " << joined[k];
    }
    const std::string report = readFile(directory / "r.json");
    const std::size_t at = report.find("\"log_rolls\": ");
    ASSERT_NE(at, std::string::npos) << report;
    // 100 lines of about 42 bytes and a header of about 130, rolled at 1200 bytes.
    const std::int64_t rolls = std::stoll(report.substr(at + 13));
    EXPECT_GE(rolls, 3);
    EXPECT_LE(rolls, 4);
    EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST_F(LogRollRecorder, ARenameThatFailsIsToldOnceAndTheLogGoesOn) {
    // A folder that is not empty cannot be replaced by a file.
    fs::create_directories(directory / "l.1.csv" / "inside");
    ASSERT_TRUE(start(1200));
    recordSteps();
    std::string header;
    std::vector<std::string> events;
    split(readFile(log), header, events);
    EXPECT_EQ(events.size(), 100U) << "every event is in the log";
    ASSERT_EQ(problems.size(), 1U);
    EXPECT_NE(problems[0].find("cannot rename the log to"), std::string::npos) << problems[0];
    const std::string report = readFile(directory / "r.json");
    EXPECT_NE(report.find("\"log_rolls\": 0"), std::string::npos) << report;
}

}  // namespace
