// The log's notes: the run's context after the header and each priority
// change, written and read back (log_format.h).
#include <cstring>

#include "engine/stall_attribution.h"
#include "formats/log_format.h"
#include "formats/log_reader_parts.h"
#include "text/utc.h"

namespace {

// The names of the machine's notes, in the order written, and the text of
// the context each holds.
constexpr std::size_t machineNoteCount = 4;
const char* const machineNoteNames[machineNoteCount] = {"machine", "windows", "processor", "power_plan"};
char* textOf(MachineContext& machine, std::size_t index) {
    char* const texts[machineNoteCount] = {machine.name, machine.windows, machine.processor, machine.powerPlan};
    return texts[index];
}
constexpr char resolutionNote[] = "timer_resolution";
// The most a timer resolution can be, in 100 ns units: an hour.
constexpr std::int64_t resolutionMost = 36000000000;

void appendNoteStart(TextBuffer& out, std::int64_t utcMs, const char* name) {
    appendUtc(out, utcMs);
    appendText(out, ",,,,");
    appendText(out, name);
    appendChar(out, '=');
}

// Bytes of UTF-8 that a note may hold: printable, no backslash, no broken
// or overlong sequence.
bool isNoteText(const char* text, std::size_t length) {
    for (std::size_t k = 0; k < length;) {
        const auto byte = static_cast<unsigned char>(text[k]);
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7f || byte == '\\') return false;
            ++k;
            continue;
        }
        const std::size_t size = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        if (byte < 0xC2 || byte > 0xF4 || k + size > length) return false;
        for (std::size_t c = 1; c < size; ++c) {
            if ((static_cast<unsigned char>(text[k + c]) & 0xC0) != 0x80) return false;
        }
        const auto second = static_cast<unsigned char>(text[k + 1]);
        if ((byte == 0xE0 && second < 0xA0) || (byte == 0xF0 && second < 0x90) || (byte == 0xF4 && second > 0x8F) ||
            (byte == 0xED && second > 0x9F)) {
            return false;
        }
        k += size;
    }
    return true;
}

bool onlyOf(const char* text, std::size_t length, const char* allowed) {
    for (std::size_t k = 0; k < length; ++k) {
        if (text[k] == '\0' || std::strchr(allowed, text[k]) == nullptr) return false;
    }
    return true;
}

constexpr char wordCharacters[] = "abcdefghijklmnopqrstuvwxyz ";

void copyText(char* out, const char* text, std::size_t length) {
    std::memcpy(out, text, length);
    out[length] = '\0';
}

bool refuse(LogReader& reader, const char* source, std::size_t length, const char* why) {
    return failLogField(reader, "note", source, length, why);
}

// "a/b/c": three whole numbers above 0 and at most an hour.
bool readResolution(const char* text, std::size_t length, TimerResolution& out) {
    std::int64_t values[3] = {};
    const char* from = text;
    for (int k = 0; k < 3; ++k) {
        const char* end = k < 2 ? static_cast<const char*>(std::memchr(from, '/', static_cast<std::size_t>(text + length - from))) : text + length;
        if (end == nullptr || !onlyOf(from, static_cast<std::size_t>(end - from), "0123456789") ||
            !parseLogWhole(from, static_cast<std::size_t>(end - from), values[k]) || values[k] <= 0 ||
            values[k] > resolutionMost) {
            return false;
        }
        from = end + 1;
    }
    out = TimerResolution{values[0], values[1], values[2]};
    return true;
}

// "<asked>" or "<asked>/<granted>", each above 0 and at most an hour.
bool readAsked(const char* text, std::size_t length, MachineContext& machine) {
    const auto* slash = static_cast<const char*>(std::memchr(text, '/', length));
    const std::size_t askedLength = slash != nullptr ? static_cast<std::size_t>(slash - text) : length;
    std::int64_t asked = 0;
    std::int64_t granted = -1;
    const auto whole = [](const char* from, std::size_t size, std::int64_t& value) {
        return onlyOf(from, size, "0123456789") && parseLogWhole(from, size, value) && value > 0 && value <= resolutionMost;
    };
    if (!whole(text, askedLength, asked)) return false;
    if (slash != nullptr && !whole(slash + 1, length - askedLength - 1, granted)) return false;
    machine.askedResolution = asked;
    machine.grantedResolution = granted;
    return true;
}

bool readResolutionChange(LogReader& reader, std::int64_t utcMs, const char* text, std::size_t length) {
    std::int64_t current = 0;
    if (!onlyOf(text, length, "0123456789") || !parseLogWhole(text, length, current) || current <= 0 ||
        current > resolutionMost) {
        return false;
    }
    // A reading like the one in force is no change (a log edited by hand).
    noteResolutionReading(reader.machine, utcMs, current);
    reader.machineKnown = true;
    reader.runHasLines = true;
    return true;
}

