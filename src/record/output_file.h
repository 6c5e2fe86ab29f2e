// The files of a recording: the log, written in pieces, and the report,
// replaced whole. One implementation per platform (output_file_posix.cpp,
// output_file_win32.cpp). Paths are UTF-8. Every error names the path and
// gives the system's reason.
#pragma once

#include <cstddef>
#include <string>

struct OutputFile;

// Opens `path` for writing at its end, creating it when missing; empties it
// only when `truncate` is set. Answers null on failure.
OutputFile* createOutputFile(const std::string& path, bool truncate, std::string& error);
bool truncateOutputFile(OutputFile* file, std::string& error);
// Writes at the end of the file; `*written` tells how much went out, which
// may be less than `size` even when the answer is true.
bool appendToOutputFile(OutputFile* file, const char* data, std::size_t size, std::size_t* written,
                        std::string& error);
void closeOutputFile(OutputFile* file);

// Writes `content` to a temporary file beside `path` and then puts it in
// place of `path` in one step, so a reader sees the old file or the new one,
// never a part. On failure the temporary is gone and `path` is unchanged.
bool replaceFileContents(const std::string& path, const std::string& content, std::string& error);

bool fileExistsAt(const std::string& path);
bool removeFileAt(const std::string& path);

// The temporary of replaceFileContents.
inline std::string temporaryPathOf(const std::string& path) {
    return path + ".tmp";
}
