// Process entry: the command line, then one run, then the end.
#include <windows.h>

#include "app/options.h"
#include "app/page_from_log.h"
#include "app/run.h"
#include "app/service_run.h"
#include "app/user_output.h"
#include "app/version.h"
#include "record/problem_list.h"
#include "text/text_buffer.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const ULONGLONG startMs = GetTickCount64();
    const Utf8Arguments arguments = commandLineArguments();
    CommandLine options{};
    char error[commandLineErrorCapacity];
    if (!parseCommandLine(arguments.count, arguments.values, options, error)) {
        char line[commandLineErrorCapacity + 64];
        joinText(line, sizeof line, {"vantrel: ", error, "\nTry 'vantrel --help' for more information.\n"});
        tellUser(line, true);
        ExitProcess(exitBadCommandLine);
    }
    if (options.help) {
        tellUser(usageText(), false);
        ExitProcess(exitComplete);
    }
    if (options.version) {
        tellUser("Vantrel " VANTREL_VERSION "\n", false);
        ExitProcess(exitComplete);
    }
    if (options.installService || options.uninstallService || options.service) {
        ExitProcess(static_cast<UINT>(runServiceMode(options, arguments, startMs)));
    }
    if (options.hasFrom) ExitProcess(static_cast<UINT>(makePageFromLog(options)));
    ExitProcess(static_cast<UINT>(runVantrel(options, startMs)));
}
