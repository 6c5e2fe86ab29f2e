#include "app/user_output.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "files/utf16.h"

namespace {

char* utf8Of(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    auto* narrow = static_cast<char*>(std::malloc(length > 0 ? static_cast<std::size_t>(length) : 1));
    if (narrow == nullptr) return nullptr;
    narrow[0] = '\0';
    if (length > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow, length, nullptr, nullptr);
    return narrow;
}

// A console gets UTF-16, so that any path shows as it is; a file or pipe
// gets the UTF-8 bytes.
bool writeTo(HANDLE handle, const char* text) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        wchar_t* wide = utf16Of(text, L"", BadUtf8::replaced);
        const bool ok =
            wide != nullptr && WriteConsoleW(handle, wide, static_cast<DWORD>(std::wcslen(wide)), &written, nullptr) != 0;
        std::free(wide);
        return ok;
    }
    if (GetFileType(handle) == FILE_TYPE_UNKNOWN) return false;
    const auto size = static_cast<DWORD>(std::strlen(text));
    return WriteFile(handle, text, size, &written, nullptr) != 0 && written == size;
}

}  // namespace

bool nobodyWatches = false;

void tellUser(const char* text, bool isError) {
    if (writeTo(GetStdHandle(isError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE), text)) return;
    // A GUI program started from a console has no standard handles there
    // unless they were redirected: write to that console instead.
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        const bool written = writeTo(console, text);
        if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
        FreeConsole();
        if (written) return;
    }
    if (nobodyWatches) return;
    wchar_t* wide = utf16Of(text, L"", BadUtf8::replaced);
    MessageBoxW(nullptr, wide != nullptr ? wide : L"", L"Vantrel", MB_OK | (isError ? MB_ICONERROR : MB_ICONINFORMATION));
    std::free(wide);
}

void tellStandardError(const char* text) {
    writeTo(GetStdHandle(STD_ERROR_HANDLE), text);
}

Utf8Arguments commandLineArguments() {
    // Kept for the life of the process, like the C runtime's own argv.
    static char* fallback[] = {const_cast<char*>("vantrel"), nullptr};
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr || count < 1) return Utf8Arguments{1, fallback};
    auto** values = static_cast<char**>(std::calloc(static_cast<std::size_t>(count) + 1, sizeof(char*)));
    if (values == nullptr) return Utf8Arguments{1, fallback};
    for (int i = 0; i < count; ++i) {
        values[i] = utf8Of(wide[i]);
        if (values[i] == nullptr) values[i] = const_cast<char*>("");
    }
    LocalFree(wide);
    return Utf8Arguments{count, values};
}
