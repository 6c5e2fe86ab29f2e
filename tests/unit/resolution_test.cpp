// The timer resolution's ledger: changes read through the machine seam while
// the writer steps, kept in order with their times up to the bound, written
// as log notes and read back, the resolution in force at each worst stall,
// and what --timer-resolution asked and was granted.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "console/summary_lines.h"
#include "engine/machine_context.h"
#include "engine/platform_seam.h"
#include "engine/sampled_cores.h"
#include "formats/html_format.h"
#include "formats/log_format.h"
#include "formats/record_formats.h"
#include "record/context_record.h"
#include "record/recorder.h"
#include "record/sweep_record.h"
#include "tests/support/fake_platform.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t startedUtcMs = 1796652180000;  // 2026-12-07T14:03:00.000Z
constexpr std::int64_t coarse = 156250;               // 15.625 ms in 100 ns units

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ResolutionLedger, ChangesInOrderTheBoundAndTheResolutionInForce) {
    MachineContext machine = unknownMachine();
    machine.resolutionAtStart = TimerResolution{coarse, 5000, coarse};
    // Each reading: its time, its value, whether it is a change.
    const struct {
        std::int64_t atMs, current;
        bool change;
    } readings[] = {{1000, coarse, false}, {2000, 10000, true}, {3000, 10000, false},
                    {4000, 5000, true},    {5000, -1, false},   {6000, coarse, true}};
    for (const auto& r : readings) EXPECT_EQ(noteResolutionReading(machine, r.atMs, r.current), r.change) << r.atMs;
    ASSERT_EQ(machine.ledger.count, 3);
    EXPECT_EQ(machine.ledger.changes[0].atUtcMs, 2000);
    EXPECT_EQ(machine.ledger.changes[1].current, 5000);
    EXPECT_EQ(machine.ledger.changes[2].atUtcMs, 6000);
    // The resolution in force at a time, in 100 ns units.
    const std::pair<std::int64_t, std::int64_t> inForce[] = {
        {0, coarse}, {1999, coarse}, {2000, 10000}, {3999, 10000}, {4000, 5000}, {9000, coarse}};
    for (const auto& [atMs, expected] : inForce) EXPECT_EQ(resolutionInForce(machine, atMs), expected) << atMs;

    // Past the bound: counted, the latest kept, and between the last listed
    // change and the latest nothing is claimed.
    MachineContext busy = unknownMachine();
    busy.resolutionAtStart = TimerResolution{coarse, 5000, coarse};
    for (std::int64_t k = 1; k <= 70; ++k) EXPECT_TRUE(noteResolutionReading(busy, k * 1000, k % 2 == 1 ? 10000 : coarse));
    EXPECT_EQ(busy.ledger.count, 70);
    EXPECT_EQ(busy.ledger.changes[resolutionChangesKept - 1].atUtcMs, 64000);
    EXPECT_EQ(resolutionInForce(busy, 63500), 10000);
    EXPECT_EQ(resolutionInForce(busy, 66000), -1);
    EXPECT_EQ(resolutionInForce(busy, 70000), coarse);

    // A start that could not be read: no reading changes anything.
    MachineContext unknown = unknownMachine();
    EXPECT_FALSE(noteResolutionReading(unknown, 1000, 10000));
    EXPECT_EQ(resolutionInForce(unknown, 1000), -1);
}

class ResolutionRecord : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(createSampleLock());
        directory = fs::temp_directory_path() / ("vantrel-resolution-" + std::to_string(std::random_device()()));
        fs::create_directories(directory);
        for (std::int64_t core = 0; core < 2; ++core) markCoreSampled(core);
    }
    void TearDown() override {
        finishRecorder(0, 0, 0);
        setFakeMachine(FakeMachine{});
        clearSampledCores();
        fs::remove_all(directory);
    }
    std::string at(const char* name) const { return (directory / name).string(); }
    // A record of `cores` cores with its report at `report` (kept alive by the caller).
    static RecorderSettings settingsFor(const std::string& report, std::int64_t cores) {
        RecorderSettings settings{};
        settings.reportPath = report.c_str();
        settings.coreCount = cores;
        settings.startedUtcMs = startedUtcMs;
        settings.version = "9.9.9";
        settings.formats = &recordFormats;
        return settings;
    }
    fs::path directory;
};

