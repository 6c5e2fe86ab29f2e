#include "app/options.h"

#include <charconv>
#include <cstring>
#include <initializer_list>

#include "app/resolution_options.h"
#include "files/output_file.h"
#include "priority/levels.h"
#include "text/text_buffer.h"

static const char* const durationNeeds = "a number of seconds greater than 0 and at most 31536000";
static const char* const failAboveNeeds = "a number of milliseconds from 0, with at most three decimals";
static const char* const pathNeeds = "a path";
static const char* const levelNeeds =
    "a priority level: idle, low, below-normal, normal, above-normal, high or realtime";
static const char* const levelsNeeds =
    "priority levels separated by commas, each once (idle, low, below-normal, normal, above-normal, high, realtime)";
// Seven levels of it stay within the longest --duration, a year.
static const char* const sweepNeeds =
    "a number of seconds greater than 0 and at most 4505142 (52 days: seven levels of it make a year)";
static const char* const accountNeeds = "an account name";
static const char* const logMaxNeeds = "a number of MB from 0.001 to 1048576 (decimals allowed)";
static const char* const resolutionNeeds = "a timer resolution in ms from 0.5 to 15.625, or 'default'";
static const char* const resolutionsNeeds =
    "timer resolutions in ms from 0.5 to 15.625 or 'default', separated by commas, each once, at most 8";

// Longest --fail-above in ms: its microseconds still fit.
constexpr std::int64_t maxFailAboveMs = INT64_MAX / 1000 - 1;

