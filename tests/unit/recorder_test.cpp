// The recorder end to end in a temporary directory: the files at start, bad
// paths, the log against the final report, falling behind, failing writes,
// and samplers recording while the writer steps (a --fine record:
// recorder_fine_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/accounting.h"
#include "engine/platform_seam.h"
#include "engine/sampled_cores.h"
#include "engine/wake_figures.h"
#include "formats/record_formats.h"
#include "record/context_record.h"
#include "record/recorder.h"
#include "tests/support/fake_platform.h"
#include "tests/unit/recorder_support.h"

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

TEST_F(Recorder, StartWritesAReportWithoutEventsAndEmptiesTheLogToItsHeader) {
    std::ofstream(at("r.json")) << "old report";
    std::ofstream(at("l.csv")) << "old line\n";
    ASSERT_TRUE(start(at("r.json"), at("l.csv"))) << error;
    const std::string report = readFile(at("r.json"));
    EXPECT_NE(report.find("\"updated_utc\": \"2026-12-07T14:03:00.000Z\",\n  \"final\": false,\n  \"seconds\": 0.000,"),
              std::string::npos) << report;
    EXPECT_NE(report.find("\"worst\": null,\n  \"log_dropped\": 0,\n  \"problems\": [],\n  \"problems_not_listed\": 0,\n"),
              std::string::npos) << report;
    EXPECT_EQ(sumOf(report, "events"), 0);
    EXPECT_EQ(eventLog(at("l.csv")), logHeader);
    EXPECT_FALSE(fs::exists(at("r.json.tmp")));
}

// The machine through the platform seam: a value that cannot be read is
// null in the report and has no note in the log; a text from the system is
// kept safe for every output; the timer resolution is read again at the end.
TEST_F(Recorder, MachineValuesThatCannotBeReadAreNullNeverAProblem) {
    setFakeMachine(FakeMachine{"  PC,1\x01\\x  ", "10.0.22631", nullptr, nullptr, false, 0, 0, 0});
    ASSERT_TRUE(start(at("r.json"), at("l.csv"))) << error;
    setFakeMachine(FakeMachine{"other", nullptr, nullptr, nullptr, true, 10000, 5000, 156250});
    recordPriorityChange(startedUtcMs + 500, "high", nullptr);
    finishRecorder(startedUtcMs + 1000, 1000, 0);
    setFakeMachine(FakeMachine{});
    const std::string report = readFile(at("r.json"));
    EXPECT_NE(report.find("\"machine\": {\n    \"name\": \"PC 1  x\",\n    \"windows\": \"10.0.22631\",\n"
                          "    \"processor\": null,\n    \"power_plan\": null,\n    \"timer_resolution\": {\"start\": null, "
                          "\"end\": {\"current_ms\": 1, \"finest_ms\": 0.5, \"coarsest_ms\": 15.625},\n"
                          "      \"asked_ms\": null, \"granted_ms\": null,\n      \"changes\": [], \"changes_not_listed\": 0}\n  },"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("{\"at_utc\": \"2026-12-07T14:03:00.500Z\", \"level\": \"high\", \"class\": null}"),
              std::string::npos) << report;
    EXPECT_NE(report.find("\"complete\": true"), std::string::npos) << "nothing unknown is a problem";
    EXPECT_EQ(readFile(at("l.csv")), "utc,core,late_ms,late_us,source\n2026-12-07T14:03:00.000Z,,,,vantrel=9.9.9\n"
                                     "2026-12-07T14:03:00.000Z,,,,machine=PC 1  x\n2026-12-07T14:03:00.000Z,,,,windows=10.0.22631\n"
                                     "2026-12-07T14:03:00.000Z,,,,priority=normal\n2026-12-07T14:03:00.500Z,,,,priority=high\n");
}

TEST_F(Recorder, BadPathFailsNamingItAndLeavesEverythingAsItWas) {
    std::ofstream(at("kept.csv"), std::ios::binary) << "kept log\n";
    std::ofstream(at("kept.json"), std::ios::binary) << "kept report";
    const std::string missing = at("missing/r.json");
    const std::string cases[][3] = {
        {missing, at("l.csv"), "cannot create '" + missing + "': "},
        {at("r.json"), missing, "cannot create '" + missing + "': "},
        {missing, at("kept.csv"), "cannot create '" + missing + "': "},
        {at("kept.json"), at("kept.json"), "'" + at("kept.json") + "'"},
        {at("kept.json"), at("kept.json.tmp"), "'" + at("kept.json.tmp") + "'"},
    };
    for (const auto& [report, log, named] : cases) {
        EXPECT_FALSE(start(report, log));
        EXPECT_NE(error.find(named), std::string::npos) << error;
#ifndef _WIN32
        EXPECT_TRUE(named.find("missing") == std::string::npos || error.find("No such file or directory") != std::string::npos);
#endif
        EXPECT_EQ(std::distance(fs::directory_iterator(directory), fs::directory_iterator()), 2) << "nothing new left";
        EXPECT_EQ(readFile(at("kept.csv")), "kept log\n");
        EXPECT_EQ(readFile(at("kept.json")), "kept report");
    }
}

// Another run holds the log: refused before the report is touched. A lock
// file left by a run that was killed holds up nobody.
TEST_F(Recorder, AnOutputAnotherRunHoldsIsRefusedAndALeftLockIsNot) {
    std::ofstream(at("r.json")) << "kept";
    std::ofstream(at("r.json.lock")) << "";  // left by a run that was killed
    OutputLock* other = nullptr;
    char text[messageCapacity];
    ASSERT_EQ(lockOutput(at("l.csv").c_str(), &other, text), LockAnswer::taken);
    EXPECT_FALSE(start(at("r.json"), at("l.csv")));
    EXPECT_EQ(error, "cannot write '" + at("l.csv") + "': another run of Vantrel writes it (it holds '" + at("l.csv.lock") + "')");
    EXPECT_TRUE(readFile(at("r.json")) == "kept" && !fs::exists(at("l.csv"))) << "nothing touched";
    unlockOutput(other);
    ASSERT_TRUE(start(at("r.json"), at("l.csv"))) << error;
    finishRecorder(startedUtcMs, 0, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), fs::directory_iterator()), 2) << "no lock left";
}

