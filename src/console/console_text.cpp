// Pieces that the console's lines share (console_text.h).
#include "console/console_text.h"

#include "verdict/judge.h"
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

std::int64_t timerStallsOf(const CoreStatistics& statistics) {
    return statistics.stalls;
}

std::int64_t wakeStallsOf(const WakeStatistics& wakes) {
    return wakeStallsInHistogram(wakes.histogram);
}

static bool continuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The code point of the character that begins at `text[k]` (a stray
// continuation byte or a cut sequence answers what was read of it).
static std::uint32_t codePointAt(const char* text, std::size_t length, std::size_t k) {
    const auto lead = static_cast<unsigned char>(text[k]);
    const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    std::uint32_t code = more == 0 ? lead : lead & (0x3FU >> more);
    for (int i = 1; i <= more && k + i < length && continuationByte(text[k + i]); ++i) {
        code = (code << 6) | (static_cast<unsigned char>(text[k + i]) & 0x3FU);
    }
    return code;
}

// East Asian wide and fullwidth characters take two columns in a terminal:
// the blocks of Hangul, CJK ideographs and kana, fullwidth forms and the
// pictographs that terminals draw wide.
static std::size_t columnsOfCode(std::uint32_t code) {
    static constexpr std::uint32_t wide[][2] = {
        {0x1100, 0x115F},  {0x2E80, 0x303E},  {0x3041, 0x33FF},  {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
        {0xA000, 0xA4CF},  {0xAC00, 0xD7A3},  {0xF900, 0xFAFF},  {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},
        {0xFFE0, 0xFFE6},  {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
    };
    for (const auto& range : wide) {
        if (code >= range[0] && code <= range[1]) return 2;
    }
    return 1;
}

std::size_t columnsOf(const char* text, std::size_t length) {
    std::size_t columns = 0;
    for (std::size_t k = 0; k < length; ++k) {
        if (!continuationByte(text[k])) columns += columnsOfCode(codePointAt(text, length, k));
    }
    return columns;
}

std::size_t bytesWithinColumns(const char* text, std::size_t length, std::size_t columns) {
    std::size_t used = 0;
    for (std::size_t k = 0; k < length; ++k) {
        if (continuationByte(text[k])) continue;
        used += columnsOfCode(codePointAt(text, length, k));
        if (used > columns) return k;
    }
    return length;
}

// One line's pieces, at most `columns` columns each.
static void appendFittedLine(TextBuffer& out, const char* line, std::size_t length, std::size_t columns,
                             std::size_t taken) {
    std::size_t room = columns - taken;
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

void appendFittedLines(TextBuffer& out, const char* text, std::size_t length, std::size_t columns,
                       std::size_t firstTaken) {
    if (columns < minimumFitColumns || firstTaken > columns - minimumFitColumns) {
        appendText(out, text, length);
        return;
    }
    std::size_t at = 0;
    while (at < length) {
        std::size_t end = at;
        while (end < length && text[end] != '\n') ++end;
        appendFittedLine(out, text + at, end - at, columns, at == 0 ? firstTaken : 0);
        if (end < length) appendChar(out, '\n');
        at = end + 1;
    }
}

std::size_t fittedCapacity(std::size_t length) {
    // A break adds a line feed and the indent, and comes at most every
    // minimumFitColumns - continuationIndent columns, which are as many bytes at least.
    return length + length / (minimumFitColumns - continuationIndent) * (continuationIndent + 1) + 64;
}
