#include "priority/placement.h"

CursorGaps cursorGaps(std::int64_t hotSpot) {
    if (hotSpot > 16) return CursorGaps{36 - hotSpot, 16};
    return CursorGaps{16, hotSpot + 4};
}

MenuPoint placeMenu(MenuPoint cursor, MenuPoint arrowHotSpot, MenuSize size, const WorkArea& area) {
    const CursorGaps gx = cursorGaps(arrowHotSpot.x);
    const CursorGaps gy = cursorGaps(arrowHotSpot.y);
    const std::int64_t width = size.width;
    const std::int64_t height = size.height;
    std::int64_t x = cursor.x;
    std::int64_t y = cursor.y;

    if (x + width + gx.forward > area.right) {
        x = x - width - gx.backward;
        if (x + width > area.right) x = area.right - width;
    } else {
        x = x + gx.forward;
    }

    if (y + height + gy.forward > area.bottom) {
        y = y - height - gy.backward;
        // This second test keeps the forward gap, unlike the horizontal one: a
        // hot spot closer than that to the bottom puts the menu on the edge.
        if (y + height + gy.forward > area.bottom) y = area.bottom - height;
    } else {
        y = y + gy.forward;
    }

    if (x < area.left) x = area.left;
    if (y < area.top) y = area.top;
    return MenuPoint{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)};
}

MenuPoint clampToTopLeft(MenuPoint point, const WorkArea& area) {
    if (point.x < area.left) point.x = area.left;
    if (point.y < area.top) point.y = area.top;
    return point;
}
