#pragma once

#include <cstdint>

// Number of logical processors the system reports for this process's group.
std::int64_t countProcessors();

// The message loop of the main thread and of every sampler thread; answers 0
// once the thread receives the quit message.
std::int64_t runMessageLoop();
