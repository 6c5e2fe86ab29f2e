#include "record/report_format.h"

#include <charconv>
#include <cstring>

#include "engine/sampling.h"

// 0000-01-01T00:00:00.000Z and 9999-12-31T23:59:59.999Z.
constexpr std::int64_t earliestUtcMs = -62167219200000;
constexpr std::int64_t latestUtcMs = 253402300799999;
constexpr std::int64_t msPerDay = 86400000;

// Writes `value` (0 <= value < 10^width) with leading zeros; answers the end.
static char* putPadded(char* out, std::int64_t value, int width) {
    char digits[24];
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, value);
    const auto length = static_cast<int>(result.ptr - digits);
    for (int k = length; k < width; ++k) *out++ = '0';
    std::memcpy(out, digits, static_cast<std::size_t>(length));
    return out + length;
}

void formatUtc(std::int64_t utcMs, char* out) {
    if (utcMs < earliestUtcMs) utcMs = earliestUtcMs;
    if (utcMs > latestUtcMs) utcMs = latestUtcMs;
    // Floor division, so the hours of a day before 1970 still count upwards.
    std::int64_t days = utcMs / msPerDay;
    std::int64_t msOfDay = utcMs % msPerDay;
    if (msOfDay < 0) {
        msOfDay += msPerDay;
        --days;
    }

    // Days to a proleptic Gregorian date in 400-year eras that begin on
    // 1 March, so the leap day is the last day of an era's year.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const std::int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

    char* p = putPadded(out, year, 4);
    *p++ = '-';
    p = putPadded(p, month, 2);
    *p++ = '-';
    p = putPadded(p, day, 2);
    *p++ = 'T';
    p = putPadded(p, msOfDay / 3600000, 2);
    *p++ = ':';
    p = putPadded(p, msOfDay / 60000 % 60, 2);
    *p++ = ':';
    p = putPadded(p, msOfDay / 1000 % 60, 2);
    *p++ = '.';
    p = putPadded(p, msOfDay % 1000, 3);
    *p++ = 'Z';
    *p = '\0';
}

static void appendInteger(std::string& out, std::int64_t value) {
    char digits[24];
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

static void appendUtc(std::string& out, std::int64_t utcMs) {
    char text[utcTextCapacity];
    formatUtc(utcMs, text);
    out += '"';
    out += text;
    out += '"';
}

// numerator / denominator (> 0) with three decimals, half away from zero,
// in integers so that a mean is exact whatever the size of the sum.
static void appendThousandths(std::string& out, std::int64_t numerator, std::int64_t denominator) {
    const bool negative = numerator < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(numerator) : static_cast<std::uint64_t>(numerator);
    const auto divisor = static_cast<std::uint64_t>(denominator);
    std::uint64_t whole = magnitude / divisor;
    std::uint64_t thousandths = (magnitude % divisor * 1000 + divisor / 2) / divisor;
    if (thousandths == 1000) {
        ++whole;
        thousandths = 0;
    }
    if (negative && (whole != 0 || thousandths != 0)) out += '-';
    char digits[24];
    std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, whole);
    out.append(digits, result.ptr);
    out += '.';
    result = std::to_chars(digits, digits + sizeof digits, thousandths);
    out.append(3 - static_cast<std::size_t>(result.ptr - digits), '0');
    out.append(digits, result.ptr);
}

static void appendJsonString(std::string& out, const char* text) {
    out += '"';
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += *p;
        } else if (c < 0x20) {
            char hex[4];
            const std::to_chars_result result = std::to_chars(hex, hex + sizeof hex, c, 16);
            out += "\\u00";
            if (result.ptr - hex < 2) out += '0';
            out.append(hex, result.ptr);
        } else {
            out += *p;
        }
    }
    out += '"';
}

void appendLogHeader(std::string& out) {
    out += "utc,core,late_ms,late_us\n";
}

void appendLogLine(std::string& out, const TimerEvent& event) {
    char text[utcTextCapacity];
    formatUtc(event.utcMs, text);
    out += text;
    out += ',';
    appendInteger(out, event.core);
    out += ',';
    appendInteger(out, event.lateMs);
    out += ',';
    appendInteger(out, event.lateUs);
    out += '\n';
}

