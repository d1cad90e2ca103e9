// SPDX-License-Identifier: MIT
// Searching a string's text, changing the case of its letters, trimming its
// white space, and the escapes of str_collapse and str_expand.
#include <keloutil/c_str.h>

#include <cstring>
#include <string>
#include <string_view>

#include "c_str_internal.h"
#include "guarded.h"

using namespace keloutil::text;

namespace {

using byte = unsigned char;

// ASCII white space: space and the bytes 9 to 13.
bool is_white(char c) { return c == ' ' || (c >= 9 && c <= 13); }

// Changes the ASCII letters at lead-byte positions; the bytes that a lead
// byte announces as its continuation are never changed.
void change_case(char* text, size_t length, char from_first, char from_last) {
    const std::string_view view(text, length);
    const auto fold = [from_first, from_last](char c) {
        return c >= from_first && c <= from_last ? static_cast<char>(c ^ 0x20) : c;
    };
    constexpr size_t block = 16;
    for (size_t i = 0; i < length;) {
        // A block of ASCII bytes is a block of one-byte characters, changed
        // in one pass; a block with other bytes is stepped through
        // character by character.
        const size_t end = length - i >= block ? i + block : length;
        byte any = 0;
        for (size_t k = i; k < end; ++k) any |= static_cast<byte>(text[k]);
        if (any < 0x80) {
            for (; i < end; ++i) text[i] = fold(text[i]);
            continue;
        }
        while (i < end) {
            if (static_cast<byte>(text[i]) < 0x80) {
                text[i] = fold(text[i]); // a one-byte character: the only kind that can be a letter
                ++i;
            } else {
                i += character_size(view, i);
            }
        }
    }
}

// Escape syntax of str_collapse and str_expand.
constexpr std::string_view escape_open = "!{";
constexpr std::string_view escape_close = "}";
constexpr std::string_view escaped_always = "!{}";

// The innermost span from `opening` to `closing` that ends first, at or
// after `start`: the first closing occurrence that has an opening before
// it, and the last opening before that closing. Sets *length (opening,
// content and closing) and returns the span's offset, or npos. No closing
// before the first opening has one, so the closing is looked for after it:
// one call reads the text up to that closing at most twice, and a caller
// that resumes after each span reads its text in linear time.
size_t find_span(std::string_view text, std::string_view opening, std::string_view closing, size_t start,
                 size_t* length) {
    const size_t first_open = text.find(opening, start);
    if (first_open == std::string_view::npos) return first_open;
    const size_t end = text.find(closing, first_open + 1);
    if (end == std::string_view::npos) return end;
    const size_t last_open = text.rfind(opening, end - 1); // first_open at the latest
    *length = end + closing.size() - last_open;
    return last_open;
}

} // namespace

