// vprobe: looks at a running vantrel.exe from the Windows side, for the
// end-to-end scripts. Every answer is one key=value per line, so a shell can
// read it with grep or eval. Subcommands:
//
//   vprobe sysinfo                  processor count as Windows reports it
//   vprobe window [WAIT_MS]         the monitor window: title, class, rects, styles, pid,
//                                   its thread's affinity mask
//   vprobe samplers                 every hidden sampler window: position, visibility,
//                                   its thread's affinity mask
//   vprobe tray                     the "Wine System Tray" window: exists, visible
//   vprobe rows                     what the rows show on screen: graph heights,
//                                   full-height columns, the label and its number
//   vprobe wait-full ROW WAIT_MS    polls the screen until a full-height column
//                                   enters ROW, then reports the rows of that frame
//   vprobe watch WAIT_MS            start it before vantrel: waits for the window, then
//                                   reports when every row first showed a graph and a
//                                   label and when the tray icon window appeared
//   vprobe close [WAIT_MS]          posts WM_CLOSE and waits for the process to end
//   vprobe power suspend|resume|resume-user   tells the monitor window (shown or hidden) that the
//                                   machine sleeps or woke, as the system's power broadcast would
//   vprobe hold PATH AFTER_MS COUNT SECONDS   holds PATH open without delete sharing (an exporter or a
//                                   virus scanner) across COUNT replaces, AFTER_MS past each one's start
//
// The picture is read from the screen, as a user would see it: vprobe/screen.cpp.
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/thread_affinity.h"
#include "tests/tools/vprobe/screen.h"

namespace {

const char samplerClass[] = "VantrelThreadWindow";

std::string windowText(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string classOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

int commandSysinfo() {
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    std::printf("processors=%lu\n", static_cast<unsigned long>(info.dwNumberOfProcessors));
    return 0;
}

int commandWindow(DWORD waitMs) {
    HWND window = waitForMonitor(waitMs);
    if (window == nullptr) {
        std::printf("found=0\n");
        return 1;
    }
    int count = 0;
    for (HWND other = nullptr; (other = FindWindowExA(nullptr, other, monitorClass, nullptr)) != nullptr;) ++count;
    RECT outer = {};
    GetWindowRect(window, &outer);
    ClientArea area;
    clientAreaOf(window, area);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    const LONG_PTR exStyle = GetWindowLongPtrA(window, GWL_EXSTYLE);
    std::printf("found=1\ncount=%d\ntitle=%s\nclass=%s\n", count, windowText(window).c_str(), classOf(window).c_str());
    std::printf("outer=%ld,%ld,%ld,%ld\n", outer.left, outer.top, outer.right, outer.bottom);
    std::printf("client_origin=%ld,%ld\nclient_size=%d,%d\nrows=%d\n", area.origin.x, area.origin.y, area.width,
                area.height, (area.height - 28) / rowPitch);
    std::printf("style=0x%08llx\nexstyle=0x%08llx\n", static_cast<unsigned long long>(style),
                static_cast<unsigned long long>(exStyle));
    std::printf("topmost=%d\nvisible=%d\npid=%lu\n", (exStyle & WS_EX_TOPMOST) != 0 ? 1 : 0,
                IsWindowVisible(window) ? 1 : 0, static_cast<unsigned long>(processId));
    // The window's thread is the main thread, the sampler of core 0.
    std::printf("thread_affinity=0x%llx\n",
                static_cast<unsigned long long>(threadAffinityById(GetWindowThreadProcessId(window, nullptr))));
    return 0;
}

int commandSamplers() {
    int count = 0;
    for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, samplerClass, nullptr)) != nullptr;) {
        RECT rect = {};
        GetWindowRect(window, &rect);
        DWORD processId = 0;
        const DWORD threadId = GetWindowThreadProcessId(window, &processId);
        std::printf("sampler%d=x:%ld y:%ld w:%ld h:%ld visible:%d style:0x%08llx pid:%lu tid:%lu affinity:0x%llx\n",
                    count, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                    IsWindowVisible(window) ? 1 : 0, static_cast<unsigned long long>(GetWindowLongPtrA(window, GWL_STYLE)),
                    static_cast<unsigned long>(processId), static_cast<unsigned long>(threadId),
                    static_cast<unsigned long long>(threadAffinityById(threadId)));
        ++count;
    }
    std::printf("samplers=%d\n", count);
    return 0;
}

