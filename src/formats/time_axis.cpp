// Steps of the time axis: a table of round lengths up to a week, then whole
// months and years, so a log whose clock jumped by decades still gets a
// handful of labels.
#include "formats/time_axis.h"

#include "formats/report_format.h"
#include "text/utc.h"

static const std::int64_t fixedStepsMs[] = {1000,     2000,     5000,     10000,    15000,     30000,    60000,
                                            120000,   300000,   600000,   900000,   1800000,   3600000,  7200000,
                                            10800000, 21600000, 43200000, 86400000, 172800000, 604800000};
static const std::int64_t monthSteps[] = {1, 2, 3, 6, 12};
constexpr std::int64_t msPerDay = 86400000;
// The shortest month: a calendar step is never shorter than this many days
// per month, so counting with it never gives too few steps.
constexpr std::int64_t shortestMonthMs = 28 * msPerDay;

TimeStep chooseTimeStep(std::int64_t spanMs) {
    for (const std::int64_t step : fixedStepsMs) {
        if (spanMs / step < timeLabelsMost) return TimeStep{step, 0};
    }
    for (const std::int64_t months : monthSteps) {
        if (spanMs / (months * shortestMonthMs) < timeLabelsMost) return TimeStep{0, months};
    }
    // Years: 1, 2, 5 times a power of ten.
    for (std::int64_t decade = 12;; decade *= 10) {
        for (const std::int64_t factor : {2, 5, 10}) {
            if (spanMs / (factor * decade * shortestMonthMs) < timeLabelsMost) return TimeStep{0, factor * decade};
        }
    }
}

// Months since the start of year 0 of the month holding `utcMs`.
static std::int64_t monthIndexOf(std::int64_t utcMs) {
    char utc[utcTextCapacity];
    formatUtc(utcMs, utc);
    std::int64_t year = 0;
    for (int k = 0; k < 4; ++k) year = year * 10 + (utc[k] - '0');
    const std::int64_t month = std::int64_t{10} * (utc[5] - '0') + (utc[6] - '0');
    return year * 12 + month - 1;
}

static std::int64_t utcOfMonth(std::int64_t monthIndex) {
    return daysFromCivil(monthIndex / 12, monthIndex % 12 + 1, 1) * msPerDay;
}

std::int64_t firstTimeTick(std::int64_t utcMs, const TimeStep& step) {
    if (step.months == 0) {
        // Whole days fall at midnight UTC.
        std::int64_t tick = (utcMs / step.ms) * step.ms;
        return tick < utcMs ? tick + step.ms : tick;
    }
    std::int64_t month = (monthIndexOf(utcMs) / step.months) * step.months;
    while (utcOfMonth(month) < utcMs) month += step.months;
    return utcOfMonth(month);
}

std::int64_t nextTimeTick(std::int64_t tickUtcMs, const TimeStep& step) {
    if (step.months == 0) return tickUtcMs + step.ms;
    return utcOfMonth(monthIndexOf(tickUtcMs) + step.months);
}

void appendTimeLabel(TextBuffer& out, std::int64_t tickUtcMs, const TimeStep& step, std::int64_t spanMs) {
    char utc[utcTextCapacity];
    formatUtc(tickUtcMs, utc);
    // "2026-12-07T14:03:12.345Z": year from 0, month-day from 5, hours from 11.
    if (step.months > 0) {
        appendText(out, utc, step.months % 12 == 0 ? 4 : 7);
    } else if (spanMs >= msPerDay) {
        appendText(out, utc + 5, 5);
        if (step.ms < msPerDay) {
            appendChar(out, ' ');
            appendText(out, utc + 11, 5);
        }
    } else {
        appendText(out, utc + 11, step.ms < 60000 ? 8 : 5);
    }
}

std::int64_t timeLabelChars(const TimeStep& step, std::int64_t spanMs) {
    if (step.months > 0) return step.months % 12 == 0 ? 4 : 7;
    if (spanMs >= msPerDay) return step.ms < msPerDay ? 11 : 5;
    return step.ms < 60000 ? 8 : 5;
}
