// Text of the report (JSON) and of the log (CSV).
#pragma once

#include <cstdint>
#include <string>

#include "engine/timer_event.h"
#include "record/statistics.h"

// "2026-12-07T14:03:12.345Z" and the terminating zero.
constexpr std::int64_t utcTextCapacity = 25;

// Writes utcMs (milliseconds since 1970-01-01 UTC) as ISO 8601 with
// milliseconds into `out` (at least utcTextCapacity bytes). Times outside the
// years 0000..9999 are written as the nearest end of that range.
void formatUtc(std::int64_t utcMs, char* out);

void appendLogHeader(std::string& out);
void appendLogLine(std::string& out, const TimerEvent& event);

struct ReportData {
    const char* version;
    std::int64_t startedUtcMs;
    std::int64_t updatedUtcMs;
    bool finished;  // "final"
    std::int64_t elapsedMs;
    std::int64_t failAboveMs;  // -1: none
    const CoreStatistics* cores;
    std::int64_t coreCount;
    std::int64_t logDropped;
};

// Replaces `out` with the report as pretty-printed UTF-8 JSON.
void formatReport(const ReportData& report, std::string& out);
