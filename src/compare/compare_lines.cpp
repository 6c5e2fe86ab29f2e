// The comparison's lines for the console (compare_page.h): what --from
// prints, the judge's verdicts in words.
#include "compare/compare_page.h"

void appendComparisonVerdictLines(TextBuffer& out, const Comparison& c) {
    appendText(out, "compared ");
    appendInteger(out, c.runCount);
    appendText(out, c.byLevel ? " levels of one run" : c.runCount == 1 ? " run" : " runs");
    if (c.runCount > 1) {
        appendText(out, " against ");
        appendText(out, c.runs[c.baseline].name);
        appendText(out, " (");
        appendText(out, c.runs[c.baseline].file);
        appendChar(out, ')');
    }
    appendText(out, c.fine ? ", the wake-ups deciding where the logs count them" : ", by the timer events");
    appendText(out, ":");
    for (std::int64_t r = 0; r < c.runCount; ++r) {
        appendText(out, r == 0 ? " " : ", ");
        appendText(out, c.runs[r].name);
        if (!c.byLevel) {
            appendText(out, " ");
            appendText(out, c.runs[r].file);
        }
    }
    appendChar(out, '\n');
    for (std::int64_t core = 0; c.runCount > 1 && core < c.coreCount; ++core) {
        appendCoreVerdict(out, c, core);
        appendChar(out, '\n');
    }
}

void appendComparisonLines(TextBuffer& out, const Comparison& c, int exitCode) {
    appendComparisonVerdictLines(out, c);
    appendText(out, "exit ");
    appendInteger(out, exitCode);
    appendText(out, ": ");
    bool crossed = false;
    for (std::int64_t r = 0; r < c.runCount; ++r) crossed = crossed || c.runs[r].crossed;
    if (crossed) {
        appendText(out, "later than the limit of ");
        appendExactDecimal(out, c.failAboveUs, 1000);
        appendText(out, " ms in");
        const char* separator = " ";
        for (std::int64_t r = 0; r < c.runCount; ++r) {
            if (!c.runs[r].crossed) continue;
            appendText(out, separator);
            appendText(out, c.runs[r].name);
            separator = ", ";
        }
        appendText(out, " (the first period after a priority change is not judged)");
    } else if (c.failAboveUs >= 0) {
        appendText(out, "no event over ");
        appendExactDecimal(out, c.failAboveUs, 1000);
        appendText(out, " ms");
    } else {
        appendText(out, "the comparison is complete");
    }
    appendChar(out, '\n');
}

std::size_t comparisonLinesCapacity(std::int64_t runCount, std::int64_t coreCount) {
    const auto runs = static_cast<std::size_t>(runCount < 0 ? 0 : runCount);
    const auto cores = static_cast<std::size_t>(coreCount < 0 ? 0 : coreCount);
    return 2048 + runs * 256 + cores * runs * 400;
}