bool readPriority(LogReader& reader, std::int64_t utcMs, const char* value, std::size_t length) {
    static const char classMark[] = ";class=";
    const char* mark = nullptr;
    for (std::size_t k = 0; k + sizeof classMark - 1 <= length && mark == nullptr; ++k) {
        if (std::memcmp(value + k, classMark, sizeof classMark - 1) == 0) mark = value + k;
    }
    const std::size_t levelLength = mark != nullptr ? static_cast<std::size_t>(mark - value) : length;
    const char* granted = mark != nullptr ? mark + sizeof classMark - 1 : value + length;
    const std::size_t grantedLength = static_cast<std::size_t>(value + length - granted);
    const bool good = levelLength > 0 && levelLength < priorityTextCapacity && onlyOf(value, levelLength, wordCharacters) &&
                      (mark == nullptr || (grantedLength > 0 && grantedLength < priorityTextCapacity &&
                                           onlyOf(granted, grantedLength, wordCharacters)));
    if (!good) return false;
    PriorityChange change{};
    change.atUtcMs = utcMs;
    copyText(change.level, value, levelLength);
    copyText(change.granted, granted, grantedLength);
    // A run's first priority line is the level it started at.
    if (!reader.priority.startKnown) {
        reader.priority.start = change;
        reader.priority.startKnown = true;
    } else {
        addPriorityChange(reader.priority, utcMs, change.level, change.granted);
    }
    reader.runHasLines = true;
    if (reader.onLine != nullptr) {
        reader.onLine(reader.onLineContext, LogLine{LogLineKind::priority, utcMs, -1, 0, 0, &change});
    }
    return true;
}

// "3/threads": a core the log can hold and a cause's name.
bool readStall(LogReader& reader, std::int64_t utcMs, const char* value, std::size_t length) {
    const auto* slash = static_cast<const char*>(std::memchr(value, '/', length));
    std::int64_t core = -1;
    if (slash == nullptr || !onlyOf(value, static_cast<std::size_t>(slash - value), "0123456789") ||
        !parseLogWhole(value, static_cast<std::size_t>(slash - value), core) || core >= logReaderCores) {
        return false;
    }
    const std::size_t causeLength = static_cast<std::size_t>(value + length - slash - 1);
    for (int c = 0; c < stallCauseCount; ++c) {
        const auto cause = static_cast<StallCause>(c);
        if (!isLogText(slash + 1, causeLength, stallCauseName(cause))) continue;
        reader.runHasLines = true;
        if (reader.onLine != nullptr) {
            reader.onLine(reader.onLineContext, LogLine{LogLineKind::stall, utcMs, core, 0, 0, nullptr, cause});
        }
        return true;
    }
    return false;
}

// "3/36000/2/0": a core the log can hold and three counts, the stalls and
// the lines left out at most the wake-ups.
bool readWakeCount(LogReader& reader, std::int64_t utcMs, const char* value, std::size_t length) {
    std::int64_t numbers[4] = {};
    const char* from = value;
    for (int k = 0; k < 4; ++k) {
        const char* end = k < 3 ? static_cast<const char*>(std::memchr(from, '/', static_cast<std::size_t>(value + length - from)))
                                : value + length;
        const auto size = end != nullptr ? static_cast<std::size_t>(end - from) : 0;
        if (end == nullptr || !onlyOf(from, size, "0123456789") || !parseLogWhole(from, size, numbers[k])) return false;
        from = end + 1;
    }
    const std::int64_t core = numbers[0];
    const WakeCount count{numbers[1], numbers[2], numbers[3]};
    if (core >= logReaderCores || count.stalls > count.wakeUps || count.leftOut > count.wakeUps) return false;
    reader.runHasLines = true;
    if (reader.onLine != nullptr) {
        LogLine line{LogLineKind::wakeCount, utcMs, core, 0, 0, nullptr};
        line.wakes = count;
        reader.onLine(reader.onLineContext, line);
    }
    return true;
}

}  // namespace

void appendLogContext(TextBuffer& out, const RunSummary& run) {
    appendNoteStart(out, run.startedUtcMs, logNoteProgram);
    appendText(out, run.version != nullptr ? run.version : "");
    appendChar(out, '\n');
    if (run.machine != nullptr) {
        const MachineContext& machine = *run.machine;
        const char* const texts[machineNoteCount] = {machine.name, machine.windows, machine.processor, machine.powerPlan};
        for (std::size_t k = 0; k < machineNoteCount; ++k) {
            const char* text = texts[k];
            if (text[0] == '\0') continue;
            appendNoteStart(out, run.startedUtcMs, machineNoteNames[k]);
            appendText(out, text);
            appendChar(out, '\n');
        }
        const TimerResolution& r = machine.resolutionAtStart;
        if (r.current > 0) {
            appendNoteStart(out, run.startedUtcMs, resolutionNote);
            appendInteger(out, r.current);
            appendChar(out, '/');
            appendInteger(out, r.finest);
            appendChar(out, '/');
            appendInteger(out, r.coarsest);
            appendChar(out, '\n');
        }
        if (machine.askedResolution > 0) {
            appendNoteStart(out, run.startedUtcMs, logNoteResolutionAsked);
            appendInteger(out, machine.askedResolution);
            if (machine.grantedResolution > 0) {
                appendChar(out, '/');
                appendInteger(out, machine.grantedResolution);
            }
            appendChar(out, '\n');
        }
    }
    if (run.priority != nullptr && run.priority->startKnown) appendPriorityLine(out, run.priority->start);
}

