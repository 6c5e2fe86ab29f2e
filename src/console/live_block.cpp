// The live block (live_block.h): columns as wide as their widest cell, the
// least needed dropped first on a narrow console, and the worst cores first
// when the console is too low for all of them.
#include "console/live_block.h"

#include <algorithm>
#include <cstring>

#include "console/console_text.h"
#include "engine/sample_tables.h"

namespace {

enum Column { coreColumn, eventsColumn, nowColumn, meanColumn, worstColumn, atColumn, stallsColumn, columnCount };
// Dropped in this order while the line is wider than the console, the worst
// lateness last: a column cut short would show a figure cut short. The core
// is never dropped (the line is cut instead).
constexpr Column dropOrder[] = {atColumn, meanColumn, eventsColumn, stallsColumn, nowColumn, worstColumn};
constexpr std::size_t cellCapacity = 32;
constexpr const char* columnSeparator = "  ";
// "\x1b[K", which ends every line drawn with sequences.
constexpr std::int64_t eraseLineBytes = 3;

struct Row {
    std::int64_t core;
    std::int64_t worst;  // what the worst-first order compares; -1 with nothing measured
    char cells[columnCount][cellCapacity];
    const char* note;  // instead of the figures: "not sampled", "no events yet"
};

// One block at a time, on the writer's thread: the rows of every core.
Row rows[maxCores];

void putCell(char* cell, const TextBuffer& text) {
    const std::size_t size = std::min(text.size, cellCapacity - 1);
    std::copy(text.data, text.data + size, cell);
    cell[size] = '\0';
}

// A cell's text is built in a small buffer on the stack.
struct CellText {
    char bytes[cellCapacity];
    TextBuffer text{bytes, 0, cellCapacity - 1, false};
};

void fillRow(const RunSummary& run, std::int64_t core, Row& row) {
    row.core = core;
    row.worst = -1;
    row.note = nullptr;
    for (auto& cell : row.cells) cell[0] = '\0';
    CellText c;
    appendInteger(c.text, core);
    appendText(c.text, " (#");
    appendInteger(c.text, core + 1);
    appendChar(c.text, ')');
    putCell(row.cells[coreColumn], c.text);

    const CoreStatistics& s = run.cores[core];
    const bool wakes = run.wakes != nullptr;
    const bool sampled = wakes ? run.wakeSampled == nullptr || run.wakeSampled[core]
                               : run.sampled == nullptr || run.sampled[core];
    const std::int64_t events = wakes ? run.wakes[core].events : s.events;
    if (!sampled) {
        row.note = "not sampled";
        return;
    }
    if (events == 0) {
        row.note = "no events yet";
        return;
    }
    const auto cell = [&row, &c](Column column, auto append) {
        clearText(c.text);
        append(c.text);
        putCell(row.cells[column], c.text);
    };
    cell(eventsColumn, [&](TextBuffer& t) { appendInteger(t, events); });
    if (wakes) {
        const WakeStatistics& w = run.wakes[core];
        row.worst = w.maxUs;
        cell(nowColumn, [&](TextBuffer& t) {
            if (s.events > 0 && s.lastWakeWorstUs >= 0) {
                appendInteger(t, s.lastWakeWorstUs);
            } else {
                appendChar(t, '-');
            }
        });
        cell(meanColumn, [&](TextBuffer& t) { appendInteger(t, (w.sumUs + w.events / 2) / w.events); });
        cell(worstColumn, [&](TextBuffer& t) { appendInteger(t, w.maxUs); });
        cell(atColumn, [&](TextBuffer& t) { appendClockTime(t, w.maxAtUtcMs, false); });
        cell(stallsColumn, [&](TextBuffer& t) { appendInteger(t, wakeStallsOf(w)); });
        return;
    }
    row.worst = s.maxMs;
    cell(nowColumn, [&](TextBuffer& t) { appendInteger(t, s.lastMs); });
    cell(meanColumn, [&](TextBuffer& t) { appendDecimal(t, s.sumMs, s.events, 1); });
    cell(worstColumn, [&](TextBuffer& t) { appendInteger(t, s.maxMs); });
    cell(atColumn, [&](TextBuffer& t) { appendClockTime(t, s.maxAtUtcMs, false); });
    cell(stallsColumn, [&](TextBuffer& t) { appendInteger(t, timerStallsOf(s)); });
}

// Columns a line's text may take: under the width, less the erase at its
// end and the `taken` bytes of sequences before it.
std::size_t lineRoom(const LiveConsole& console, std::size_t taken) {
    const std::int64_t room = console.width - 1 - (console.sequences ? eraseLineBytes + static_cast<std::int64_t>(taken) : 0);
    return static_cast<std::size_t>(room > 0 ? room : 0);
}

// One line: `text` cut to the columns the console allows, then the padding or
// the erasing of what is left of the old line, then the line feed. Wine's
// console counts every byte of a sequence as a column and wraps a line that
// reaches its width, inside the sequence if need be: the text, the
// sequences before it (`taken` bytes) and the erase stay under the width.
void appendLine(TextBuffer& out, const char* text, std::size_t length, const LiveConsole& console,
                std::size_t taken = 0) {
    const std::size_t most = lineRoom(console, taken);
    const std::size_t bytes = bytesWithinColumns(text, length, most);
    appendText(out, text, bytes);
    if (console.sequences) {
        appendText(out, "\x1b[K");
    } else {
        for (std::size_t used = columnsOf(text, bytes); used < most; ++used) appendChar(out, ' ');
    }
    appendChar(out, '\n');
}

// The head line in the first of these forms that fits `room` columns, the
// last one cut after a whole word: "Vantrel, 0:00:12 of 0:01:00: timer
// events of 2 cores, ms late", without the cores, without the name, the
// times alone.
void appendHead(TextBuffer& head, const RunSummary& run, const LiveConsole& console, std::size_t room) {
    const bool wakes = run.wakes != nullptr;
    for (int form = 0; form < 4; ++form) {
        clearText(head);
        if (form < 2) appendText(head, "Vantrel, ");
        appendClockSpan(head, run.elapsedMs);
        if (console.plannedMs >= 0) {
            appendText(head, " of ");
            appendClockSpan(head, console.plannedMs);
        } else {
            appendText(head, " (until closed)");
        }
        if (form == 0) {
            appendText(head, wakes ? ": wake-ups of " : ": timer events of ");
            appendInteger(head, run.coreCount);
            appendText(head, run.coreCount == 1 ? " core" : " cores");
        }
        if (form < 3) appendText(head, wakes ? ", \xc2\xb5s late" : ", ms late");
        if (columnsOf(head.data, head.size) <= room) return;
    }
    std::size_t cut = bytesWithinColumns(head.data, head.size, room);
    while (cut > 0 && head.data[cut] != ' ') --cut;
    if (cut > 0) head.size = cut;
}

void appendPadded(TextBuffer& line, const char* cell, std::size_t width, bool right) {
    const std::size_t length = std::strlen(cell);
    const std::size_t columns = columnsOf(cell, length);
    if (!right) appendText(line, cell, length);
    for (std::size_t k = columns; k < width; ++k) appendChar(line, ' ');
    if (right) appendText(line, cell, length);
}

}  // namespace

