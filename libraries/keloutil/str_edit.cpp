// SPDX-License-Identifier: MIT
// Editing the text of string records, and lists held in one string: all on
// the UTF-8 text, where character indexes step from lead byte to lead byte
// and byte offsets count bytes.
#include <keloutil/c_str.h>
#include <keloutil/memory.h>

#include <climits>
#include <cstring>
#include <string>
#include <string_view>

#include "c_str_internal.h"
#include "guarded.h"

using namespace keloutil::text;
using keloutil::resize;

namespace {

using byte = unsigned char;

// Byte-wise comparison as strcmp makes it (bytes unsigned), with a null
// text before every other one, an empty one included.
int32_t compare_texts(bool a_null, std::string_view a, bool b_null, std::string_view b) {
    if (a_null || b_null) return a_null == b_null ? 0 : (a_null ? -1 : 1);
    const int result = a.compare(b);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

// Bytes of the first n characters (all of them when there are fewer).
size_t leading_characters_size(std::string_view text, int32_t n) {
    size_t offset = 0;
    for (; n > 0 && offset < text.size(); --n) offset += character_size(text, offset);
    return offset;
}

int32_t character_count(std::string_view text) {
    int32_t count = 0;
    for (size_t offset = 0; offset < text.size(); offset += character_size(text, offset)) ++count;
    return count;
}

// The separator text of a list operation: none for a NULL or null record.
std::string_view separator_of(const str_t* separator) { return text_of(separator); }

bool begins_with(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Makes sure the buffer holds at least `size` bytes, growing it to exactly
// that size when it is smaller.
bool reserve(str_t* s, int64_t size) {
    if (size > INT32_MAX) return false;
    return s->capacity >= size || resize(s, static_cast<int32_t>(size));
}

// Appends `length` bytes and a terminator; the bytes may lie in s's own
// buffer. Returns the new length, or 0 when growing fails.
int32_t append_bytes(str_t* s, const char* bytes, size_t length) {
    const int32_t old_length = str_len(s);
    const bool inside = s->buffer != nullptr && bytes >= s->buffer && bytes < s->buffer + s->capacity;
    const ptrdiff_t offset = inside ? bytes - s->buffer : 0;
    if (!reserve(s, int64_t{old_length} + static_cast<int64_t>(length) + 1)) return 0;
    if (inside) bytes = s->buffer + offset;
    std::memmove(s->buffer + old_length, bytes, length);
    s->buffer[old_length + static_cast<int32_t>(length)] = '\0';
    return old_length + static_cast<int32_t>(length);
}

} // namespace

extern "C" {

// ---- appending and comparing -----------------------------------------------

int32_t str_cat_utf8_limit(str_t* destination, const char* text, int32_t n) {
    if (destination == nullptr) return 0;
    if (destination->buffer == nullptr) {
        if (text == nullptr) return 0;
        str_utf8_set(destination, text);
        str_truncate(destination, n);
        return str_len(destination);
    }
    if (text == nullptr || text[0] == '\0') return str_len(destination);
    const std::string_view view(text, std::strlen(text));
    return append_bytes(destination, text, leading_characters_size(view, n));
}

int32_t str_cat(str_t* destination, const str_t* source) {
    if (destination == nullptr) return 0;
    if (source == nullptr || source->buffer == nullptr) return str_len(destination);
    // Appending all of the source's characters is appending all of its bytes.
    if (destination->buffer == nullptr) {
        const std::string_view text = text_of(source);
        assign(destination, text);
        return str_len(destination);
    }
    const int32_t length = str_len(source);
    if (length == 0) return str_len(destination);
    return append_bytes(destination, source->buffer, static_cast<size_t>(length));
}

int32_t str_utf8_cat_limit(str_t* destination, const char* text, int32_t n) {
    if (n > 0) str_cat_utf8_limit(destination, text, n);
    return 0;
}

int32_t str_cmp(const str_t* a, const str_t* b) {
    return compare_texts(str_null(a), text_of(a), str_null(b), text_of(b));
}

int32_t str_utf8_cmp(const str_t* s, const char* text) {
    return compare_texts(str_null(s), text_of(s), text == nullptr, text != nullptr ? text : "");
}

int32_t str_ascii_cmp(const str_t* s, const char* text) { return str_utf8_cmp(s, text); }

// ---- cutting and padding ---------------------------------------------------

str_t* str_left(const str_t* s, int32_t n) {
    if (s == nullptr) return nullptr;
    const std::string_view text = text_of(s);
    const size_t end = n < 0 ? text.size() : leading_characters_size(text, n);
    return new_string(text.substr(0, end));
}

str_t* str_right(const str_t* s, int32_t n) {
    if (str_null(s)) return nullptr;
    const std::string_view text = text_of(s);
    const int32_t count = character_count(text);
    if (n < 0 || n > count) return new_string(text);
    return new_string(text.substr(character_offset(text, count - n)));
}

str_t* str_mid(const str_t* s, int32_t start, int32_t length) {
    if (str_null(s)) return nullptr;
    const std::string_view text = text_of(s);
    const size_t offset = character_offset(text, start);
    if (offset == std::string_view::npos) return nullptr;
    return new_string(text.substr(offset, length < 0 ? std::string_view::npos : static_cast<size_t>(length)));
}

char* str_truncate(str_t* s, int32_t n) {
    const size_t offset = character_offset(text_of(s), n);
    if (str_null(s) || offset == std::string_view::npos) return nullptr;
    end_text(s, offset);
    return s->buffer + offset;
}

str_t* str_pad(const str_t* unit, int32_t n) {
    return keloutil::guarded<str_t*>(nullptr, [&]() -> str_t* {
        const std::string_view text = text_of(unit);
        if (text.empty()) return new_string("", 0);
        std::string padded(text);
        // Whole copies of the unit until the length reaches n, as repeated
        // appending would give, in one allocation.
        if (n > 0) {
            const size_t copies = (static_cast<size_t>(n) + text.size() - 1) / text.size();
            padded.reserve(copies * text.size());
            for (size_t i = 1; i < copies; ++i) padded += text;
        }
        if (padded.size() > static_cast<size_t>(n < 0 ? 0 : n))
            padded.resize(leading_characters_size(padded, n < 0 ? 0 : n));
        return new_string(padded);
    });
}

int32_t str_at(const str_t* s, int32_t i) {
    const std::string_view text = text_of(s);
    const size_t offset = character_offset(text, i);
    if (offset == std::string_view::npos || offset >= text.size()) return 0;
    return static_cast<signed char>(text[offset]);
}

} // extern "C"

// ---- lists -----------------------------------------------------------------

bool keloutil::text::push_item(str_t* list, const str_t* item, const str_t* separator) noexcept {
    return keloutil::guarded<bool>(false, [&]() -> bool {
        if (list == nullptr || str_empty(item)) return true;
        if (list->buffer == nullptr) {
            assign(list, text_of(item));
            return list->buffer != nullptr;
        }
        // Copies, because the item or the separator may be the list itself.
        const std::string item_text(text_of(item));
        const std::string separator_text(separator_of(separator));
        std::string_view piece = item_text;
        bool separator_first = false;
        if (!separator_text.empty()) {
            // Exactly one separator joins the two.
            const bool list_has = ends_with(text_of(list), separator_text);
            const bool item_has = begins_with(item_text, separator_text);
            if (list_has && item_has) piece.remove_prefix(separator_text.size());
            separator_first = !list_has && !item_has;
        }
        const int64_t needed = int64_t{str_len(list)} + static_cast<int64_t>(separator_text.size() + item_text.size()) + 1;
        if (!reserve(list, needed)) return false;
        if (separator_first) append_bytes(list, separator_text.data(), separator_text.size());
        append_bytes(list, piece.data(), piece.size());
        return true;
    });
}

extern "C" {

void str_push(str_t* list, const str_t* item, const str_t* separator) { push_item(list, item, separator); }

void str_unshift(str_t* list, const str_t* item, const str_t* separator) {
    keloutil::guarded([&] {
        if (list == nullptr || str_empty(item)) return;
        if (list->buffer == nullptr) {
            assign(list, text_of(item));
            return;
        }
        const std::string separator_text(separator_of(separator));
        std::string prefix(text_of(item));
        if (!separator_text.empty()) {
            const bool item_has = ends_with(prefix, separator_text);
            const bool list_has = begins_with(text_of(list), separator_text);
            if (item_has && list_has) prefix.resize(prefix.size() - separator_text.size());
            if (!item_has && !list_has) prefix += separator_text;
        }
        const int32_t length = str_len(list);
        if (!reserve(list, int64_t{length} + static_cast<int64_t>(separator_text.size() + text_of(item).size()) + 1))
            return;
        std::memmove(list->buffer + prefix.size(), list->buffer, static_cast<size_t>(length));
        std::memcpy(list->buffer, prefix.data(), prefix.size());
        end_text(list, prefix.size() + static_cast<size_t>(length));
    });
}

// The common end of shifting and popping when no separator is found: the
// whole text is the item and the list becomes null. In all of them an item
// that cannot be made leaves the list as it was, so nothing is lost.
static str_t* take_whole_list(str_t* list, int32_t* separator) {
    if (separator != nullptr) *separator = 0;
    if (str_len(list) == 0) return nullptr;
    str_t* item = new_string(text_of(list));
    if (item != nullptr) str_clear(list);
    return item;
}

str_t* str_shift(str_t* list, const str_t* separators, int32_t* separator) {
    if (list == nullptr || list->buffer == nullptr) return nullptr;
    const std::string_view text = text_of(list);
    const ByteSet set(text_of(separators));
    size_t found = 0;
    while (found < text.size() && !set.has(text[found])) ++found;
    if (found == text.size()) return take_whole_list(list, separator);
    str_t* item = new_string(text.substr(0, found));
    if (item == nullptr) return nullptr;
    if (separator != nullptr) *separator = static_cast<signed char>(text[found]);
    size_t rest = found;
    while (rest < text.size() && set.has(text[rest])) ++rest;
    std::memmove(list->buffer, list->buffer + rest, text.size() - rest);
    end_text(list, text.size() - rest);
    return item;
}

str_t* str_pop(str_t* list, const str_t* separators, int32_t* separator) {
    if (list == nullptr || list->buffer == nullptr) return nullptr;
    const std::string_view text = text_of(list);
    const ByteSet set(text_of(separators));
    size_t found = text.size();
    while (found > 0 && !set.has(text[found - 1])) --found;
    if (found == 0) return take_whole_list(list, separator);
    --found; // the separator's offset
    str_t* item = new_string(text.substr(found + 1));
    if (item == nullptr) return nullptr;
    if (separator != nullptr) *separator = static_cast<signed char>(text[found]);
    while (found > 0 && set.has(text[found - 1])) --found;
    list->buffer[found] = '\0';
    return item;
}

str_t* str_shift_str(str_t* list, const str_t* separator) {
    if (list == nullptr || list->buffer == nullptr) return nullptr;
    const std::string_view text = text_of(list);
    const std::string_view separator_text = separator_of(separator);
    if (separator_text.empty()) {
        // Found at the start: nothing before it, and the list is left empty.
        str_t* item = new_string("", 0);
        if (item != nullptr) list->buffer[0] = '\0';
        return item;
    }
    const size_t found = text.find(separator_text);
    if (found == std::string_view::npos) {
        str_t* item = new_string(text);
        if (item != nullptr) str_clear(list);
        return item;
    }
    str_t* item = new_string(text.substr(0, found));
    if (item == nullptr) return nullptr;
    const size_t rest = found + separator_text.size();
    std::memmove(list->buffer, list->buffer + rest, text.size() - rest);
    end_text(list, text.size() - rest);
    return item;
}

str_t* str_pop_str(str_t* list, const str_t* separator) {
    if (list == nullptr || list->buffer == nullptr) return nullptr;
    const std::string_view text = text_of(list);
    const std::string_view separator_text = separator_of(separator);
    // An occurrence at offset 0 does not count.
    const size_t found = text.size() > separator_text.size() ? text.rfind(separator_text) : std::string_view::npos;
    if (found == std::string_view::npos || found == 0) {
        str_t* item = new_string(text);
        if (item != nullptr) str_clear(list);
        return item;
    }
    str_t* item = new_string(text.substr(found + separator_text.size()));
    if (item == nullptr) return nullptr;
    std::memset(list->buffer + found, 0, static_cast<size_t>(list->capacity) - found);
    return item;
}

// ---- replacing -------------------------------------------------------------

int32_t str_replace(str_t* s, const str_t* search, const str_t* replacement) {
    return keloutil::guarded<int32_t>(1, [&]() -> int32_t {
        const std::string_view pattern = text_of(search);
        if (s == nullptr || pattern.empty()) return 1;
        const std::string_view text = text_of(s);
        if (text.empty()) {
            str_clear(s); // an empty or null string ends null
            return 1;
        }
        const std::string_view with = text_of(replacement);
        std::string result;
        size_t from = 0;
        for (size_t found; (found = text.find(pattern, from)) != std::string_view::npos; from = found + pattern.size()) {
            result.append(text, from, found - from);
            result += with;
        }
        if (from == 0) return 1; // no occurrence
        result.append(text, from);
        // The pieces were appended to a fresh string, which ends with exactly
        // the room its text needs. It takes the place of the old text only once
        // it is made, so a text that cannot be rebuilt stays as it was.
        str_t* rebuilt = new_string(result);
        if (rebuilt == nullptr) return 1;
        str_clear(s);
        *s = *rebuilt;
        memory_free(rebuilt); // the record only: s holds its buffer now
        return 1;
    });
}

str_t* str_replace_all(const str_t* s, const str_t* separators, const str_t* joiner) {
    str_t* result = str_init();
    if (result == nullptr) return nullptr;
    // The pieces between runs of separator bytes, pushed one by one; only the
    // first piece can be empty, and pushing drops it.
    const std::string_view text = text_of(s);
    const ByteSet set(text_of(separators));
    StrOwner piece(str_init());
    bool made = piece.s != nullptr; // false once memory runs out: NULL, not a part of the text
    for (size_t start = 0; made && start < text.size();) {
        size_t end = start;
        while (end < text.size() && !set.has(text[end])) ++end;
        assign(piece.s, text.substr(start, end - start));
        made = piece.s->buffer != nullptr && push_item(result, piece.s, joiner);
        while (end < text.size() && set.has(text[end])) ++end;
        start = end;
    }
    if (!made) {
        str_uninit(result);
        return nullptr;
    }
    return result;
}

} // extern "C"
