#include "app/options.h"

#include <charconv>

static const char* const durationNeeds = "a number of seconds greater than 0 and at most 31536000";
static const char* const failAboveNeeds = "a whole number of milliseconds from 0 to 9223372036854775807";
static const char* const pathNeeds = "a path";

// Decimal seconds to whole milliseconds, exactly from the text and rounded
// up, so that a tiny duration never becomes 0.
static bool parseDuration(const std::string& text, std::int64_t& ms) {
    if (text.find_first_not_of("0123456789.") != std::string::npos) return false;
    const std::size_t dot = text.find('.');
    if (dot != std::string::npos && text.find('.', dot + 1) != std::string::npos) return false;
    const std::string whole = text.substr(0, dot);
    const std::string fraction = dot == std::string::npos ? std::string() : text.substr(dot + 1);
    if (whole.empty() && fraction.empty()) return false;

    std::int64_t seconds = 0;
    if (!whole.empty()) {
        const std::from_chars_result result = std::from_chars(whole.data(), whole.data() + whole.size(), seconds);
        if (result.ec != std::errc() || seconds > maxDurationSeconds) return false;
    }
    std::string thousandths = fraction.substr(0, 3);
    thousandths.resize(3, '0');
    std::int64_t partMs = 0;
    std::from_chars(thousandths.data(), thousandths.data() + 3, partMs);
    const bool belowMs = fraction.size() > 3 && fraction.find_first_not_of('0', 3) != std::string::npos;
    ms = seconds * 1000 + partMs + (belowMs ? 1 : 0);
    return ms > 0 && ms <= maxDurationSeconds * 1000;
}

static bool parseMilliseconds(const std::string& text, std::int64_t& ms) {
    if (text.find_first_not_of("0123456789") != std::string::npos) return false;
    const std::from_chars_result result = std::from_chars(text.data(), text.data() + text.size(), ms);
    return result.ec == std::errc();
}

bool parseCommandLine(int argc, const char* const* argv, CommandLine& out, std::string& error) {
    out = CommandLine{};
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        if (argument.compare(0, 2, "--") != 0) {
            error = "unexpected argument '" + argument + "'";
            return false;
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const bool valueAttached = equals != std::string::npos;

        bool* given = nullptr;
        const char* needs = nullptr;
        if (name == "--help") {
            given = &out.help;
        } else if (name == "--version") {
            given = &out.version;
        } else if (name == "--report") {
            given = &out.hasReport;
            needs = pathNeeds;
        } else if (name == "--log") {
            given = &out.hasLog;
            needs = pathNeeds;
        } else if (name == "--duration") {
            given = &out.hasDuration;
            needs = durationNeeds;
        } else if (name == "--fail-above") {
            given = &out.hasFailAbove;
            needs = failAboveNeeds;
        } else {
            error = "unknown option '" + name + "'";
            return false;
        }
        if (*given) {
            error = "option '" + name + "' is given twice";
            return false;
        }
        *given = true;

        if (needs == nullptr) {
            if (valueAttached) {
                error = "option '" + name + "' takes no value, not '" + argument.substr(equals + 1) + "'";
                return false;
            }
            continue;
        }
        std::string value;
        if (valueAttached) {
            value = argument.substr(equals + 1);
        } else if (k + 1 < argc) {
            value = argv[++k];
        } else {
            error = "option '" + name + "' needs " + needs;
            return false;
        }
        bool good = !value.empty();
        if (good && name == "--report") out.reportPath = value;
        if (good && name == "--log") out.logPath = value;
        if (good && name == "--duration") good = parseDuration(value, out.durationMs);
        if (good && name == "--fail-above") good = parseMilliseconds(value, out.failAboveMs);
        if (!good) {
            error = "option '" + name + "' needs ";
            error += needs;
            error += ", not '" + value + "'";
            return false;
        }
    }
    return true;
}

const char* usageText() {
    return "Usage: vantrel [options]\n"
           "Measures how late window timer messages arrive on each processor core.\n"
           "\n"
           "  --report PATH       write a JSON report at start, every 5 s and at the end\n"
           "  --log PATH          write every timer event of every core to a CSV file\n"
           "  --duration SECONDS  close after SECONDS (more than 0, at most 31536000; decimals allowed)\n"
           "  --fail-above MS     end with exit code 3 if any event was more than MS ms late\n"
           "  --help              show this text and exit\n"
           "  --version           show the version and exit\n"
           "\n"
           "Exit codes:\n"
           "  0  normal end\n"
           "  2  bad command line, or a report or log file that cannot be created\n"
           "  3  an event was later than --fail-above\n";
}
