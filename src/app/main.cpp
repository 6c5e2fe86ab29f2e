// Process entry: tables, window, core 0's timer, one sampler per further
// core, the message loop, and the teardown.
#include <windows.h>

#include "engine/core_sampler.h"
#include "engine/message_loop.h"
#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "window/monitor_window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    createSampleTables();
    std::int64_t count = countProcessors();
    if (count < 1) count = 1;

    if (setupMonitorWindow(count)) {
        dialogWindow = monitorWindow;
        // The main thread is core 0's sampler.
        pinToCore(0);
        markTimerBaseline(0);
        SetTimer(monitorWindow, 0, static_cast<UINT>(timerPeriodMs), nullptr);
        for (std::int64_t core = 1; core < sampleTables.coreCount; ++core) {
            // A sampler that cannot be started leaves its core unsampled.
            startCoreSampler(core);
        }
        runMessageLoop();
        KillTimer(monitorWindow, 0);
    }

    // The samplers are still running here and go on taking sampleLock and
    // writing their rows until ExitProcess ends them. That is safe because
    // neither the lock nor the tables are ever released: the tables are
    // static and the teardown leaves the lock alone.
    teardownMonitorWindow();
    ExitProcess(0);
}
