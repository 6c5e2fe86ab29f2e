// powerprobe: tells the Vantrel window that the machine sleeps or woke, as
// the system's power broadcast would. Answers are key=value lines.
//
//   powerprobe suspend | resume | resume-user
//       sends WM_POWERBROADCAST with PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC or
//       PBT_APMRESUMESUSPEND to the window of class "VantrelWindow" (shown or
//       hidden): found, sent
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: powerprobe suspend|resume|resume-user\n");
        return 2;
    }
    WPARAM event = 0;
    if (std::strcmp(argv[1], "suspend") == 0) {
        event = PBT_APMSUSPEND;
    } else if (std::strcmp(argv[1], "resume") == 0) {
        event = PBT_APMRESUMEAUTOMATIC;
    } else if (std::strcmp(argv[1], "resume-user") == 0) {
        event = PBT_APMRESUMESUSPEND;
    } else {
        std::fprintf(stderr, "powerprobe: unknown event %s\n", argv[1]);
        return 2;
    }
    HWND window = FindWindowA("VantrelWindow", nullptr);
    std::printf("found=%d\n", window != nullptr ? 1 : 0);
    // Sent, as the system sends it: the answer comes once the window has
    // handled it, so what the test does next happens after.
    DWORD_PTR answer = 0;
    const LRESULT sent = window != nullptr ? SendMessageTimeoutA(window, WM_POWERBROADCAST, event, 0,
                                                                 SMTO_ABORTIFHUNG, 5000, &answer)
                                           : 0;
    std::printf("sent=%d\n", sent != 0 ? 1 : 0);
    return sent != 0 ? 0 : 1;
}