extern "C" {

// ---- searching and transforming --------------------------------------------

// The byte offset of `needle` in the haystack at or after character
// `start`, or -1: the body of str_find and str_utf8_find.
static int32_t find_text(const str_t* haystack, std::string_view needle, int32_t start, bool case_sensitive) {
    return keloutil::guarded<int32_t>(-1, [&]() -> int32_t {
        if (str_null(haystack)) return -1;
        const std::string_view text = text_of(haystack);
        const size_t from = character_offset(text, start);
        if (from == std::string_view::npos) return -1;
        size_t found;
        if (case_sensitive) {
            found = text.find(needle, from);
        } else {
            // Both sides folded to upper case as str_upper folds them.
            std::string folded_text(text);
            std::string folded_needle(needle);
            change_case(folded_text.data(), folded_text.size(), 'a', 'z');
            change_case(folded_needle.data(), folded_needle.size(), 'a', 'z');
            found = folded_text.find(folded_needle, from);
        }
        return found == std::string_view::npos ? -1 : static_cast<int32_t>(found);
    });
}

int32_t str_utf8_find(const str_t* haystack, const char* needle, int32_t start, int32_t case_sensitive) {
    return needle != nullptr ? find_text(haystack, needle, start, case_sensitive != 0) : -1;
}

int32_t str_find(const str_t* haystack, const str_t* needle, int32_t start, int32_t case_sensitive) {
    return !str_null(needle) ? find_text(haystack, text_of(needle), start, case_sensitive != 0) : -1;
}

int32_t str_find_span(const str_t* s, const str_t* open, const str_t* close, int32_t* length, int32_t start) {
    if (str_null(s) || str_null(open) || str_null(close) || start < 0) return -1;
    size_t span_length = 0;
    const size_t at = find_span(text_of(s), text_of(open), text_of(close), static_cast<size_t>(start), &span_length);
    if (at == std::string_view::npos) return -1;
    if (length != nullptr) *length = static_cast<int32_t>(span_length);
    return static_cast<int32_t>(at);
}

void str_upper(str_t* s) {
    if (!str_null(s)) change_case(s->buffer, static_cast<size_t>(str_len(s)), 'a', 'z');
}

void str_lower(str_t* s) {
    if (!str_null(s)) change_case(s->buffer, static_cast<size_t>(str_len(s)), 'A', 'Z');
}

// Compacts the text within its buffer: white space at both ends goes and,
// when `simplify` is set, every inner run of it becomes one space. White
// space is ASCII, so white characters are single bytes, while the last
// character kept is kept whole.
static void trim_white(str_t* s, bool simplify) {
    if (str_null(s)) return;
    const std::string_view text = text_of(s);
    char* out = s->buffer;
    size_t written = 0;
    size_t kept_end = 0; // the length up to the end of the last non-white character
    bool pending_space = false;
    for (size_t i = 0; i < text.size();) {
        if (is_white(text[i])) { // an ASCII byte, so a whole character
            pending_space = simplify && written > 0;
            if (!simplify && written > 0) out[written++] = text[i];
            ++i;
            continue;
        }
        // The run of characters up to the next white one, moved at once.
        // Only a byte that starts a character can be white: a white byte
        // that a lead byte announces as its continuation belongs to it.
        const size_t start = i;
        do {
            i += character_size(text, i);
        } while (i < text.size() && !is_white(text[i]));
        if (pending_space) out[written++] = ' ';
        pending_space = false;
        std::memmove(out + written, text.data() + start, i - start);
        written += i - start;
        kept_end = written;
    }
    end_text(s, kept_end);
}

void str_strip_whitespace(str_t* s) { trim_white(s, false); }

void str_simplify_whitespace(str_t* s) { trim_white(s, true); }

void str_collapse(str_t* s, const str_t* characters) {
    keloutil::guarded([&] {
        if (str_null(s)) return;
        const std::string text(text_of(s));
        const ByteSet set(std::string(escaped_always) + std::string(text_of(characters)));
        // Items between runs of escaped bytes, each joined to the one before by
        // the escape of the first byte of the run between them. Runs at the
        // start and at the end vanish.
        StrOwner pattern(str_from_utf8("!{%1}"));
        std::string result;
        bool have_item = false;
        char run_first = 0;
        for (size_t start = 0; start < text.size();) {
            size_t end = start;
            while (end < text.size() && !set.has(text[end])) ++end;
            if (end > start) {
                if (have_item) {
                    StrOwner escape(str_arg_long(pattern.s, static_cast<signed char>(run_first), 0, 16, 0));
                    result += text_of(escape.s);
                }
                result.append(text, start, end - start);
                have_item = true;
            }
            if (end < text.size()) run_first = text[end];
            while (end < text.size() && set.has(text[end])) ++end;
            start = end;
        }
        str_clear(s);
        if (have_item) assign(s, result);
    });
}

void str_expand(str_t* s) {
    keloutil::guarded([&] {
        if (str_null(s)) return;
        const std::string text(text_of(s)); // s itself is rebuilt below
        StrOwner number(str_init());
        std::string result;
        size_t from = 0;
        size_t length = 0;
        for (size_t at; (at = find_span(text, escape_open, escape_close, from, &length)) != std::string_view::npos;
             from = at + length) {
            result.append(text, from, at - from);
            assign(number.s, std::string_view(text).substr(at + escape_open.size(),
                                                           length - escape_open.size() - escape_close.size()));
            const int32_t code = str_to_long(number.s, nullptr, 16); // not a number: 0
            if (code != 0) {
                StrOwner character(str_from(&code, 4, STR_ENC_UTF32));
                result += text_of(character.s);
            }
        }
        result.append(text, from);
        assign(s, result);
    });
}

} // extern "C"
