#include "record/output_file.h"

#include <windows.h>

#include <new>
#include <string>

struct OutputFile {
    HANDLE handle;
    std::string path;
};

// WriteFile takes a 32-bit size; larger pieces go out in steps of this.
constexpr std::size_t largestWrite = 1u << 30;

static std::wstring widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
    return wide;
}

static std::string narrow(const wchar_t* text, int length) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

static std::string reasonOf(DWORD code) {
    wchar_t text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof text / sizeof text[0], nullptr);
    // The system's texts end in a full stop and a line break.
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L'.' ||
                          text[length - 1] == L' ')) {
        --length;
    }
    if (length == 0) return "system error " + std::to_string(code);
    return narrow(text, static_cast<int>(length));
}

static std::string failure(const char* verb, const std::string& path, DWORD code) {
    return std::string("cannot ") + verb + " '" + path + "': " + reasonOf(code);
}

// An empty answer means the path is not valid UTF-8 (or is empty); the
// system then reports it as an invalid name.
static HANDLE openForWriting(const std::wstring& path, DWORD disposition) {
    if (path.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    // Others may read the files and may delete or rename them while open.
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

static bool writeSome(HANDLE handle, const char* data, std::size_t size, std::size_t* written) {
    DWORD count = 0;
    const auto piece = static_cast<DWORD>(size < largestWrite ? size : largestWrite);
    const bool ok = WriteFile(handle, data, piece, &count, nullptr) != 0;
    *written = count;
    return ok;
}

OutputFile* createOutputFile(const std::string& path, bool truncate, std::string& error) {
    HANDLE handle = openForWriting(widen(path), truncate ? CREATE_ALWAYS : OPEN_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE) {
        error = failure("create", path, GetLastError());
        return nullptr;
    }
    LARGE_INTEGER zero{};
    if (SetFilePointerEx(handle, zero, nullptr, FILE_END) == 0) {
        error = failure("create", path, GetLastError());
        CloseHandle(handle);
        return nullptr;
    }
    auto* file = new (std::nothrow) OutputFile{handle, path};
    if (file == nullptr) {
        CloseHandle(handle);
        error = failure("create", path, ERROR_NOT_ENOUGH_MEMORY);
    }
    return file;
}

bool truncateOutputFile(OutputFile* file, std::string& error) {
    // A device or pipe (CON, NUL) has nothing to empty.
    if (GetFileType(file->handle) != FILE_TYPE_DISK) return true;
    LARGE_INTEGER zero{};
    if (SetFilePointerEx(file->handle, zero, nullptr, FILE_BEGIN) == 0 || SetEndOfFile(file->handle) == 0) {
        error = failure("truncate", file->path, GetLastError());
        return false;
    }
    return true;
}

bool appendToOutputFile(OutputFile* file, const char* data, std::size_t size, std::size_t* written,
                        std::string& error) {
    *written = 0;
    if (size == 0) return true;
    if (!writeSome(file->handle, data, size, written)) {
        error = failure("write to", file->path, GetLastError());
        return false;
    }
    return true;
}

void closeOutputFile(OutputFile* file) {
    if (file == nullptr) return;
    CloseHandle(file->handle);
    delete file;
}

bool replaceFileContents(const std::string& path, const std::string& content, std::string& error) {
    const std::wstring target = widen(path);
    const std::wstring temporary = widen(temporaryPathOf(path));
    HANDLE handle = openForWriting(temporary, CREATE_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE) {
        error = failure("create", path, GetLastError());
        return false;
    }
    const char* verb = nullptr;
    DWORD code = 0;
    for (std::size_t done = 0; done < content.size() && verb == nullptr;) {
        std::size_t count = 0;
        if (writeSome(handle, content.data() + done, content.size() - done, &count)) {
            done += count;
        } else {
            verb = "write";
            code = GetLastError();
        }
    }
    // Flushed before the move: after a crash the report is the old one or
    // the new one, not an empty file.
    if (verb == nullptr && FlushFileBuffers(handle) == 0) {
        verb = "write";
        code = GetLastError();
    }
    if (CloseHandle(handle) == 0 && verb == nullptr) {
        verb = "write";
        code = GetLastError();
    }
    if (verb == nullptr &&
        MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        verb = "replace";
        code = GetLastError();
    }
    if (verb == nullptr) return true;
    DeleteFileW(temporary.c_str());
    error = failure(verb, path, code);
    return false;
}

bool fileExistsAt(const std::string& path) {
    const std::wstring wide = widen(path);
    return !wide.empty() && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool removeFileAt(const std::string& path) {
    const std::wstring wide = widen(path);
    return !wide.empty() && DeleteFileW(wide.c_str()) != 0;
}
