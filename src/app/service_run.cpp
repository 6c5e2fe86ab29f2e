#include "app/service_run.h"

#include <windows.h>

#include <cstdlib>

#include "app/run.h"
#include "app/service_command.h"
#include "files/utf16.h"
#include "record/problem_list.h"
#include "service/service_control.h"
#include "service/service_install.h"
#include "text/text_buffer.h"
#include "window/monitor_window.h"

namespace {

const CommandLine* serviceOptions = nullptr;
unsigned long long serviceStartMs = 0;

int runTheService() {
    return runVantrel(*serviceOptions, serviceStartMs);
}

// From the service manager's thread: the hidden window takes them on its
// own, as taskkill's close request and the system's power messages.
void closeTheService() {
    PostMessageW(monitorWindow, WM_CLOSE, 0, 0);
}

void powerOfTheService(unsigned long event) {
    PostMessageW(monitorWindow, WM_POWERBROADCAST, event, 0);
}

// A path as the service will find it: absolute, since a service starts in
// the system folder.
bool absolutePath(const char* path, char* out, std::size_t capacity) {
    wchar_t* wide = utf16Of(path, L"", BadUtf8::refused);
    if (wide == nullptr) return false;
    wchar_t full[MAX_PATH * 4];
    const DWORD length = GetFullPathNameW(wide, MAX_PATH * 4, full, nullptr);
    std::free(wide);
    if (length == 0 || length >= MAX_PATH * 4) return false;
    const int written = WideCharToMultiByte(CP_UTF8, 0, full, -1, out, static_cast<int>(capacity), nullptr, nullptr);
    return written > 0;
}

}  // namespace

int runServiceMode(const CommandLine& options, const Utf8Arguments& arguments, unsigned long long startMs) {
    if (options.uninstallService) return uninstallService(tellUser);
    if (options.installService) {
        wchar_t program[MAX_PATH * 4];
        const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH * 4);
        char programUtf8[MAX_PATH * 12];
        if (length == 0 || length >= MAX_PATH * 4 ||
            WideCharToMultiByte(CP_UTF8, 0, program, -1, programUtf8, sizeof programUtf8, nullptr, nullptr) <= 0) {
            tellUser("vantrel: the program's own path cannot be read\n", true);
            return exitBadCommandLine;
        }
        static char commandLine[32768];
        if (!serviceCommandLine(programUtf8, arguments.count, arguments.values, absolutePath, commandLine,
                                sizeof commandLine)) {
            tellUser("vantrel: the service's command line is too long, or a path cannot be made absolute\n", true);
            return exitBadCommandLine;
        }
        return installService(commandLine, options.hasServiceAccount ? options.serviceAccount : nullptr, tellUser);
    }
    // A service has nobody to click a message box away.
    nobodyWatches = true;
    serviceOptions = &options;
    serviceStartMs = startMs;
    samplersRunning = serviceSamplersRunning;
    const int code = runAsService(ServiceRun{runTheService, closeTheService, powerOfTheService});
    if (code >= 0) return code;
    nobodyWatches = false;
    tellUser("vantrel: --service is meant for the service manager, which starts the service that --install-service "
             "installs (sc start Vantrel)\n",
             true);
    return exitBadCommandLine;
}
