// The values of --timer-resolution and --resolutions: timer resolutions in
// ms, kept in the system's 100 ns units.
#pragma once

#include <cstdint>

// "1", "0.5", "15.625": from 0.5 to 15.625 ms, at most four decimals (a
// 100 ns unit); "default" is 0, nothing asked. False for anything else.
bool parseTimerResolution(const char* text, std::int64_t& hundredNs);
// "default,1,0.5": each a resolution, each once, at most 8 (the room of
// `out`); `count` is how many.
bool parseTimerResolutions(const char* text, std::int64_t* out, std::int64_t& count);
