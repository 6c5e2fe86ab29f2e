// What each platform's output_file_*.cpp gives the shared part
// (output_file_common.cpp), which holds the steps both follow.
#pragma once

#include "files/output_file.h"

enum class MoveResult {
    moved,
    // Refused only because another program holds the file open: it passes
    // when that program closes it.
    held,
    failed,
};
MoveResult tryMoveTemporary(WholeFile* file);
// After a move that did not happen: removes the temporary and describes the
// last try's reason.
void abandonMove(WholeFile* file, char* error);
void pauseMilliseconds(int milliseconds);
// Opens or makes the lock file at `lockPath` and takes it; only taken,
// heldElsewhere or notMade.
LockAnswer takeLockFile(const char* lockPath, OutputLock** lock);
