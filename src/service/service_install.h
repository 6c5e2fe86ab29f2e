// Registering and removing the service "Vantrel" with the service manager.
// Windows only (service_install_win32.cpp). Each tells the user, through
// `tell`, what it did or why it did nothing, and answers the exit code:
// 0, or 2 when nothing was changed.
#pragma once

// `commandLine` (UTF-8) is the service's whole command line, the program
// quoted first; `account` null: LocalService.
int installService(const char* commandLine, const char* account, void (*tell)(const char* text, bool isError));
// Stops the service (waiting at most 20 s for it to end) and removes it.
int uninstallService(void (*tell)(const char* text, bool isError));
