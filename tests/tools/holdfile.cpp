// Holds a file open as a reader that does not share delete would (an
// exporter scraping it, a browser reloading it, a virus scanner), again and
// again, so that a program replacing the file meets the refusal.
//   holdfile PATH HOLD_MS GAP_MS SECONDS
// Waits for PATH to exist; for SECONDS holds it HOLD_MS at a time with
// GAP_MS between. Prints holds=N and blocked=M, the holds during which a
// replace was waiting for it (PATH.tmp was there when it let go).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: holdfile PATH HOLD_MS GAP_MS SECONDS\n", stderr);
        return 2;
    }
    const char* path = argv[1];
    const auto holdMs = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    const auto gapMs = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
    const ULONGLONG endAt = GetTickCount64() + 1000 * std::strtoull(argv[4], nullptr, 10);
    char temporary[MAX_PATH + 8];
    std::snprintf(temporary, sizeof temporary, "%s.tmp", path);
    int holds = 0;
    int blocked = 0;
    while (GetTickCount64() < endAt) {
        // Read and write shared, delete not: a replace of the file is refused.
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            Sleep(10);
            continue;
        }
        ++holds;
        Sleep(holdMs);
        if (GetFileAttributesA(temporary) != INVALID_FILE_ATTRIBUTES) ++blocked;
        CloseHandle(file);
        Sleep(gapMs);
    }
    std::printf("holds=%d\nblocked=%d\n", holds, blocked);
    return 0;
}
