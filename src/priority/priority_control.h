#pragma once

#include <windows.h>

#include <cstdint>

// Applies the priority level of menu command `commandId` (10..16): moves the
// radio mark in `menu` (when there is one), sets the process's priority class
// and gives every thread of the process the level's thread priority.
// Anything else changes nothing.
void applyPriorityLevel(HMENU menu, std::int64_t commandId);
