#include "priority/context_menu.h"

#include "priority/priority_control.h"

namespace {

constexpr UINT trackFlags = TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON;  // 0x182
constexpr int measuringWindowSize = 32;

MenuPoint arrowHotSpot() {
    ICONINFO info = {};
    GetIconInfo(LoadCursorA(nullptr, IDC_ARROW), &info);
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    return MenuPoint{static_cast<std::int32_t>(info.xHotspot), static_cast<std::int32_t>(info.yHotspot)};
}

}  // namespace

// The menu is a menu bar, so its laid-out size is only known once it has been
// a window's menu bar: lay it out on a hidden window and read the item
// rectangles back. The window is narrower than the entries, so the bar wraps
// onto several lines (Wine still puts two short entries on one line).
MenuSize measureMenu(HMENU menu) {
    HWND measuring = CreateWindowExA(0, "STATIC", nullptr, WS_DISABLED | SS_ICON, 0, 0, measuringWindowSize,
                                     measuringWindowSize, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetMenu(measuring, menu);
    DrawMenuBar(measuring);
    SetMenu(measuring, nullptr);
    DrawMenuBar(measuring);

    RECT item = {};
    const int count = GetMenuItemCount(menu);
    GetMenuItemRect(measuring, menu, static_cast<UINT>(count - 1), &item);
    const LONG lastRight = item.right;
    const LONG lastBottom = item.bottom;
    GetMenuItemRect(measuring, menu, 0, &item);
    if (measuring != nullptr) DestroyWindow(measuring);

    return MenuSize{lastRight - item.left + 2 * GetSystemMetrics(SM_CXDLGFRAME),
                    lastBottom - item.top + 2 * GetSystemMetrics(SM_CYDLGFRAME)};
}

std::int64_t workAreaAt(std::int32_t x, std::int32_t y, WorkArea* area) {
    // The primary work area is the fallback.
    RECT rect = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &rect, 0);
    HMONITOR monitor = MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONEAREST);
    if (monitor != nullptr) {
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        if (GetMonitorInfoA(monitor, &info)) rect = info.rcWork;
    }
    *area = WorkArea{rect.left, rect.top, rect.right, rect.bottom};
    return 0;
}

std::int64_t placeBesideCursor(MenuSize size, MenuPoint* point) {
    POINT cursor = {};
    GetCursorPos(&cursor);
    WorkArea area = {};
    workAreaAt(cursor.x, cursor.y, &area);
    // The standard arrow's hot spot, whatever cursor is shown right now.
    *point = placeMenu(MenuPoint{cursor.x, cursor.y}, arrowHotSpot(), size, area);
    return 0;
}

std::int64_t showMenuNearCursor(HWND owner, HMENU menu) {
    if (menu == nullptr) return 0;
    const MenuSize size = measureMenu(menu);
    MenuPoint point = {};
    placeBesideCursor(size, &point);
    WorkArea area = {};
    workAreaAt(point.x, point.y, &area);
    point = clampToTopLeft(point, area);

    const BOOL command = TrackPopupMenuEx(menu, trackFlags, point.x, point.y, owner, nullptr);
    // Lets the owner's queue wake up once the menu has closed.
    PostMessageA(owner, WM_NULL, 0, 0);
    return command;
}

std::int64_t openPriorityMenu(HWND window, HMENU menu, std::int64_t* keepOnTop, PriorityNote note) {
    *keepOnTop = 0;
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    const std::int64_t command = showMenuNearCursor(window, menu);
    applyPriorityLevel(menu, command, note);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    *keepOnTop = 1;
    return 0;
}
