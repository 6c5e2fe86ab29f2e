#include "engine/message_loop.h"

HWND dialogWindow = nullptr;

std::int64_t runMessageLoop() {
    MSG message = {};
    BOOL result = GetMessageA(&message, nullptr, 0, 0);
    while (result != 0) {
        // -1 is an error: nothing to dispatch, fetch the next one.
        if (result != -1) {
            // The monitor window is the dialog filter, read anew each time. On
            // a sampler thread no message is the monitor window's, so this is
            // a plain translate-and-dispatch loop there.
            if (!IsDialogMessageA(dialogWindow, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        result = GetMessageA(&message, nullptr, 0, 0);
    }
    return 0;
}
