// UTC times as ISO 8601 text with milliseconds, written and read back in one
// place so that the two directions cannot drift apart.
#include "text/utc.h"

#include <charconv>
#include <cstring>

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

constexpr std::size_t utcTextLength = 24;  // "2026-12-07T14:03:12.345Z"

// The digits at text[from .. from + count), or -1 when one is not a digit.
static std::int64_t digitsAt(const char* text, std::size_t from, std::size_t count) {
    std::int64_t value = 0;
    for (std::size_t k = from; k < from + count; ++k) {
        if (text[k] < '0' || text[k] > '9') return -1;
        value = value * 10 + (text[k] - '0');
    }
    return value;
}

static bool isLeapYear(std::int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

static std::int64_t daysInMonth(std::int64_t year, std::int64_t month) {
    static const std::int64_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// In 400-year eras that begin on 1 March, as formatUtc counts them the
// other way.
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    const std::int64_t y = month <= 2 ? year - 1 : year;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t monthFromMarch = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool parseUtc(const char* text, std::size_t length, std::int64_t& utcMs) {
    if (length != utcTextLength) return false;
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':' ||
        text[19] != '.' || text[23] != 'Z') {
        return false;
    }
    const std::int64_t year = digitsAt(text, 0, 4);
    const std::int64_t month = digitsAt(text, 5, 2);
    const std::int64_t day = digitsAt(text, 8, 2);
    const std::int64_t hour = digitsAt(text, 11, 2);
    const std::int64_t minute = digitsAt(text, 14, 2);
    const std::int64_t second = digitsAt(text, 17, 2);
    const std::int64_t ms = digitsAt(text, 20, 3);
    if (year < 0 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59 || ms < 0) {
        return false;
    }
    if (day > daysInMonth(year, month)) return false;
    utcMs = daysFromCivil(year, month, day) * 86400000 + ((hour * 60 + minute) * 60 + second) * 1000 + ms;
    return true;
}
