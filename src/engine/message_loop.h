#pragma once

#include <windows.h>

#include <cstdint>

// The window whose messages the dialog manager handles in every message
// loop: the monitor window, set by the entry once it exists and before any
// sampler thread starts. Null before that.
extern HWND dialogWindow;

// The message loop of the main thread and of every sampler thread; answers 0
// once the thread receives the quit message.
std::int64_t runMessageLoop();
