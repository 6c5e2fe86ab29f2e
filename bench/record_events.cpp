// Runs a given number of timer events of one core, for counting instructions
// with callgrind: the difference between two counts divided by the difference
// in events is the cost of one event, free of start-up.
//   valgrind --tool=callgrind record_events 1000
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "tests/support/fake_platform.h"

int main(int argc, char** argv) {
    const long events = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000;
    createSampleTables();
    sampleTables.coreCount = 2;
    createSampleLock();
    setFakeTick(0);
    for (long i = 0; i < events; ++i) {
        // Mostly punctual, now and then a few periods late, like a real core.
        advanceFakeTick(i % 50 == 0 ? 350 : 101);
        recordTimerEvent(1);
    }
    return std::printf("%s\n", sampleTables.labelText[1]) < 0 ? 1 : 0;
}
