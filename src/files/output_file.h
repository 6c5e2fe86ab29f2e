// The files of a recording: the log, written in pieces, and the report (and
// the other whole-file outputs), replaced whole. One implementation per
// platform (output_file_posix.cpp, output_file_win32.cpp). Paths are UTF-8.
// Every error names the path and gives the system's reason, in a buffer of
// messageCapacity bytes: nothing here allocates once a file is open.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t messageCapacity = 256;

struct OutputFile;

// Opens `path` for writing at its end, creating it when missing; empties it
// only when `truncate` is set. Answers null on failure.
OutputFile* createOutputFile(const char* path, bool truncate, char* error);
bool truncateOutputFile(OutputFile* file, char* error);
// Whether it is a file on a disk, not a device or pipe (NUL, /dev/stdout).
bool isDiskFile(const OutputFile* file);
// Cuts a disk file back to its first `size` bytes; later writes go on there.
bool cutOutputFile(OutputFile* file, std::uint64_t size, char* error);
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

// A run's hold on one of its outputs, for the whole run: a file beside it
// (the path and ".lock") that one process at a time can hold, so that two
// runs never write one output, nor its temporary, in turn. The system lets
// go of it when the process ends, however it ends, so a lock left by a run
// that was killed holds up nobody.
struct OutputLock;
enum class LockAnswer {
    taken,
    notNeeded,  // a device (NUL, /dev/stdout): nothing to keep apart
    heldElsewhere,  // another process holds it: `error` says so
    notMade,  // the lock file cannot be made (a read-only folder): writing
              // the output itself will say why
};
LockAnswer lockOutput(const char* path, OutputLock** lock, char* error);
// The same for the temporary of a file replaced whole (makeWholeFile's):
// another run that names it as its own output is kept apart as well.
LockAnswer lockTemporaryOf(const char* path, OutputLock** lock, char* error);
// Lets go of the lock and removes its file; null does nothing.
void unlockOutput(OutputLock* lock);

enum class PathKind {
    file,
    folder,
    device,  // NUL, CON, COM1, \\.\ names; /dev/null
    none,  // not there, or cannot be told: opening it says why
};
PathKind kindOfPath(const char* path);

bool fileExistsAt(const char* path);
bool removeFileAt(const char* path);
// Renames `from` to `to`, replacing a file there, in one step; no retry (a
// reader holding `to` open makes it fail on Windows).
bool moveFileReplacing(const char* from, const char* to, char* error);
// Whether two paths name one file as the system sees it: the same full path
// (on Windows without regard to case), or, when both exist, one file reached
// by two names. Before a run only: it allocates.
bool sameFile(const char* a, const char* b);
// sameFile, or one of them names the other's temporary or lock file.
bool samePathOrTemporary(const char* a, const char* b);

constexpr int replaceRetryMs = 475;

// "cannot <verb> '<path>': <reason>", cut to messageCapacity.
void describeFailure(char* error, const char* verb, const char* path, const char* reason);