TEST_F(Recorder, LogHoldsEveryEventAndTheFinalReportCountsThem) {
    ASSERT_TRUE(start(at("r.json"), at("l.csv"), 2, 100)) << error;
    record(0, 5, startedUtcMs + 100);
    record(1, 100, startedUtcMs + 150);
    recorderStep(startedUtcMs + 1000, 1000, false);
    EXPECT_EQ(sumOf(readFile(at("r.json")), "events"), 0) << "the report waits for its turn";
    EXPECT_FALSE(recorderSawFailure()) << "100 ms is not more than 100 ms";
    record(1, 101, startedUtcMs + 1150);
    record(0, -2, startedUtcMs + 1200);
    // Replaced whole, never written in place: a second name of the old file
    // still holds the old report.
    const std::string before = readFile(at("r.json"));
    fs::create_hard_link(at("r.json"), at("before.json"));
    recorderStep(startedUtcMs + 5000, 5000, true);
    EXPECT_EQ(readFile(at("before.json")), before);
    EXPECT_EQ(sumOf(readFile(at("r.json")), "events"), 4);
    EXPECT_TRUE(recorderSawFailure());

    record(0, 7, startedUtcMs + 5100);
    finishRecorder(startedUtcMs + 5432, 5432, 0);
    record(1, 900, startedUtcMs + 5500);
    recorderStep(startedUtcMs + 6000, 6000, true);
    EXPECT_EQ(eventLog(at("l.csv")), logHeader +
                                         "2026-12-07T14:03:00.100Z,0,5,5007,timer\n"
                                         "2026-12-07T14:03:00.150Z,1,100,100007,timer\n"
                                         "2026-12-07T14:03:01.150Z,1,101,101007,timer\n"
                                         "2026-12-07T14:03:01.200Z,0,-2,-1993,timer\n"
                                         "2026-12-07T14:03:05.100Z,0,7,7007,timer\n");
    // Each stall's cause follows it as a note at its own time (unknown: no
    // accounting here).
    for (const char* cause : {"2026-12-07T14:03:00.100Z,,,,stall=0/unknown\n", "2026-12-07T14:03:00.150Z,,,,stall=1/unknown\n",
                              "2026-12-07T14:03:01.150Z,,,,stall=1/unknown\n", "2026-12-07T14:03:05.100Z,,,,stall=0/unknown\n"}) {
        EXPECT_EQ(countOf(readFile(at("l.csv")), cause), 1U) << cause;
    }
    const std::string report = readFile(at("r.json"));
    EXPECT_NE(report.find("\"final\": true,\n  \"seconds\": 5.432,"), std::string::npos) << report;
    EXPECT_EQ(sumOf(report, "events"), 5) << "nothing is recorded after the finish";
    EXPECT_EQ(sumOf(report, "log_dropped"), 0);
    EXPECT_TRUE(problems.empty());
}

