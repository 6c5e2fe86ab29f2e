// The samplers of cores 1 and up: one thread each, pinned to its core, with a
// hidden window whose 100 ms timer drives recordTimerEvent.
#pragma once

#include <windows.h>

#include <cstdint>

#include "engine/topology.h"

// Initial stack commitment of a sampler thread: it needs very little.
constexpr SIZE_T samplerStackCommit = 4096;
constexpr int samplerWindowSpacing = 160;
constexpr int samplerWindowTop = 200;
constexpr int samplerWindowWidth = 160;
constexpr int samplerWindowHeight = 200;
// The class of the samplers' hidden windows ("VantrelThreadWindow"), which
// the window setup registers with samplerWindowProc.
extern const char samplerWindowClassName[];

// Thread routine of core `core`'s sampler; answers 0.
std::int64_t coreSamplerMain(std::int64_t core);
DWORD WINAPI coreSamplerThread(LPVOID parameter);
// Starts the sampler thread of `core`; answers false if it cannot be created.
bool startCoreSampler(std::int64_t core);

LRESULT CALLBACK samplerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
