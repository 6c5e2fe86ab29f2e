// Runs a given number of timer events of one core, for counting instructions
// with callgrind: the difference between two counts divided by the difference
// in events is the cost of one event, free of start-up. With "recorded" the
// run is recorded as --log does (statistics and the log queue, which holds
// every event: nothing is dropped and no file is written while counting).
//   valgrind --tool=callgrind record_events 1000 [recorded]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/bench_settings.h"
#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "engine/timer_event.h"
#include "record/recorder.h"
#include "tests/support/fake_platform.h"

int main(int argc, char** argv) {
    const long events = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000;
    const bool recorded = argc > 2 && std::strcmp(argv[2], "recorded") == 0;
    createSampleTables();
    sampleTables.coreCount = 2;
    createSampleLock();
    setFakeTick(0);

    const std::filesystem::path log = std::filesystem::temp_directory_path() / "vantrel-record-events.csv";
    if (recorded) {
        char error[messageCapacity];
        // 256 cores: a queue of 153,600 events, more than a count needs.
        if (!startRecorder(benchSettings(log.c_str(), 250000, 256, readUtcMilliseconds()), error)) {
            (void)std::fprintf(stderr, "%s\n", error);
            return 1;
        }
        timerEventSink = recordEvent;
        markTimerBaseline(1);
    }
    for (long i = 0; i < events; ++i) {
        // Mostly punctual, now and then a few periods late, like a real core.
        advanceFakeTick(i % 50 == 0 ? 350 : 101);
        recordTimerEvent(1);
    }
    if (recorded) std::filesystem::remove(log);
    return std::printf("%s\n", sampleTables.labelText[1]) < 0 ? 1 : 0;
}