TEST_F(Recorder, WriterFallingBehindDropsFromTheLogOnlyAndCountsIt) {
    ASSERT_TRUE(start("", at("l.csv"), 1)) << error;
    for (int k = 0; k < 650; ++k) record(0, k, startedUtcMs + k);
    recorderStep(startedUtcMs + 1000, 1000, true);
    for (int k = 0; k < 10; ++k) record(0, 1, startedUtcMs + 2000);
    finishRecorder(startedUtcMs + 2000, 2000, 0);
    EXPECT_EQ(linesOf(eventLog(at("l.csv"))), headerLines + 600 + 10) << "a minute of events per core waits, no more";
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), fs::directory_iterator()), 1) << "no report file";

    ASSERT_TRUE(start(at("r.json"), at("l.csv"), 1, 10000)) << error;
    for (int k = 0; k < 650; ++k) record(0, k, startedUtcMs + k);
    finishRecorder(startedUtcMs + 1000, 1000, 0);
    record(0, 20000, startedUtcMs + 2000);
    EXPECT_FALSE(recorderSawFailure()) << "nothing is recorded after the finish";
    const std::string report = readFile(at("r.json"));
    EXPECT_EQ(sumOf(report, "events"), 650);
    EXPECT_EQ(sumOf(report, "log_dropped"), 50);
    EXPECT_EQ(linesOf(eventLog(at("l.csv"))), headerLines + 600);
}

TEST_F(Recorder, SamplersRecordWhileTheWriterSteps) {
    constexpr std::int64_t cores = 4;
    ASSERT_TRUE(start(at("r.json"), at("l.csv"), cores, 50)) << error;
    // The samplers record until the writer has taken every step, so each
    // step overlaps their work.
    std::atomic<int> running{0};
    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> recorded{0};
    std::vector<std::thread> samplers;
    for (std::int64_t core = 0; core < cores; ++core) {
        samplers.emplace_back([core, &running, &stop, &recorded] {
            running.fetch_add(1);
            std::int64_t k = 0;
            // Yielding leaves the writer its turns at the lock.
            for (; !stop.load() && k < 20000; ++k) {
                record(core, (k + 55) % 60, startedUtcMs + k);  // over the limit from the first events on
                std::this_thread::yield();
            }
            recorded.fetch_add(k);
        });
    }
    while (running.load() < cores) std::this_thread::yield();
    for (std::int64_t step = 1; step <= 20; ++step) recorderStep(startedUtcMs + step * 1000, step * 1000, true);
    stop.store(true);
    for (std::thread& sampler : samplers) sampler.join();
    finishRecorder(startedUtcMs + 21000, 21000, 0);

    const std::string report = readFile(at("r.json"));
    EXPECT_EQ(sumOf(report, "events"), recorded.load());
    EXPECT_EQ(linesOf(eventLog(at("l.csv"))) - headerLines + sumOf(report, "log_dropped"), recorded.load());
    EXPECT_TRUE(recorderSawFailure());
}

// A full disk: /dev/full, which Wine shows as Z:\dev\full.
#ifdef _WIN32
const std::string fullDisk = "Z:\\dev\\full";
const std::string fullDiskProblem = "cannot write to 'Z:\\dev\\full': Disk full";
#else
const std::string fullDisk = "/dev/full";
const std::string fullDiskProblem = "cannot write to '/dev/full': No space left on device";
#endif

