// Running as the service "Vantrel": the connection to the service manager
// and the status reports of one run. Windows only (service_win32.cpp).
#pragma once

extern const wchar_t serviceName[];  // L"Vantrel"

// What the run hands over: the run itself, on the service's thread, and
// what the controls ask of it, from the service manager's thread.
struct ServiceRun {
    int (*run)();                         // answers the run's exit code
    void (*close)();                      // the close request
    void (*power)(unsigned long event);   // PBT_APMSUSPEND or a resume
};

// Connects to the service manager (StartServiceCtrlDispatcher) and runs
// `run` as the service until it ends. Answers the run's exit code, or -1
// when the process was not started by the service manager.
int runAsService(const ServiceRun& run);

// Called by the run once its samplers run: the service reports RUNNING.
void serviceSamplersRunning();
