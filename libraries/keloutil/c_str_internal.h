// Internal to the library: what the files of the string module share, and
// what the classes need of it beyond its exported functions.
#ifndef KELOUTIL_C_STR_INTERNAL_H
#define KELOUTIL_C_STR_INTERNAL_H

#include <keloutil/c_str.h>

#include <cstdint>
#include <cstring>
#include <string_view>

namespace keloutil {

// The length of the UTF-8 sequence that a lead byte announces, which is
// where the string module's characters begin and end. ASCII bytes and stray
// continuation bytes count 1.
inline int32_t utf8_sequence_length(unsigned char lead) {
    if ((lead & 0xFC) == 0xFC) return 6;
    if ((lead & 0xF8) == 0xF8) return 5;
    if ((lead & 0xF0) == 0xF0) return 4;
    if ((lead & 0xE0) == 0xE0) return 3;
    if ((lead & 0xC0) == 0xC0) return 2;
    return 1;
}

// The length of a NUL-terminated text, or -1 when it does not fit a length.
inline int32_t length_of(const char* text) {
    const size_t length = std::strlen(text);
    return length > INT32_MAX ? -1 : static_cast<int32_t>(length);
}

// Whether `encoding` is one of the six the conversions know.
bool known_encoding(int32_t encoding);
// Bytes of the terminator that ends a text in `encoding`: one code unit;
// 0 for an unknown encoding.
int32_t terminator_size(int32_t encoding);

// Whether conversions take the direct loops for the common encoding pairs
// (the default) or go character by character through the encoding table.
// The per-character path is the reference that the tests hold the direct
// loops to.
void set_direct_conversions(bool enabled);
bool direct_conversions();

// Grows (or shrinks) the buffer to `size` bytes, keeping the text and
// zero-filling what is new. Leaves the record unchanged and returns false
// when the allocation fails.
bool resize(str_t* s, int32_t size);

// A record made from text, or NULL when it holds none: a string made from
// text is null only when its buffer could not be had, and the functions
// that return new text report running out of memory by NULL rather than by
// a null string. A null record is released.
str_t* text_or_null(str_t* s);

// Reading a record's text out in one encoding, as str_get, the cstr family
// and the *_alloc functions do: first the measure, then the conversion into
// a destination of at least that size.
//
// The measure is that of the whole buffer, so UTF-8 needs capacity + 1
// bytes. Only the text up to its terminator is read: decoding never takes a
// character's bytes from behind the terminator (a last sequence that the
// terminator cuts short ends the text, like the terminator itself), and
// UTF-8 is the text as it is followed by zero bytes up to the measure.
class ReadOut {
public:
    ReadOut(const str_t* s, int32_t encoding);

    // Bytes the conversion needs, terminator included; 0 when the text
    // cannot be converted or the encoding is unknown.
    int32_t measure() const { return measure_; }
    // Converts into `destination` of `size` bytes; false on failure.
    bool into(void* destination, int32_t size) const;

private:
    const char* buffer_;
    int32_t encoding_;
    int32_t length_;  // bytes of the text that are read
    int32_t measure_;
};

// The helpers of the functions that work on a record's UTF-8 text.
namespace text {

// The bytes of the text before its terminator; empty for a null string.
// Bounded by the capacity, as str_len is: a caller may have filled the
// buffer through str_buffer without leaving a terminator. Every operation
// takes the text through here rather than reading up to a NUL.
inline std::string_view text_of(const str_t* s) {
    if (s == nullptr || s->buffer == nullptr) return {};
    return std::string_view(s->buffer, static_cast<size_t>(str_len(s)));
}

// Ends the text after `length` bytes; a text that fills the whole buffer
// ends with the buffer.
inline void end_text(str_t* s, size_t length) {
    if (length < static_cast<size_t>(s->capacity)) s->buffer[length] = '\0';
}

// A new string holding `length` bytes of UTF-8 copied as they are; NULL
// when memory runs out.
inline str_t* new_string(const char* bytes, size_t length) {
    return text_or_null(str_from(bytes, static_cast<int32_t>(length), STR_ENC_UTF8));
}

inline str_t* new_string(std::string_view text) { return new_string(text.data(), text.size()); }

// Replaces the text of `s` with `text` (which must not point into s).
inline void assign(str_t* s, std::string_view text) {
    str_set(s, text.data(), static_cast<int32_t>(text.size()), STR_ENC_UTF8);
}

// Bytes of the character that starts at text[i], never passing the end.
inline size_t character_size(std::string_view text, size_t i) {
    if (static_cast<unsigned char>(text[i]) < 0x80) return 1; // ASCII, the common case
    const size_t announced = static_cast<size_t>(utf8_sequence_length(static_cast<unsigned char>(text[i])));
    return announced < text.size() - i ? announced : text.size() - i;
}

// Byte offset of character `index` (the text's size for index = the
// character count), or npos when index is negative or beyond the end.
inline size_t character_offset(std::string_view text, int32_t index) {
    if (index < 0) return std::string_view::npos;
    size_t offset = 0;
    for (; index > 0; --index) {
        if (offset >= text.size()) return std::string_view::npos;
        offset += character_size(text, offset);
    }
    return offset;
}

// A set of separator bytes: every byte of a text is a member.
class ByteSet {
public:
    explicit ByteSet(std::string_view bytes) {
        for (char c : bytes) members_[static_cast<unsigned char>(c)] = true;
    }
    bool has(char c) const { return members_[static_cast<unsigned char>(c)]; }

private:
    bool members_[256] = {};
};

// An owner for temporaries of the string module.
struct StrOwner {
    str_t* s;
    explicit StrOwner(str_t* owned) : s(owned) {}
    StrOwner(const StrOwner&) = delete;
    StrOwner& operator=(const StrOwner&) = delete;
    ~StrOwner() { str_uninit(s); }
};


} // namespace text

} // namespace keloutil

#endif // KELOUTIL_C_STR_INTERNAL_H