TEST_F(Recorder, LogThatCannotBeWrittenIsToldOnceAndItsEventsCountAsDropped) {
    ASSERT_TRUE(start(at("r.json"), fullDisk)) << error;
    for (int k = 0; k < 3; ++k) record(k % 2, 1, startedUtcMs + k);
    recorderStep(startedUtcMs + 1000, 1000, true);
    finishRecorder(startedUtcMs + 2000, 2000, 0);
    EXPECT_EQ(problems, (std::vector<std::string>{fullDiskProblem, "3 log lines were lost"}));
    const std::string report = readFile(at("r.json"));
    EXPECT_EQ(sumOf(report, "events"), 3);
    EXPECT_EQ(sumOf(report, "log_dropped"), 3) << "the unwritten header is no event";
    EXPECT_NE(report.find("\"complete\": false"), std::string::npos);
}

#ifndef _WIN32
// Writes to regular files stop at `bytes`, in the middle of a write as on a
// filling disk; 0 lifts the limit again.
void limitFileSize(rlim_t bytes) {
    static rlimit unlimited{};
    if (unlimited.rlim_max == 0) getrlimit(RLIMIT_FSIZE, &unlimited);
    rlimit limit = unlimited;
    if (bytes != 0) limit.rlim_cur = bytes;
    static_cast<void>(std::signal(SIGXFSZ, bytes != 0 ? SIG_IGN : SIG_DFL));
    setrlimit(RLIMIT_FSIZE, &limit);
}

TEST_F(Recorder, FullDiskIsToldOncePerFileRetriedAndLeavesWholeLinesAndAWholeReport) {
    ASSERT_TRUE(start(at("r.json"), at("l.csv"), 1)) << error;
    const std::string firstReport = readFile(at("r.json"));
    std::string expected = logHeader;
    for (int k = 0; k < 20; ++k) {
        record(0, k, startedUtcMs + 12345);
        expected += "2026-12-07T14:03:12.345Z,0," + std::to_string(k) + "," + std::to_string(k * 1000 + 7) + ",timer\n";
    }
    limitFileSize(125);
    recorderStep(startedUtcMs + 1000, 1000, true);
    recorderStep(startedUtcMs + 2000, 2000, true);
    limitFileSize(0);
    EXPECT_EQ(readFile(at("l.csv")), expected.substr(0, expected.rfind('\n', 124) + 1)) << "cut back to whole lines";
    EXPECT_EQ(problems, (std::vector<std::string>{"cannot write to '" + at("l.csv") + "': File too large",
                                                  "cannot write '" + at("r.json") + "': File too large"}));
    EXPECT_EQ(readFile(at("r.json")), firstReport);
    EXPECT_FALSE(fs::exists(at("r.json.tmp")));

    recorderStep(startedUtcMs + 3000, 3000, true);
    EXPECT_EQ(eventLog(at("l.csv")), expected);
    EXPECT_EQ(sumOf(readFile(at("r.json")), "events"), 20);
    EXPECT_EQ(problems.size(), 4u);
    EXPECT_EQ(problems[2], "log writable again");
    EXPECT_EQ(problems[3], "report writable again");
    record(0, 1, startedUtcMs + 13000);
    limitFileSize(125);
    recorderStep(startedUtcMs + 4000, 4000, true);
    limitFileSize(0);
    EXPECT_EQ(problems.size(), 6u) << "told again once writing had worked";
}
#endif

}  // namespace

TEST_F(Recorder, StepMovesABoundedBatchAndTheReportStillComes) {
    constexpr std::int64_t cores = 64, queued = cores * 600;
    ASSERT_TRUE(start(at("r.json"), at("l.csv"), cores)) << error;
    for (std::int64_t k = 0; k < queued; ++k) record(k % cores, 1, startedUtcMs + k);
    recorderStep(startedUtcMs + 1000, 1000, true);
    const std::int64_t afterOne = linesOf(eventLog(at("l.csv"))) - headerLines;
    EXPECT_TRUE(afterOne > 0 && afterOne < queued) << afterOne << " of " << queued << " lines after one step";
    EXPECT_EQ(sumOf(readFile(at("r.json")), "events"), queued) << "the report was rewritten";
    finishRecorder(startedUtcMs + 2000, 2000, 0);
    EXPECT_EQ(linesOf(eventLog(at("l.csv"))) - headerLines, queued) << "the end writes the rest";
}

