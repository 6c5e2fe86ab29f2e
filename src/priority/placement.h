// Where the priority menu goes: beside the image of the mouse cursor, inside
// the work area. Plain arithmetic (in 64 bits, stored as 32), free of
// <windows.h>.
#pragma once

#include <cstdint>

struct MenuPoint {
    std::int32_t x;
    std::int32_t y;
};

struct MenuSize {
    std::int32_t width;
    std::int32_t height;
};

// Right and bottom are exclusive.
struct WorkArea {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

// Gaps between the hot spot and the menu on one axis, from the arrow cursor's
// hot spot h on that axis: the menu clears the arrow image, which extends
// beyond the hot spot, when placed forward, and keeps a small gap when flipped.
struct CursorGaps {
    std::int64_t forward;
    std::int64_t backward;
};
CursorGaps cursorGaps(std::int64_t hotSpot);

// The menu's top-left corner for the cursor's hot spot `cursor`, the arrow's
// hot spot offsets, the menu size and the work area nearest the cursor.
MenuPoint placeMenu(MenuPoint cursor, MenuPoint arrowHotSpot, MenuSize size, const WorkArea& area);

// The final clamp against the work area nearest the corner: left and top win.
MenuPoint clampToTopLeft(MenuPoint point, const WorkArea& area);
