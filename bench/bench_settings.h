// The recorder's settings of a benchmark: a log and nothing else.
#pragma once

#include <cstdint>

#include "formats/record_formats.h"
#include "record/recorder.h"

inline RecorderSettings benchSettings(const char* logPath, std::int64_t failAboveUs, std::int64_t cores,
                                      std::int64_t startedUtcMs) {
    RecorderSettings settings{};
    settings.logPath = logPath;
    settings.failAboveUs = failAboveUs;
    settings.coreCount = cores;
    settings.startedUtcMs = startedUtcMs;
    settings.version = "bench";
    settings.formats = &recordFormats;
    return settings;
}