namespace {

bool parseDuration(const char* text, std::int64_t& ms);
bool parseFailAbove(const char* text, std::int64_t& us);
bool parseThousandths(const char* text, std::int64_t maxWhole, std::int64_t& thousandths);
bool parseLevels(const char* text, CommandLine& out);

// One row per option. `set` stores what was given; for an option with a
// value it answers false when the value is not what `needs` says.
struct Option {
    const char* name;
    const char* alias;  // a short spelling ("-h"), or null
    const char* needs;  // null: takes no value
    bool (*set)(CommandLine& out, const char* value);
    std::int64_t most = 1;  // times it may be given
};

const Option options[] = {
    {"--help", "-h", nullptr, [](CommandLine& out, const char*) { return out.help = true; }},
    {"--version", nullptr, nullptr, [](CommandLine& out, const char*) { return out.version = true; }},
    {"--report", nullptr, pathNeeds,
     [](CommandLine& out, const char* value) {
         out.reportPath = value;
         return out.hasReport = true;
     }},
    {"--log", nullptr, pathNeeds,
     [](CommandLine& out, const char* value) {
         out.logPath = value;
         return out.hasLog = true;
     }},
    {"--metrics", nullptr, pathNeeds,
     [](CommandLine& out, const char* value) {
         out.metricsPath = value;
         return out.hasMetrics = true;
     }},
    {"--html", nullptr, pathNeeds,
     [](CommandLine& out, const char* value) {
         out.htmlPath = value;
         return out.hasHtml = true;
     }},
    {"--from", nullptr, pathNeeds,
     [](CommandLine& out, const char* value) {
         if (out.fromCount == 0) out.fromPath = value;
         out.fromPaths[out.fromCount++] = value;
         return out.hasFrom = true;
     },
     maxFromLogs},
    {"--duration", nullptr, durationNeeds,
     [](CommandLine& out, const char* value) {
         out.hasDuration = true;
         return parseDuration(value, out.durationMs);
     }},
    {"--fail-above", nullptr, failAboveNeeds,
     [](CommandLine& out, const char* value) {
         out.hasFailAbove = true;
         return parseFailAbove(value, out.failAboveUs);
     }},
    {"--fine", nullptr, nullptr, [](CommandLine& out, const char*) { return out.fine = true; }},
    {"--no-window", nullptr, nullptr, [](CommandLine& out, const char*) { return out.noWindow = true; }},
    {"--quiet", "-q", nullptr, [](CommandLine& out, const char*) { return out.quiet = true; }},
    {"--priority", nullptr, levelNeeds,
     [](CommandLine& out, const char* value) {
         const PriorityLevel* level = findPriorityLevelNamed(value);
         out.hasPriority = true;
         out.priorityLevelId = level != nullptr ? level->commandId : 0;
         return level != nullptr;
     }},
    {"--sweep", nullptr, sweepNeeds,
     [](CommandLine& out, const char* value) {
         out.hasSweep = true;
         return parseThousandths(value, maxSweepSeconds, out.sweepMs) && out.sweepMs > 0 &&
                out.sweepMs <= maxSweepSeconds * 1000;
     }},
    {"--levels", nullptr, levelsNeeds,
     [](CommandLine& out, const char* value) {
         out.hasLevels = true;
         return parseLevels(value, out);
     }},
    {"--install-service", nullptr, nullptr, [](CommandLine& out, const char*) { return out.installService = true; }},
    {"--uninstall-service", nullptr, nullptr, [](CommandLine& out, const char*) { return out.uninstallService = true; }},
    {"--service", nullptr, nullptr, [](CommandLine& out, const char*) { return out.service = true; }},
    {"--service-account", nullptr, accountNeeds,
     [](CommandLine& out, const char* value) {
         out.serviceAccount = value;
         return out.hasServiceAccount = true;
     }},
    {"--log-max-mb", nullptr, logMaxNeeds,
     [](CommandLine& out, const char* value) {
         out.hasLogMaxMb = true;
         std::int64_t thousandths = 0;
         const bool good = parseThousandths(value, maxLogMaxMb, thousandths) && thousandths > 0 &&
                           thousandths <= maxLogMaxMb * 1000;
         out.logMaxBytes = thousandths * 1048576 / 1000;
         return good;
     }},
    {"--timer-resolution", nullptr, resolutionNeeds,
     [](CommandLine& out, const char* value) {
         out.hasTimerResolution = true;
         return parseTimerResolution(value, out.timerResolution);
     }},
    {"--resolutions", nullptr, resolutionsNeeds,
     [](CommandLine& out, const char* value) {
         out.hasResolutions = true;
         return parseTimerResolutions(value, out.resolutions, out.resolutionCount);
     }},
};
constexpr std::size_t optionCount = sizeof options / sizeof options[0];

// The error text, built from pieces and cut to its capacity.
void say(char* error, std::initializer_list<const char*> pieces) {
    joinText(error, commandLineErrorCapacity, pieces);
}

bool onlyCharacters(const char* text, const char* allowed) {
    return text[std::strspn(text, allowed)] == '\0';
}

// "12.345" as whole units and thousandths, rounded up below a thousandth so
// that a tiny positive value never becomes 0. Answers false for anything but
// digits with at most one dot, or a whole part above `maxWhole`.
bool parseThousandths(const char* text, std::int64_t maxWhole, std::int64_t& thousandths) {
    if (!onlyCharacters(text, "0123456789.")) return false;
    const char* dot = std::strchr(text, '.');
    if (dot != nullptr && std::strchr(dot + 1, '.') != nullptr) return false;
    const char* wholeEnd = dot != nullptr ? dot : text + std::strlen(text);
    const char* fraction = dot != nullptr ? dot + 1 : wholeEnd;
    if (wholeEnd == text && *fraction == '\0') return false;

    std::int64_t whole = 0;
    if (wholeEnd != text) {
        const std::from_chars_result result = std::from_chars(text, wholeEnd, whole);
        if (result.ec != std::errc() || whole > maxWhole) return false;
    }
    std::int64_t part = 0;
    const char* p = fraction;
    for (int k = 0; k < 3; ++k) part = part * 10 + (*p != '\0' ? *p++ - '0' : 0);
    const bool below = p[std::strspn(p, "0")] != '\0';
    thousandths = whole * 1000 + part + (below ? 1 : 0);
    return true;
}

bool parseDuration(const char* text, std::int64_t& ms) {
    return parseThousandths(text, maxDurationSeconds, ms) && ms > 0 && ms <= maxDurationSeconds * 1000;
}

// "high,normal,idle": each a level's name, each once.
bool parseLevels(const char* text, CommandLine& out) {
    out.levelCount = 0;
    for (const char* from = text;;) {
        const char* comma = std::strchr(from, ',');
        const std::size_t length = comma != nullptr ? static_cast<std::size_t>(comma - from) : std::strlen(from);
        char name[24] = {};
        if (length == 0 || length >= sizeof name || out.levelCount == levelCount) return false;
        for (std::size_t k = 0; k < length; ++k) name[k] = from[k];
        const PriorityLevel* level = findPriorityLevelNamed(name);
        if (level == nullptr) return false;
        for (std::int64_t k = 0; k < out.levelCount; ++k) {
            if (out.levelIds[k] == level->commandId) return false;
        }
        out.levelIds[out.levelCount++] = level->commandId;
        if (comma == nullptr) return true;
        from = comma + 1;
    }
}

bool parseFailAbove(const char* text, std::int64_t& us) {
    // Exactly as given: a fourth decimal would be rounded, so it is refused.
    const char* dot = std::strchr(text, '.');
    if (dot != nullptr && std::strlen(dot + 1) > 3) return false;
    return parseThousandths(text, maxFailAboveMs, us);
}

// The row of `argument` (such as "--log", "--log=run.csv" or the alias "-q"), or
// optionCount; `nameLength` is the length of its name part.
std::size_t findOption(const char* argument, std::size_t& nameLength) {
    for (std::size_t index = 0; index < optionCount; ++index) {
        if (options[index].alias != nullptr && std::strcmp(options[index].alias, argument) == 0) {
            nameLength = std::strlen(argument);
            return index;
        }
    }
    const char* equals = std::strchr(argument, '=');
    nameLength = equals != nullptr ? static_cast<std::size_t>(equals - argument) : std::strlen(argument);
    for (std::size_t index = 0; index < optionCount; ++index) {
        if (std::strlen(options[index].name) == nameLength && std::strncmp(options[index].name, argument, nameLength) == 0) {
            return index;
        }
    }
    return optionCount;
}

}  // namespace

