// The service's modes of the program: --install-service,
// --uninstall-service, and the run started by the service manager.
#pragma once

#include "app/options.h"
#include "app/user_output.h"

// Answers the exit code of the mode `options` asks for.
int runServiceMode(const CommandLine& options, const Utf8Arguments& arguments, unsigned long long startMs);
