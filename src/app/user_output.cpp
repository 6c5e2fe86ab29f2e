#include "app/user_output.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <vector>

namespace {

std::wstring wideOf(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string utf8Of(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length > 0 ? length : 1), '\0');
    if (length > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
    narrow.resize(std::strlen(narrow.c_str()));
    return narrow;
}

// A console gets UTF-16, so that any path shows as it is; a file or pipe
// gets the UTF-8 bytes.
bool writeTo(HANDLE handle, const std::string& text) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring wide = wideOf(text);
        return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
    }
    if (GetFileType(handle) == FILE_TYPE_UNKNOWN) return false;
    return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 &&
           written == text.size();
}

}  // namespace

void tellUser(const std::string& text, bool isError) {
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
    const std::wstring wide = wideOf(text);
    MessageBoxW(nullptr, wide.c_str(), L"Vantrel", MB_OK | (isError ? MB_ICONERROR : MB_ICONINFORMATION));
}

Utf8Arguments commandLineArguments() {
    // Kept for the life of the process, like the C runtime's own argv.
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        for (int i = 0; i < count; ++i) texts.push_back(utf8Of(wide[i]));
        LocalFree(wide);
    }
    if (texts.empty()) texts.emplace_back("vantrel");
    pointers.reserve(texts.size());
    for (std::string& text : texts) pointers.push_back(text.data());
    return Utf8Arguments{static_cast<int>(pointers.size()), pointers.data()};
}
