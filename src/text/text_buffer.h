// Text built into a buffer of fixed capacity, made once before a run starts:
// the report, the log batch, the metrics and the page are all built here, so
// nothing is allocated while the run is measured. A text that does not fit
// is cut and marked, never grown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

struct TextBuffer {
    char* data;
    std::size_t size;
    std::size_t capacity;
    // Something did not fit: the text is incomplete and must not be written.
    bool overflowed;
};

// Allocates `capacity` bytes (plus a terminating zero). Answers false when
// the memory is not there. Before a run only.
bool makeTextBuffer(TextBuffer& text, std::size_t capacity);
void freeTextBuffer(TextBuffer& text);

// Empties it and clears `overflowed`.
void clearText(TextBuffer& text);

void appendText(TextBuffer& text, const char* data, std::size_t length);
void appendText(TextBuffer& text, const char* zeroTerminated);
void appendChar(TextBuffer& text, char c);
void appendInteger(TextBuffer& text, std::int64_t value);
// numerator / denominator (> 0) with `decimals` (1 to 6) decimals, rounded
// half away from zero, in integers: exact whatever the size of the numerator.
void appendDecimal(TextBuffer& text, std::int64_t numerator, std::int64_t denominator, int decimals);
// value / unit (a power of ten, 10 to 10^6) as the shortest exact decimal:
// "10", "0.05", "-0.000017", "2.5". Whole values have no point.
void appendExactDecimal(TextBuffer& text, std::int64_t value, std::int64_t unit);
// Writes `value` and a terminating zero (at most 21 bytes); answers the end.
char* formatInteger(char* out, std::int64_t value);
// "2026-12-07T14:03:12.345Z" (no quotes).
void appendUtc(TextBuffer& text, std::int64_t utcMs);
// Joins `pieces` into `out`, cut to `capacity` bytes with its terminating
// zero (and never inside a UTF-8 character): for short messages in fixed
// arrays.
void joinText(char* out, std::size_t capacity, std::initializer_list<const char*> pieces);

// The length of `text`'s first `length` bytes, shortened so that they do not
// end inside a UTF-8 character: for text cut at a byte count (a path, a
// system message) that then goes into a report or a page, which must stay
// valid UTF-8.
std::size_t wholeCharacters(const char* text, std::size_t length);

// A JSON string with its quotes; control characters escaped.
void appendJsonString(TextBuffer& text, const char* zeroTerminated);
// Text for HTML element content or a quoted attribute: & < > " ' escaped.
void appendHtmlText(TextBuffer& text, const char* zeroTerminated);
// A Prometheus label value, without its quotes: backslash, double quote and
// line feed escaped, as the text format asks; anything else (UTF-8 included)
// as it is.
void appendLabelValue(TextBuffer& text, const char* zeroTerminated);
