#include "record/log_roll.h"

#include <cstring>

#include "record/recorder_state.h"

bool rolledLogName(const char* path, char* out, std::size_t capacity) {
    const std::size_t length = std::strlen(path);
    std::size_t nameStart = 0;
    for (std::size_t k = 0; k < length; ++k) {
        if (path[k] == '/' || path[k] == '\\' || path[k] == ':') nameStart = k + 1;
    }
    const char* dot = std::strrchr(path + nameStart, '.');
    const std::size_t at = dot != nullptr && dot != path + nameStart ? static_cast<std::size_t>(dot - path) : length;
    if (length + 3 > capacity) return false;
    std::size_t n = 0;
    for (std::size_t k = 0; k < at; ++k) out[n++] = path[k];
    out[n++] = '.';
    out[n++] = '1';
    for (std::size_t k = at; k <= length; ++k) out[n++] = path[k];
    return true;
}

namespace {

// The new log's header; on a failure the log is emptied again, so that no
// line ever follows half a header, and it is tried again at the next batch.
bool writeHeader(LogRoll& roll, OutputFile* log, std::size_t& bytesWritten) {
    std::size_t written = 0;
    char error[messageCapacity] = "cannot write the header of the new log";
    if (appendToOutputFile(log, roll.header.data, roll.header.size, &written, error) && written == roll.header.size) {
        bytesWritten = written;
        roll.headerOwed = false;
        recordRecovery(roll.failing, "log rolled over again");
        return true;
    }
    recordFailure(roll.failing, error);
    char cutError[messageCapacity];
    if (isDiskFile(log)) cutOutputFile(log, 0, cutError);
    bytesWritten = 0;
    roll.headerOwed = true;
    return false;
}

}  // namespace

bool rollLogIfDue(LogRoll& roll, OutputFile*& log, std::size_t& bytesWritten) {
    if (roll.headerOwed) return writeHeader(roll, log, bytesWritten);
    if (roll.maxBytes == 0 || bytesWritten < roll.rollAt || !isDiskFile(log)) return true;
    closeOutputFile(log);
    char error[messageCapacity];
    const bool moved = moveFileReplacing(roll.path, roll.rolledPath, error);
    char openError[messageCapacity];
    log = createOutputFile(roll.path, moved, openError);
    if (log == nullptr && moved && moveFileReplacing(roll.rolledPath, roll.path, openError)) {
        // The new log cannot be made: the old one goes on.
        log = createOutputFile(roll.path, false, openError);
        recordFailure(roll.failing, error);
        roll.rollAt = bytesWritten + roll.maxBytes / 16 + 1;
        return log != nullptr;
    }
    if (log == nullptr) {
        // Neither: the lines to come are lost, and counted.
        recordFailure(roll.failing, openError);
        return false;
    }
    if (!moved) {
        recordFailure(roll.failing, error);
        roll.rollAt = bytesWritten + roll.maxBytes / 16 + 1;
        return true;
    }
    roll.rolls.fetch_add(1, std::memory_order_relaxed);
    roll.rollAt = roll.maxBytes;
    return writeHeader(roll, log, bytesWritten);
}
