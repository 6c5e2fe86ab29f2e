// The outputs of a few fixed runs, byte for byte against the files kept in
// tests/fixtures: any change to the report, the metrics text, the page or the
// log shows here, however it came about. To remake the fixtures on purpose
// (after a change meant to alter an output), run this test with
// VANTREL_UPDATE_FIXTURES=1 and read the fixtures' diff before committing it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <utility>

#include "engine/accounting.h"
#include "engine/platform_seam.h"
#include "engine/sampled_cores.h"
#include "engine/wake_figures.h"
#include "formats/html_format.h"
#include "formats/log_format.h"
#include "formats/metrics_format.h"
#include "formats/record_formats.h"
#include "formats/report_format.h"
#include "console/summary_lines.h"
#include "record/problem_list.h"
#include "record/context_record.h"
#include "record/recorder.h"
#include "tests/support/fake_platform.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t startMs = 1796652180000;  // 2026-12-07T14:03:00.000Z

// A run's outputs by the extension of their fixture.
using Outputs = std::map<std::string, std::string>;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Outputs rendered(const RunSummary& run) {
    Outputs outputs;
    const std::pair<const char*, void (*)(const RunSummary&, TextBuffer&)> formats[] = {
        {".json", formatReport}, {".prom", formatMetrics}, {".html", formatHtml}};
    for (const auto& [extension, format] : formats) {
        TextBuffer text{};
        EXPECT_TRUE(makeTextBuffer(text, std::size_t{1} << 22));
        format(run, text);
        EXPECT_FALSE(text.overflowed) << extension;
        outputs[extension] = std::string(text.data, text.size);
        freeTextBuffer(text);
    }
    return outputs;
}

// The per-processor time accounting as core 0's sampler reads it, every
// 100 ms on the counter: core 1 busy with another thread through its stall,
// each core otherwise idle but for 5 ms of threads.
void readAccounting(CoreTimes (&times)[2], std::int64_t atMs) {
    advanceFakeCounter(std::int64_t{100} * 10000);
    for (std::int64_t core = 0; core < 2; ++core) {
        const std::int64_t busy = core == 1 && atMs > 4200 && atMs <= 4600 ? 1000000 : 50000;  // 100 ns units
        times[core].user += busy;
        times[core].idle += 1000000 - busy;
        times[core].kernel += 1000000 - busy;  // kernel time includes idle
    }
    storeAccountingReading(readPerformanceCounter() / 10, times, 2);
}

