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

// The number of cores to sample. With one processor group, the processors
// the system reports (GetSystemInfo), as they are numbered there. With
// several, every active processor of every group, numbered group by group;
// the first maxCores of them. Records where each core lies for pinToCore.
std::int64_t countProcessors();
// Pins `thread` to `core`: by its bit alone with one processor group, by
// its group and bit with several. Answers false when the system refuses (a
// processor that is not there): the thread then runs unpinned.
bool pinThreadToCore(HANDLE thread, std::int64_t core);
bool pinToCore(std::int64_t core);

// Starts `routine(core)` pinned to `core` from its first instruction: made
// suspended, pinned, then let run. A thread that cannot be pinned runs
// anyway.
enum SamplerStart { samplerRunning, samplerNotStarted, samplerNotPinned };
SamplerStart startPinnedThread(LPTHREAD_START_ROUTINE routine, std::int64_t core);

// Thread routine of core `core`'s sampler; answers 0.
std::int64_t coreSamplerMain(std::int64_t core);
DWORD WINAPI coreSamplerThread(LPVOID parameter);
// Starts the sampler thread of `core`. One that cannot be pinned samples
// unpinned, as before, but its core is not marked sampled.
SamplerStart startCoreSampler(std::int64_t core);

LRESULT CALLBACK samplerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