int commandTray() {
    HWND tray = FindWindowA(nullptr, trayTitle);
    std::printf("tray_exists=%d\ntray_visible=%d\n", tray != nullptr ? 1 : 0,
                tray != nullptr && IsWindowVisible(tray) ? 1 : 0);
    return 0;
}

int commandClose(DWORD waitMs) {
    HWND window = findMonitor();
    if (window == nullptr) {
        std::printf("found=0\n");
        return 1;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    const DWORD start = GetTickCount();
    const BOOL posted = PostMessageA(window, WM_CLOSE, 0, 0);
    std::printf("found=1\nposted=%d\n", posted ? 1 : 0);
    if (process == nullptr) {
        std::printf("ended=unknown\n");
        return posted ? 0 : 1;
    }
    const DWORD wait = WaitForSingleObject(process, waitMs);
    const DWORD elapsed = GetTickCount() - start;
    DWORD exitCode = 0;
    GetExitCodeProcess(process, &exitCode);
    CloseHandle(process);
    if (wait != WAIT_OBJECT_0) {
        std::printf("ended=0\nwaited_ms=%lu\n", static_cast<unsigned long>(elapsed));
        return 1;
    }
    std::printf("ended=1\nclose_ms=%lu\nexit_code=%lu\n", static_cast<unsigned long>(elapsed),
                static_cast<unsigned long>(exitCode));
    return 0;
}

// Tells the monitor window that the session ends, as logoff does: the
// query, then the end itself; prints how long the window took to answer.
int commandEndSession() {
    HWND window = findMonitor();
    if (window == nullptr) {
        std::printf("found=0\n");
        return 1;
    }
    DWORD_PTR answer = 0;
    const DWORD start = GetTickCount();
    SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 15000, &answer);
    const LRESULT sent = SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 15000, &answer);
    std::printf("found=1\nanswered=%d\nend_session_ms=%lu\n", sent != 0 ? 1 : 0,
                static_cast<unsigned long>(GetTickCount() - start));
    return sent != 0 ? 0 : 1;
}

// Starts a program as Explorer or the Task Scheduler would: no console and
// no standard handles at all. Waits up to waitMs for it to end and prints
// its exit code and how long it ran.
int commandDetached(DWORD waitMs, int argc, char** argv) {
    std::string line;
    for (int k = 0; k < argc; ++k) {
        if (k > 0) line += ' ';
        line += '"';
        line += argv[k];
        line += '"';
    }
    // Nor a console of ours to attach to: Explorer has none.
    FreeConsole();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = nullptr;
    startup.hStdError = nullptr;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                        &process)) {
        std::printf("started=0\n");
        return 1;
    }
    std::printf("started=1\n");
    (void)std::fflush(stdout);
    const DWORD start = GetTickCount();
    const DWORD wait = WaitForSingleObject(process.hProcess, waitMs);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (wait != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("ended=%d\nran_ms=%lu\nexit_code=%lu\n", wait == WAIT_OBJECT_0 ? 1 : 0,
                static_cast<unsigned long>(GetTickCount() - start), static_cast<unsigned long>(exitCode));
    return 0;
}

// Sent, as the system sends it: the answer comes once the window has
// handled it, so what the test does next happens after.
int commandPower(const std::string& event) {
    if (event != "suspend" && event != "resume" && event != "resume-user") return 2;
    const WPARAM code = event == "suspend" ? PBT_APMSUSPEND : event == "resume" ? PBT_APMRESUMEAUTOMATIC : PBT_APMRESUMESUSPEND;
    HWND window = findMonitor();
    DWORD_PTR answer = 0;
    const bool sent = window != nullptr && SendMessageTimeoutA(window, WM_POWERBROADCAST, code, 0, SMTO_ABORTIFHUNG, 5000, &answer) != 0;
    std::printf("found=%d\nsent=%d\n", window != nullptr ? 1 : 0, sent ? 1 : 0);
    return sent ? 0 : 1;
}

