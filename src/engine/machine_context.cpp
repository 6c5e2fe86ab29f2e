#include "engine/machine_context.h"

#include <cstring>

MachineContext unknownMachine() {
    MachineContext machine{};
    machine.resolutionAtStart = unknownResolution;
    machine.resolutionAtEnd = unknownResolution;
    machine.askedResolution = -1;
    machine.grantedResolution = -1;
    return machine;
}

static std::int64_t latestResolution(const MachineContext& machine) {
    return machine.ledger.count > 0 ? machine.ledger.latest.current : machine.resolutionAtStart.current;
}

bool noteResolutionReading(MachineContext& machine, std::int64_t utcMs, std::int64_t current) {
    // Without a value at the start there is nothing a reading changes.
    const std::int64_t before = latestResolution(machine);
    if (current <= 0 || before <= 0 || current == before) return false;
    ResolutionLedger& ledger = machine.ledger;
    const ResolutionChange change = {utcMs, current};
    if (ledger.count < resolutionChangesKept) ledger.changes[ledger.count] = change;
    ledger.latest = change;
    ++ledger.count;
    return true;
}

std::int64_t resolutionInForce(const MachineContext& machine, std::int64_t utcMs) {
    const ResolutionLedger& ledger = machine.ledger;
    if (ledger.count > 0 && utcMs >= ledger.latest.atUtcMs) return ledger.latest.current;
    const std::int64_t listed = ledger.count < resolutionChangesKept ? ledger.count : resolutionChangesKept;
    std::int64_t k = listed;
    while (k > 0 && ledger.changes[k - 1].atUtcMs > utcMs) --k;
    // Past the last listed change, with more changes counted after it: any
    // of those may have been in force.
    if (k == listed && ledger.count > listed) return -1;
    if (k > 0) return ledger.changes[k - 1].current;
    return machine.resolutionAtStart.current > 0 ? machine.resolutionAtStart.current : -1;
}

void keepMachineText(char* out, const char* text) {
    std::size_t length = std::strlen(text);
    if (length >= machineTextCapacity) length = machineTextCapacity - 1;
    // Back to the start of a character that the cut would split.
    if (length < std::strlen(text)) {
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    for (std::size_t k = 0; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[k]);
        // A comma would split the log's line, a backslash or a control
        // character would need escaping in some output and not in another.
        out[k] = byte < 0x20 || byte == 0x7f || byte == ',' || byte == '\\' ? ' ' : text[k];
    }
    // Spaces at either end carry nothing (the processor's name is padded).
    std::size_t from = 0;
    while (from < length && out[from] == ' ') ++from;
    while (length > from && out[length - 1] == ' ') --length;
    std::memmove(out, out + from, length - from);
    out[length - from] = '\0';
}

static void readText(bool (*reader)(char*, std::size_t), char* out) {
    char text[512];
    out[0] = '\0';
    if (reader(text, sizeof text)) keepMachineText(out, text);
}

TimerResolution timerResolutionNow() {
    TimerResolution resolution{};
    if (!readTimerResolution(resolution) || resolution.current <= 0 || resolution.finest <= 0 ||
        resolution.coarsest <= 0) {
        return unknownResolution;
    }
    return resolution;
}

void readMachineContext(MachineContext& out) {
    out = unknownMachine();
    readText(readComputerName, out.name);
    readText(readWindowsVersion, out.windows);
    readText(readProcessorName, out.processor);
    readText(readPowerPlanName, out.powerPlan);
    out.resolutionAtStart = timerResolutionNow();
}

// The resolution this process asked for and holds; 0: none.
static std::int64_t heldResolution = 0;

std::int64_t askTimerResolution(std::int64_t hundredNs) {
    if (heldResolution != hundredNs) releaseTimerResolution();
    std::int64_t granted = 0;
    if (hundredNs <= 0 || !setTimerResolution(hundredNs, true, granted)) return -1;
    heldResolution = hundredNs;
    return granted > 0 ? granted : -1;
}

void releaseTimerResolution() {
    std::int64_t granted = 0;
    if (heldResolution > 0) setTimerResolution(heldResolution, false, granted);
    heldResolution = 0;
}
