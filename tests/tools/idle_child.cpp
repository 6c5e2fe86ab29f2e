// A process that does nothing but wait in a message loop: the bystander whose
// priorities must not change when another process applies a level to its own
// threads. Ends on WM_QUIT, or by itself after a minute so that it can never
// outlive a test run for long.
#include <windows.h>

namespace {

constexpr UINT lifetimeMs = 60000;

}  // namespace

int main() {
    MSG message;
    // Makes the queue, so that a WM_QUIT posted to this thread arrives.
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    SetTimer(nullptr, 0, lifetimeMs, nullptr);
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) break;
        DispatchMessageA(&message);
    }
    return 0;
}
