// Builds the monitor window, its off-screen picture and drawing objects, and
// draws the static parts of the picture once. Every object is tested right
// after it is made; a failure leaves what was made for the teardown.
#include <cstring>

#include "engine/platform_seam.h"
#include "engine/sample_tables.h"
#include "engine/sampling.h"
#include "priority/context_menu.h"
#include "priority/levels.h"
#include "window/layout.h"
#include "window/monitor_window.h"

namespace {

constexpr LONG footerFontHeight = -8;
constexpr LONG captionFontHeight = -11;
constexpr LONG fontWeight = FW_LIGHT;

// The layout of the rows for the work area of the monitor nearest the
// window's place: one column at (160, 200) while that fits on the screen.
MonitorLayout layoutOnScreen(std::int64_t count) {
    RECT empty = {0, 0, 0, 0};
    FrameInsets frame = {};
    if (AdjustWindowRectEx(&empty, monitorWindowStyle, FALSE, monitorWindowExStyle)) {
        frame = FrameInsets{-empty.left, -empty.top, empty.right, empty.bottom};
    }
    WorkArea work = {};
    workAreaAt(static_cast<std::int32_t>(windowLeft), static_cast<std::int32_t>(windowTop), &work);
    return layoutMonitor(count, ScreenArea{work.left, work.top, work.right, work.bottom}, frame);
}

void drawSeparators(std::int64_t count) {
    HPEN separatorPen = CreatePen(PS_SOLID, 0, separatorColour);
    if (separatorPen == nullptr) return;
    HGDIOBJ keptPen = SelectObject(backBufferDC, separatorPen);
    if (keptPen != nullptr) {
        for (std::int64_t i = 0; i < count; ++i) {
            const std::int64_t left = rowOriginOf(i, rowsPerColumn).x;
            const int y = static_cast<int>(separatorYOf(i % rowsPerColumn));
            MoveToEx(backBufferDC, static_cast<int>(left + separatorLeft), y, nullptr);
            LineTo(backBufferDC, static_cast<int>(left + separatorRight), y);
        }
        SelectObject(backBufferDC, keptPen);
    }
    DeleteObject(separatorPen);
}

void drawFooter(const LOGFONTA& record) {
    HFONT footerFont = CreateFontIndirectA(&record);
    if (footerFont == nullptr) return;
    SetTextColor(backBufferDC, textColour);
    SetBkColor(backBufferDC, backgroundColour);
    HGDIOBJ keptFont = SelectObject(backBufferDC, footerFont);
    if (keptFont != nullptr) {
        TextOutA(backBufferDC, static_cast<int>(footerLeft), static_cast<int>(attributionTopFor(rowsPerColumn)),
                 attributionLine, static_cast<int>(std::strlen(attributionLine)));
        TextOutA(backBufferDC, static_cast<int>(footerLeft), static_cast<int>(webAddressTopFor(rowsPerColumn)),
                 webAddressLine, static_cast<int>(std::strlen(webAddressLine)));
        SelectObject(backBufferDC, keptFont);
    }
    DeleteObject(footerFont);
}

void drawCaptions(std::int64_t count) {
    char caption[captionCapacity];
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t length = formatCaption(i, count, caption);
        const std::int64_t left = rowOriginOf(i, rowsPerColumn).x;
        TextOutA(backBufferDC, static_cast<int>(left + captionLeft), static_cast<int>(captionTopOf(i % rowsPerColumn)),
                 caption, static_cast<int>(length));
    }
}

void buildPriorityMenu() {
    priorityMenu = CreateMenu();
    if (priorityMenu == nullptr) return;
    for (const PriorityLevel& level : priorityLevels) {
        InsertMenuA(priorityMenu, static_cast<UINT>(-1), MF_BYPOSITION | MF_STRING,
                    static_cast<UINT_PTR>(level.commandId), level.text);
    }
    CheckMenuRadioItem(priorityMenu, static_cast<UINT>(firstLevelId), static_cast<UINT>(lastLevelId),
                       static_cast<UINT>(initialLevelId), MF_BYCOMMAND);
    priorityMenuHolder = makeMenuHolder(priorityMenu);
}

}  // namespace

HMENU makeMenuHolder(HMENU menu) {
    if (menu == nullptr) return nullptr;
    HMENU popup = CreatePopupMenu();
    if (popup == nullptr) return nullptr;
    if (InsertMenuA(popup, static_cast<UINT>(-1), MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(menu),
                    nullptr)) {
        return popup;
    }
    DestroyMenu(popup);
    return nullptr;
}

