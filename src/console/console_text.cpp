// Pieces that the console's lines share (console_text.h).
#include "console/console_text.h"

#include "engine/stall_cause.h"
#include "text/utc.h"

void appendCoreName(TextBuffer& out, std::int64_t core) {
    appendText(out, "core ");
    appendInteger(out, core);
    appendText(out, " (#");
    appendInteger(out, core + 1);
    appendText(out, " in the window)");
}

void appendClockTime(TextBuffer& out, std::int64_t utcMs, bool withDate) {
    char utc[utcTextCapacity];
    formatUtc(utcMs, utc);
    // "2026-12-07T14:03:04.601Z": the date is the first 10 bytes, the time of
    // day the 12 after the 'T'.
    if (withDate) {
        appendText(out, utc, 10);
        appendChar(out, ' ');
    }
    appendText(out, utc + 11, 12);
}

bool onOtherDays(std::int64_t aUtcMs, std::int64_t bUtcMs) {
    char a[utcTextCapacity];
    char b[utcTextCapacity];
    formatUtc(aUtcMs, a);
    formatUtc(bUtcMs, b);
    for (int k = 0; k < 10; ++k) {
        if (a[k] != b[k]) return true;
    }
    return false;
}

void appendClockSpan(TextBuffer& out, std::int64_t ms) {
    const std::int64_t seconds = ms > 0 ? ms / 1000 : 0;
    appendInteger(out, seconds / 3600);
    for (const std::int64_t part : {seconds / 60 % 60, seconds % 60}) {
        appendChar(out, ':');
        if (part < 10) appendChar(out, '0');
        appendInteger(out, part);
    }
}

// The buckets above the stall threshold: those whose lower bound (the bound
// before them) is at least the threshold.
static std::int64_t countAbove(const std::int64_t* histogram, const std::int64_t* upper, std::int64_t buckets,
                               std::int64_t threshold) {
    std::int64_t count = 0;
    for (std::int64_t b = 1; b < buckets; ++b) {
        if (upper[b - 1] >= threshold) count += histogram[b];
    }
    return count;
}

std::int64_t timerStallsOf(const CoreStatistics& statistics) {
    // Counted as the judge counts them, by microseconds: the histogram's
    // milliseconds would leave out a stall of 5.4 ms.
    return statistics.stalls;
}

std::int64_t wakeStallsOf(const WakeStatistics& wakes) {
    return countAbove(wakes.histogram, wakeHistogramUpperUs, wakeHistogramBucketCount, stallLateUs);
}

static bool continuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::size_t columnsOf(const char* text, std::size_t length) {
    std::size_t columns = 0;
    for (std::size_t k = 0; k < length; ++k) columns += continuationByte(text[k]) ? 0 : 1;
    return columns;
}

std::size_t bytesWithinColumns(const char* text, std::size_t length, std::size_t columns) {
    std::size_t used = 0;
    for (std::size_t k = 0; k < length; ++k) {
        if (continuationByte(text[k])) continue;
        if (used == columns) return k;
        ++used;
    }
    return length;
}

// One line's pieces, at most `columns` columns each.
static void appendFittedLine(TextBuffer& out, const char* line, std::size_t length, std::size_t columns) {
    std::size_t room = columns;
    while (columnsOf(line, length) > room) {
        const std::size_t most = bytesWithinColumns(line, length, room);
        std::size_t cut = most;
        while (cut > 0 && line[cut] != ' ') --cut;
        const bool atSpace = cut > 0;
        if (!atSpace) cut = most;
        appendText(out, line, cut);
        appendChar(out, '\n');
        for (std::size_t k = 0; k < continuationIndent; ++k) appendChar(out, ' ');
        const std::size_t skip = cut + (atSpace ? 1 : 0);
        line += skip;
        length -= skip;
        room = columns - continuationIndent;
    }
    appendText(out, line, length);
}

void appendFittedLines(TextBuffer& out, const char* text, std::size_t length, std::size_t columns) {
    if (columns < minimumFitColumns) {
        appendText(out, text, length);
        return;
    }
    std::size_t at = 0;
    while (at < length) {
        std::size_t end = at;
        while (end < length && text[end] != '\n') ++end;
        appendFittedLine(out, text + at, end - at, columns);
        if (end < length) appendChar(out, '\n');
        at = end + 1;
    }
}

std::size_t fittedCapacity(std::size_t length) {
    // A break adds a line feed and the indent, and comes at most every
    // minimumFitColumns - continuationIndent columns, which are as many bytes at least.
    return length + length / (minimumFitColumns - continuationIndent) * (continuationIndent + 1) + 64;
}