// Two cores through the recorder, as the program feeds it with --fine: core 1
// stalls 358 ms past --fail-above (another thread ran), wake-ups are measured
// pinned on core 0 only, a problem is told, and the machine sleeps 3 s. Its
// four files.
Outputs recordedRun(const fs::path& dir) {
    EXPECT_TRUE(createSampleLock() && createWakeFigures(2) && makeAccounting(2));
    CoreTimes times[2] = {};
    clearSampledCores();
    markCoreSampled(0);
    markCoreSampled(1);
    markWakeSampled(0);
    const std::string base = (dir / "small-fine").string();
    const std::string report = base + ".json", log = base + ".csv", page = base + ".html", metrics = base + ".prom";
    // The machine as the platform tells it, with a name to escape; the
    // timer resolution changes during the run. The version docs/report.md's
    // sample shows.
    setFakeMachine(FakeMachine{"LAB-7 <R&D>", "10.0.19045", "Test CPU @ 3.00GHz", "Balanced", true, 156250, 5000, 156250});
    const RecorderSettings settings{report.c_str(), log.c_str(), page.c_str(), metrics.c_str(), 250000, 2, startMs,
                                    "1.9.0", "normal", "normal", 0, 0, true, "waitable timer", 500, nullptr, &recordFormats};
    char error[messageCapacity] = "";
    EXPECT_TRUE(startRecorder(settings, error)) << error;
    std::mt19937_64 random(21);  // NOLINT(cert-msc32-c,cert-msc51-cpp)
    for (std::int64_t atMs = 0; atMs < 8000; atMs += 100) {
        readAccounting(times, atMs);
        if (atMs == 1500) noteSuspend(startMs + atMs);
        if (atMs >= 1500 && atMs < 4500) continue;
        if (atMs == 4500) noteResume(startMs + atMs, 0);
        recordWake(0, static_cast<std::int64_t>(random() % 1500) + (atMs == 2000 || atMs == 6000 ? 4000 : 0), atMs == 6000 ? 3 : 0, startMs + atMs);
        for (std::int64_t core = 0; core < 2; ++core) {
            const std::int64_t lateUs = core == 1 && atMs == 4600 ? 357883 : static_cast<std::int64_t>(random() % 3000) - 400;
            lockSamples();
            recordEvent(TimerEvent{core, lateUs / 1000, lateUs, startMs + atMs + core, takeColumnWorstUs(core)});
            unlockSamples();
        }
        if (atMs == 1000) recorderStep(startMs + atMs, atMs, true);
        // The menu's "high", as the priority control notes it.
        if (atMs == 5000) recordPriorityChange(startMs + atMs, "high", "high");
        if (atMs == 6000) setFakeMachine(FakeMachine{"LAB-7 <R&D>", "10.0.19045", "Test CPU @ 3.00GHz", "Balanced", true, 10000, 5000, 156250});
    }
    noteRunProblem(startMs + 7000, "the window's \"graph\" could not be drawn");
    finishRecorder(startMs + 8000, 8000, 0);
    // What the run prints at its end, from the figures the program keeps.
    const RunSummary final = takeViewSummary(startMs + 8000, 8000, true);
    TextBuffer summary{};
    EXPECT_TRUE(makeTextBuffer(summary, runSummaryCapacity(2)));
    appendRunSummary(summary, &final, runExitCode(recorderSawFailure(), recordTrusted()), nullptr);
    Outputs outputs;
    outputs[".summary"] = std::string(summary.data, summary.size);
    freeTextBuffer(summary);
    clearSampledCores();
    freeWakeFigures();
    freeAccounting();
    setFakeMachine(FakeMachine{});
    for (const char* extension : {".json", ".prom", ".html", ".csv"}) outputs[extension] = readFile(base + extension);
    return outputs;
}

// Compares `text` with the fixture `name`, showing a difference at its first
// byte with the text around it; with VANTREL_UPDATE_FIXTURES=1, writes it.
void expectFixture(const std::string& text, const fs::path& fixtures, const std::string& name) {
    const fs::path path = fixtures / name;
    const char* update = std::getenv("VANTREL_UPDATE_FIXTURES");  // NOLINT(concurrency-mt-unsafe)
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream(path, std::ios::binary) << text;
        return;
    }
    const std::string saved = readFile(path);
    ASSERT_FALSE(saved.empty()) << "no fixture at " << path.string();
    const auto at = static_cast<std::size_t>(
        std::mismatch(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min(text.size(), saved.size())), saved.begin()).first -
        text.begin());
    if (at == text.size() && at == saved.size()) return;
    const std::size_t from = at < 120 ? 0 : at - 120;
    ADD_FAILURE() << name << ": first difference at byte " << at << " (now " << text.size() << " bytes, fixture "
                  << saved.size() << ")\n--- fixture from byte " << from << ":\n" << saved.substr(from, 240)
                  << "\n--- now:\n" << text.substr(from, 240);
}