std::int64_t setupMonitorWindow(std::int64_t count) {
    // A negative count would give negative heights: refuse it like 0.
    if (count < 1) return 0;
    // Cores beyond the tables' capacity are not shown (the system reports at
    // most 64 per processor group, so this never bites in practice).
    if (count > maxCores) count = maxCores;

    sampleTables.coreCount = count;
    // Rows in as many columns as it takes for the window to fit the screen.
    const MonitorLayout layout = layoutOnScreen(count);
    clientWidth = layout.width;
    clientHeight = layout.height;
    rowsPerColumn = layout.rowsPerColumn;

    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    if (arrow == nullptr) return 0;

    HINSTANCE instance = GetModuleHandleA(nullptr);
    const auto buttonFace = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    if (!registerWindowClasses(monitorWindowProc, windowClassStyle, arrow, buttonFace)) return 0;

    RECT frame = {0, 0, static_cast<LONG>(clientWidth), static_cast<LONG>(clientHeight)};
    AdjustWindowRectEx(&frame, monitorWindowStyle, FALSE, monitorWindowExStyle);
    monitorWindow = CreateWindowExA(monitorWindowExStyle, monitorWindowClassName, monitorWindowTitle,
                                    monitorWindowStyle, static_cast<int>(layout.left), static_cast<int>(layout.top),
                                    frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                                    nullptr);
    if (monitorWindow == nullptr) return 0;

    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return 0;
    backBuffer = CreateCompatibleBitmap(screen, static_cast<int>(clientWidth), static_cast<int>(clientHeight));
    trayIconImage = CreateCompatibleBitmap(screen, static_cast<int>(trayIconSize), static_cast<int>(trayIconSize));
    trayIconBitmaps.hbmColor = trayIconImage;
    ReleaseDC(nullptr, screen);
    if (backBuffer == nullptr || trayIconImage == nullptr) return 0;

    trayIconMask = CreateBitmap(static_cast<int>(trayIconSize), static_cast<int>(trayIconSize), 1, 1, nullptr);
    trayIconBitmaps.hbmMask = trayIconMask;
    if (trayIconMask == nullptr) return 0;

    backBufferDC = CreateCompatibleDC(nullptr);
    if (backBufferDC == nullptr) return 0;

    savedBitmap = SelectObject(backBufferDC, trayIconMask);
    if (savedBitmap == nullptr) return 0;

    blackBrush = CreateSolidBrush(backgroundColour);
    if (blackBrush == nullptr) return 0;

    // An all-zero mask: the icon is opaque everywhere.
    const RECT iconRect = {0, 0, static_cast<LONG>(trayIconSize), static_cast<LONG>(trayIconSize)};
    FillRect(backBufferDC, &iconRect, blackBrush);

    // A new bitmap is all black, which is the background: nothing to clear.
    if (SelectObject(backBufferDC, backBuffer) == nullptr) return 0;

    if (!createSampleLock()) return 0;
    sampleLockReady = true;

    drawSeparators(count);

    LOGFONTA fontRecord = {};
    fontRecord.lfWeight = fontWeight;
    fontRecord.lfHeight = footerFontHeight;
    lstrcpynA(fontRecord.lfFaceName, "Small fonts", LF_FACESIZE);

    trayIcon.cbSize = trayIconRecordSize;
    trayIcon.hWnd = monitorWindow;
    lstrcpynA(trayIcon.szTip, monitorWindowTitle, sizeof trayIcon.szTip);
    trayIcon.uCallbackMessage = trayCallbackMessage;
    trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIconBitmaps.fIcon = TRUE;

    drawFooter(fontRecord);

    lstrcpynA(fontRecord.lfFaceName, "Arial", LF_FACESIZE);
    fontRecord.lfHeight = captionFontHeight;
    captionFont = CreateFontIndirectA(&fontRecord);
    if (captionFont == nullptr) return 0;

    SetTextColor(backBufferDC, textColour);
    SetBkColor(backBufferDC, backgroundColour);
    savedFont = SelectObject(backBufferDC, captionFont);
    if (savedFont == nullptr) return 0;

    drawCaptions(count);

    graphPen = CreatePen(PS_SOLID, 0, fineColumns ? fineGraphColour : textColour);
    if (graphPen == nullptr) return 0;
    savedPen = SelectObject(backBufferDC, graphPen);
    if (savedPen == nullptr) return 0;

    buildPriorityMenu();

    // Shows the finished picture at once: the window procedure answers the
    // erase request by copying backBuffer.
    SendMessageA(monitorWindow, WM_ERASEBKGND, 0, 0);

    keepOnTop = 1;
    return 1;
}
