// The live block of a run in a console: a head line with the run's time,
// one line per core (events, the latest, mean and worst lateness, when the
// worst came, the stalls so far), rewritten in place once a second from the
// record's snapshot. Only text: the console itself is app/console_view.cpp's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "record/run_summary.h"
#include "text/text_buffer.h"

// Larger consoles are drawn as if they were this large.
constexpr std::int64_t liveWidthMost = 400;
constexpr std::int64_t liveHeightMost = 300;

struct LiveConsole {
    std::int64_t width;      // columns of the console's window
    std::int64_t height;     // lines of the console's window
    std::int64_t plannedMs;  // the --duration, or -1 without one
    // How a block replaces the one before: virtual-terminal sequences move
    // up over it and erase what is left of it; without them every line is
    // padded with spaces to cover the old one, the cursor having been moved
    // to the block's top by the console's own calls.
    bool sequences;
};

// Replaces `out` with the block that replaces the `previousLines` lines of
// the one before (0: none). Every line ends in a line feed and takes at most
// width - 1 columns, so that no console wraps it; the block takes at most
// height - 1 lines, the worst cores first when not every core fits, then
// "and N more cores". Answers the lines the block now covers.
std::int64_t formatLiveBlock(const RunSummary& run, const LiveConsole& console, std::int64_t previousLines,
                             TextBuffer& out);

// Virtual-terminal sequences that remove a block of `lines` lines and leave
// the cursor where its first line began.
void appendBlockErase(TextBuffer& out, std::int64_t lines);
// `text` written over such a block instead: each line cleared to its end,
// and what the block had below them cleared. One write, because a console
// that mirrors its screen to a terminal loses track of its cursor after an
// erase written on its own, and then clears lines above the block.
void appendOverBlock(TextBuffer& out, std::int64_t lines, const char* text, std::size_t length);
// A bound of what that makes of `length` bytes.
std::size_t overBlockCapacity(std::size_t length);
// What Wine's console, which counts the bytes of sequences as columns, sees
// of those sequences: before the first line, and at the end of every line.
std::size_t overBlockFirstTaken(std::int64_t lines);
constexpr std::size_t overBlockLineTaken = 3;

// A bound of the block's text in a console of that size.
std::size_t liveBlockCapacity(const LiveConsole& console);
