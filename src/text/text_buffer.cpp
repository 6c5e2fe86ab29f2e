#include "text/text_buffer.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

#include "text/utc.h"

bool makeTextBuffer(TextBuffer& text, std::size_t capacity) {
    text = TextBuffer{};
    text.data = static_cast<char*>(std::malloc(capacity + 1));
    if (text.data == nullptr) return false;
    text.capacity = capacity;
    text.data[0] = '\0';
    return true;
}

void freeTextBuffer(TextBuffer& text) {
    std::free(text.data);
    text = TextBuffer{};
}

void clearText(TextBuffer& text) {
    text.size = 0;
    text.overflowed = false;
    if (text.data != nullptr) text.data[0] = '\0';
}

void appendText(TextBuffer& text, const char* data, std::size_t length) {
    const std::size_t room = text.capacity - text.size;
    if (length > room) {
        text.overflowed = true;
        length = room;
    }
    if (length == 0) return;
    std::memcpy(text.data + text.size, data, length);
    text.size += length;
    text.data[text.size] = '\0';
}

void appendText(TextBuffer& text, const char* zeroTerminated) {
    appendText(text, zeroTerminated, std::strlen(zeroTerminated));
}

void appendChar(TextBuffer& text, char c) {
    appendText(text, &c, 1);
}

void appendInteger(TextBuffer& text, std::int64_t value) {
    char digits[24];
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, value);
    appendText(text, digits, static_cast<std::size_t>(result.ptr - digits));
}

char* formatInteger(char* out, std::int64_t value) {
    char* end = std::to_chars(out, out + 24, value).ptr;
    *end = '\0';
    return end;
}

void appendExactDecimal(TextBuffer& text, std::int64_t value, std::int64_t unit) {
    // As many decimals as the last nonzero digit of the fraction needs;
    // appendDecimal then divides exactly and has nothing to round.
    int decimals = 0;
    for (std::int64_t step = unit; step > 1 && value % step != 0; step /= 10) ++decimals;
    if (decimals == 0) {
        appendInteger(text, value / unit);
    } else {
        appendDecimal(text, value, unit, decimals);
    }
}

void appendDecimal(TextBuffer& text, std::int64_t numerator, std::int64_t denominator, int decimals) {
    std::uint64_t scale = 1;
    for (int k = 0; k < decimals; ++k) scale *= 10;
    const bool negative = numerator < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(numerator) : static_cast<std::uint64_t>(numerator);
    const auto divisor = static_cast<std::uint64_t>(denominator);
    std::uint64_t whole = magnitude / divisor;
    // The remainder is below the divisor, so remainder * scale fits while
    // the divisor is below 2^64 / 10^6.
    std::uint64_t part = (magnitude % divisor * scale + divisor / 2) / divisor;
    if (part == scale) {
        ++whole;
        part = 0;
    }
    if (negative && (whole != 0 || part != 0)) appendChar(text, '-');
    char digits[24];
    std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, whole);
    appendText(text, digits, static_cast<std::size_t>(result.ptr - digits));
    appendChar(text, '.');
    result = std::to_chars(digits, digits + sizeof digits, part);
    const auto length = static_cast<int>(result.ptr - digits);
    for (int k = length; k < decimals; ++k) appendChar(text, '0');
    appendText(text, digits, static_cast<std::size_t>(length));
}

void appendUtc(TextBuffer& text, std::int64_t utcMs) {
    char utc[utcTextCapacity];
    formatUtc(utcMs, utc);
    appendText(text, utc);
}

std::size_t wholeCharacters(const char* text, std::size_t length) {
    // The last lead byte among the final four tells how long its character
    // is; a character with fewer bytes than that after it was cut.
    for (std::size_t back = 1; back <= 4 && back <= length; ++back) {
        const auto c = static_cast<unsigned char>(text[length - back]);
        if ((c & 0xC0) == 0x80) continue;
        const std::size_t needed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return needed > back ? length - back : length;
    }
    return length;
}

void joinText(char* out, std::size_t capacity, std::initializer_list<const char*> pieces) {
    std::size_t length = 0;
    bool cut = false;
    for (const char* piece : pieces) {
        const char* p = piece;
        for (; *p != '\0' && length + 1 < capacity; ++p) out[length++] = *p;
        cut = cut || *p != '\0';
    }
    if (cut) length = wholeCharacters(out, length);
    out[length] = '\0';
}

void appendJsonString(TextBuffer& text, const char* zeroTerminated) {
    static const char hex[] = "0123456789abcdef";
    appendChar(text, '"');
    for (const char* p = zeroTerminated; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            appendChar(text, '\\');
            appendChar(text, *p);
        } else if (c < 0x20) {
            const char escaped[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            appendText(text, escaped, sizeof escaped);
        } else {
            appendChar(text, *p);
        }
    }
    appendChar(text, '"');
}

namespace {

// One character of a format's text and what it is written as.
struct Replacement {
    char from;
    const char* to;
};

constexpr Replacement htmlReplacements[] = {
    {'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&#39;"}};
constexpr Replacement labelReplacements[] = {{'\\', "\\\\"}, {'"', "\\\""}, {'\n', "\\n"}};

template <std::size_t count>
void appendReplacing(TextBuffer& text, const char* zeroTerminated, const Replacement (&table)[count]) {
    for (const char* p = zeroTerminated; *p != '\0'; ++p) {
        const char* to = nullptr;
        for (const Replacement& r : table) {
            if (r.from == *p) to = r.to;
        }
        if (to != nullptr) {
            appendText(text, to);
        } else {
            appendChar(text, *p);
        }
    }
}

}  // namespace

void appendHtmlText(TextBuffer& text, const char* zeroTerminated) {
    appendReplacing(text, zeroTerminated, htmlReplacements);
}

void appendLabelValue(TextBuffer& text, const char* zeroTerminated) {
    appendReplacing(text, zeroTerminated, labelReplacements);
}