void appendPriorityLine(TextBuffer& out, const PriorityChange& change) {
    appendNoteStart(out, change.atUtcMs, logNotePriority);
    appendText(out, change.level);
    if (change.granted[0] != '\0') {
        appendText(out, ";class=");
        appendText(out, change.granted);
    }
    appendChar(out, '\n');
}

void appendStallLine(TextBuffer& out, std::int64_t core, std::int64_t utcMs, StallCause cause) {
    appendNoteStart(out, utcMs, logNoteStall);
    appendInteger(out, core);
    appendChar(out, '/');
    appendText(out, stallCauseName(cause));
    appendChar(out, '\n');
}

void appendWakeCountLine(TextBuffer& out, std::int64_t core, std::int64_t utcMs, const WakeCount& count) {
    appendNoteStart(out, utcMs, logNoteWakes);
    appendInteger(out, core);
    appendChar(out, '/');
    appendInteger(out, count.wakeUps);
    appendChar(out, '/');
    appendInteger(out, count.stalls);
    appendChar(out, '/');
    appendInteger(out, count.leftOut);
    appendChar(out, '\n');
}

void appendResolutionLine(TextBuffer& out, const ResolutionChange& change) {
    appendNoteStart(out, change.atUtcMs, logNoteResolutionChange);
    appendInteger(out, change.current);
    appendChar(out, '\n');
}

void beginLogRun(LogReader& reader) {
    if (!reader.runHasLines) return;
    if (reader.onLine != nullptr) reader.onLine(reader.onLineContext, LogLine{LogLineKind::runBegins, 0, -1, 0, 0, nullptr});
    ++reader.runCount;
    reader.runHasLines = false;
    reader.machineKnown = false;
    reader.machine = unknownMachine();
    reader.version[0] = '\0';
    reader.priority = PriorityHistory{};
}

bool readLogNote(LogReader& reader, std::int64_t utcMs, const char* source, std::size_t length) {
    const auto* equals = static_cast<const char*>(std::memchr(source, '=', length));
    if (equals == nullptr || equals == source) {
        return failLogField(reader, "source", source, length, "is neither 'timer', 'wake' nor a note");
    }
    const auto nameLength = static_cast<std::size_t>(equals - source);
    const char* value = equals + 1;
    const std::size_t valueLength = length - nameLength - 1;
    if (!onlyOf(source, nameLength, "abcdefghijklmnopqrstuvwxyz_") || valueLength == 0 ||
        !isNoteText(value, valueLength)) {
        return refuse(reader, source, length, "is not a note this program writes");
    }
    if (isLogText(source, nameLength, logNotePriority)) {
        return readPriority(reader, utcMs, value, valueLength) ||
               refuse(reader, source, length, "is not a priority level and the class granted");
    }
    if (isLogText(source, nameLength, logNoteStall)) {
        return readStall(reader, utcMs, value, valueLength) ||
               refuse(reader, source, length, "is not a core and a stall's cause");
    }
    if (isLogText(source, nameLength, logNoteWakes)) {
        return readWakeCount(reader, utcMs, value, valueLength) ||
               refuse(reader, source, length, "is not a core and its counts of wake-ups");
    }
    if (isLogText(source, nameLength, logNoteProgram)) {
        if (valueLength >= priorityTextCapacity || !onlyOf(value, valueLength, "0123456789.+-abcdefghijklmnopqrstuvwxyz")) {
            return refuse(reader, source, length, "is not a version");
        }
        // The program's note opens every run: after lines of a run, it
        // begins the next (logs joined without their headers).
        beginLogRun(reader);
        copyText(reader.version, value, valueLength);
        reader.runHasLines = true;
        return true;
    }
    if (isLogText(source, nameLength, resolutionNote)) {
        if (!readResolution(value, valueLength, reader.machine.resolutionAtStart)) {
            return refuse(reader, source, length, "is not three resolutions in 100 ns units");
        }
        reader.machineKnown = true;
        reader.runHasLines = true;
        return true;
    }
    if (isLogText(source, nameLength, logNoteResolutionChange)) {
        return readResolutionChange(reader, utcMs, value, valueLength) ||
               refuse(reader, source, length, "is not a resolution in 100 ns units");
    }
    if (isLogText(source, nameLength, logNoteResolutionAsked)) {
        if (!readAsked(value, valueLength, reader.machine)) {
            return refuse(reader, source, length, "is not the resolution asked and granted in 100 ns units");
        }
        reader.machineKnown = true;
        reader.runHasLines = true;
        return true;
    }
    for (std::size_t k = 0; k < machineNoteCount; ++k) {
        if (!isLogText(source, nameLength, machineNoteNames[k])) continue;
        if (valueLength >= machineTextCapacity) return refuse(reader, source, length, "is longer than a note of the machine");
        copyText(textOf(reader.machine, k), value, valueLength);
        reader.machineKnown = true;
        reader.runHasLines = true;
        return true;
    }
    // A note of a later version: read past, as a later reader would.
    reader.runHasLines = true;
    return true;
}
