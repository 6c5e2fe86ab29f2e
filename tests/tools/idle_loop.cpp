// idle_loop: the least a Windows GUI program can do under Wine, a hidden
// window and a GetMessage loop, and nothing else. scripts/measure-cpu.sh
// sets the CPU time of vantrel.exe against this floor.
#include <windows.h>

namespace {

const char idleClassName[] = "VantrelIdleLoop";

LRESULT CALLBACK idleWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main() {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = idleWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = idleClassName;
    if (RegisterClassExA(&windowClass) == 0) return 1;
    HWND window = CreateWindowExA(0, idleClassName, nullptr, WS_SYSMENU, 0, 0, 160, 200, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    if (window == nullptr) return 1;

    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    UnregisterClassA(idleClassName, windowClass.hInstance);
    return 0;
}
