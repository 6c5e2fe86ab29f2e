// The parts of the output files that both platforms share.
#include <cstdlib>
#include <cstring>

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

// Whether `other` names the temporary of `path`.
static bool isTemporaryOf(const char* path, const char* other) {
    const std::size_t length = std::strlen(path);
    auto* temporary = static_cast<char*>(std::malloc(length + 5));
    if (temporary == nullptr) return false;
    joinText(temporary, length + 5, {path, ".tmp"});
    const bool same = sameFile(temporary, other);
    std::free(temporary);
    return same;
}

bool samePathOrTemporary(const char* a, const char* b) {
    return sameFile(a, b) || isTemporaryOf(a, b) || isTemporaryOf(b, a);
}
