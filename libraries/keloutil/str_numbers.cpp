// SPDX-License-Identifier: MIT
// Numbers to and from text, substitution of arguments into placeholders,
// and the hash of a string.
#include <keloutil/c_str.h>
#include <keloutil/memory.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "c_str_internal.h"
#include "guarded.h"

using namespace keloutil::text;

namespace {

using byte = unsigned char;

constexpr char digit_set[] = "0123456789abcdefghijklmnopqrstuvwxyz";

// The text of `value` in `base` (a base outside 2..36 means 10): its digits
// with a leading '-' when negative, written at the end of `digits`.
std::string_view integer_text(int64_t value, int32_t base, char (&digits)[66]) {
    if (base < 2 || base > 36) base = 10;
    // Unsigned arithmetic gives the one value without a positive
    // counterpart, -9223372036854775808, its digits too.
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    size_t start = sizeof digits;
    do {
        digits[--start] = digit_set[magnitude % static_cast<uint64_t>(base)];
        magnitude /= static_cast<uint64_t>(base);
    } while (magnitude != 0);
    if (value < 0) digits[--start] = '-';
    return std::string_view(digits + start, sizeof digits - start);
}

// The value of an ASCII digit in `base`, or -1.
int digit_value(char c, int32_t base) {
    int value = 36;
    if (c >= '0' && c <= '9') value = c - '0';
    if (c >= 'a' && c <= 'z') value = c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') value = c - 'A' + 10;
    return value < base ? value : -1;
}

bool is_number_space(char c) { return c == ' ' || c == '\t' || c == '\n'; }

void set_ok(int32_t* ok, bool value) {
    if (ok != nullptr) *ok = value ? 1 : 0;
}

// The pattern with every occurrence of its lowest placeholder replaced by
// the field: the argument padded with `fill` to |width| bytes, before it
// for a positive width and after it otherwise. The result is measured
// first and written straight into the buffer of the new string, which
// gets the record and the buffer that new_string of the same text gives.
str_t* substitute(const str_t* pattern, std::string_view argument, int32_t width, char fill) {
    if (pattern == nullptr || pattern->buffer == nullptr) return str_init();
    const std::string_view text = text_of(pattern);
    // A '%' consumes the character after it, so "%%1" holds no placeholder.
    char lowest = 0;
    size_t occurrences = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '%') continue;
        const char next = text[++i];
        if (next < '1' || next > '9' || (lowest != 0 && next > lowest)) continue;
        if (next != lowest) occurrences = 0;
        lowest = next;
        ++occurrences;
    }
    if (lowest == 0) return new_string(text);

    // The fill character is one ASCII byte; other bytes read as ASCII give '?'.
    const char fill_byte = fill == 0 ? ' ' : (static_cast<byte>(fill) >= 0x80 ? '?' : fill);
    const uint64_t field_width = width < 0 ? uint64_t{0} - static_cast<uint64_t>(width) : static_cast<uint64_t>(width);
    const size_t padding = field_width > argument.size() ? static_cast<size_t>(field_width) - argument.size() : 0;
    const uint64_t size = (text.size() - 2 * occurrences) + uint64_t{occurrences} * (argument.size() + padding);

    str_t* result = str_init();
    // A text without room for its terminator in a 32-bit capacity leaves
    // the string null, as setting it would.
    if (result == nullptr || size >= INT32_MAX) return result;
    char* out = static_cast<char*>(memory_allocate(static_cast<uint32_t>(size) + 1)); // zero-filled: terminated
    if (out == nullptr) {
        str_uninit(result);
        return nullptr;
    }
    result->buffer = out;
    result->capacity = static_cast<int32_t>(size) + 1;
    const auto write = [&out](std::string_view bytes) {
        if (bytes.empty()) return; // an empty argument may have no data pointer
        std::memcpy(out, bytes.data(), bytes.size());
        out += bytes.size();
    };
    const auto pad = [&out, fill_byte, padding] {
        std::memset(out, fill_byte, padding);
        out += padding;
    };
    size_t copied = 0; // where the pattern text not yet copied starts
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (text[i + 1] == lowest) {
            write(text.substr(copied, i - copied));
            if (width > 0) pad();
            write(argument);
            if (width <= 0) pad();
            copied = i + 2;
        }
        ++i; // the character after a '%' is never a placeholder start
    }
    write(text.substr(copied));
    return result;
}

} // namespace

