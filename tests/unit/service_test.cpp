// The service without Win32: the status reported at each step and what each
// control asks of the run; the command line the service manager is given;
// the service options' combinations.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/options.h"
#include "app/service_command.h"
#include "service/service_state.h"

namespace {

using namespace service_numbers;

// One step of a service's life: a control (or a step of the run) and what
// it must report and ask of the run.
enum Step { start, samplersRun, control, stopProgress, end };
struct Case {
    Step step;
    std::uint32_t control;  // with `control`; with `end`, the exit code
    std::uint32_t eventType;
    bool reported;  // control: a report is made now (false: not handled)
    ServiceAction action;
    ServiceReport expected;  // state, accepted, win32 code, specific code, checkpoint, hint
};

constexpr std::uint32_t accepts = acceptStop | acceptShutdown | acceptPreshutdown | acceptPowerEvent;
constexpr ServiceReport pending{startPending, 0, 0, 0, 1, serviceStartHintMs};
constexpr ServiceReport runs{running, accepts, 0, 0, 0, 0};
constexpr ServiceReport stopping{stopPending, 0, 0, 0, 1, serviceStopHintMs};
constexpr ServiceReport stopping2{stopPending, 0, 0, 0, 2, serviceStopHintMs};

void play(const char* name, const std::vector<Case>& cases) {
    ServiceState state{};
    int row = 0;
    for (const Case& c : cases) {
        ServiceReport got{};
        ServiceAction action = ServiceAction::none;
        bool handled = true;
        switch (c.step) {
            case start: got = serviceStarting(state); break;
            case samplersRun: got = serviceRunning(state); break;
            case control: action = serviceControl(state, c.control, c.eventType, got, handled); break;
            case stopProgress: got = serviceStopProgress(state); break;
            case end: got = serviceStopped(state, static_cast<int>(c.control)); break;
        }
        const std::string where = std::string(name) + ", step " + std::to_string(row++);
        EXPECT_EQ(handled, c.reported) << where;
        EXPECT_EQ(static_cast<int>(action), static_cast<int>(c.action)) << where;
        if (!c.reported) continue;
        EXPECT_EQ(got.state, c.expected.state) << where;
        EXPECT_EQ(got.controlsAccepted, c.expected.controlsAccepted) << where;
        EXPECT_EQ(got.win32ExitCode, c.expected.win32ExitCode) << where;
        EXPECT_EQ(got.specificExitCode, c.expected.specificExitCode) << where;
        EXPECT_EQ(got.checkPoint, c.expected.checkPoint) << where;
        EXPECT_EQ(got.waitHint, c.expected.waitHint) << where;
    }
}

TEST(ServiceState, EachControlGivesItsReportAndAction) {
    const auto none = ServiceAction::none;
    const auto close = ServiceAction::close;
    play("stop", {{start, 0, 0, true, none, pending},
                  {control, controlInterrogate, 0, true, none, pending},
                  {samplersRun, 0, 0, true, none, runs},
                  {control, controlInterrogate, 0, true, none, runs},
                  {control, controlStop, 0, true, close, stopping},
                  // A second stop, a shutdown during the stop: asked once.
                  {control, controlStop, 0, true, none, stopping},
                  {control, controlShutdown, 0, true, none, stopping},
                  {stopProgress, 0, 0, true, none, stopping2},
                  {end, 0, 0, true, none, {stopped, 0, 0, 0, 0, 0}}});
    for (const std::uint32_t ending : {controlShutdown, controlPreshutdown}) {
        play("shutdown", {{start, 0, 0, true, none, pending},
                          {samplersRun, 0, 0, true, none, runs},
                          {control, ending, 0, true, close, stopping},
                          {end, 3, 0, true, none, {stopped, 0, serviceSpecificError, 3, 0, 0}}});
    }
    // A stop before the samplers run (the manager sends none, but a
    // shutdown may come): RUNNING is never reported after it.
    play("early stop", {{start, 0, 0, true, none, pending},
                        {control, controlShutdown, 0, true, close, stopping},
                        {samplersRun, 0, 0, true, none, stopping},
                        {end, 4, 0, true, none, {stopped, 0, serviceSpecificError, 4, 0, 0}}});
    // Controls the service does not take: not implemented, no report.
    play("unknown", {{start, 0, 0, true, none, pending},
                     {samplersRun, 0, 0, true, none, runs},
                     {control, 2 /* pause */, 0, false, none, runs},
                     {control, 0x0B /* device event */, 0, false, none, runs},
                     {end, 2, 0, true, none, {stopped, 0, serviceSpecificError, 2, 0, 0}}});
}

TEST(ServiceState, PowerEventsTakeTheWindowsPathOnceEach) {
    const auto none = ServiceAction::none;
    const auto suspend = ServiceAction::suspend;
    const auto resume = ServiceAction::resume;
    play("power", {{start, 0, 0, true, none, pending},
                   // Before the run has a window to take them: nothing.
                   {control, controlPowerEvent, powerSuspend, true, none, pending},
                   {samplersRun, 0, 0, true, none, runs},
                   {control, controlPowerEvent, powerSuspend, true, suspend, runs},
                   {control, controlPowerEvent, powerResumeAutomatic, true, resume, runs},
                   // The user's resume after the automatic one is the same wake.
                   {control, controlPowerEvent, powerResumeSuspend, true, none, runs},
                   {control, controlPowerEvent, 10 /* power status change */, true, none, runs},
                   {control, controlPowerEvent, powerSuspend, true, suspend, runs},
                   {control, controlPowerEvent, powerResumeSuspend, true, resume, runs},
                   {control, controlStop, 0, true, ServiceAction::close, stopping},
                   {control, controlPowerEvent, powerSuspend, true, none, stopping}});
}

bool makeAbsolute(const char* path, char* out, std::size_t capacity) {
    const std::string full = path[1] == ':' ? path : std::string("C:\\work\\") + path;
    if (full.size() + 1 > capacity) return false;
    std::memcpy(out, full.c_str(), full.size() + 1);
    return true;
}

std::string commandOf(std::vector<const char*> arguments, std::size_t capacity = 4096) {
    arguments.insert(arguments.begin(), "vantrel.exe");
    std::vector<char> out(capacity);
    return serviceCommandLine("C:\\Program Files\\Vantrel\\vantrel.exe", static_cast<int>(arguments.size()),
                              arguments.data(), makeAbsolute, out.data(), capacity)
               ? out.data()
               : "(too long)";
}

TEST(ServiceCommand, OptionsRepeatedQuotedWithAbsolutePaths) {
    const std::string head = "\"C:\\Program Files\\Vantrel\\vantrel.exe\" \"--service\" ";
    const struct {
        std::vector<const char*> arguments;
        std::string expected;
    } cases[] = {
        {{"--install-service", "--metrics", "m.prom", "--report=r.json", "--fine"},
         "\"--metrics\" \"C:\\work\\m.prom\" \"--report\" \"C:\\work\\r.json\" \"--fine\""},
        // The installer's own options are left out; a log rolls over at 100 MB.
        {{"--service-account", "NT AUTHORITY\\NetworkService", "--install-service", "--log", "D:\\logs\\v.csv",
          "--service-account=x"},
         "\"--log\" \"D:\\logs\\v.csv\" \"--log-max-mb\" \"100\""},
        {{"--log-max-mb=5", "--install-service", "--log", "v.csv", "--fail-above", "20"},
         "\"--log-max-mb\" \"5\" \"--log\" \"C:\\work\\v.csv\" \"--fail-above\" \"20\""},
        // Backslashes before a quote, and at the end before the closing one,
        // are doubled; a quote is escaped; a value like an option stays one.
        {{"--install-service", "--html", "C:\\a \"b\\\"\\", "--report", "--fine"},
         "\"--html\" \"C:\\a \\\"b\\\\\\\"\\\\\" \"--report\" \"C:\\work\\--fine\""},
    };
    for (const auto& c : cases) EXPECT_EQ(commandOf(c.arguments), head + c.expected);
    EXPECT_EQ(commandOf({"--install-service", "--metrics", "m.prom"}, 60), "(too long)");
}

TEST(ServiceCommand, CombinationsRefusedBeforeAnythingIsRegistered) {
    const struct {
        std::vector<const char*> arguments;
        const char* error;  // null: accepted
    } cases[] = {
        {{"--install-service"}, "option '--install-service' needs somewhere to record the run"},
        {{"--service", "--fine"}, "option '--service' needs somewhere to record the run"},
        {{"--install-service", "--uninstall-service", "--log", "a"}, "go alone"},
        {{"--install-service", "--service", "--log", "a"}, "go alone"},
        {{"--service-account", "x", "--log", "a"}, "'--service-account' goes with '--install-service'"},
        {{"--log-max-mb", "3", "--report", "r"}, "'--log-max-mb' needs '--log PATH'"},
        {{"--log-max-mb", "0", "--log", "a"}, "'--log-max-mb' needs a number of MB from 0.001 to 1048576"},
        {{"--log-max-mb", "1048576.001", "--log", "a"}, "not '1048576.001'"},
        {{"--log-max-mb", "-1", "--log", "a"}, "not '-1'"},
        {{"--install-service", "--quiet", "--log", "a"}, "takes no '--quiet'"},
        {{"--uninstall-service", "--fine"}, "'--uninstall-service' takes no other option"},
        {{"--install-service", "--metrics", "m", "--html", "m"}, "name the same file"},
        {{"--uninstall-service"}, nullptr},
        {{"--install-service", "--metrics", "m", "--service-account", "NT AUTHORITY\\NetworkService"}, nullptr},
        {{"--log-max-mb", "1048576", "--log", "a"}, nullptr},
        {{"--log-max-mb", "0.0001", "--log", "a"}, nullptr},
    };
    for (const auto& c : cases) {
        std::vector<const char*> arguments = c.arguments;
        arguments.insert(arguments.begin(), "vantrel.exe");
        CommandLine line{};
        char error[commandLineErrorCapacity];
        const bool good = parseCommandLine(static_cast<int>(arguments.size()), arguments.data(), line, error);
        if (c.error == nullptr) {
            EXPECT_TRUE(good) << error;
        } else {
            EXPECT_FALSE(good) << c.error;
            if (!good) {
                EXPECT_NE(std::string(error).find(c.error), std::string::npos) << error;
            }
        }
    }
    CommandLine line{};
    const char* service[] = {"vantrel.exe", "--service", "--metrics", "m"};
    char error[commandLineErrorCapacity];
    ASSERT_TRUE(parseCommandLine(4, service, line, error));
    EXPECT_TRUE(line.noWindow && line.quiet) << "a service has no window and no console";
    const char* serviceLog[] = {"vantrel.exe", "--service", "--log", "a"};
    ASSERT_TRUE(parseCommandLine(4, serviceLog, line, error));
    EXPECT_EQ(line.logMaxBytes, 100 * 1048576) << "a service's log rolls over at 100 MB unless told";
    for (const auto& [text, bytes] : {std::pair<const char*, std::int64_t>{"1", 1048576}, {"0.01", 10485}, {"0.0001", 1048}}) {
        const char* rolled[] = {"vantrel.exe", "--log", "a", "--log-max-mb", text};
        ASSERT_TRUE(parseCommandLine(5, rolled, line, error)) << error;
        EXPECT_EQ(line.logMaxBytes, bytes) << text;
    }
}

}  // namespace