std::size_t liveBlockCapacity(const LiveConsole& console) {
    const auto width = static_cast<std::size_t>(std::clamp<std::int64_t>(console.width, 2, liveWidthMost));
    const auto height = static_cast<std::size_t>(std::clamp<std::int64_t>(console.height, 2, liveHeightMost));
    // A cut line still ends inside its last character's bytes: at most 4 per column.
    return (height + 1) * (4 * width + 16) + 64;
}

void appendBlockErase(TextBuffer& out, std::int64_t lines) {
    appendChar(out, '\r');
    if (lines > 0) {
        appendText(out, "\x1b[");
        appendInteger(out, lines);
        appendChar(out, 'A');
    }
    appendText(out, "\x1b[J");
}

void appendOverBlock(TextBuffer& out, std::int64_t lines, const char* text, std::size_t length) {
    appendChar(out, '\r');
    if (lines > 0) {
        appendText(out, "\x1b[");
        appendInteger(out, lines);
        appendChar(out, 'A');
    }
    for (std::size_t k = 0; k < length; ++k) {
        if (text[k] == '\n') appendText(out, "\x1b[K");
        appendChar(out, text[k]);
    }
    appendText(out, "\x1b[J");
}

std::size_t overBlockFirstTaken(std::int64_t lines) {
    std::size_t taken = 3;  // "\x1b[" and 'A' around the count
    for (std::int64_t rest = lines; rest > 0; rest /= 10) ++taken;
    return lines > 0 ? taken : 0;
}

std::size_t overBlockCapacity(std::size_t length) {
    return length * 4 + 32;
}