// The samples of the docs are the fixtures: a block after
// "<!-- sample: PATH -->" is the whole file, one after "<!-- sample lines of:
// PATH -->" some of its lines in their order. With VANTREL_UPDATE_FIXTURES=1
// the whole ones are rewritten.
void expectDocsSamples(const fs::path& fixtures, const char* file, std::size_t expected) {
    const fs::path docs = fixtures / ".." / ".." / file;
    std::string text = readFile(docs);
    ASSERT_FALSE(text.empty()) << "no " << docs.string();
    const char* update = std::getenv("VANTREL_UPDATE_FIXTURES");  // NOLINT(concurrency-mt-unsafe)
    std::size_t samples = 0;
    for (std::size_t at = text.find("<!-- sample"); at != std::string::npos; at = text.find("<!-- sample", at + 1), ++samples) {
        const std::size_t pathAt = text.find("tests/fixtures/", at) + 15;
        const std::string name = text.substr(pathAt, text.find(" -->", pathAt) - pathAt);
        const std::size_t from = text.find('\n', text.find("```", at)) + 1;
        const std::size_t to = text.find("```", from);
        const std::string block = text.substr(from, to - from);
        const std::string fixture = readFile(fixtures / name);
        if (text.compare(at, 17, "<!-- sample: test") == 0) {
            if (update != nullptr && std::string(update) == "1") text.replace(from, to - from, fixture);
            EXPECT_TRUE(block == fixture || update != nullptr) << file << "'s sample is not " << name;
            continue;
        }
        std::size_t found = 0;
        for (std::size_t line = 0, end; (end = block.find('\n', line)) != std::string::npos; line = end + 1) {
            found = fixture.find(block.substr(line, end - line + 1), found);
            ASSERT_NE(found, std::string::npos) << file << "'s line '" << block.substr(line, end - line) << "' is not in " << name;
        }
    }
    EXPECT_EQ(samples, expected) << file;
    if (update != nullptr && std::string(update) == "1") std::ofstream(docs, std::ios::binary) << text;
}

TEST(Golden, OutputsAreTheFixturesByteForByte) {
    const char* fixtures = std::getenv("VANTREL_FIXTURES_DIR");  // NOLINT(concurrency-mt-unsafe)
    ASSERT_NE(fixtures, nullptr) << "run by ctest, which sets VANTREL_FIXTURES_DIR";
    std::map<std::string, Outputs> runs;
    const fs::path dir = fs::temp_directory_path() / ("vantrel-golden-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    runs["small-fine"] = recordedRun(dir);
    fs::remove_all(dir);

    // Nothing measured yet: core 1 without a sampler, a version to escape.
    const CoreStatistics cores[2] = {};
    const bool sampled[2] = {true, false};
    const RunSummary idle{"1.0 \"test\" \\", "", "", startMs, startMs, 0, false, -1, false, 2, cores, sampled, 0, 0,
                          nullptr, 0, nullptr, 0, nullptr, "", 0, nullptr, 0, nullptr, false, 0, nullptr, nullptr};
    runs["no-events"] = rendered(idle);

    // A page made from a log cut in the middle of a line, as --from makes it.
    const std::string log = "utc,core,late_ms,late_us,source\n2026-12-07T14:03:00.000Z,0,1,900,timer\n"
                            "2026-12-07T14:03:00.001Z,1,3,3400,wake\n2026-12-07T14:03:00.100Z,1,12,12000,timer\n"
                            "2026-12-07T14:03:04.459Z,1,358,357883,timer\n2026-12-07T14:03:08.000Z,0,0,50,timer\n2026-12-07T14:03:08.1";
    LogReader reader{};
    ASSERT_TRUE(makeLogReader(reader));
    readLogChunk(reader, log.data(), log.size());
    ASSERT_TRUE(finishLog(reader)) << reader.error.data;
    RunSummary fromLog{};
    summaryFromLog(reader, fromLog, "1.2.0", 250000);
    runs["from-log"] = rendered(fromLog);
    freeLogReader(reader);

    const std::pair<const char*, const char*> cases[] = {
        {"small-fine", ".json"}, {"small-fine", ".prom"}, {"small-fine", ".html"}, {"small-fine", ".csv"},
        {"no-events", ".json"},  {"no-events", ".prom"},  {"from-log", ".html"},  {"from-log", ".json"}};
    for (const auto& [run, extension] : cases) expectFixture(runs[run][extension], fixtures, std::string(run) + extension);
    expectFixture(runs["small-fine"][".summary"], fixtures, "small-fine.summary");
    expectDocsSamples(fixtures, "docs/report.md", 2);  // the report and the log
    expectDocsSamples(fixtures, "README.md", 1);       // the summary at the end
}

}  // namespace