namespace {

// One core's stall counts as the report writes them, and as they should read.
std::string causesOf(const std::string& report, int core) {
    std::size_t at = report.find("\"causes\": ");
    for (int k = 0; k < core; ++k) at = report.find("\"causes\": ", at + 1);
    return at == std::string::npos ? "none" : report.substr(at + 10, report.find('\n', at) - at - 10);
}
std::string causes(std::int64_t timerUnknown, std::int64_t timerThreads, std::int64_t wakeUnknown) {
    const auto row = [](std::int64_t unknown, std::int64_t threads) {
        return "{\"unknown\": " + std::to_string(unknown) + ", \"threads\": " + std::to_string(threads) +
               ", \"drivers\": 0, \"idle\": 0, \"mixed\": 0}";
    };
    return "{\"timer\": " + row(timerUnknown, timerThreads) + ", \"wake\": " + row(wakeUnknown, 0) + "}";
}

}  // namespace

// The stalls' causes as the writer settles them, on the fake counter (10 ticks a microsecond).
TEST_F(Recorder, StallsWaitBoundedForTheirCausesAndEveryLostOneIsUnknownOnce) {
    ASSERT_TRUE(start(at("r.json"), "", 2, -1, "", true)) << error;
    ASSERT_TRUE(makeAccounting(2));
    const std::int64_t t0 = readPerformanceCounter() / 10;
    const CoreTimes idle[2] = {};
    storeAccountingReading(t0, idle, 2);
    advanceFakeCounter(200000);
    const auto step = [&](std::int64_t stalls, std::int64_t core) {
        for (std::int64_t k = 0; k < stalls; ++k) record(core, 6, startedUtcMs + 20);  // 6007 us late
        recorderStep(startedUtcMs + 1000, 1000, true);
        return causesOf(readFile(at("r.json")), 0) + " " + causesOf(readFile(at("r.json")), 1);
    };
    // 1,024 timer stalls fill the queue: core 1's is lost. 2,048 can wait; the 2,049th is unknown at once.
    for (std::int64_t k = 0; k < 1024; ++k) record(0, 6, startedUtcMs + 20);
    EXPECT_EQ(step(1, 1), causes(0, 0, 0) + " " + causes(1, 0, 0));
    step(1024, 0);
    EXPECT_EQ(step(1, 0), causes(1, 0, 0) + " " + causes(1, 0, 0));
    // The accounting reaches them, 1 ms steps of threads alone.
    for (std::int64_t k = 1; k <= 21; ++k) {
        const CoreTimes busy[2] = {{0, 0, k * 10000, 0, 0}, {0, 0, k * 10000, 0, 0}};
        storeAccountingReading(t0 + k * 1000, busy, 2);
    }
    EXPECT_EQ(step(0, 0), causes(1, 2048, 0) + " " + causes(1, 0, 0));
    // A stall the accounting never reaches is unknown 3 s after its end, not later; 65 wake stalls
    // fill their queue of 64 and the one lost is counted once.
    advanceFakeCounter(10000000);
    record(1, 6, startedUtcMs + 1020);
    for (int k = 0; k < 65; ++k) recordWake(1, 6000, 0, startedUtcMs + 1020);
    advanceFakeCounter(29999990);
    EXPECT_EQ(step(0, 0), causes(1, 2048, 0) + " " + causes(1, 0, 1));
    advanceFakeCounter(10);
    EXPECT_EQ(step(0, 0), causes(1, 2048, 0) + " " + causes(2, 0, 65));
    // 5,000 us late is no stall, 5,001 us is; the run's end settles what still waits.
    lockSamples();
    for (const std::int64_t lateUs : {5000, 5001}) recordEvent(TimerEvent{0, 5, lateUs, startedUtcMs + 4100});
    unlockSamples();
    finishRecorder(startedUtcMs + 5000, 5000, 0);
    EXPECT_EQ(causesOf(readFile(at("r.json")), 0), causes(2, 2048, 0));
    freeAccounting();
}
