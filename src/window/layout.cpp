#include "window/layout.h"

const char attributionLine[] = "Vantrel timer lateness monitor";
const char webAddressLine[] = "https://vantrel.example.org/";

std::int64_t formatCaption(std::int64_t core, std::int64_t count, char* out) {
    static const char prefix[] = "CPU / Core #";
    std::int64_t length = 0;
    for (const char* p = prefix; *p != '\0'; ++p) out[length++] = *p;

    const std::int64_t k = core + 1;
    if (count <= 9) {
        char digits[24];
        std::int64_t n = 0;
        std::uint64_t value = static_cast<std::uint64_t>(k);
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0) out[length++] = digits[--n];
    } else {
        // "0" + k, last two characters: a leading zero below 10, and only the
        // last two digits from 100 on.
        const std::uint64_t value = static_cast<std::uint64_t>(k);
        out[length++] = ' ';
        out[length++] = static_cast<char>('0' + (value / 10) % 10);
        out[length++] = static_cast<char>('0' + value % 10);
    }
    out[length] = '\0';
    return length;
}

std::int64_t collectTrayPeak(std::int64_t* trayPeak, std::int64_t count, std::int64_t* anyRowRedrawn) {
    std::int64_t peak = 0;
    for (std::int64_t r = 0; r < count; ++r) {
        if (trayPeak[r] > peak) peak = trayPeak[r];
        trayPeak[r] = 0;
    }
    if (*anyRowRedrawn != 0) {
        *anyRowRedrawn = 0;
        if (peak > 15) peak = 15;
    } else {
        peak = 15;
    }
    return peak;
}

void stepTrayHistory(std::int64_t* trayHistory, std::int64_t peak, TrayPoint* points) {
    trayHistory[16] = peak;
    points[0] = TrayPoint{0, trayGraphTop - trayHistory[1]};
    for (std::int64_t k = 0; k < 16; ++k) {
        const std::int64_t x = trayHistory[k + 1];
        points[k + 1] = TrayPoint{k + 1, trayGraphTop - x};
        trayHistory[k] = x;
    }
}

std::int64_t chainLevel(const bool* linkExists, std::int64_t linkCount) {
    std::int64_t level = 0;
    while (level < linkCount && linkExists[level]) ++level;
    return level;
}
