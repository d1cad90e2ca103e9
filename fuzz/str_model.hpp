// SPDX-License-Identifier: MIT
// A reference model of the string operations, in plain std::string code,
// written from the documented behaviour rather than from the library's
// code. The fuzz targets run the library and this model side by side and
// compare the texts, the null states and the results.
//
// A model string is null or holds the bytes of a text before its
// terminator. Results that the library returns as new records are a
// std::optional: nullopt stands for a NULL pointer.
#ifndef KELOUTIL_FUZZ_STR_MODEL_HPP
#define KELOUTIL_FUZZ_STR_MODEL_HPP

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace model {

struct Str {
    bool null = true;
    std::string text;

    bool operator==(const Str& other) const { return null == other.null && text == other.text; }
    bool operator!=(const Str& other) const { return !(*this == other); }
};

using Result = std::optional<Str>; // nullopt: a NULL pointer

inline Str null() { return Str{}; }
inline Str of(std::string text) { return Str{false, std::move(text)}; }

// The text of a record given by pointer: empty for NULL and for a null string.
inline std::string text_of(const Str* s) { return s != nullptr && !s->null ? s->text : std::string(); }
inline bool is_null(const Str* s) { return s == nullptr || s->null; }

// The bytes before the first NUL, as a record holds them.
inline std::string up_to_nul(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

// ---- characters: lead byte to lead byte, never past the end -------------------

inline size_t announced_length(unsigned char b) {
    if ((b & 0xFC) == 0xFC) return 6;
    if ((b & 0xF8) == 0xF8) return 5;
    if ((b & 0xF0) == 0xF0) return 4;
    if ((b & 0xE0) == 0xE0) return 3;
    if ((b & 0xC0) == 0xC0) return 2;
    return 1;
}

// Byte offsets at which the characters of the text start.
inline std::vector<size_t> starts(const std::string& t) {
    std::vector<size_t> out;
    for (size_t i = 0; i < t.size(); i += announced_length(static_cast<unsigned char>(t[i]))) out.push_back(i);
    return out;
}

inline int32_t count(const std::string& t) { return static_cast<int32_t>(starts(t).size()); }

// Offset of character i; the text's size for i equal to the count; npos
// beyond it or for a negative i.
inline size_t offset(const std::string& t, int64_t i) {
    const std::vector<size_t> s = starts(t);
    if (i < 0 || i > static_cast<int64_t>(s.size())) return std::string::npos;
    return i == static_cast<int64_t>(s.size()) ? t.size() : s[static_cast<size_t>(i)];
}

inline bool begins_with(const std::string& t, const std::string& p) { return t.rfind(p, 0) == 0; }
inline bool ends_with(const std::string& t, const std::string& p) {
    return t.size() >= p.size() && t.compare(t.size() - p.size(), p.size(), p) == 0;
}

// ---- appending and comparing ----------------------------------------------------

inline int32_t cat(Str& d, const Str* s) {
    if (is_null(s)) return static_cast<int32_t>(d.text.size());
    d.text = d.null ? s->text : d.text + s->text;
    d.null = false;
    return static_cast<int32_t>(d.text.size());
}

// Appending the first n characters of a text (n >= 0). A null destination
// takes the whole text and is then cut to n characters.
inline int32_t cat_limit(Str& d, const std::string& text, int32_t n) {
    const size_t end = offset(text, n);
    d.text = (d.null ? std::string() : d.text) + (end == std::string::npos ? text : text.substr(0, end));
    d.null = false;
    return static_cast<int32_t>(d.text.size());
}

inline int32_t cmp(const Str* a, const Str* b) {
    if (is_null(a) || is_null(b)) return is_null(a) == is_null(b) ? 0 : (is_null(a) ? -1 : 1);
    const int r = a->text.compare(b->text); // std::string compares bytes as unsigned char
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

// ---- cutting and padding ----------------------------------------------------------

inline Result left(const Str* s, int32_t n) {
    if (s == nullptr) return std::nullopt;
    const size_t end = offset(s->text, n);
    return of(end == std::string::npos ? s->text : s->text.substr(0, end));
}

inline Result right(const Str* s, int32_t n) {
    if (is_null(s)) return std::nullopt;
    const int32_t c = count(s->text);
    if (n < 0 || n > c) return of(s->text);
    return of(s->text.substr(offset(s->text, c - n)));
}

// start >= 0.
inline Result mid(const Str* s, int32_t start, int32_t length) {
    if (is_null(s)) return std::nullopt;
    const size_t from = offset(s->text, start);
    if (from == std::string::npos) return std::nullopt;
    return of(s->text.substr(from, length < 0 ? std::string::npos : static_cast<size_t>(length)));
}

// n >= 0. Returns whether the text had at least n characters (the library
// then returns the new end, else NULL).
inline bool truncate(Str& s, int32_t n) {
    if (s.null) return false;
    const size_t at = offset(s.text, n);
    if (at == std::string::npos) return false;
    s.text.resize(at);
    return true;
}

// n >= 0.
inline Str pad(const Str* unit, int32_t n) {
    const std::string u = text_of(unit);
    if (u.empty()) return of("");
    std::string out = u;
    while (out.size() < static_cast<size_t>(n)) out += u;
    const size_t end = offset(out, n); // npos when there are fewer than n characters
    if (out.size() > static_cast<size_t>(n) && end != std::string::npos) out.resize(end);
    return of(out);
}

inline int32_t at(const Str* s, int32_t i) {
    const std::string t = text_of(s);
    const size_t o = offset(t, i);
    if (is_null(s) || o == std::string::npos || o >= t.size()) return 0;
    return static_cast<signed char>(t[o]);
}

// ---- lists ----------------------------------------------------------------------

inline void push(Str& list, const Str* item, const Str* separator) {
    const std::string piece = text_of(item), sep = text_of(separator);
    if (piece.empty()) return;
    if (list.null) {
        list = of(piece);
        return;
    }
    if (sep.empty()) {
        list.text += piece;
    } else if (ends_with(list.text, sep)) {
        list.text += begins_with(piece, sep) ? piece.substr(sep.size()) : piece;
    } else {
        list.text += begins_with(piece, sep) ? piece : sep + piece;
    }
}

inline void unshift(Str& list, const Str* item, const Str* separator) {
    const std::string piece = text_of(item), sep = text_of(separator);
    if (piece.empty()) return;
    if (list.null) {
        list = of(piece);
        return;
    }
    const bool item_has = !sep.empty() && ends_with(piece, sep);
    const bool list_has = !sep.empty() && begins_with(list.text, sep);
    if (item_has && list_has) {
        list.text = piece.substr(0, piece.size() - sep.size()) + list.text;
    } else if (!sep.empty() && !item_has && !list_has) {
        list.text = piece + sep + list.text;
    } else {
        list.text = piece + list.text;
    }
}

// The end of shifting and popping when no separator byte is found.
inline Result take_whole(Str& list, int32_t* out) {
    if (out != nullptr) *out = 0;
    if (list.text.empty()) return std::nullopt;
    const Str item = list;
    list = null();
    return item;
}

inline Result shift(Str& list, const Str* set, int32_t* out) {
    if (list.null) return std::nullopt;
    const std::string bytes = text_of(set), t = list.text;
    const size_t i = t.find_first_of(bytes);
    if (bytes.empty() || i == std::string::npos) return take_whole(list, out);
    if (out != nullptr) *out = static_cast<signed char>(t[i]);
    size_t j = i;
    while (j < t.size() && bytes.find(t[j]) != std::string::npos) ++j;
    list.text = t.substr(j);
    return of(t.substr(0, i));
}

inline Result pop(Str& list, const Str* set, int32_t* out) {
    if (list.null) return std::nullopt;
    const std::string bytes = text_of(set), t = list.text;
    const size_t i = bytes.empty() ? std::string::npos : t.find_last_of(bytes);
    if (i == std::string::npos) return take_whole(list, out);
    if (out != nullptr) *out = static_cast<signed char>(t[i]);
    size_t j = i;
    while (j > 0 && bytes.find(t[j - 1]) != std::string::npos) --j;
    list.text = t.substr(0, j);
    return of(t.substr(i + 1));
}

// A NULL or null separator counts as the empty text.
inline Result shift_str(Str& list, const Str* separator) {
    if (list.null) return std::nullopt;
    const std::string sep = text_of(separator), t = list.text;
    if (sep.empty()) { // found at the start, and the list is left empty
        list.text.clear();
        return of("");
    }
    const size_t i = t.find(sep);
    if (i == std::string::npos) {
        list = null();
        return of(t);
    }
    list.text = t.substr(i + sep.size());
    return of(t.substr(0, i));
}

inline Result pop_str(Str& list, const Str* separator) {
    if (list.null) return std::nullopt;
    const std::string sep = text_of(separator), t = list.text;
    // From the last position at which the separator fits down to 1.
    for (size_t p = t.size() >= sep.size() ? t.size() - sep.size() : 0; p >= 1 && t.size() >= sep.size(); --p) {
        if (t.compare(p, sep.size(), sep) == 0) {
            list.text = t.substr(0, p);
            return of(t.substr(p + sep.size()));
        }
    }
    list = null();
    return of(t);
}

// ---- replacing --------------------------------------------------------------------

inline void replace(Str& s, const Str* search, const Str* replacement) {
    const std::string pattern = text_of(search), with = text_of(replacement);
    if (pattern.empty()) return;
    if (s.text.empty()) {
        s = null();
        return;
    }
    std::string out;
    size_t i = 0;
    while (i < s.text.size()) {
        if (s.text.compare(i, pattern.size(), pattern) == 0) {
            out += with;
            i += pattern.size();
        } else {
            out += s.text[i++];
        }
    }
    s.text = out;
}

// Shift items off a copy by the set and push them onto a new null string.
inline Str replace_all(const Str* s, const Str* set, const Str* joiner) {
    Str copy = is_null(s) ? null() : *s;
    Str result;
    while (!copy.text.empty()) {
        const Result item = shift(copy, set, nullptr);
        if (item) push(result, &*item, joiner);
    }
    return result;
}

// ---- searching and transforming ---------------------------------------------------

// Changes the ASCII letters at lead-byte positions.
inline std::string change_case(std::string t, char first, char last) {
    for (size_t i : starts(t))
        if (t[i] >= first && t[i] <= last) t[i] = static_cast<char>(t[i] ^ 0x20);
    return t;
}
inline std::string upper(const std::string& t) { return change_case(t, 'a', 'z'); }
inline std::string lower(const std::string& t) { return change_case(t, 'A', 'Z'); }

inline int32_t find(const Str* haystack, const std::string* needle, int32_t start, bool case_sensitive) {
    if (is_null(haystack) || needle == nullptr) return -1;
    const size_t from = offset(haystack->text, start);
    if (from == std::string::npos) return -1;
    const std::string h = case_sensitive ? haystack->text : upper(haystack->text);
    const std::string n = case_sensitive ? *needle : upper(*needle);
    for (size_t i = from; i + n.size() <= h.size(); ++i)
        if (h.compare(i, n.size(), n) == 0) return static_cast<int32_t>(i);
    return -1;
}

// The innermost span that ends first: walking forward from start, the
// first closing occurrence that has an opening occurrence beginning before
// it (at or after start), with the last such opening.
inline int32_t find_span(const std::string& t, const std::string& open, const std::string& close, int32_t* length,
                         int64_t start) {
    if (start < 0) return -1;
    const auto occurs = [&t](size_t i, const std::string& p) {
        return i + p.size() <= t.size() && t.compare(i, p.size(), p) == 0;
    };
    std::optional<size_t> last_open;
    for (size_t p = static_cast<size_t>(start); p <= t.size(); ++p) {
        if (last_open && occurs(p, close)) {
            *length = static_cast<int32_t>(p + close.size() - *last_open);
            return static_cast<int32_t>(*last_open);
        }
        if (occurs(p, open)) last_open = p;
    }
    return -1;
}

inline bool is_white(char c) { return c == ' ' || (c >= 9 && c <= 13); }

// Characters whose lead byte is white space are one byte long; every other
// character is kept whole. Simplifying joins the runs of other characters
// with single spaces.
inline std::string trim(const std::string& t, bool simplify) {
    bool in_word = false;
    std::string gap;
    std::string out;
    for (size_t i : starts(t)) {
        const std::string c = t.substr(i, announced_length(static_cast<unsigned char>(t[i])));
        if (is_white(c[0])) {
            if (in_word) gap += c[0];
            continue;
        }
        if (in_word && !gap.empty()) out += simplify ? std::string(" ") : gap;
        gap.clear();
        out += c;
        in_word = true;
    }
    return out;
}

inline uint32_t hash(const Str* s) {
    const std::string t = text_of(s);
    if (t.size() >= 5) {
        return uint32_t{static_cast<unsigned char>(t[0])} | uint32_t{static_cast<unsigned char>(t[1])} << 8 |
               uint32_t{static_cast<unsigned char>(t[2])} << 16 | uint32_t{static_cast<unsigned char>(t[3])} << 24;
    }
    uint32_t h = 0;
    for (char c : t) h = h << 8 | static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
    return h;
}

// ---- numbers ----------------------------------------------------------------------

inline int32_t valid_base(int32_t base) { return base < 2 || base > 36 ? 10 : base; }

inline std::string from_huge(int64_t v, int32_t base) {
    base = valid_base(base);
    const bool negative = v < 0;
    // The magnitude in 128 bits holds -9223372036854775808 too.
    __int128 m = v;
    if (negative) m = -m;
    std::string digits;
    do {
        digits.insert(digits.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[static_cast<int>(m % base)]);
        m /= base;
    } while (m != 0);
    return negative ? "-" + digits : digits;
}

inline int digit(char c, int32_t base) {
    int v = 99;
    if (c >= '0' && c <= '9') v = c - '0';
    if (c >= 'a' && c <= 'z') v = c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') v = c - 'A' + 10;
    return v < base ? v : -1;
}

// The number in the text; nullopt where the ok flag is false.
inline std::optional<int64_t> to_huge(const Str* s, int32_t base) {
    if (is_null(s) || base < 2 || base > 36) return std::nullopt;
    const std::string& t = s->text;
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    size_t i = 0;
    while (i < t.size() && space(t[i])) ++i;
    const bool negative = i < t.size() && t[i] == '-';
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
    if (i == t.size() || digit(t[i], base) < 0) return std::nullopt;
    // The documented overflow rule: before adding digit d, a value above
    // MAX / base, or equal to it with d above MAX % base (+ 1 when
    // negative), overflows. (It refuses -2^63 in the bases that divide 2^63,
    // where the value before the last digit is MAX / base + 1.)
    const uint64_t limit = uint64_t{INT64_MAX} / static_cast<uint64_t>(base);
    const uint64_t last = uint64_t{INT64_MAX} % static_cast<uint64_t>(base) + (negative ? 1 : 0);
    uint64_t v = 0;
    for (; i < t.size() && digit(t[i], base) >= 0; ++i) {
        const auto d = static_cast<uint64_t>(digit(t[i], base));
        if (v > limit || (v == limit && d > last)) return std::nullopt;
        v = v * static_cast<uint64_t>(base) + d;
    }
    while (i < t.size() && space(t[i])) ++i;
    if (i != t.size()) return std::nullopt;
    return negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
}

inline std::optional<int32_t> to_long(const Str* s, int32_t base) {
    const std::optional<int64_t> v = to_huge(s, base);
    if (!v || *v < INT32_MIN || *v > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(*v);
}

inline std::string from_double(double v, char format, int32_t precision) {
    if (format == 0 || std::string("fFeEgG").find(format) == std::string::npos) format = 'f';
    std::string pattern = "%";
    if (precision >= 0) pattern += "." + std::to_string(precision > 99 ? 99 : precision);
    pattern += 'l';
    pattern += format;
    char out[512];
    const int n = std::snprintf(out, sizeof out, pattern.c_str(), v);
    return std::string(out, n < 0 ? 0 : static_cast<size_t>(n));
}

// ---- argument substitution ----------------------------------------------------------

inline Str arg(const Str* pattern, const std::string& argument, int32_t width, char fill) {
    if (is_null(pattern)) return null();
    const std::string& t = pattern->text;
    const char fill_byte = fill == 0 ? ' ' : (static_cast<unsigned char>(fill) >= 0x80 ? '?' : fill);
    const int64_t w = width < 0 ? -int64_t{width} : int64_t{width};
    const std::string padding(w > static_cast<int64_t>(argument.size()) ? static_cast<size_t>(w) - argument.size() : 0,
                              fill_byte);
    const std::string field = width > 0 ? padding + argument : argument + padding;
    char lowest = 0;
    for (size_t i = 0; i + 1 < t.size(); ++i) {
        if (t[i] != '%') continue;
        const char d = t[++i];
        if (d >= '1' && d <= '9' && (lowest == 0 || d < lowest)) lowest = d;
    }
    if (lowest == 0) return *pattern;
    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '%' && i + 1 < t.size()) {
            if (t[i + 1] == lowest) out += field;
            else out += t.substr(i, 2);
            ++i;
        } else {
            out += t[i];
        }
    }
    return of(out);
}

// ---- escapes ----------------------------------------------------------------------

// One code point written by the UTF-8 encoder: values from 0x200000 on as '?'.
inline std::string utf8_of(uint32_t c) {
    if (c >= 0x200000) return "?";
    if (c < 0x80) return std::string(1, static_cast<char>(c));
    std::string out;
    const int n = c < 0x800 ? 2 : (c < 0x10000 ? 3 : 4);
    for (int i = 0; i < n - 1; ++i, c >>= 6) out.insert(out.begin(), static_cast<char>(0x80 | (c & 0x3F)));
    const unsigned char mark = n == 2 ? 0xC0 : (n == 3 ? 0xE0 : 0xF0);
    out.insert(out.begin(), static_cast<char>(mark | c));
    return out;
}

// Items between runs of the escaped bytes, each joined to the previous one
// by the escape of the first byte of the run between them.
inline Str collapse(const Str& s, const Str* characters) {
    if (s.null) return s;
    const std::string set = "!{}" + text_of(characters);
    const std::string& t = s.text;
    Str out;
    char run_first = 0;
    for (size_t i = 0; i < t.size();) {
        size_t end = i;
        while (end < t.size() && set.find(t[end]) == std::string::npos) ++end;
        if (end > i) {
            if (!out.null) out.text += "!{" + from_huge(static_cast<signed char>(run_first), 16) + "}";
            out.null = false;
            out.text += t.substr(i, end - i);
        }
        if (end < t.size()) run_first = t[end];
        while (end < t.size() && set.find(t[end]) != std::string::npos) ++end;
        i = end;
    }
    return out;
}

inline Str expand(const Str& s) {
    if (s.null) return s;
    const std::string& t = s.text;
    std::string out;
    size_t from = 0;
    for (int32_t length = 0, at; (at = find_span(t, "!{", "}", &length, static_cast<int64_t>(from))) >= 0;) {
        out += t.substr(from, static_cast<size_t>(at) - from);
        const Str digits = of(t.substr(static_cast<size_t>(at) + 2, static_cast<size_t>(length) - 3));
        const int32_t code = to_long(&digits, 16).value_or(0);
        if (code != 0) out += utf8_of(static_cast<uint32_t>(code));
        from = static_cast<size_t>(at + length);
    }
    return of(out + t.substr(from));
}

} // namespace model

#endif // KELOUTIL_FUZZ_STR_MODEL_HPP
