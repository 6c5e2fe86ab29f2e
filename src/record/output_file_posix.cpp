#include "record/output_file.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct OutputFile {
    int descriptor;
    std::string path;
};

static std::string failure(const char* verb, const std::string& path, int code) {
    return std::string("cannot ") + verb + " '" + path + "': " + std::generic_category().message(code);
}

static int openForWriting(const std::string& path, int flags) {
    int descriptor = -1;
    do {
        descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0666);
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

OutputFile* createOutputFile(const std::string& path, bool truncate, std::string& error) {
    const int descriptor = openForWriting(path, O_APPEND | (truncate ? O_TRUNC : 0));
    if (descriptor < 0) {
        error = failure("create", path, errno);
        return nullptr;
    }
    auto* file = new (std::nothrow) OutputFile{descriptor, path};
    if (file == nullptr) {
        close(descriptor);
        error = failure("create", path, ENOMEM);
    }
    return file;
}

bool truncateOutputFile(OutputFile* file, std::string& error) {
    // A device or pipe (/dev/stdout, a FIFO) has nothing to empty.
    struct stat status {};
    if (fstat(file->descriptor, &status) == 0 && !S_ISREG(status.st_mode)) return true;
    if (ftruncate(file->descriptor, 0) != 0) {
        error = failure("truncate", file->path, errno);
        return false;
    }
    return true;
}

bool appendToOutputFile(OutputFile* file, const char* data, std::size_t size, std::size_t* written,
                        std::string& error) {
    *written = 0;
    if (size == 0) return true;
    const ssize_t count = writeSome(file->descriptor, data, size);
    if (count < 0) {
        error = failure("write to", file->path, errno);
        return false;
    }
    *written = static_cast<std::size_t>(count);
    return true;
}

void closeOutputFile(OutputFile* file) {
    if (file == nullptr) return;
    close(file->descriptor);
    delete file;
}

bool replaceFileContents(const std::string& path, const std::string& content, std::string& error) {
    const std::string temporary = temporaryPathOf(path);
    const int descriptor = openForWriting(temporary, O_TRUNC);
    if (descriptor < 0) {
        error = failure("create", path, errno);
        return false;
    }
    const char* verb = nullptr;
    int code = 0;
    for (std::size_t done = 0; done < content.size() && verb == nullptr;) {
        const ssize_t count = writeSome(descriptor, content.data() + done, content.size() - done);
        if (count < 0) {
            verb = "write";
            code = errno;
        } else {
            done += static_cast<std::size_t>(count);
        }
    }
    // Flushed before the rename: after a crash the report is the old one or
    // the new one, not an empty file.
    if (verb == nullptr && fsync(descriptor) != 0) {
        verb = "write";
        code = errno;
    }
    if (close(descriptor) != 0 && verb == nullptr) {
        verb = "write";
        code = errno;
    }
    if (verb == nullptr && std::rename(temporary.c_str(), path.c_str()) != 0) {
        verb = "replace";
        code = errno;
    }
    if (verb == nullptr) return true;
    unlink(temporary.c_str());
    error = failure(verb, path, code);
    return false;
}

bool fileExistsAt(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

bool removeFileAt(const std::string& path) {
    return unlink(path.c_str()) == 0;
}
