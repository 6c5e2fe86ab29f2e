#pragma once

#include <windows.h>

#include <cstdint>

// Told of every level applied, after it took effect: the level's menu
// command and the process priority class the system granted (read back;
// 0 when it cannot be read). Whoever keeps the record hands one down; the
// priority control knows nothing of what it does with it.
using PriorityNote = void (*)(std::int64_t commandId, std::uint32_t grantedClass);

// Applies the priority level of menu command `commandId` (10..16): moves the
// radio mark in `menu` (when there is one), sets the process's priority class
// and gives every thread of the process the level's thread priority, then
// tells `note` (when there is one). Anything else changes nothing. The menu,
// --priority and a sweep all change the priority here. Answers the class
// granted, 0 for a command that is no level.
std::uint32_t applyPriorityLevel(HMENU menu, std::int64_t commandId, PriorityNote note = nullptr);

// Greys the menu's levels (or gives them back): a sweep owns the priority
// while it runs, and a greyed entry cannot be chosen. Nothing without a menu.
void enablePriorityLevels(HMENU menu, bool enabled);

// The class the system grants this process when `wanted` is asked for
// (Windows gives HIGH for REALTIME to a process without the privilege to
// raise priorities), found by asking and then setting back the class it
// had. For a check before anything else runs.
std::uint32_t classGrantedFor(std::uint32_t wanted);
