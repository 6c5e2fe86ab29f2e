#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "files/output_file.h"
#include "files/output_file_platform.h"
#include "files/utf16.h"

struct OutputFile {
    HANDLE handle;
    bool onDisk;
    char* path;
};

struct OutputLock {
    HANDLE handle;
};

struct WholeFile {
    char* path;
    wchar_t* widePath;
    wchar_t* wideTemporary;
    DWORD moveError;  // of the last try to move the temporary in place
};

// WriteFile takes a 32-bit size; larger pieces go out in steps of this.
constexpr std::size_t largestWrite = 1u << 30;

wchar_t* utf16Of(const char* text, const wchar_t* suffix, BadUtf8 bad) {
    const int size = static_cast<int>(std::strlen(text));
    const DWORD flags = bad == BadUtf8::refused ? MB_ERR_INVALID_CHARS : 0;
    // Refused, an empty text fails in the call itself (with the error a
    // caller may report); replaced, it is simply empty.
    const int length =
        size == 0 && bad == BadUtf8::replaced ? 0 : MultiByteToWideChar(CP_UTF8, flags, text, size, nullptr, 0);
    if (length <= 0 && bad == BadUtf8::refused) return nullptr;
    const std::size_t suffixLength = std::wcslen(suffix);
    auto* wide = static_cast<wchar_t*>(std::malloc((static_cast<std::size_t>(length) + suffixLength + 1) * sizeof(wchar_t)));
    if (wide == nullptr) return nullptr;
    if (length > 0) MultiByteToWideChar(CP_UTF8, flags, text, size, wide, length);
    std::memcpy(wide + length, suffix, (suffixLength + 1) * sizeof(wchar_t));
    return wide;
}

// A UTF-8 path as a new UTF-16 one; null when it is not valid UTF-8 (or is
// empty), which the callers report as an invalid name.
static wchar_t* widen(const char* text, const wchar_t* suffix) {
    return utf16Of(text, suffix, BadUtf8::refused);
}

static char* copyOf(const char* text) {
    const std::size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy != nullptr) std::memcpy(copy, text, length + 1);
    return copy;
}

static void failure(char* error, const char* verb, const char* path, DWORD code) {
    wchar_t text[messageCapacity];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  messageCapacity, nullptr);
    // The system's texts end in a full stop and a line break.
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L'.' ||
                          text[length - 1] == L' ')) {
        --length;
    }
    char reason[messageCapacity];
    int size = length == 0 ? 0
                           : WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), reason,
                                                 static_cast<int>(sizeof reason - 1), nullptr, nullptr);
    if (size <= 0) {
        // "system error <code>"
        static const char prefix[] = "system error ";
        std::memcpy(reason, prefix, sizeof prefix - 1);
        size = static_cast<int>(sizeof prefix - 1);
        char digits[12];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + code % 10);
            code /= 10;
        } while (code != 0);
        while (count > 0) reason[size++] = digits[--count];
    }
    reason[size] = '\0';
    describeFailure(error, verb, path, reason);
}

static HANDLE openForWriting(const wchar_t* path, DWORD disposition) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    // Others may read the files, but not delete or rename one while it is
    // open: a log deleted during the run (del, a cleaner) would take the
    // rest of the record with it without a word. The temporaries are closed
    // before they are moved, so nothing here needs delete sharing.
    return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

static bool writeSome(HANDLE handle, const char* data, std::size_t size, std::size_t* written) {
    DWORD count = 0;
    const auto piece = static_cast<DWORD>(size < largestWrite ? size : largestWrite);
    const bool ok = WriteFile(handle, data, piece, &count, nullptr) != 0;
    *written = count;
    return ok;
}

OutputFile* createOutputFile(const char* path, bool truncate, char* error) {
    wchar_t* wide = widen(path, L"");
    HANDLE handle = openForWriting(wide, truncate ? CREATE_ALWAYS : OPEN_ALWAYS);
    std::free(wide);
    if (handle == INVALID_HANDLE_VALUE) {
        failure(error, "create", path, GetLastError());
        return nullptr;
    }
    LARGE_INTEGER zero{};
    auto* file = static_cast<OutputFile*>(std::malloc(sizeof(OutputFile)));
    char* copy = copyOf(path);
    if (file == nullptr || copy == nullptr || SetFilePointerEx(handle, zero, nullptr, FILE_END) == 0) {
        failure(error, "create", path, file == nullptr || copy == nullptr ? ERROR_NOT_ENOUGH_MEMORY : GetLastError());
        std::free(file);
        std::free(copy);
        CloseHandle(handle);
        return nullptr;
    }
    file->handle = handle;
    file->onDisk = GetFileType(handle) == FILE_TYPE_DISK;
    file->path = copy;
    return file;
}