static void appendCore(std::string& out, std::int64_t core, const CoreStatistics& s) {
    out += "    {\n      \"core\": ";
    appendInteger(out, core);
    out += ",\n      \"events\": ";
    appendInteger(out, s.events);
    if (s.events == 0) {
        out += ",\n      \"min_ms\": null,\n      \"max_ms\": null,\n      \"mean_ms\": null,\n"
               "      \"max_at_utc\": null,\n      \"min_us\": null,\n      \"max_us\": null,\n"
               "      \"mean_us\": null,\n";
    } else {
        out += ",\n      \"min_ms\": ";
        appendInteger(out, s.minMs);
        out += ",\n      \"max_ms\": ";
        appendInteger(out, s.maxMs);
        out += ",\n      \"mean_ms\": ";
        appendThousandths(out, s.sumMs, s.events);
        out += ",\n      \"max_at_utc\": ";
        appendUtc(out, s.maxAtUtcMs);
        out += ",\n      \"min_us\": ";
        appendInteger(out, s.minUs);
        out += ",\n      \"max_us\": ";
        appendInteger(out, s.maxUs);
        out += ",\n      \"mean_us\": ";
        appendThousandths(out, s.sumUs, s.events);
        out += ",\n";
    }
    out += "      \"histogram\": [";
    for (std::int64_t b = 0; b < histogramBucketCount; ++b) {
        out += b == 0 ? "[" : ", [";
        if (b < histogramBucketCount - 1) {
            appendInteger(out, histogramUpperMs[b]);
        } else {
            out += "null";
        }
        out += ", ";
        appendInteger(out, s.histogram[b]);
        out += ']';
    }
    out += "]\n    }";
}

void formatReport(const ReportData& report, std::string& out) {
    out.clear();
    out += "{\n  \"program\": \"Vantrel\",\n  \"version\": ";
    appendJsonString(out, report.version != nullptr ? report.version : "");
    out += ",\n  \"started_utc\": ";
    appendUtc(out, report.startedUtcMs);
    out += ",\n  \"updated_utc\": ";
    appendUtc(out, report.updatedUtcMs);
    out += report.finished ? ",\n  \"final\": true" : ",\n  \"final\": false";
    out += ",\n  \"seconds\": ";
    appendThousandths(out, report.elapsedMs, 1000);
    out += ",\n  \"period_ms\": ";
    appendInteger(out, timerPeriodMs);
    out += ",\n  \"fail_above_ms\": ";
    if (report.failAboveMs < 0) {
        out += "null";
    } else {
        appendInteger(out, report.failAboveMs);
    }

    out += ",\n  \"cores\": [";
    std::int64_t worst = -1;
    for (std::int64_t c = 0; c < report.coreCount; ++c) {
        const CoreStatistics& s = report.cores[c];
        out += c == 0 ? "\n" : ",\n";
        appendCore(out, c, s);
        if (s.events == 0) continue;
        // Ties go to the earlier time, then to the lower core (seen first).
        const CoreStatistics* w = worst < 0 ? nullptr : &report.cores[worst];
        if (w == nullptr || s.maxMs > w->maxMs || (s.maxMs == w->maxMs && s.maxAtUtcMs < w->maxAtUtcMs)) worst = c;
    }
    out += report.coreCount == 0 ? "],\n" : "\n  ],\n";

    out += "  \"worst\": ";
    if (worst < 0) {
        out += "null";
    } else {
        out += "{\n    \"core\": ";
        appendInteger(out, worst);
        out += ",\n    \"late_ms\": ";
        appendInteger(out, report.cores[worst].maxMs);
        out += ",\n    \"at_utc\": ";
        appendUtc(out, report.cores[worst].maxAtUtcMs);
        out += "\n  }";
    }
    out += ",\n  \"log_dropped\": ";
    appendInteger(out, report.logDropped);
    out += "\n}\n";
}
