// What the comparison's tests share: logs in memory and their lines, and a
// comparison of them with its verdict lines, page and JSON.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "compare/compare_page.h"
#include "compare/compare_runs.h"
#include "text/text_buffer.h"
#include "verdict/judge.h"

struct MemoryLog {
    std::string text;
    std::size_t at = 0;
};

inline bool readMemory(void* context, char* bytes, std::size_t capacity, std::size_t& got) {
    auto& log = *static_cast<MemoryLog*>(context);
    // Small pieces, so that lines are cut across reads.
    got = std::min<std::size_t>({capacity, 37, log.text.size() - log.at});
    log.text.copy(bytes, got, log.at);
    log.at += got;
    return true;
}

inline bool rewindMemory(void* context) {
    static_cast<MemoryLog*>(context)->at = 0;
    return true;
}

inline const std::string header = "utc,core,late_ms,late_us,source\n";

// "2026-12-07T14:03:SS.mmmZ" for `ms` after 14:03:00 (into the next hours
// and days of December for long runs).
inline std::string at(std::int64_t ms) {
    const auto two = [](std::int64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); };
    const std::int64_t thousandths = ms % 1000;
    const std::int64_t minutes = 14 * 60 + 3 + ms / 60000;
    return "2026-12-" + two(7 + minutes / 1440) + "T" + two(minutes / 60 % 24) + ":" + two(minutes % 60) + ":" +
           two(ms / 1000 % 60) + "." + (thousandths < 100 ? "0" : "") + two(thousandths) + "Z";
}

inline std::string timer(std::int64_t ms, std::int64_t core, std::int64_t lateUs) {
    return at(ms) + "," + std::to_string(core) + "," + std::to_string(lateUs / 1000) + "," + std::to_string(lateUs) + ",timer\n";
}

inline std::string note(std::int64_t ms, const std::string& text) {
    return at(ms) + ",,,," + text + "\n";
}

// A run's lines: the context, then `values` of core 1 (core 0 quiet) every 100 ms.
inline std::string runOf(const std::string& machine, const std::vector<std::int64_t>& values, std::int64_t fromMs = 0) {
    std::string text = note(fromMs, "vantrel=1.4.0") + note(fromMs, "machine=" + machine) + note(fromMs, "priority=normal;class=normal");
    for (std::size_t k = 0; k < values.size(); ++k) {
        const auto ms = fromMs + 100 * static_cast<std::int64_t>(k + 1);
        text += timer(ms, 0, 300) + timer(ms + 1, 1, values[k]);
    }
    return text;
}

inline std::string wake(std::int64_t ms, std::int64_t core, std::int64_t lateUs) {
    return at(ms) + "," + std::to_string(core) + "," + std::to_string(lateUs / 1000) + "," + std::to_string(lateUs) + ",wake\n";
}

// A run of `events` timer events on each of `cores` cores, every 100 ms
// from `fromMs`, `lateUs(core, k)` late.
template <typename Late>
std::string madeUpRun(const std::string& machine, std::int64_t cores, std::int64_t events, Late lateUs,
                      std::int64_t fromMs = 0) {
    std::string text = note(fromMs, "vantrel=1.8.0") + note(fromMs, "machine=" + machine) + note(fromMs, "priority=normal;class=normal");
    for (std::int64_t k = 0; k < events; ++k) {
        for (std::int64_t core = 0; core < cores; ++core) text += timer(fromMs + 100 * (k + 1), core, lateUs(core, k));
    }
    return text;
}

// The same numbers on every platform.
struct Random {
    std::uint64_t state;
    std::int64_t below(std::int64_t bound) {
        state += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return static_cast<std::int64_t>((z ^ (z >> 31)) % static_cast<std::uint64_t>(bound));
    }
};

struct Compared {
    Comparison comparison{};
    bool good = false;
    std::string error;
    Compared(std::vector<MemoryLog>& logs, std::vector<std::string> names, std::int64_t failAboveUs = -1, bool fine = false) {
        std::vector<LogSource> sources;
        for (std::size_t k = 0; k < logs.size(); ++k) sources.push_back(LogSource{names[k].c_str(), &logs[k], readMemory, rewindMemory});
        char text[compareErrorCapacity] = "";
        good = compareLogs(comparison, sources.data(), static_cast<std::int64_t>(sources.size()), failAboveUs, fine, text);
        error = text;
        names_ = std::move(names);
    }
    ~Compared() { freeComparison(comparison); }
    Compared(const Compared&) = delete;
    Compared& operator=(const Compared&) = delete;
    std::string verdict(std::int64_t core) const {
        TextBuffer out{};
        makeTextBuffer(out, 65536);
        appendCoreVerdict(out, comparison, core);
        std::string text(out.data, out.size);
        freeTextBuffer(out);
        return text;
    }
    const CoreVerdict& of(std::int64_t run, std::int64_t core) const {
        return comparison.verdicts[verdictIndex(comparison, run, core)];
    }
    Verdict verdictOf(std::int64_t run, std::int64_t core) const { return of(run, core).verdict; }
    std::string page() const { return written(comparisonCapacity, formatComparisonPage); }
    std::string json() const { return written(comparisonJsonCapacity, formatComparisonJson); }
    // The comparison written by `format` into a buffer of the capacity it is given.
    template <typename Capacity, typename Format>
    std::string written(Capacity capacity, Format format) const {
        TextBuffer out{};
        makeTextBuffer(out, capacity(comparison.runCount, comparison.coreCount));
        format(comparison, "1.8.0", out);
        EXPECT_FALSE(out.overflowed);
        std::string text(out.data, out.size);
        freeTextBuffer(out);
        return text;
    }
    std::vector<std::string> names_;
};
