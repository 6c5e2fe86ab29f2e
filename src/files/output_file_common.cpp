// The parts of the output files that both platforms share.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "files/output_file.h"
#include "files/output_file_platform.h"
#include "text/text_buffer.h"

// The pauses between tries of a replace that a reader holds up; they add up
// to replaceRetryMs, short beside the bound on the end of a run (three files
// replaced at the end) and longer than a reader keeps a small file open.
constexpr int replacePausesMs[] = {25, 50, 100, 150, 150};
static_assert(25 + 50 + 100 + 150 + 150 == replaceRetryMs, "the pauses add up to replaceRetryMs");

void describeFailure(char* error, const char* verb, const char* path, const char* reason) {
    joinText(error, messageCapacity, {"cannot ", verb, " '", path, "': ", reason});
}

bool moveTemporaryInPlace(WholeFile* file, char* error) {
    MoveResult result = tryMoveTemporary(file);
    for (const int pause : replacePausesMs) {
        if (result != MoveResult::held) break;
        pauseMilliseconds(pause);
        result = tryMoveTemporary(file);
    }
    if (result == MoveResult::moved) return true;
    abandonMove(file, error);
    return false;
}

bool replaceWholeFile(WholeFile* file, const char* data, std::size_t size, char* error) {
    return writeTemporaryOf(file, data, size, error) && moveTemporaryInPlace(file, error);
}

// The path and `suffix`, allocated; null without the memory.
static char* withSuffix(const char* path, const char* suffix) {
    const std::size_t length = std::strlen(path) + std::strlen(suffix) + 1;
    auto* joined = static_cast<char*>(std::malloc(length));
    if (joined != nullptr) joinText(joined, length, {path, suffix});
    return joined;
}

// Whether `other` names the temporary or the lock file of `path`.
static bool isCompanionOf(const char* path, const char* other) {
    bool same = false;
    for (const char* suffix : {".tmp", ".lock"}) {
        char* companion = withSuffix(path, suffix);
        same = same || (companion != nullptr && sameFile(companion, other));
        std::free(companion);
    }
    return same;
}

bool samePathOrTemporary(const char* a, const char* b) {
    return sameFile(a, b) || isCompanionOf(a, b) || isCompanionOf(b, a);
}

LockAnswer lockOutput(const char* path, OutputLock** lock, char* error) {
    *lock = nullptr;
    if (kindOfPath(path) == PathKind::device) return LockAnswer::notNeeded;
    char* lockPath = withSuffix(path, ".lock");
    if (lockPath == nullptr) return LockAnswer::notMade;
    const LockAnswer answer = takeLockFile(lockPath, lock);
    if (answer == LockAnswer::heldElsewhere) {
        char reason[messageCapacity];
        joinText(reason, sizeof reason, {"another run of Vantrel writes it (it holds '", lockPath, "')"});
        describeFailure(error, "write", path, reason);
    }
    std::free(lockPath);
    return answer;
}

LockAnswer lockTemporaryOf(const char* path, OutputLock** lock, char* error) {
    *lock = nullptr;
    if (kindOfPath(path) == PathKind::device) return LockAnswer::notNeeded;
    char* temporary = withSuffix(path, ".tmp");
    if (temporary == nullptr) return LockAnswer::notMade;
    const LockAnswer answer = lockOutput(temporary, lock, error);
    std::free(temporary);
    return answer;
}
