// Text for the user who started the program: help, version, a bad command
// line, and the problems of a run.
#pragma once

// Before the run: writes `text` (UTF-8) to the program's standard output,
// or with `isError` its standard error, when it has a usable one (under
// Wine, or on Windows when redirected); else to the console it was started
// from; else in a message box.
void tellUser(const char* text, bool isError);

// Set for a service: nobody would click a message box away, so tellUser
// writes only where it can and shows none.
extern bool nobodyWatches;

// During the run: to standard error when there is one, else nowhere. Never
// a message box, which would wait for a click nobody makes.
void tellStandardError(const char* text);

// The command line as UTF-8 arguments, argv[0] being the program.
struct Utf8Arguments {
    int count;
    char** values;
};
Utf8Arguments commandLineArguments();
