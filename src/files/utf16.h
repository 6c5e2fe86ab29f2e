// UTF-8 text as UTF-16 for the system's wide calls. Windows only: defined in
// output_file_win32.cpp, beside the paths that need it most.
#pragma once

// What becomes of bytes that are not UTF-8.
enum class BadUtf8 {
    // A path: an undecodable or empty one gives null, which the callers
    // report as a name that cannot be opened, never as some other file.
    refused,
    // Text for the user: shown as U+FFFD, so a message cut inside a
    // character still shows; empty text gives an empty string.
    replaced,
};

// A new UTF-16 copy of `text` with `suffix` appended, freed with std::free;
// null when refused or out of memory.
wchar_t* utf16Of(const char* text, const wchar_t* suffix, BadUtf8 bad);
