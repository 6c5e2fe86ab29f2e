// A run that ends before every sampler reached its timer: a sampler still
// starting is no problem, one that failed or never started is, and one that
// has been starting for longer than any start takes has failed.
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
#include "record/context_record.h"
#include "record/recorder.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> told;

TEST(ShortRun, ASamplerStillStartingIsNoProblemOneThatFailedIs) {
    const fs::path dir = fs::temp_directory_path() / ("vantrel-short-run-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    const std::string report = (dir / "r.json").string();
    ASSERT_TRUE(createSampleLock());
    const struct {
        std::int64_t elapsedMs;
        std::vector<std::string> problems;
        const char* sampled;
    } cases[] = {
        {50, {"core 2 could not be sampled", "core 3 could not be sampled"}, "[true,true,false,false]"},
        {samplerStartMostMs - 1, {"core 2 could not be sampled", "core 3 could not be sampled"}, "[true,true,false,false]"},
        {samplerStartMostMs,
         {"core 1 could not be sampled", "core 2 could not be sampled", "core 3 could not be sampled"},
         "[true,false,false,false]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.elapsedMs);
        // Core 0 runs its timer; core 1's sampler is on its way to it; core
        // 2's could not make its window; core 3's was never started.
        clearSampledCores();
        markCoreSampled(0);
        markCoreStarting(1);
        markCoreFailed(2);
        markCoreStarting(2);
        told.clear();
        RecorderSettings settings{};
        settings.reportPath = report.c_str();
        settings.failAboveUs = -1;
        settings.coreCount = 4;
        settings.startedUtcMs = 1796652180000;
        settings.version = "9.9.9";
        settings.tellProblem = [](const char* message) { told.emplace_back(message); };
        settings.formats = &recordFormats;
        char error[messageCapacity] = "";
        ASSERT_TRUE(startRecorder(settings, error)) << error;
        finishRecorder(settings.startedUtcMs + c.elapsedMs, c.elapsedMs, 0);
        EXPECT_EQ(told, c.problems);
        std::ifstream in(report, std::ios::binary);
        std::string json(std::istreambuf_iterator<char>(in), {});
        std::string sampled = "[";
        for (std::size_t at = json.find("\"sampled\": "); at != std::string::npos; at = json.find("\"sampled\": ", at + 1)) {
            sampled += std::string(sampled.size() > 1 ? "," : "") + (json.compare(at + 11, 4, "true") == 0 ? "true" : "false");
        }
        EXPECT_EQ(sampled + "]", c.sampled) << json;
    }
    clearSampledCores();
    fs::remove_all(dir);
}

// The exit code follows the judge: a core's first timer event after a
// priority change began its period under the level before and crosses
// nothing; the next one does.
TEST(ShortRun, TheFirstPeriodAfterAPriorityChangeCrossesNothing) {
    ASSERT_TRUE(createSampleLock());
    RecorderSettings settings{};
    settings.failAboveUs = 50000;
    settings.coreCount = 2;
    settings.startedUtcMs = 1796652180000;
    settings.formats = &recordFormats;
    char error[messageCapacity] = "";
    ASSERT_TRUE(startRecorder(settings, error)) << error;
    const auto record = [&](std::int64_t core, std::int64_t lateMs, std::int64_t atMs) {
        lockSamples();
        recordEvent(TimerEvent{core, lateMs, lateMs * 1000, settings.startedUtcMs + atMs});
        unlockSamples();
    };
    record(0, 10, 100);
    record(1, 10, 100);
    recordPriorityChange(settings.startedUtcMs + 1000, "high", "high");
    record(0, 400, 1050);
    record(1, 20, 1050);
    EXPECT_FALSE(recorderSawFailure()) << "core 0's first period after the change is not judged";
    record(1, 400, 1150);
    EXPECT_TRUE(recorderSawFailure()) << "core 1's second event after the change is";
    finishRecorder(settings.startedUtcMs + 2000, 2000, 0);
}

}  // namespace