bool isDiskFile(const OutputFile* file) {
    return file->onDisk;
}

bool cutOutputFile(OutputFile* file, std::uint64_t size, char* error) {
    // The end moves back and the file pointer with it: the next write goes on there.
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    if (SetFilePointerEx(file->handle, end, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(file->handle) != 0) return true;
    failure(error, "cut", file->path, GetLastError());
    return false;
}

bool truncateOutputFile(OutputFile* file, char* error) {
    // A device or pipe (CON, NUL) has nothing to empty.
    if (!file->onDisk) return true;
    LARGE_INTEGER zero{};
    if (SetFilePointerEx(file->handle, zero, nullptr, FILE_BEGIN) == 0 || SetEndOfFile(file->handle) == 0) {
        failure(error, "truncate", file->path, GetLastError());
        return false;
    }
    return true;
}

bool appendToOutputFile(OutputFile* file, const char* data, std::size_t size, std::size_t* written, char* error) {
    *written = 0;
    if (size == 0) return true;
    if (!writeSome(file->handle, data, size, written)) {
        failure(error, "write to", file->path, GetLastError());
        return false;
    }
    return true;
}

void closeOutputFile(OutputFile* file) {
    if (file == nullptr) return;
    CloseHandle(file->handle);
    std::free(file->path);
    std::free(file);
}

WholeFile* makeWholeFile(const char* path) {
    auto* file = static_cast<WholeFile*>(std::malloc(sizeof(WholeFile)));
    if (file == nullptr) return nullptr;
    // Paths that are not UTF-8 stay null and fail as an invalid name.
    file->path = copyOf(path);
    file->widePath = widen(path, L"");
    file->wideTemporary = widen(path, L".tmp");
    file->moveError = 0;
    if (file->path == nullptr) {
        freeWholeFile(file);
        return nullptr;
    }
    return file;
}

void freeWholeFile(WholeFile* file) {
    if (file == nullptr) return;
    std::free(file->path);
    std::free(file->widePath);
    std::free(file->wideTemporary);
    std::free(file);
}

const char* pathOf(const WholeFile* file) {
    return file->path;
}

bool writeTemporaryOf(WholeFile* file, const char* data, std::size_t size, char* error) {
    HANDLE handle = openForWriting(file->wideTemporary, CREATE_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE) {
        failure(error, "create", file->path, GetLastError());
        return false;
    }
    DWORD code = 0;
    for (std::size_t done = 0; done < size && code == 0;) {
        std::size_t count = 0;
        if (writeSome(handle, data + done, size - done, &count)) {
            done += count;
        } else {
            code = GetLastError();
        }
    }
    // Flushed before the move: after a crash the file is the old one or the
    // new one, not an empty one.
    if (code == 0 && FlushFileBuffers(handle) == 0) code = GetLastError();
    if (CloseHandle(handle) == 0 && code == 0) code = GetLastError();
    if (code == 0) return true;
    DeleteFileW(file->wideTemporary);
    failure(error, "write", file->path, code);
    return false;
}

MoveResult tryMoveTemporary(WholeFile* file) {
    if (MoveFileExW(file->wideTemporary, file->widePath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
        return MoveResult::moved;
    }
    file->moveError = GetLastError();
    // A reader that opened the file without FILE_SHARE_DELETE makes the
    // replace fail with one of these until it closes the file.
    return file->moveError == ERROR_ACCESS_DENIED || file->moveError == ERROR_SHARING_VIOLATION ? MoveResult::held
                                                                                                 : MoveResult::failed;
}

void abandonMove(WholeFile* file, char* error) {
    DeleteFileW(file->wideTemporary);
    failure(error, "replace", file->path, file->moveError);
}

void pauseMilliseconds(int milliseconds) {
    Sleep(static_cast<DWORD>(milliseconds));
}

void removeTemporaryOf(WholeFile* file) {
    if (file->wideTemporary != nullptr) DeleteFileW(file->wideTemporary);
}

LockAnswer takeLockFile(const char* lockPath, OutputLock** lock) {
    wchar_t* wide = widen(lockPath, L"");
    // Shared with nobody, and deleted by the system when the handle closes,
    // which it does when the process ends, even when it is killed.
    HANDLE handle = wide == nullptr ? INVALID_HANDLE_VALUE
                                    : CreateFileW(wide, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    const DWORD code = GetLastError();
    std::free(wide);
    if (handle == INVALID_HANDLE_VALUE) {
        return code == ERROR_SHARING_VIOLATION ? LockAnswer::heldElsewhere : LockAnswer::notMade;
    }
    *lock = static_cast<OutputLock*>(std::malloc(sizeof(OutputLock)));
    if (*lock == nullptr) {
        CloseHandle(handle);
        return LockAnswer::notMade;
    }
    (*lock)->handle = handle;
    return LockAnswer::taken;
}

void unlockOutput(OutputLock* lock) {
    if (lock == nullptr) return;
    CloseHandle(lock->handle);
    std::free(lock);
}

bool fileExistsAt(const char* path) {
    wchar_t* wide = widen(path, L"");
    const bool exists = wide != nullptr && GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES;
    std::free(wide);
    return exists;
}

bool removeFileAt(const char* path) {
    wchar_t* wide = widen(path, L"");
    const bool removed = wide != nullptr && DeleteFileW(wide) != 0;
    std::free(wide);
    return removed;
}

bool moveFileReplacing(const char* from, const char* to, char* error) {
    wchar_t* wideFrom = widen(from, L"");
    wchar_t* wideTo = widen(to, L"");
    const bool moved = wideFrom != nullptr && wideTo != nullptr &&
                       MoveFileExW(wideFrom, wideTo, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!moved) failure(error, "rename the log to", to, wideFrom == nullptr || wideTo == nullptr ? ERROR_INVALID_NAME : GetLastError());
    std::free(wideFrom);
    std::free(wideTo);
    return moved;
}

// The path as Windows resolves it (current directory, ".", "..", either
// slash); null when it cannot be.
static wchar_t* fullPathOf(const char* path) {
    wchar_t* wide = widen(path, L"");
    if (wide == nullptr) return nullptr;
    const DWORD capacity = GetFullPathNameW(wide, 0, nullptr, nullptr);
    auto* full = capacity == 0 ? nullptr : static_cast<wchar_t*>(std::malloc(capacity * sizeof(wchar_t)));
    const DWORD length = full == nullptr ? 0 : GetFullPathNameW(wide, capacity, full, nullptr);
    if (length == 0 || length >= capacity) {
        std::free(full);
        full = nullptr;
    }
    std::free(wide);
    return full;
}

static bool identityOf(const wchar_t* path, BY_HANDLE_FILE_INFORMATION& information) {
    // No access asked for: only the file's identity is read, whoever holds it.
    HANDLE handle = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(handle, &information) != 0;
    CloseHandle(handle);
    return known;
}

bool sameFile(const char* a, const char* b) {
    wchar_t* fullA = fullPathOf(a);
    wchar_t* fullB = fullPathOf(b);
    bool same = false;
    if (fullA == nullptr || fullB == nullptr) {
        same = std::strcmp(a, b) == 0;
    } else {
        same = CompareStringOrdinal(fullA, -1, fullB, -1, TRUE) == CSTR_EQUAL;
        // Another name of an existing file: a link, a short 8.3 name, a
        // mapped drive or share.
        BY_HANDLE_FILE_INFORMATION one{};
        BY_HANDLE_FILE_INFORMATION other{};
        if (!same && identityOf(fullA, one) && identityOf(fullB, other)) {
            same = one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
                   one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
        }
    }
    std::free(fullA);
    std::free(fullB);
    return same;
}

// "\\.\NUL", "\\.\COM1": what GetFullPathNameW makes of a device name (NUL,
// CON, PRN, AUX, COM1-9, LPT1-9, with an extension or a folder on older
// systems), unless it is a drive's path in that space ("\\.\C:\x").
static bool isDevicePath(const wchar_t* full) {
    if (std::wcsncmp(full, L"\\\\.\\", 4) != 0) return false;
    const wchar_t* rest = full + 4;
    return !(std::iswalpha(rest[0]) != 0 && rest[1] == L':' && (rest[2] == L'\\' || rest[2] == L'/'));
}

PathKind kindOfPath(const char* path) {
    wchar_t* full = fullPathOf(path);
    if (full == nullptr) return PathKind::none;
    // Asking no access opens devices and folders alike, whoever holds them.
    HANDLE handle = CreateFileW(full, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    PathKind kind = isDevicePath(full) ? PathKind::device : PathKind::none;
    if (handle != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION information{};
        if (GetFileType(handle) != FILE_TYPE_DISK) {
            kind = PathKind::device;
        } else if (GetFileInformationByHandle(handle, &information) != 0) {
            kind = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::folder : PathKind::file;
        }
        CloseHandle(handle);
    }
    std::free(full);
    return kind;
}