// A run whose resolution changes twice between the writer's steps, with
// --timer-resolution 0.5 granted as 1 ms: the report, the log's notes, the
// log read back, the page's marks and the console's summary.
TEST_F(ResolutionRecord, ChangesReachEveryOutputAndReadBackFromTheLog) {
    setFakeMachine(FakeMachine{"PC", nullptr, nullptr, nullptr, true, coarse, 5000, coarse});
    const std::string report = at("r.json");
    const std::string log = at("l.csv");
    RecorderSettings settings = settingsFor(report, 2);
    settings.logPath = log.c_str();
    settings.askedResolution = 5000;
    settings.grantedResolution = 10000;
    char error[messageCapacity] = "";
    ASSERT_TRUE(startRecorder(settings, error)) << error;
    const auto event = [](std::int64_t core, std::int64_t lateMs, std::int64_t utcMs) {
        lockSamples();
        recordEvent(TimerEvent{core, lateMs, lateMs * 1000, utcMs});
        unlockSamples();
    };
    event(0, 30, startedUtcMs + 400);
    setFakeMachine(FakeMachine{"PC", nullptr, nullptr, nullptr, true, 10000, 5000, coarse});
    recorderStep(startedUtcMs + 1000, 1000, false);
    event(1, 40, startedUtcMs + 1500);
    setFakeMachine(FakeMachine{"PC", nullptr, nullptr, nullptr, true, coarse, 5000, coarse});
    recorderStep(startedUtcMs + 2000, 2000, false);
    finishRecorder(startedUtcMs + 3000, 3000, 0);

    const std::string json = readFile(report);
    EXPECT_NE(json.find("\"asked_ms\": 0.5, \"granted_ms\": 1,\n      \"changes\": [\n"
                        "        {\"at_utc\": \"2026-12-07T14:03:01.000Z\", \"current_ms\": 1},\n"
                        "        {\"at_utc\": \"2026-12-07T14:03:02.000Z\", \"current_ms\": 15.625}\n"
                        "      ], \"changes_not_listed\": 0}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"late_ms\": 40,\n    \"at_utc\": \"2026-12-07T14:03:01.500Z\",\n    \"timer_resolution_ms\": 1\n"),
              std::string::npos)
        << "the worst stall came under 1 ms\n"
        << json;
    const std::string text = readFile(log);
    for (const char* note : {"2026-12-07T14:03:00.000Z,,,,timer_resolution=156250/5000/156250\n",
                             "2026-12-07T14:03:00.000Z,,,,timer_resolution_asked=5000/10000\n",
                             "2026-12-07T14:03:01.000Z,,,,timer_resolution_change=10000\n",
                             "2026-12-07T14:03:02.000Z,,,,timer_resolution_change=156250\n"}) {
        EXPECT_NE(text.find(note), std::string::npos) << note << text;
    }

    LogReader reader{};
    ASSERT_TRUE(makeLogReader(reader));
    readLogChunk(reader, text.data(), text.size());
    ASSERT_TRUE(finishLog(reader)) << reader.error.data;
    RunSummary run{};
    summaryFromLog(reader, run, "9.9.9", -1);
    ASSERT_NE(run.machine, nullptr);
    EXPECT_EQ(run.machine->askedResolution, 5000);
    EXPECT_EQ(run.machine->grantedResolution, 10000);
    ASSERT_EQ(run.machine->ledger.count, 2);
    EXPECT_EQ(run.machine->ledger.changes[0].atUtcMs, startedUtcMs + 1000);
    EXPECT_EQ(resolutionInForce(*run.machine, startedUtcMs + 1500), 10000);
    TextBuffer out{};
    ASSERT_TRUE(makeTextBuffer(out, htmlCapacity(run.coreCount, false)));
    formatHtml(run, out);
    const std::string page(out.data, out.size);
    EXPECT_NE(page.find("<text class=\"resolution-label\" data-utc=\"1796652182000\" "), std::string::npos);
    EXPECT_NE(page.find("15.625 ms</text>"), std::string::npos);
    EXPECT_NE(page.find("<td>1</td>"), std::string::npos) << "the stall's row names the resolution in force";
    freeTextBuffer(out);
    ASSERT_TRUE(makeTextBuffer(out, runSummaryCapacity(run.coreCount)));
    appendRunSummary(out, &run, 0, nullptr);
    EXPECT_NE(std::string(out.data, out.size).find("\ntimer resolutions seen: 15.625 ms, 1 ms\n"), std::string::npos)
        << std::string(out.data, out.size);
    freeTextBuffer(out);
    freeLogReader(reader);
}

