// Text for the user who started the program: help, version, a bad command
// line, a file that cannot be written.
#pragma once

#include <string>

// Writes `text` (UTF-8) to the program's standard output, or with `isError`
// its standard error, when it has a usable one (under Wine, or on Windows
// when redirected); else to the console it was started from; else in a
// message box.
void tellUser(const std::string& text, bool isError);

// The command line as UTF-8 arguments, argv[0] being the program.
struct Utf8Arguments {
    int count;
    char** values;
};
Utf8Arguments commandLineArguments();
