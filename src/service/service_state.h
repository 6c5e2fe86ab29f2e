// The service's side of the talk with the service manager, without Win32:
// which status to report at each step of the run, and what each control
// asks of the run. The Win32 side (service_win32.cpp) only passes the
// reports on (SetServiceStatus) and carries out the actions.
#pragma once

#include <cstdint>

// The service manager's numbers (winsvc.h, pbt.h), so that this side
// compiles without <windows.h>; the Win32 side checks them against it.
namespace service_numbers {
constexpr std::uint32_t stopped = 1;
constexpr std::uint32_t startPending = 2;
constexpr std::uint32_t stopPending = 3;
constexpr std::uint32_t running = 4;

constexpr std::uint32_t controlStop = 1;
constexpr std::uint32_t controlInterrogate = 4;
constexpr std::uint32_t controlShutdown = 5;
constexpr std::uint32_t controlPowerEvent = 13;
constexpr std::uint32_t controlPreshutdown = 15;

constexpr std::uint32_t acceptStop = 0x1;
constexpr std::uint32_t acceptShutdown = 0x4;
constexpr std::uint32_t acceptPowerEvent = 0x40;
constexpr std::uint32_t acceptPreshutdown = 0x100;

constexpr std::uint32_t powerSuspend = 4;          // PBT_APMSUSPEND
constexpr std::uint32_t powerResumeSuspend = 7;    // PBT_APMRESUMESUSPEND
constexpr std::uint32_t powerResumeAutomatic = 18; // PBT_APMRESUMEAUTOMATIC

constexpr std::uint32_t noError = 0;
constexpr std::uint32_t callNotImplemented = 120;    // ERROR_CALL_NOT_IMPLEMENTED
constexpr std::uint32_t serviceSpecificError = 1066; // ERROR_SERVICE_SPECIFIC_ERROR
}  // namespace service_numbers

// One SERVICE_STATUS, less the service type (always its own process).
struct ServiceReport {
    std::uint32_t state;
    std::uint32_t controlsAccepted;
    std::uint32_t win32ExitCode;
    std::uint32_t specificExitCode;
    std::uint32_t checkPoint;
    std::uint32_t waitHint;  // ms
};

// The start may take this long before the samplers run (the record's files
// are made first, on a slow disk too).
constexpr std::uint32_t serviceStartHintMs = 15000;
// From a stop to the end: the record's 10 s bound and the teardown.
constexpr std::uint32_t serviceStopHintMs = 12000;

// What a control asks of the run.
enum class ServiceAction { none, close, suspend, resume };

struct ServiceState {
    ServiceReport last;
    // A stop came: nothing asks for it twice.
    bool closing;
    // The last power event passed on, so that a repeated one is not
    // counted twice (0: none yet).
    std::uint32_t lastPower;
};

// The first report: START_PENDING, accepting nothing yet.
ServiceReport serviceStarting(ServiceState& state);
// Once the samplers run: RUNNING with the controls the run answers. While a
// stop is under way the report stays STOP_PENDING.
ServiceReport serviceRunning(ServiceState& state);
// A control from the service manager. `report` is set to what to report now
// (the state unchanged answers an interrogation); answers what the run must
// do. `handled` is false for a control the service does not take, for which
// the handler answers ERROR_CALL_NOT_IMPLEMENTED.
ServiceAction serviceControl(ServiceState& state, std::uint32_t control, std::uint32_t eventType,
                             ServiceReport& report, bool& handled);
// A later STOP_PENDING while the record is being finished: the next
// checkpoint, the same hint.
ServiceReport serviceStopProgress(ServiceState& state);
// The end: STOPPED with the run's exit code (0, 2, 3, 4) as the
// service-specific code when it is not 0.
ServiceReport serviceStopped(ServiceState& state, int exitCode);