// Holds PATH open across COUNT replaces: each hold lasts until a replace is
// waiting on it (PATH.tmp written and closed: it opens without write
// sharing), then AFTER_MS more. blocked: holds that replace still waited
// through at their end.
int commandHold(const char* path, DWORD afterMs, int count, DWORD seconds) {
    const std::string temporary = std::string(path) + ".tmp";
    const ULONGLONG endAt = GetTickCount64() + 1000ULL * seconds;
    const auto there = [&] { return GetFileAttributesA(temporary.c_str()) != INVALID_FILE_ATTRIBUTES; };
    const auto written = [&] {
        HANDLE file = CreateFileA(temporary.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        return file != INVALID_HANDLE_VALUE && CloseHandle(file) != 0;
    };
    int holds = 0;
    int blocked = 0;
    while (holds < count && GetTickCount64() < endAt) {
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            Sleep(5);
            continue;
        }
        while (!written() && GetTickCount64() < endAt) Sleep(5);
        if (GetTickCount64() < endAt) {
            ++holds;
            Sleep(afterMs);
            blocked += there() ? 1 : 0;
        }
        CloseHandle(file);
        while (there() && GetTickCount64() < endAt) Sleep(5);
    }
    std::printf("holds=%d\nblocked=%d\n", holds, blocked);
    return 0;
}

DWORD argumentMs(int argc, char** argv, int index, DWORD fallback) {
    return argc > index ? static_cast<DWORD>(std::strtoul(argv[index], nullptr, 10)) : fallback;
}

// The row number in TEXT, or -1 unless TEXT is a whole non-negative number.
int rowArgument(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || value < 0 || value > INT_MAX) return -1;
    return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        (void)std::fprintf(stderr, "usage: vprobe sysinfo|window|samplers|tray|rows|wait-full|watch|close|end-session|power EVENT|hold PATH AFTER_MS COUNT S|detached MS PROGRAM ARGS ...\n");
        return 2;
    }
    const std::string command = argv[1];
    int result = 2;
    if (command == "sysinfo") {
        result = commandSysinfo();
    } else if (command == "window") {
        result = commandWindow(argumentMs(argc, argv, 2, 0));
    } else if (command == "samplers") {
        result = commandSamplers();
    } else if (command == "tray") {
        result = commandTray();
    } else if (command == "rows") {
        result = commandRows();
    } else if (command == "wait-full" && argc > 2) {
        const int row = rowArgument(argv[2]);
        if (row >= 0) {
            result = commandWaitFull(row, argumentMs(argc, argv, 3, 5000));
        } else {
            (void)std::fprintf(stderr, "vprobe: wait-full needs a row number, not %s\n", argv[2]);
        }
    } else if (command == "watch") {
        result = commandWatch(argumentMs(argc, argv, 2, 10000));
    } else if (command == "detached" && argc > 3) {
        result = commandDetached(argumentMs(argc, argv, 2, 5000), argc - 3, argv + 3);
    } else if (command == "end-session") {
        result = commandEndSession();
    } else if (command == "power" && argc > 2) {
        result = commandPower(argv[2]);
    } else if (command == "hold" && argc > 5) {
        result = commandHold(argv[2], argumentMs(argc, argv, 3, 0), static_cast<int>(argumentMs(argc, argv, 4, 0)),
                             argumentMs(argc, argv, 5, 0));
    } else if (command == "close") {
        result = commandClose(argumentMs(argc, argv, 2, 5000));
    } else {
        (void)std::fprintf(stderr, "vprobe: unknown command %s\n", command.c_str());
    }
    // Output that never reached the caller makes the run a failure.
    return std::fflush(stdout) == 0 ? result : 1;
}
