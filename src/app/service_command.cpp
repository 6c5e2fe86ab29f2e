#include "app/service_command.h"

#include <cstring>

#include "text/text_buffer.h"

namespace {

void say(char* error, std::initializer_list<const char*> pieces) {
    joinText(error, commandLineErrorCapacity, pieces);
}

// Appends `text` to `out` (length `used`), false when it does not fit.
bool append(char* out, std::size_t capacity, std::size_t& used, const char* text, std::size_t length) {
    if (used + length + 1 > capacity) return false;
    std::memcpy(out + used, text, length);
    used += length;
    out[used] = '\0';
    return true;
}

// One argument, a space before it unless first, in the quoting that
// CommandLineToArgvW undoes: in quotes, a quote as \", and the backslashes
// before a quote (or before the closing one) doubled.
bool appendArgument(char* out, std::size_t capacity, std::size_t& used, const char* argument) {
    if (used > 0 && !append(out, capacity, used, " ", 1)) return false;
    if (!append(out, capacity, used, "\"", 1)) return false;
    std::size_t backslashes = 0;
    for (const char* p = argument;; ++p) {
        if (*p == '\\') {
            ++backslashes;
            continue;
        }
        const bool quoteNext = *p == '"' || *p == '\0';
        const std::size_t times = quoteNext ? backslashes * 2 : backslashes;
        for (std::size_t k = 0; k < times; ++k) {
            if (!append(out, capacity, used, "\\", 1)) return false;
        }
        backslashes = 0;
        if (*p == '\0') break;
        if (*p == '"' && !append(out, capacity, used, "\\", 1)) return false;
        if (!append(out, capacity, used, p, 1)) return false;
    }
    return append(out, capacity, used, "\"", 1);
}

bool isPathOption(const char* name, std::size_t length) {
    for (const char* path : {"--report", "--log", "--metrics", "--html"}) {
        if (std::strlen(path) == length && std::strncmp(path, name, length) == 0) return true;
    }
    return false;
}

}  // namespace

bool checkServiceOptions(CommandLine& out, char* error) {
    const bool records = out.hasReport || out.hasLog || out.hasMetrics || out.hasHtml;
    const int modes = (out.installService ? 1 : 0) + (out.uninstallService ? 1 : 0) + (out.service ? 1 : 0);
    if (modes > 1) {
        say(error, {"options '--install-service', '--uninstall-service' and '--service' go alone: give one of them"});
        return false;
    }
    if (out.hasServiceAccount && !out.installService) {
        say(error, {"option '--service-account' goes with '--install-service'"});
        return false;
    }
    if (out.hasLogMaxMb && !out.hasLog) {
        say(error, {"option '--log-max-mb' needs '--log PATH', the log to roll over"});
        return false;
    }
    if ((out.installService || out.service) && !records) {
        say(error, {"option '", out.service ? "--service" : "--install-service",
                    "' needs somewhere to record the run: '--report', '--log', '--metrics' or '--html'"});
        return false;
    }
    if ((out.installService || out.service) && (out.hasFrom || out.quiet)) {
        say(error, {"option '", out.service ? "--service" : "--install-service", "' takes no '",
                    out.hasFrom ? "--from" : "--quiet", "': a service measures and has no console"});
        return false;
    }
    if (out.uninstallService) {
        const bool alone = !records && !out.hasDuration && !out.hasFailAbove && !out.fine && !out.noWindow && !out.quiet &&
                           !out.hasPriority && !out.hasSweep && !out.hasFrom && !out.hasLogMaxMb;
        if (!alone) {
            say(error, {"option '--uninstall-service' takes no other option"});
            return false;
        }
    }
    // A service has no window and no console; its log is bounded unless
    // told otherwise (the package's EXTRA_FLAGS may give a log without it).
    if (out.service) {
        out.noWindow = true;
        out.quiet = true;
        if (out.hasLog && !out.hasLogMaxMb) out.logMaxBytes = serviceLogMaxMb * 1048576;
        out.hasLogMaxMb = out.hasLogMaxMb || out.hasLog;
    }
    return true;
}

bool serviceCommandLine(const char* program, int argc, const char* const* argv, AbsolutePath absolute, char* out,
                        std::size_t capacity) {
    std::size_t used = 0;
    if (capacity == 0) return false;
    out[0] = '\0';
    if (!appendArgument(out, capacity, used, program) || !appendArgument(out, capacity, used, "--service")) return false;
    bool log = false;
    bool logMax = false;
    for (int k = 1; k < argc; ++k) {
        const char* argument = argv[k];
        const char* equals = std::strchr(argument, '=');
        const std::size_t nameLength = equals != nullptr ? static_cast<std::size_t>(equals - argument) : std::strlen(argument);
        const char* value = equals != nullptr ? equals + 1 : nullptr;
        if (value == nullptr && optionTakesValue(argument) && k + 1 < argc) value = argv[++k];
        if (std::strcmp(argument, "--install-service") == 0) continue;
        if (std::strncmp(argument, "--service-account", nameLength) == 0 && nameLength == 17) continue;
        char name[64];
        if (nameLength >= sizeof name) return false;
        std::memcpy(name, argument, nameLength);
        name[nameLength] = '\0';
        if (!appendArgument(out, capacity, used, name)) return false;
        if (value == nullptr) continue;
        log = log || std::strcmp(name, "--log") == 0;
        logMax = logMax || std::strcmp(name, "--log-max-mb") == 0;
        char full[1024];
        if (isPathOption(name, nameLength)) {
            if (!absolute(value, full, sizeof full)) return false;
            value = full;
        }
        if (!appendArgument(out, capacity, used, value)) return false;
    }
    if (log && !logMax) {
        char mb[24];
        formatInteger(mb, serviceLogMaxMb);
        if (!appendArgument(out, capacity, used, "--log-max-mb") || !appendArgument(out, capacity, used, mb)) return false;
    }
    return true;
}
