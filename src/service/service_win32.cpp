// The service's Win32 side: StartServiceCtrlDispatcher, the control
// handler and SetServiceStatus. What to report and what each control asks
// of the run is decided by service_state.cpp.
#include <windows.h>

#include "service/service_control.h"
#include "service/service_state.h"

const wchar_t serviceName[] = L"Vantrel";

namespace {

static_assert(service_numbers::stopped == SERVICE_STOPPED && service_numbers::startPending == SERVICE_START_PENDING &&
              service_numbers::stopPending == SERVICE_STOP_PENDING && service_numbers::running == SERVICE_RUNNING);
static_assert(service_numbers::controlStop == SERVICE_CONTROL_STOP &&
              service_numbers::controlInterrogate == SERVICE_CONTROL_INTERROGATE &&
              service_numbers::controlShutdown == SERVICE_CONTROL_SHUTDOWN &&
              service_numbers::controlPowerEvent == SERVICE_CONTROL_POWEREVENT &&
              service_numbers::controlPreshutdown == SERVICE_CONTROL_PRESHUTDOWN);
static_assert(service_numbers::acceptStop == SERVICE_ACCEPT_STOP &&
              service_numbers::acceptShutdown == SERVICE_ACCEPT_SHUTDOWN &&
              service_numbers::acceptPowerEvent == SERVICE_ACCEPT_POWEREVENT &&
              service_numbers::acceptPreshutdown == SERVICE_ACCEPT_PRESHUTDOWN);
static_assert(service_numbers::powerSuspend == PBT_APMSUSPEND &&
              service_numbers::powerResumeSuspend == PBT_APMRESUMESUSPEND &&
              service_numbers::powerResumeAutomatic == PBT_APMRESUMEAUTOMATIC);
static_assert(service_numbers::callNotImplemented == ERROR_CALL_NOT_IMPLEMENTED &&
              service_numbers::serviceSpecificError == ERROR_SERVICE_SPECIFIC_ERROR);

// Every control, the samplers' start and the end change the state: one
// lock around the step and its report, so the reports keep their order.
SRWLOCK stateLock = SRWLOCK_INIT;
ServiceState state{};
SERVICE_STATUS_HANDLE statusHandle = nullptr;
ServiceRun theRun{};
int exitCode = -1;
// Between a stop and the end, a STOP_PENDING every 2 s with the next
// checkpoint, so the service manager sees the stop go on.
HANDLE progressTimer = nullptr;

void report(const ServiceReport& next) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = next.state;
    status.dwControlsAccepted = next.controlsAccepted;
    status.dwWin32ExitCode = next.win32ExitCode;
    status.dwServiceSpecificExitCode = next.specificExitCode;
    status.dwCheckPoint = next.checkPoint;
    status.dwWaitHint = next.waitHint;
    SetServiceStatus(statusHandle, &status);
}

void CALLBACK reportStopProgress(void*, BOOLEAN) {
    AcquireSRWLockExclusive(&stateLock);
    if (state.last.state == service_numbers::stopPending) report(serviceStopProgress(state));
    ReleaseSRWLockExclusive(&stateLock);
}

DWORD WINAPI controlHandler(DWORD control, DWORD eventType, void*, void*) {
    AcquireSRWLockExclusive(&stateLock);
    ServiceReport next{};
    bool handled = false;
    const ServiceAction action = serviceControl(state, control, eventType, next, handled);
    if (handled) report(next);
    if (action == ServiceAction::close && progressTimer == nullptr) {
        CreateTimerQueueTimer(&progressTimer, nullptr, reportStopProgress, nullptr, 2000, 2000, WT_EXECUTEDEFAULT);
    }
    ReleaseSRWLockExclusive(&stateLock);
    // Outside the lock: posting to the run's window never waits on it.
    if (action == ServiceAction::close) theRun.close();
    if (action == ServiceAction::suspend) theRun.power(PBT_APMSUSPEND);
    if (action == ServiceAction::resume) theRun.power(PBT_APMRESUMEAUTOMATIC);
    return handled ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI serviceMain(DWORD, LPWSTR*) {
    statusHandle = RegisterServiceCtrlHandlerExW(serviceName, controlHandler, nullptr);
    if (statusHandle == nullptr) return;
    AcquireSRWLockExclusive(&stateLock);
    report(serviceStarting(state));
    ReleaseSRWLockExclusive(&stateLock);

    exitCode = theRun.run();

    AcquireSRWLockExclusive(&stateLock);
    if (progressTimer != nullptr) {
        // Waits for a report under way, which needs the lock: not here.
        HANDLE timer = progressTimer;
        progressTimer = nullptr;
        ReleaseSRWLockExclusive(&stateLock);
        DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
        AcquireSRWLockExclusive(&stateLock);
    }
    // After this report the process may be ended at any moment: the
    // record is finished by now.
    report(serviceStopped(state, exitCode));
    ReleaseSRWLockExclusive(&stateLock);
}

}  // namespace

int runAsService(const ServiceRun& run) {
    theRun = run;
    wchar_t name[sizeof serviceName / sizeof serviceName[0]];
    for (std::size_t k = 0; k < sizeof name / sizeof name[0]; ++k) name[k] = serviceName[k];
    const SERVICE_TABLE_ENTRYW table[] = {{name, serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) return -1;
    return exitCode;
}

void serviceSamplersRunning() {
    if (statusHandle == nullptr) return;
    AcquireSRWLockExclusive(&stateLock);
    report(serviceRunning(state));
    ReleaseSRWLockExclusive(&stateLock);
}