extern "C" {

// ---- numbers ---------------------------------------------------------------

str_t* str_from_huge(int64_t value, int32_t base) {
    char digits[66];
    const std::string_view text = integer_text(value, base, digits);
    return keloutil::text_or_null(str_from(text.data(), static_cast<int32_t>(text.size()), STR_ENC_ASCII));
}

str_t* str_from_long(int32_t value, int32_t base) { return str_from_huge(value, base); }
str_t* str_from_int(int32_t value, int32_t base) { return str_from_huge(value, base); }

str_t* str_from_double(double value, char format, int32_t precision) {
    if (std::strchr("fFeEgG", format) == nullptr || format == '\0') format = 'f';
    char pattern[8] = "%";
    if (precision >= 0) std::snprintf(pattern + 1, 4, ".%d", precision > 99 ? 99 : precision);
    const size_t length = std::strlen(pattern);
    pattern[length] = 'l';
    pattern[length + 1] = format;
    pattern[length + 2] = '\0';
    char text[512]; // the longest: 309 integer digits and 99 decimals
    const int written = std::snprintf(text, sizeof text, pattern, value);
    return keloutil::text_or_null(str_from(text, written < 0 ? 0 : written, STR_ENC_ASCII));
}

str_t* str_from_float(float value, char format, int32_t precision) {
    return str_from_double(value, format, precision);
}

int64_t str_to_huge(const str_t* s, int32_t* ok, int32_t base) {
    set_ok(ok, false);
    if (str_null(s) || base < 2 || base > 36) return 0;
    const std::string_view text = text_of(s);
    size_t i = 0;
    while (i < text.size() && is_number_space(text[i])) ++i;
    if (i == text.size()) return 0;
    const bool negative = text[i] == '-';
    if (text[i] == '-' || text[i] == '+') ++i;
    if (i == text.size() || digit_value(text[i], base) < 0) return 0;

    const uint64_t limit = static_cast<uint64_t>(INT64_MAX) / static_cast<uint64_t>(base);
    const uint64_t last_digit = static_cast<uint64_t>(INT64_MAX) % static_cast<uint64_t>(base) + (negative ? 1 : 0);
    uint64_t value = 0;
    for (int digit; i < text.size() && (digit = digit_value(text[i], base)) >= 0; ++i) {
        if (value > limit || (value == limit && static_cast<uint64_t>(digit) > last_digit)) return 0;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    while (i < text.size() && is_number_space(text[i])) ++i;
    if (i != text.size()) return 0;
    set_ok(ok, true);
    return negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
}

int32_t str_to_long(const str_t* s, int32_t* ok, int32_t base) {
    int32_t parsed = 0;
    const int64_t value = str_to_huge(s, &parsed, base);
    const bool fits = parsed != 0 && value >= INT32_MIN && value <= INT32_MAX;
    set_ok(ok, fits);
    return fits ? static_cast<int32_t>(value) : 0;
}

int32_t str_to_int(const str_t* s, int32_t* ok, int32_t base) { return str_to_long(s, ok, base); }

double str_to_double(const str_t* s, int32_t* ok) {
    set_ok(ok, false); // until a number is read
    return keloutil::guarded<double>(0.0, [&]() -> double {
        if (str_null(s)) {
            set_ok(ok, false);
            return 0.0;
        }
        const std::string text(text_of(s)); // strtod reads up to a NUL
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        set_ok(ok, !text.empty() && *end == '\0');
        return value;
    });
}

float str_to_float(const str_t* s, int32_t* ok) { return static_cast<float>(str_to_double(s, ok)); }

// ---- argument substitution -------------------------------------------------

str_t* str_arg_str(const str_t* pattern, const str_t* argument, int32_t width, char fill) {
    return substitute(pattern, text_of(argument), width, fill);
}

// The typed variants pass the text that the argument's own string would
// hold, made on the stack: str_from(&c, 1, STR_ENC_ASCII) holds c, '?' for
// a byte of 0x80 or above, or nothing for 0; str_from_long holds the
// ASCII digits of integer_text.
str_t* str_arg_char(const str_t* pattern, char c, int32_t width, char fill) {
    const char ascii = static_cast<byte>(c) < 0x80 ? c : '?';
    return substitute(pattern, std::string_view(&ascii, c != '\0' ? 1 : 0), width, fill);
}

str_t* str_arg_long(const str_t* pattern, int32_t value, int32_t width, int32_t base, char fill) {
    char digits[66];
    return substitute(pattern, integer_text(value, base, digits), width, fill);
}

str_t* str_arg_int(const str_t* pattern, int32_t value, int32_t width, int32_t base, char fill) {
    return str_arg_long(pattern, value, width, base, fill);
}

str_t* str_arg_double(const str_t* pattern, double value, int32_t width, char format, int32_t precision,
                      char fill) {
    StrOwner argument(str_from_double(value, format, precision));
    if (argument.s == nullptr) return nullptr; // out of memory
    return substitute(pattern, text_of(argument.s), width, fill);
}

str_t* str_arg_float(const str_t* pattern, float value, int32_t width, char format, int32_t precision,
                     char fill) {
    return str_arg_double(pattern, value, width, format, precision, fill);
}

uint32_t str_hash(const str_t* s) {
    const std::string_view text = text_of(s);
    if (text.size() >= 5) {
        uint32_t hash;
        std::memcpy(&hash, text.data(), 4);
        return hash;
    }
    uint32_t hash = 0;
    for (char c : text) hash = hash << 8 | static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
    return hash;
}

} // extern "C"
