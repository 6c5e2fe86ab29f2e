// One whole run of the program in this process: a recorded run whose
// window cannot be set up ends with exit code 4 and a final report that
// says so, instead of passing a machine that was never measured.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "app/run.h"
#include "files/utf16.h"
#include "window/monitor_window.h"

namespace {

TEST(Run, ARecordedRunWhoseWindowCannotBeMadeEndsWith4AndAFinalReport) {
    // The monitor's class already taken: the window's setup fails for real.
    WNDCLASSEXA taken = {};
    taken.cbSize = sizeof taken;
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = GetModuleHandleA(nullptr);
    taken.lpszClassName = monitorWindowClassName;
    ASSERT_NE(RegisterClassExA(&taken), 0);

    const std::string report = (std::filesystem::temp_directory_path() / "vantrel-run-test.json").string();
    CommandLine options{};
    options.hasReport = true;
    options.reportPath = report.c_str();
    options.hasDuration = true;
    options.durationMs = 60000;
    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(runVantrel(options, started), 4);
    EXPECT_LT(GetTickCount64() - started, 10000u) << "it ends at once, not after --duration";

    std::string text;
    {
        std::ifstream in(report, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_NE(text.find("\"final\": true"), std::string::npos) << text;
    EXPECT_NE(text.find("\"complete\": false"), std::string::npos) << text;
    EXPECT_NE(text.find("\"message\": \"the window could not be set up\""), std::string::npos) << text;
    for (std::size_t at = text.find("\"events\": "); at != std::string::npos; at = text.find("\"events\": ", at + 1)) {
        EXPECT_EQ(text.compare(at + 10, 2, "0,"), 0) << "no core was measured: " << text.substr(at, 14);
    }
    EXPECT_NE(text.find("\"sampled\": false"), std::string::npos) << text;
    UnregisterClassA(monitorWindowClassName, GetModuleHandleA(nullptr));
    std::filesystem::remove(report);
}

TEST(Utf16, PathsRefuseBadUtf8AndMessagesShowIt) {
    const std::tuple<const char*, BadUtf8, const wchar_t*> cases[] = {
        {"caf\xc3\xa9", BadUtf8::refused, L"caf\u00e9.tmp"},
        {"caf\xc3", BadUtf8::refused, nullptr},  // cut inside a character
        {"caf\xc3", BadUtf8::replaced, L"caf\ufffd.tmp"},
        {"", BadUtf8::refused, nullptr},
        {"", BadUtf8::replaced, L".tmp"},
    };
    for (const auto& [text, bad, expected] : cases) {
        wchar_t* wide = utf16Of(text, L".tmp", bad);
        EXPECT_EQ(wide == nullptr ? std::wstring(L"(null)") : std::wstring(wide), expected ? expected : L"(null)") << text;
        std::free(wide);
    }
}

}  // namespace
