// The comparison's runs and their context, and its notices: machines, timer resolutions, the limit.
#include <cstddef>
#include <cstdint>

#include "compare/compare_parts.h"

namespace {

void appendTextOr(TextBuffer& out, const char* text, const char* otherwise) {
    appendHtmlText(out, text != nullptr && text[0] != '\0' ? text : otherwise);
}

void appendPrioritySteps(TextBuffer& out, const PriorityHistory& priority) {
    if (!priority.startKnown) {
        appendText(out, "priority not in the log");
        return;
    }
    appendText(out, "priority ");
    appendHtmlText(out, priority.start.level);
    for (std::int64_t k = 0; k < priority.listed; ++k) {
        appendText(out, k == 0 ? ", then " : ", ");
        appendHtmlText(out, priority.changes[k].level);
        appendText(out, " at ");
        appendUtc(out, priority.changes[k].atUtcMs);
    }
}

// A run's context: its file, its time, its priority, the machine, the program.
void appendContext(TextBuffer& out, const ComparedRun& run) {
    appendHtmlText(out, run.file);
    if (run.timed) {
        appendText(out, ", ");
        appendUtc(out, run.fromUtcMs);
        appendText(out, " to ");
        appendUtc(out, run.toUtcMs);
    }
    appendText(out, "; ");
    appendPrioritySteps(out, run.priority);
    appendText(out, "; machine ");
    if (!run.machineKnown) {
        appendText(out, "not in the log");
    } else {
        appendTextOr(out, run.machine.name, "unknown");
        // What is known of it, in parentheses.
        const char* const parts[] = {run.machine.windows, run.machine.processor, run.machine.powerPlan};
        const char* const labels[] = {"Windows ", "", "power plan "};
        const char* separator = " (";
        for (std::size_t k = 0; k < 3; ++k) {
            if (parts[k][0] == '\0') continue;
            appendText(out, separator);
            appendText(out, labels[k]);
            appendHtmlText(out, parts[k]);
            separator = ", ";
        }
        if (separator[0] == ',') appendChar(out, ')');
    }
    appendRunResolutions(out, run);
    appendText(out, "; Vantrel ");
    appendTextOr(out, run.version, "of a version that wrote no notes");
}

}  // namespace

void appendComparedRuns(TextBuffer& out, const Comparison& c) {
    if (c.byLevel) {
        appendText(out, "<p>The levels of one run: ");
        appendContext(out, c.runs[0]);
        appendText(out, ". The first period of each core after a change is not judged (it began under the level "
                        "before).</p>\n");
    }
    appendText(out, "<ol id=\"compared-runs\">");
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        const ComparedRun& run = c.runs[r];
        appendText(out, "<li data-run=\"");
        appendHtmlText(out, run.name);
        appendText(out, "\"><b>");
        appendHtmlText(out, run.name);
        appendText(out, "</b>");
        if (c.runCount > 1 && r == c.baseline) appendText(out, " (the baseline)");
        appendText(out, ": ");
        if (c.byLevel) {
            appendText(out, "measured ");
            if (run.timed) {
                appendText(out, "from ");
                appendUtc(out, run.fromUtcMs);
                appendText(out, " to ");
                appendUtc(out, run.toUtcMs);
            } else {
                appendText(out, "no judged event");
            }
        } else {
            appendContext(out, run);
        }
        if (run.crossed) appendText(out, " <b>\xe2\x9c\x97 later than the limit</b>");
        appendText(out, "</li>");
    }
    appendText(out, "</ol>\n");
}

void appendComparisonWarnings(TextBuffer& out, const Comparison& c) {
    if (c.differentMachines) {
        appendText(out, "<p class=\"notice\" id=\"different-machines\">\xe2\x9a\xa0 These runs come from different "
                        "machines (or Windows versions): ");
        for (std::int64_t r = 0; r < c.runCount; ++r) {
            if (r > 0) appendText(out, ", ");
            appendHtmlText(out, c.runs[r].name);
            appendText(out, " on ");
            appendTextOr(out, c.runs[r].machineKnown ? c.runs[r].machine.name : "", "an unknown machine");
        }
        appendText(out, ". What differs may be the machines, not what changed between the runs.</p>\n");
    }
    appendResolutionWarning(out, c);
    if (c.failAboveUs < 0) return;
    bool crossed = false;
    for (std::int64_t r = 0; r < c.runCount; ++r) crossed = crossed || c.runs[r].crossed;
    appendText(out, crossed ? "<p class=\"verdict crossed\" id=\"verdict\">\xe2\x9c\x97 Later than the limit of "
                            : "<p class=\"verdict passed\" id=\"verdict\">\xe2\x9c\x93 No event later than the limit of ");
    appendDecimal(out, c.failAboveUs, 1000, 3);
    appendText(out, " ms");
    const char* separator = " in ";
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        if (!c.runs[r].crossed) continue;
        appendText(out, separator);
        appendHtmlText(out, c.runs[r].name);
        separator = ", ";
    }
    appendText(out, crossed ? "</p>\n" : " in any run</p>\n");
}
