#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "files/output_file.h"
#include "files/output_file_platform.h"
#include "text/text_buffer.h"

struct OutputFile {
    int descriptor;
    bool onDisk;
    char path[1];  // the rest of the allocation
};

struct OutputLock {
    int descriptor;
    char path[1];  // the rest of the allocation
};

struct WholeFile {
    char* path;
    char* temporary;
    int moveError;  // of the last try to move the temporary in place
};

static void failure(char* error, const char* verb, const char* path, int code) {
    describeFailure(error, verb, path, std::strerror(code));
}

static int openForWriting(const char* path, int flags) {
    int descriptor = -1;
    do {
        descriptor = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

static ssize_t writeSome(int descriptor, const char* data, std::size_t size) {
    ssize_t count = -1;
    do {
        count = write(descriptor, data, size);
    } while (count < 0 && errno == EINTR);
    return count;
}

OutputFile* createOutputFile(const char* path, bool truncate, char* error) {
    const int descriptor = openForWriting(path, O_APPEND | (truncate ? O_TRUNC : 0));
    if (descriptor < 0) {
        failure(error, "create", path, errno);
        return nullptr;
    }
    const std::size_t length = std::strlen(path);
    auto* file = static_cast<OutputFile*>(std::malloc(sizeof(OutputFile) + length));
    if (file == nullptr) {
        close(descriptor);
        failure(error, "create", path, ENOMEM);
        return nullptr;
    }
    struct stat status {};
    file->descriptor = descriptor;
    file->onDisk = fstat(descriptor, &status) != 0 || S_ISREG(status.st_mode);
    std::memcpy(file->path, path, length + 1);
    return file;
}

bool isDiskFile(const OutputFile* file) {
    return file->onDisk;
}

bool cutOutputFile(OutputFile* file, std::uint64_t size, char* error) {
    // Written with O_APPEND: the next write goes to the new end.
    if (ftruncate(file->descriptor, static_cast<off_t>(size)) == 0) return true;
    failure(error, "cut", file->path, errno);
    return false;
}

bool truncateOutputFile(OutputFile* file, char* error) {
    // A device or pipe (/dev/stdout, a FIFO) has nothing to empty.
    if (!file->onDisk) return true;
    if (ftruncate(file->descriptor, 0) != 0) {
        failure(error, "truncate", file->path, errno);
        return false;
    }
    return true;
}

bool appendToOutputFile(OutputFile* file, const char* data, std::size_t size, std::size_t* written, char* error) {
    *written = 0;
    if (size == 0) return true;
    const ssize_t count = writeSome(file->descriptor, data, size);
    if (count < 0) {
        failure(error, "write to", file->path, errno);
        return false;
    }
    *written = static_cast<std::size_t>(count);
    return true;
}

void closeOutputFile(OutputFile* file) {
    if (file == nullptr) return;
    close(file->descriptor);
    std::free(file);
}

WholeFile* makeWholeFile(const char* path) {
    const std::size_t length = std::strlen(path);
    auto* file = static_cast<WholeFile*>(std::malloc(sizeof(WholeFile) + 2 * length + 6));
    if (file == nullptr) return nullptr;
    file->path = reinterpret_cast<char*>(file + 1);
    file->temporary = file->path + length + 1;
    file->moveError = 0;
    joinText(file->path, length + 1, {path});
    joinText(file->temporary, length + 5, {path, ".tmp"});
    return file;
}

void freeWholeFile(WholeFile* file) {
    std::free(file);
}

const char* pathOf(const WholeFile* file) {
    return file->path;
}

bool writeTemporaryOf(WholeFile* file, const char* data, std::size_t size, char* error) {
    const int descriptor = openForWriting(file->temporary, O_TRUNC);
    if (descriptor < 0) {
        failure(error, "create", file->path, errno);
        return false;
    }
    int code = 0;
    for (std::size_t done = 0; done < size && code == 0;) {
        const ssize_t count = writeSome(descriptor, data + done, size - done);
        if (count < 0) {
            code = errno;
        } else {
            done += static_cast<std::size_t>(count);
        }
    }
    // Flushed before the rename: after a crash the file is the old one or
    // the new one, not an empty one.
    if (code == 0 && fsync(descriptor) != 0) code = errno;
    if (close(descriptor) != 0 && code == 0) code = errno;
    if (code == 0) return true;
    unlink(file->temporary);
    failure(error, "write", file->path, code);
    return false;
}

MoveResult tryMoveTemporary(WholeFile* file) {
    if (std::rename(file->temporary, file->path) == 0) return MoveResult::moved;
    file->moveError = errno;
    // A reader never holds up a rename here; the system may, for a moment.
    return file->moveError == EBUSY ? MoveResult::held : MoveResult::failed;
}

void abandonMove(WholeFile* file, char* error) {
    unlink(file->temporary);
    failure(error, "replace", file->path, file->moveError);
}

void pauseMilliseconds(int milliseconds) {
    timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

void removeTemporaryOf(WholeFile* file) {
    unlink(file->temporary);
}

LockAnswer takeLockFile(const char* lockPath, OutputLock** lock) {
    const std::size_t length = std::strlen(lockPath);
    // A run that ends removes its lock file: one that opened it just before
    // then holds a file no longer at the path, and tries again.
    for (int tries = 0; tries < 3; ++tries) {
        int descriptor = -1;
        do {
            descriptor = open(lockPath, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        } while (descriptor < 0 && errno == EINTR);
        if (descriptor < 0) return LockAnswer::notMade;
        if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            const bool held = errno == EWOULDBLOCK;
            close(descriptor);
            return held ? LockAnswer::heldElsewhere : LockAnswer::notMade;
        }
        struct stat locked {};
        struct stat named {};
        if (fstat(descriptor, &locked) == 0 && stat(lockPath, &named) == 0 && locked.st_dev == named.st_dev &&
            locked.st_ino == named.st_ino) {
            *lock = static_cast<OutputLock*>(std::malloc(sizeof(OutputLock) + length));
            if (*lock == nullptr) {
                close(descriptor);
                return LockAnswer::notMade;
            }
            (*lock)->descriptor = descriptor;
            std::memcpy((*lock)->path, lockPath, length + 1);
            return LockAnswer::taken;
        }
        close(descriptor);
    }
    return LockAnswer::notMade;
}

void unlockOutput(OutputLock* lock) {
    if (lock == nullptr) return;
    // Removed while still held, so no other run takes a file about to go.
    unlink(lock->path);
    close(lock->descriptor);
    std::free(lock);
}

PathKind kindOfPath(const char* path) {
    struct stat status {};
    if (stat(path, &status) != 0) return PathKind::none;
    if (S_ISREG(status.st_mode)) return PathKind::file;
    return S_ISDIR(status.st_mode) ? PathKind::folder : PathKind::device;
}

bool fileExistsAt(const char* path) {
    struct stat status {};
    return stat(path, &status) == 0;
}

bool removeFileAt(const char* path) {
    return unlink(path) == 0;
}

bool moveFileReplacing(const char* from, const char* to, char* error) {
    if (std::rename(from, to) == 0) return true;
    failure(error, "rename the log to", to, errno);
    return false;
}

// The path with its folder resolved (links, ".", ".."); for a file not made
// yet, its folder's resolved path and its name. Null when the folder is not
// there either.
static char* fullPathOf(const char* path) {
    char* full = realpath(path, nullptr);
    if (full != nullptr) return full;
    const char* slash = std::strrchr(path, '/');
    const char* name = slash == nullptr ? path : slash + 1;
    const std::size_t folderLength = slash == nullptr ? 0 : slash == path ? 1 : static_cast<std::size_t>(slash - path);
    char* folderPath = static_cast<char*>(std::malloc(folderLength + 2));
    if (folderPath == nullptr) return nullptr;
    if (slash == nullptr) {
        folderPath[0] = '.';
        folderPath[1] = '\0';
    } else {
        std::memcpy(folderPath, path, folderLength);
        folderPath[folderLength] = '\0';
    }
    char* folder = realpath(folderPath, nullptr);
    std::free(folderPath);
    if (folder == nullptr) return nullptr;
    const std::size_t length = std::strlen(folder) + std::strlen(name) + 2;
    full = static_cast<char*>(std::malloc(length));
    if (full != nullptr) joinText(full, length, {folder, "/", name});
    std::free(folder);
    return full;
}

bool sameFile(const char* a, const char* b) {
    struct stat one {};
    struct stat other {};
    if (stat(a, &one) == 0 && stat(b, &other) == 0) return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
    char* fullA = fullPathOf(a);
    char* fullB = fullPathOf(b);
    const bool same = fullA != nullptr && fullB != nullptr ? std::strcmp(fullA, fullB) == 0 : std::strcmp(a, b) == 0;
    std::free(fullA);
    std::free(fullB);
    return same;
}
