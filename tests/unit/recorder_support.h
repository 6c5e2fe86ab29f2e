// What the recorder's tests share: the run's start and the log's header,
// reading the files back, and the fixture that starts a record in a
// temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine/platform_seam.h"
#include "engine/sampled_cores.h"
#include "engine/wake_figures.h"
#include "formats/record_formats.h"
#include "record/recorder.h"

namespace fs = std::filesystem;

constexpr std::int64_t startedUtcMs = 1796652180000;  // 2026-12-07T14:03:00.000Z
// The header and the run's context: the program and the priority at the start.
inline const std::string logHeader = "utc,core,late_ms,late_us,source\n2026-12-07T14:03:00.000Z,,,,vantrel=9.9.9\n"
                              "2026-12-07T14:03:00.000Z,,,,priority=normal\n";
constexpr std::int64_t headerLines = 3;

inline std::vector<std::string> problems;

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The log without the causes of its stalls, which come when the writer
// attributed them: what the tests of the events' lines compare.
inline std::string eventLog(const std::string& path) {
    std::string kept;
    const std::string text = readFile(path);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
        if (line.find(",,,,stall=") == std::string::npos) kept += line;
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return kept;
}

inline std::int64_t linesOf(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
}

// The integers after every `"name": ` in a report, added up.
inline std::int64_t sumOf(const std::string& report, const std::string& name) {
    std::int64_t sum = 0;
    const std::string key = "\"" + name + "\": ";
    for (std::size_t at = report.find(key); at != std::string::npos; at = report.find(key, at + 1)) {
        sum += std::stoll(report.substr(at + key.size()));
    }
    return sum;
}

inline void record(std::int64_t core, std::int64_t lateMs, std::int64_t utcMs) {
    lockSamples();
    recordEvent(TimerEvent{core, lateMs, lateMs * 1000 + 7, utcMs});
    unlockSamples();
}

class Recorder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(createSampleLock());
        directory = fs::temp_directory_path() / ("vantrel-recorder-" + std::to_string(std::random_device()()));
        fs::create_directories(directory);
        problems.clear();
        for (std::int64_t core = 0; core < 4; ++core) markCoreSampled(core);
    }
    void TearDown() override {
        finishRecorder(0, 0, 0);
        freeWakeFigures();
        clearSampledCores();
        fs::remove_all(directory);
    }

    std::string at(const char* name) const { return (directory / name).string(); }
    bool start(const std::string& report, const std::string& log, std::int64_t cores = 2, std::int64_t failAboveMs = -1,
               const std::string& html = "", bool fine = false) {
        freeWakeFigures();  // a --fine record has wake figures for its cores
        if (fine && !createWakeFigures(cores)) return false;
        char text[messageCapacity] = "";
        RecorderSettings settings{};
        settings.reportPath = report.c_str();
        settings.logPath = log.c_str();
        settings.htmlPath = html.c_str();
        settings.fine = fine;
        settings.failAboveUs = failAboveMs < 0 ? -1 : failAboveMs * 1000;
        settings.coreCount = cores;
        settings.startedUtcMs = startedUtcMs;
        settings.version = "9.9.9";
        settings.tellProblem = [](const char* message) { problems.emplace_back(message); };
        settings.formats = &recordFormats;
        const bool started = startRecorder(settings, text);
        error = text;
        return started;
    }

    fs::path directory;
    std::string error;
};