std::int64_t formatLiveBlock(const RunSummary& run, const LiveConsole& console, std::int64_t previousLines,
                             TextBuffer& out) {
    LiveConsole fitted = console;
    fitted.width = std::clamp<std::int64_t>(console.width, 2, liveWidthMost);
    fitted.height = std::clamp<std::int64_t>(console.height, 2, liveHeightMost);
    clearText(out);
    if (fitted.sequences && previousLines > 0) {
        appendChar(out, '\r');
        appendText(out, "\x1b[");
        appendInteger(out, previousLines);
        appendChar(out, 'A');
    }
    // The move up, on the head line's row in Wine's console.
    const std::size_t taken = out.size > 0 ? out.size - 1 : 0;

    // The head line.
    char headBytes[256];
    TextBuffer head{headBytes, 0, sizeof headBytes - 1, false};
    const bool wakes = run.wakes != nullptr;
    appendHead(head, run, fitted, lineRoom(fitted, taken));
    appendLine(out, head.data, head.size, fitted, taken);
    std::int64_t lines = 1;

    // The cursor's line stays free; the head and the columns' line come first.
    const std::int64_t room = fitted.height - 1;
    const std::int64_t cores = std::clamp<std::int64_t>(run.coreCount, 0, maxCores);
    std::int64_t shown = cores;
    bool more = false;
    if (room < 4) {
        shown = 0;
        more = cores > 0 && room >= 2;
    } else if (cores + 2 > room) {
        shown = room - 3;
        more = true;
    }
    if (shown > 0) {
        for (std::int64_t core = 0; core < cores; ++core) fillRow(run, core, rows[core]);
        // Not every core fits: the worst first (the lower core of equal ones),
        // picked one by one, which for 256 cores is quick and needs no memory.
        for (std::int64_t r = 0; more && r < shown; ++r) {
            std::int64_t pick = r;
            for (std::int64_t k = r + 1; k < cores; ++k) {
                const bool worse = rows[k].worst > rows[pick].worst ||
                                   (rows[k].worst == rows[pick].worst && rows[k].core < rows[pick].core);
                if (worse) pick = k;
            }
            std::swap(rows[r], rows[pick]);
        }
        // The worst keeps its unit, which the head line may have lost to a
        // narrow console.
        const char* const headers[columnCount] = {"core (#row)", wakes ? "wake-ups" : "events", "now", "mean",
                                                  wakes ? "worst \xc2\xb5s" : "worst ms", "worst at", "stalls"};
        std::size_t widths[columnCount];
        bool kept[columnCount];
        for (int k = 0; k < columnCount; ++k) {
            const char* name = headers[k];
            widths[k] = columnsOf(name, std::strlen(name));
            kept[k] = true;
            for (std::int64_t r = 0; r < shown; ++r) {
                widths[k] = std::max(widths[k], columnsOf(rows[r].cells[k], std::strlen(rows[r].cells[k])));
            }
        }
        const auto total = [&]() {
            std::size_t sum = 0;
            for (int k = 0; k < columnCount; ++k) sum += kept[k] ? widths[k] + (k > 0 ? 2 : 0) : 0;
            return sum;
        };
        for (const Column column : dropOrder) {
            if (total() <= lineRoom(fitted, 0)) break;
            kept[column] = false;
        }
        char lineBytes[liveWidthMost * 4 + 64];
        TextBuffer line{lineBytes, 0, sizeof lineBytes - 1, false};
        for (std::int64_t r = -1; r < shown; ++r) {
            clearText(line);
            for (int k = 0; k < columnCount; ++k) {
                if (!kept[k]) continue;
                if (k > 0) appendText(line, columnSeparator);
                if (r >= 0 && k > coreColumn && rows[r].note != nullptr) {
                    appendText(line, rows[r].note);
                    break;
                }
                appendPadded(line, r < 0 ? headers[k] : rows[r].cells[k], widths[k],
                             k != coreColumn);
            }
            appendLine(out, line.data, line.size, fitted);
            ++lines;
        }
    }
    if (more) {
        char moreBytes[96];
        TextBuffer text{moreBytes, 0, sizeof moreBytes - 1, false};
        appendText(text, "and ");
        appendInteger(text, cores - shown);
        appendText(text, shown > 0 ? " more cores (the worst are shown)" : " cores (the console is too low for them)");
        appendLine(out, text.data, text.size, fitted);
        ++lines;
    }
    if (fitted.sequences) {
        // What is left of a longer block before.
        appendText(out, "\x1b[J");
        return lines;
    }
    for (; lines < previousLines; ++lines) appendLine(out, "", 0, fitted);
    return lines;
}