TEST(ResolutionNotes, NotesThatAreNotResolutionsAreRefused) {
    const std::string head =
        "utc,core,late_ms,late_us,source\n2026-12-07T14:03:00.000Z,,,,timer_resolution=156250/5000/156250\n"
        "2026-12-07T14:03:00.000Z,0,1,900,timer\n";
    const std::pair<const char*, const char*> bads[] = {
        {"timer_resolution_change=0", "not a resolution"},
        {"timer_resolution_change=1 ms", "not a resolution"},
        {"timer_resolution_change=36000000001", "not a resolution"},
        {"timer_resolution_asked=5000/", "not the resolution asked"},
        {"timer_resolution_asked=/10000", "not the resolution asked"},
        {"timer_resolution_asked=5000/1/2", "not the resolution asked"},
    };
    for (const auto& [note, why] : bads) {
        LogReader reader{};
        ASSERT_TRUE(makeLogReader(reader));
        const std::string text = head + "2026-12-07T14:03:01.000Z,,,," + note + "\n";
        readLogChunk(reader, text.data(), text.size());
        EXPECT_FALSE(finishLog(reader)) << note;
        EXPECT_NE(std::string(reader.error.data).find(why), std::string::npos) << reader.error.data;
        freeLogReader(reader);
    }
}

// A sweep over resolutions at one level: each stretch begins without a
// priority change and names the resolution asked and the one in force.
TEST_F(ResolutionRecord, SweepStretchesNameTheirResolutions) {
    setFakeMachine(FakeMachine{"PC", nullptr, nullptr, nullptr, true, coarse, 5000, coarse});
    const std::string report = at("r.json");
    RecorderSettings settings = settingsFor(report, 1);
    settings.sweepLevelCount = 2;
    settings.sweepMs = 1000;
    char error[messageCapacity] = "";
    ASSERT_TRUE(startRecorder(settings, error)) << error;
    setSweepStretchResolution(0, timerResolutionNow().current);
    EXPECT_EQ(askTimerResolution(5000), 5000);
    recordSweepStretch(startedUtcMs + 1000, "normal", "normal");
    setSweepStretchResolution(5000, timerResolutionNow().current);
    finishRecorder(startedUtcMs + 2000, 2000, 0);
    releaseTimerResolution();
    const std::string json = readFile(report);
    EXPECT_NE(json.find("{\"level\": \"normal\", \"class\": null, \"timer_resolution_ms\": 15.625, "
                        "\"timer_resolution_asked_ms\": null, \"from_utc\": \"2026-12-07T14:03:00.000Z\""),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"level\": \"normal\", \"class\": \"normal\", \"timer_resolution_ms\": 0.5, "
                        "\"timer_resolution_asked_ms\": 0.5, \"from_utc\": \"2026-12-07T14:03:01.000Z\""),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"changes\": [],\n    \"changes_not_listed\": 0"), std::string::npos)
        << "a resolution's stretch is no priority change";
}

// What --timer-resolution reports as granted is what the system answers,
// not what was asked; a system that answers nothing grants nothing known.
TEST(ResolutionRequest, GrantedIsWhatTheSystemAnswers) {
    setFakeMachine(FakeMachine{nullptr, nullptr, nullptr, nullptr, true, coarse, 10000, coarse});
    EXPECT_EQ(askTimerResolution(5000), 10000);
    EXPECT_EQ(timerResolutionNow().current, 10000);
    EXPECT_EQ(askTimerResolution(20000), 20000);
    setFakeMachine(FakeMachine{});
    EXPECT_EQ(askTimerResolution(5000), -1);
}

}  // namespace
