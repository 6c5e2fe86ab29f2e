// Opens the priority menu beside the mouse cursor and applies the choice.
#pragma once

#include <windows.h>

#include <cstdint>

#include "priority/placement.h"
#include "priority/priority_control.h"

// The whole sequence for `window` and its priority `menu`: leave the topmost
// band (clearing *keepOnTop, so the repaint does not put the window back
// meanwhile), show the menu, apply the level, return to the topmost band and
// set *keepOnTop again; the level chosen is told to `note`. Answers 0.
std::int64_t openPriorityMenu(HWND window, HMENU menu, std::int64_t* keepOnTop, PriorityNote note = nullptr);
// Measures `menu`, places it beside the cursor and tracks it modally for
// `owner`. Answers the chosen command, or 0.
std::int64_t showMenuNearCursor(HWND owner, HMENU menu);
// The size that `menu`, a menu bar, takes when laid out on a 32 x 32 window,
// frame included: what the placement reserves for it.
MenuSize measureMenu(HMENU menu);
// Writes the menu's top-left corner for `size` beside the cursor. Answers 0.
std::int64_t placeBesideCursor(MenuSize size, MenuPoint* point);
// Writes the work area of the monitor nearest (x, y). Answers 0.
std::int64_t workAreaAt(std::int32_t x, std::int32_t y, WorkArea* area);
