// The files of a recording: the log, written in pieces, and the report (and
// the other whole-file outputs), replaced whole. One implementation per
// platform (output_file_posix.cpp, output_file_win32.cpp). Paths are UTF-8.
// Every error names the path and gives the system's reason, in a buffer of
// messageCapacity bytes: nothing here allocates once a file is open.
#pragma once

#include <cstddef>

constexpr std::size_t messageCapacity = 256;

struct OutputFile;

// Opens `path` for writing at its end, creating it when missing; empties it
// only when `truncate` is set. Answers null on failure.
OutputFile* createOutputFile(const char* path, bool truncate, char* error);
bool truncateOutputFile(OutputFile* file, char* error);
// Writes at the end of the file; `*written` tells how much went out, which
// may be less than `size` even when the answer is true.
bool appendToOutputFile(OutputFile* file, const char* data, std::size_t size, std::size_t* written, char* error);
void closeOutputFile(OutputFile* file);

// A file replaced whole: its contents go to a temporary beside it (the
// path and ".tmp", which never ends like the target) and then take its
// place in one step, so a reader sees the old file or the new one, never a
// part. Made before the run, so replacing it allocates nothing.
struct WholeFile;
WholeFile* makeWholeFile(const char* path);
void freeWholeFile(WholeFile* file);
const char* pathOf(const WholeFile* file);
// Writes the temporary (and flushes it). On failure the temporary is gone.
bool writeTemporaryOf(WholeFile* file, const char* data, std::size_t size, char* error);
// Puts the written temporary in place of the file. A reader that holds the
// file open for a moment (an exporter, a browser, a virus scanner) delays it
// by at most replaceRetryMs before it counts as a failure.
bool moveTemporaryInPlace(WholeFile* file, char* error);
void removeTemporaryOf(WholeFile* file);
// Both steps; on failure the file is unchanged and no temporary is left.
bool replaceWholeFile(WholeFile* file, const char* data, std::size_t size, char* error);

bool fileExistsAt(const char* path);
bool removeFileAt(const char* path);
// Whether two paths name one file as the system sees it: the same full path
// (on Windows without regard to case), or, when both exist, one file reached
// by two names. Before a run only: it allocates.
bool sameFile(const char* a, const char* b);
// sameFile, or one of them names the other's temporary.
bool samePathOrTemporary(const char* a, const char* b);

constexpr int replaceRetryMs = 475;

// "cannot <verb> '<path>': <reason>", cut to messageCapacity.
void describeFailure(char* error, const char* verb, const char* path, const char* reason);
