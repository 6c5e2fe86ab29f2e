// The service's side of the command line, without Win32: the checks of
// --install-service, --uninstall-service and --service, and the command
// line the service manager is given.
#pragma once

#include <cstddef>

#include "app/options.h"

// Without a --log-max-mb, a service's log rolls over at this size.
constexpr long long serviceLogMaxMb = 100;

// Makes `path` absolute into `out` (of `capacity` bytes); false: it cannot.
using AbsolutePath = bool (*)(const char* path, char* out, std::size_t capacity);

// The service's command line: `program`, then --service, then every option
// of argv[1..] but the installer's own (--install-service,
// --service-account), the paths of --report, --log, --metrics and --html
// made absolute (a service starts in the system folder), and a
// --log-max-mb for a log without one. Every argument is quoted so that
// CommandLineToArgvW reads it back as given. False: it does not fit.
bool serviceCommandLine(const char* program, int argc, const char* const* argv, AbsolutePath absolute, char* out,
                        std::size_t capacity);
