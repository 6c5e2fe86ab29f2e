#include "app/resolution_options.h"

#include <cstring>

namespace {

constexpr std::int64_t finestAsked = 5000;      // 0.5 ms
constexpr std::int64_t coarsestAsked = 156250;  // 15.625 ms, Windows' default
constexpr std::int64_t resolutionsMost = 8;

}  // namespace

bool parseTimerResolution(const char* text, std::int64_t& hundredNs) {
    if (std::strcmp(text, "default") == 0) {
        hundredNs = 0;
        return true;
    }
    const char* dot = std::strchr(text, '.');
    const std::size_t whole = dot != nullptr ? static_cast<std::size_t>(dot - text) : std::strlen(text);
    const std::size_t decimals = dot != nullptr ? std::strlen(dot + 1) : 0;
    // Two digits of whole milliseconds, four decimals: nothing in range needs more.
    if (whole > 2 || decimals > 4 || whole + decimals == 0) return false;
    std::int64_t value = 0;
    for (std::size_t k = 0; k < whole; ++k) {
        if (text[k] < '0' || text[k] > '9') return false;
        value = value * 10 + (text[k] - '0');
    }
    for (std::size_t k = 0; k < 4; ++k) {
        const char digit = k < decimals ? dot[1 + k] : '0';
        if (digit < '0' || digit > '9') return false;
        value = value * 10 + (digit - '0');
    }
    if (value < finestAsked || value > coarsestAsked) return false;
    hundredNs = value;
    return true;
}

bool parseTimerResolutions(const char* text, std::int64_t* out, std::int64_t& count) {
    count = 0;
    for (const char* from = text;;) {
        const char* comma = std::strchr(from, ',');
        const std::size_t length = comma != nullptr ? static_cast<std::size_t>(comma - from) : std::strlen(from);
        char one[24] = {};
        std::int64_t value = 0;
        if (length == 0 || length >= sizeof one || count == resolutionsMost) return false;
        for (std::size_t k = 0; k < length; ++k) one[k] = from[k];
        if (!parseTimerResolution(one, value)) return false;
        for (std::int64_t k = 0; k < count; ++k) {
            if (out[k] == value) return false;
        }
        out[count++] = value;
        if (comma == nullptr) return true;
        from = comma + 1;
    }
}