bool parseCommandLine(int argc, const char* const* argv, CommandLine& out, char* error) {
    out = CommandLine{};
    std::int64_t seen[optionCount] = {};
    for (int k = 1; k < argc; ++k) {
        const char* argument = argv[k];
        // "/?" is how Windows programs are asked for their help.
        if (std::strcmp(argument, "/?") == 0) argument = "--help";
        std::size_t nameLength = 0;
        const std::size_t index = findOption(argument, nameLength);
        if (index == optionCount) {
            // A dash alone names no option: a path, as "-" is elsewhere.
            if (argument[0] != '-' || argument[1] == '\0') {
                say(error, {"unexpected argument '", argument, "'"});
                return false;
            }
            // A short option is named up to its '=' as a long one is.
            if (argument[1] != '-') nameLength = std::strcspn(argument, "=");
            char name[64] = {};
            std::memcpy(name, argument, nameLength < sizeof name - 1 ? nameLength : sizeof name - 1);
            say(error, {"unknown option '", nameLength < sizeof name ? name : argument, "'"});
            return false;
        }
        const Option& option = options[index];
        if (seen[index] == option.most) {
            char most[24];
            formatInteger(most, option.most);
            if (option.most == 1) {
                say(error, {"option '", option.name, "' is given twice"});
            } else {
                say(error, {"option '", option.name, "' is given more than ", most, " times"});
            }
            return false;
        }
        ++seen[index];
        const char* equals = argument[nameLength] == '=' ? argument + nameLength : nullptr;

        if (option.needs == nullptr) {
            if (equals != nullptr) {
                say(error, {"option '", option.name, "' takes no value, not '", equals + 1, "'"});
                return false;
            }
            option.set(out, nullptr);
            continue;
        }
        const char* value = nullptr;
        if (equals != nullptr) {
            value = equals + 1;
        } else if (k + 1 < argc) {
            value = argv[++k];
        } else {
            say(error, {"option '", option.name, "' needs ", option.needs});
            return false;
        }
        // Every value is set, so that a later check sees what was given.
        const bool good = option.set(out, value) && value[0] != '\0';
        if (!good) {
            say(error, {"option '", option.name, "' needs ", option.needs, ", not '", value, "'"});
            return false;
        }
    }

    // Combinations, checked once every option is known.
    if (!checkServiceOptions(out, error)) return false;
    const bool measures = out.hasLog || out.hasMetrics || out.hasDuration || out.noWindow || out.hasPriority ||
                          out.hasSweep || out.hasLevels || out.hasTimerResolution;
    const bool records = out.hasReport || out.hasLog || out.hasMetrics || out.hasHtml;
    if (out.hasFrom && !out.hasHtml && !out.hasReport) {
        say(error, {"option '--from' needs '--html PATH' (the page to make from the log) or '--report PATH' (its "
                    "comparison, or its report, as JSON)"});
        return false;
    }
    if (out.hasFrom && measures) {
        say(error, {"option '--from' makes a page from a log without measuring: it takes only '--html', '--report', "
                    "'--fail-above', '--fine' and '--quiet'"});
        return false;
    }
    if (out.hasLevels && !out.hasSweep) {
        say(error, {"option '--levels' needs '--sweep SECONDS', the time each level is measured"});
        return false;
    }
    if (out.hasSweep && out.hasPriority) {
        say(error, {"options '--sweep' and '--priority' both set the priority: give one of them"});
        return false;
    }
    if (out.hasSweep && out.hasDuration) {
        say(error, {"option '--sweep' sets the run's length (SECONDS for each level): it takes no '--duration'"});
        return false;
    }
    if (out.hasSweep && !records) {
        say(error, {"option '--sweep' needs somewhere to record the run: '--report', '--log', '--metrics' or '--html'"});
        return false;
    }
    if (out.hasResolutions && !out.hasSweep) {
        say(error, {"option '--resolutions' needs '--sweep SECONDS', the time each resolution is measured"});
        return false;
    }
    if (out.hasResolutions && out.hasTimerResolution) {
        say(error, {"options '--resolutions' and '--timer-resolution' both set the timer resolution: give one of them"});
        return false;
    }
    if (out.hasSweep && !out.hasLevels && out.hasResolutions) {
        // The resolutions alone: at the level a run starts at.
        out.levelIds[out.levelCount++] = initialLevelId;
    }
    if (out.hasSweep && !out.hasLevels && !out.hasResolutions) {
        for (const PriorityLevel& level : priorityLevels) out.levelIds[out.levelCount++] = level.commandId;
    }
    const std::int64_t stretches = sweepStretches(out);
    if (out.hasSweep && (stretches > maxSweepStretches || out.sweepMs / 1000 * stretches > maxDurationSeconds)) {
        say(error, {"option '--sweep' measures at most 16 pairs of a level and a resolution, for at most 31536000 s "
                    "in all"});
        return false;
    }
    if (out.noWindow && !records) {
        say(error, {"option '--no-window' needs somewhere to record the run: '--report', '--log', '--metrics' or "
                    "'--html'"});
        return false;
    }
    // Every --from against the outputs; two --from may name one log.
    const char* names[4 + maxFromLogs] = {"--report", "--log", "--metrics", "--html"};
    const char* paths[4 + maxFromLogs] = {out.reportPath, out.logPath, out.metricsPath, out.htmlPath};
    for (std::int64_t k = 0; k < out.fromCount; ++k) {
        names[4 + k] = "--from";
        paths[4 + k] = out.fromPaths[k];
    }
    const auto pathCount = static_cast<std::size_t>(4 + out.fromCount);
    // A device takes a log (NUL, CON), never a file replaced whole; a folder
    // is nothing to write or read. Said before the same-file check, which
    // would find NUL and NUL one file.
    for (std::size_t k = 0; k < pathCount; ++k) {
        const PathKind kind = paths[k] != nullptr ? kindOfPath(paths[k]) : PathKind::none;
        const bool wholeFile = k == 0 || k == 2 || k == 3;
        if (kind == PathKind::folder || (kind == PathKind::device && wholeFile)) {
            say(error, {"option '", names[k], "': '", paths[k], kind == PathKind::folder ? "' is a folder" : "' is a device, not a file"});
            return false;
        }
    }
    // Compared as the system resolves them, so that a typo in the case or
    // another spelling of the log cannot make an output write over it.
    for (std::size_t a = 0; a < pathCount && a < 4; ++a) {
        for (std::size_t b = a + 1; b < pathCount; ++b) {
            if (paths[a] != nullptr && paths[b] != nullptr && samePathOrTemporary(paths[a], paths[b])) {
                say(error, {"options '", names[a], "' and '", names[b], "' name the same file",
                            sameFile(paths[a], paths[b]) ? "" : " (one is the other's temporary or lock file)", ": '", paths[a],
                            "' and '", paths[b], "'"});
                return false;
            }
        }
    }
    return true;
}

std::int64_t sweepStretches(const CommandLine& options) {
    return options.hasSweep ? options.levelCount * (options.hasResolutions ? options.resolutionCount : 1) : 0;
}

std::int64_t sweepPlannedMs(const CommandLine& options) { return sweepStretches(options) * options.sweepMs; }

bool optionTakesValue(const char* argument) {
    std::size_t nameLength = 0;
    const std::size_t index = findOption(argument, nameLength);
    return index < optionCount && options[index].needs != nullptr;
}
