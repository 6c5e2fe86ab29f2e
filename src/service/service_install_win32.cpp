// --install-service and --uninstall-service: CreateService with the
// settings a monitoring service needs, ControlService and DeleteService.
#include <windows.h>

#include <cstdlib>

#include "files/utf16.h"
#include "service/service_control.h"
#include "service/service_install.h"
#include "text/text_buffer.h"

namespace {

constexpr DWORD restartAfterMs = 60000;
constexpr DWORD stopWaitMs = 20000;

void tellError(void (*tell)(const char*, bool), const char* what, DWORD error) {
    char number[24];
    formatInteger(number, static_cast<std::int64_t>(error));
    const char* why = error == ERROR_ACCESS_DENIED ? " (no rights: run it as an administrator)"
                      : error == ERROR_SERVICE_EXISTS ? " (a service named Vantrel exists: --uninstall-service removes it)"
                      : error == ERROR_SERVICE_DOES_NOT_EXIST ? " (no service named Vantrel is installed)"
                      : error == ERROR_SERVICE_MARKED_FOR_DELETE ? " (the service Vantrel is being removed: try again later)"
                                                                 : "";
    char line[512];
    joinText(line, sizeof line, {"vantrel: ", what, ": error ", number, why, "\n"});
    tell(line, true);
}

// Restart a minute after a failure, a crash or an end with an exit code
// other than 0 alike: a start at boot that fails (a folder not there yet)
// is tried again, for ever. The count of failures is forgotten after a day.
// A service manager that knows no such settings (Wine's answers
// ERROR_INVALID_LEVEL) leaves `unsupported` set and the service as it is.
bool setRecovery(SC_HANDLE service, bool& unsupported) {
    SC_ACTION actions[3] = {{SC_ACTION_RESTART, restartAfterMs}, {SC_ACTION_RESTART, restartAfterMs},
                            {SC_ACTION_RESTART, restartAfterMs}};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = 86400;
    failure.cActions = 3;
    failure.lpsaActions = actions;
    SERVICE_FAILURE_ACTIONS_FLAG flag{};
    flag.fFailureActionsOnNonCrashFailures = TRUE;
    unsupported = false;
    if (ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) &&
        ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag)) {
        return true;
    }
    unsupported = GetLastError() == ERROR_INVALID_LEVEL;
    return unsupported;
}

}  // namespace

int installService(const char* commandLine, const char* account, void (*tell)(const char*, bool)) {
    wchar_t* command = utf16Of(commandLine, L"", BadUtf8::refused);
    wchar_t* user = utf16Of(account != nullptr ? account : "NT AUTHORITY\\LocalService", L"", BadUtf8::refused);
    if (command == nullptr || user == nullptr) {
        std::free(command);
        std::free(user);
        tell("vantrel: the service's command line or account is not valid text\n", true);
        return 2;
    }
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
    if (manager == nullptr) {
        tellError(tell, "the service manager cannot be opened to install the service", GetLastError());
        std::free(command);
        std::free(user);
        return 2;
    }
    SC_HANDLE service = CreateServiceW(manager, serviceName, L"Vantrel timer lateness monitor", SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command,
                                       nullptr, nullptr, nullptr, user, L"");
    const DWORD created = GetLastError();
    std::free(command);
    std::free(user);
    if (service == nullptr) {
        tellError(tell, "the service cannot be installed", created);
        CloseServiceHandle(manager);
        return 2;
    }
    wchar_t text[] = L"Measures how late timer messages arrive on each processor core and keeps its record "
                     L"(metrics, report, log) for monitoring.";
    SERVICE_DESCRIPTIONW description{text};
    const bool described = ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description) != 0;
    bool noRecovery = false;
    const bool recovers = setRecovery(service, noRecovery);
    const DWORD error = GetLastError();
    if (!described || !recovers) {
        // Half a service (no restart after a failure) is not what was asked.
        tellError(tell, described ? "the service's restart after a failure cannot be set" : "the service's description cannot be set", error);
        DeleteService(service);
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return 2;
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    char line[1024];
    joinText(line, sizeof line,
             {"vantrel: installed the service Vantrel (automatic start, ",
              noRecovery ? "not restarted after a failure: this service manager takes no restart settings"
                         : "restarted a minute after a failure",
              ", account ", account != nullptr ? account : "LocalService", "): ", commandLine,
              "\nIt starts at the next boot, or now with: sc start Vantrel\n"});
    tell(line, false);
    return 0;
}

int uninstallService(void (*tell)(const char*, bool)) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        tellError(tell, "the service manager cannot be opened to remove the service", GetLastError());
        return 2;
    }
    SC_HANDLE service = OpenServiceW(manager, serviceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    if (service == nullptr) {
        tellError(tell, "the service cannot be removed", GetLastError());
        CloseServiceHandle(manager);
        return 2;
    }
    SERVICE_STATUS status{};
    bool stopped = true;
    const char* said = "removed the service Vantrel (it was not running)\n";
    if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        const ULONGLONG giveUpAt = GetTickCount64() + stopWaitMs;
        while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED &&
               GetTickCount64() < giveUpAt) {
            Sleep(200);
        }
        stopped = status.dwCurrentState == SERVICE_STOPPED;
        said = stopped ? "stopped and removed the service Vantrel\n"
                       : "removed the service Vantrel; it did not stop within 20 s and goes once its process ends\n";
    }
    if (!DeleteService(service)) {
        tellError(tell, "the service cannot be removed", GetLastError());
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return 2;
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    char line[256];
    joinText(line, sizeof line, {"vantrel: ", said});
    tell(line, false);
    return 0;
}
