// The machine's sleeps as a whole --no-window run records them from the
// window's power messages, the time asleep the system counted coming from
// the test seam: under Wine it never grows.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "app/run.h"
#include "tests/support/fake_platform.h"
#include "window/monitor_window.h"

namespace {

TEST(PowerMessages, AUserResumeAloneClosesTheSpanAndAWakeWithoutSuspendIsDatedByTheTimeAsleep) {
    const std::string report = (std::filesystem::temp_directory_path() / "vantrel-power-test.json").string();
    std::thread system([] {
        // The run takes power messages once its message loop runs.
        HWND window = nullptr;
        for (int k = 0; k < 3000 && (window == nullptr || powerChange == nullptr); ++k) {
            Sleep(10);
            window = FindWindowA(monitorWindowClassName, nullptr);
            if (window != nullptr) SendMessageA(window, WM_NULL, 0, 0);
        }
        const auto power = [window](WPARAM event) { SendMessageA(window, WM_POWERBROADCAST, event, 0); };
        power(PBT_APMSUSPEND);
        advanceFakeTick(1000);
        power(PBT_APMRESUMESUSPEND);
        setFakeSleptTime(25000000);  // 2.5 s in 100 ns units
        advanceFakeTick(10000);
        power(PBT_APMRESUMEAUTOMATIC);
        PostMessageA(window, WM_CLOSE, 0, 0);
    });
    CommandLine options{};
    options.noWindow = true;
    options.hasReport = true;
    options.reportPath = report.c_str();
    options.hasDuration = true;  // should the window never be found
    options.durationMs = 60000;
    runVantrel(options, GetTickCount64());
    system.join();

    std::ifstream in(report, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The fake time of day starts at 2026-12-07T00:00:00.000Z.
    EXPECT_NE(text.find("\"suspended\": [\n"
                        "    {\"from_utc\": \"2026-12-07T00:00:00.000Z\", \"to_utc\": \"2026-12-07T00:00:01.000Z\"},\n"
                        "    {\"from_utc\": \"2026-12-07T00:00:08.500Z\", \"to_utc\": \"2026-12-07T00:00:11.000Z\"}\n  ]"),
              std::string::npos) << text.substr(text.find("\"suspended\""), 300);
    in.close();
    std::filesystem::remove(report);
}

}  // namespace
