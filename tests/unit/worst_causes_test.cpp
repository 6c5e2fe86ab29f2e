// The causes of the stalls that the worst lists name, through the recorder
// with made-up accounting: many stalls of one tick-count lateness, more than
// fit among the attributed ones kept, still each get theirs.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <tuple>

#include "engine/accounting.h"
#include "engine/platform_seam.h"
#include "engine/sampled_cores.h"
#include "engine/wake_figures.h"
#include "formats/record_formats.h"
#include "record/recorder.h"
#include "tests/support/fake_platform.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t ms = 1000;             // microseconds
constexpr std::int64_t hundredNsPerMs = 10000;  // the accounting's unit
constexpr std::int64_t stalls = 61;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::string partOf(const std::string& text, const std::string& start, const char* end) {
    const std::size_t from = text.find(start);
    return from == std::string::npos ? "" : text.substr(from, text.find(end, from) - from);
}

// A reading every 100 ms: core 0 idle but for 15.6 ms of threads in the
// first step (so the accounting's steps are Windows' 15.6 ms), core 1 busy.
void readAccounting(std::int64_t reading) {
    const std::int64_t busy0 = reading > 0 ? 15625 * 10 : 0;
    const std::int64_t idle0 = reading * 100 * hundredNsPerMs - busy0;
    const CoreTimes times[2] = {{idle0, idle0, busy0, 0, 0}, {0, 0, reading * 100 * hundredNsPerMs, 0, 0}};
    storeAccountingReading(reading * 100 * ms, times, 2);
}

TEST(WorstCauses, EveryStallAWorstListNamesHasItsCauseHoweverManyTie) {
    const fs::path dir = fs::temp_directory_path() / ("vantrel-worst-causes-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    const std::string report = (dir / "r.json").string(), page = (dir / "p.html").string();
    ASSERT_TRUE(createSampleLock() && createWakeFigures(2) && makeAccounting(2));
    clearSampledCores();
    for (const std::int64_t core : {0, 1}) {
        markCoreSampled(core);
        markWakeSampled(core);
    }
    setFakeTick(0);
    RecorderSettings settings{};
    settings.reportPath = report.c_str();
    settings.htmlPath = page.c_str();
    std::tie(settings.failAboveUs, settings.coreCount, settings.startedUtcMs, settings.fine) =
        std::make_tuple(-1, 2, readUtcMilliseconds(), true);
    settings.version = "9.9.9";
    settings.formats = &recordFormats;
    char error[messageCapacity] = "";
    ASSERT_TRUE(startRecorder(settings, error)) << error;

    // 61 stalls of core 1, 50 ms after each reading, all 47 ms late by the
    // tick count (three of its 15.6 ms steps) and 47,000 + k us by the
    // counter: the worst list keeps the 20 earliest. Wake-ups of 47 ms each
    // time too, core 1's first and core 0's after it: the worst wake-up is
    // core 1's, the last the writer takes.
    readAccounting(0);
    for (std::int64_t k = 0; k < stalls; ++k) {
        advanceFakeTick(k == 0 ? 150 : 50);
        const std::int64_t utcMs = readUtcMilliseconds();
        lockSamples();
        recordEvent(TimerEvent{1, 47, 47 * ms + k, utcMs});
        unlockSamples();
        recordWake(k == 0 ? 1 : 0, 47 * ms, 0, utcMs);
        advanceFakeTick(50);
        readAccounting(k + 2);
    }
    finishRecorder(readUtcMilliseconds(), 6200, 0);
    freeAccounting();
    clearSampledCores();
    freeWakeFigures();

    const std::string json = readFile(report);
    const std::string html = readFile(page);
    fs::remove_all(dir);
    EXPECT_NE(json.find("\"late_ms\": 47,\n    \"at_utc\": \"2026-12-07T00:00:00.150Z\", \"cause\": \"threads\", "
                        "\"during\": {\"span_ms\": 47, \"threads_ms\": 47, \"drivers_ms\": 0, \"idle_ms\": 0}"),
              std::string::npos) << partOf(json, "\"worst\"", "}\n");
    EXPECT_NE(json.find("{\"core\": 1, \"at_utc\": \"2026-12-07T00:00:00.150Z\", \"late_us\": 47000, \"cause\": \"threads\""),
              std::string::npos) << partOf(json, "\"worst_wakes\"", "]");
    EXPECT_EQ(countOf(partOf(json, "\"worst_wakes\"", "]"), "\"cause\": \"idle\""), 19U) << "core 0's";
    EXPECT_NE(json.find("\"timer\": {\"unknown\": 0, \"threads\": 61,"), std::string::npos);
    const std::string worstEvents = partOf(html, "id=\"worst-events\"", "</table>");
    EXPECT_EQ(countOf(worstEvents, "data-late-ms=\"47\" data-cause=\"threads\">"), 20U) << worstEvents;
    EXPECT_EQ(countOf(worstEvents + partOf(html, "id=\"worst-wakes\"", "</table>"), "data-cause=\"unknown\""), 0U);
}

}  // namespace
