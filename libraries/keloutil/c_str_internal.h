/* SPDX-License-Identifier: MIT */
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

// What a caller knows of a source beyond its length. A record's text is
// bounded by its terminator and holds no zero unit, so the direct loops take
// it whole, without first looking for where it ends; UTF-8 that a measure
// found strictly well-formed is converted without being checked again.
enum class Known { nothing, no_zero_unit, well_formed };

// What a measure found besides the bytes.
struct Measured {
    bool ended_on_nul = false; // it ended at a character 0 that the source decodes to
    bool well_formed = false;  // UTF-8 whose every character is strictly well-formed
};

// str_encoding_requires_bytes, telling besides (when `found` is given) what
// else the measure found.
int32_t requires_bytes(const void* source, int32_t length, int32_t from, int32_t to, Measured* found,
                       Known known = Known::nothing);

// str_encode, for a source of which the caller knows more.
int32_t encode(const void* source, int32_t length, int32_t from, void* destination, int32_t size, int32_t to,
               Known known);

// Whether conversions take the direct loops for the common encoding pairs
// (the default) or go character by character through the encoding table.
// The per-character path is the reference that the tests hold the direct
// loops to.
void set_direct_conversions(bool enabled);
bool direct_conversions();

// str_encode for a caller that tries a destination it already has before
// measuring: converts as str_encode does, between two different encodings,
// and when that succeeded and the measure of the source fits `size` too (it
// counts a character 0 that ends the text besides the terminator), returns
// that measure, telling besides (when ended_on_nul is given) whether the
// text ended on a character 0. Otherwise returns 0 and the last-error record
// stays as it was, so that the measuring that follows records what it would
// have recorded alone.
int32_t encode_if_fits(const void* source, int32_t length, int32_t from, void* destination, int32_t size, int32_t to,
                       Known known = Known::nothing, bool* ended_on_nul = nullptr);

// The direct conversion loops: the common case of a pair of encodings done
// inline rather than character by character through the encoding table.
// Marked UTF-16 is not one of their encodings; the caller passes the byte
// order in effect. Each stops before anything it leaves to the
// per-character path (a character 0, an unusual or malformed character, a
// destination without room for the next character) and says how far it got.
struct DirectProgress {
    int32_t read;    // source bytes consumed
    int32_t written; // destination bytes written
};
// With `well_formed`, the source is UTF-8 known to be strictly well-formed.
DirectProgress convert_direct(const unsigned char* source, int32_t length, int32_t from,
                              unsigned char* destination, int32_t room, int32_t to, bool well_formed);
// Adds to *needed the bytes that the characters read take in `to`, and
// returns the source bytes read.
//
// Both read only the `length` bytes they are given, many at a time. The
// conversion stops before a zero unit, so its caller may give it bytes past
// the source's terminator where they can be read (the rest of a page, or
// of a record's buffer); the measure takes none (see first_zero_unit).
int32_t measure_direct(const unsigned char* source, int32_t length, int32_t from, int32_t to,
                       int64_t* needed);
// The first zero code unit of `unit` bytes (1, 2 or 4) at or after s,
// counting units from s; `end` when no whole unit before end is zero.
// Bytes past that unit (or past end) are never used, and are read only in
// a group of bytes that the text reaches, so that no read can fault
// (str_text_end.cpp).
const unsigned char* first_zero_unit(const unsigned char* s, const unsigned char* end, int unit);
// Helpers of the direct loops that take many characters at a time (the
// encodings as there). A run of ASCII characters at s, sixteen at a time
// (str_convert_ascii.cpp): converted, advancing s and d (false when the
// destination ran out first); counted into *characters, returning where it
// ends.
bool convert_ascii_run(const unsigned char*& s, const unsigned char* end, unsigned char*& d, unsigned char* d_end,
                       int32_t from, int32_t to);
const unsigned char* measure_ascii_run(const unsigned char* s, const unsigned char* end, int32_t from,
                                       int64_t* characters);
// The rest need vector instructions (str_convert_blocks.cpp); without them
// each does nothing. The measures take whole blocks from s, add their
// widths to *count and return where they stopped, at the start of a
// character.
// UTF-8 into a target whose characters below U+10000 take `width` bytes
// and the others `width4`:
const unsigned char* measure_utf8_blocks(const unsigned char* s, const unsigned char* end, int32_t width,
                                         int32_t width4, int64_t* count);
const unsigned char* measure_utf16_blocks(const unsigned char* s, const unsigned char* end, bool big_endian,
                                          int64_t* count);
const unsigned char* measure_utf32_blocks(const unsigned char* s, const unsigned char* end, int64_t* count);
// How far UTF-8 is known to be well-formed ahead of a conversion.
struct Utf8Ahead {
    const unsigned char* checked = nullptr; // well-formed up to here
    unsigned char prev[16] = {};            // the sixteen bytes before `checked`
};
// Checks up to four blocks more from ahead->checked, or from s when that
// is further on (a character starts at s).
void check_utf8_ahead(const unsigned char* s, const unsigned char* end, Utf8Ahead* ahead);
// UTF-16 of the well-formed UTF-8 at s (up to `checked`) while it comes
// five three-byte characters at a time, advancing s and d.
void utf16_three_byte_from_utf8(const unsigned char*& s, const unsigned char* checked, unsigned char*& d,
                                unsigned char* d_end, bool big_endian);
// UTF-8 of the UTF-16 units at s while they come eight at a time all from
// U+0800 to U+FFFF or all from U+0001 to U+07FF, advancing s and d.
void utf8_from_utf16_blocks(const unsigned char*& s, const unsigned char* end, unsigned char*& d,
                            unsigned char* d_end, bool big_endian);
// UTF-8 of the UTF-32 units at s while they come eight at a time from
// U+0800 to U+FFFF.
void utf8_three_byte_from_utf32(const unsigned char*& s, const unsigned char* end, unsigned char*& d,
                                unsigned char* d_end);
// True when no UTF-8 sequence starting in the last bytes of the text
// announces more bytes than are left, so that stepping from lead byte to
// lead byte ends exactly at `length`.
bool utf8_tail_complete(const unsigned char* text, int32_t length);

// Bytes of a record's text that a read-out decodes (str_record.cpp).
int32_t decodable_length(const str_t* s);

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
    // With a destination of `size` bytes that has room for anything the
    // text can give, the conversion is done into it while measuring. A
    // `scratch` destination is the caller's own, which may be written
    // whatever the outcome.
    ReadOut(const str_t* s, int32_t encoding, void* destination = nullptr, int32_t size = 0, bool scratch = false);

    // Bytes the conversion needs, terminator included; 0 when the text
    // cannot be converted or the encoding is unknown.
    int32_t measure() const { return measure_; }
    // Whether the destination given at construction holds the text.
    bool converted() const { return converted_; }
    // Converts into `destination` of `size` bytes; false on failure.
    bool into(void* destination, int32_t size) const;

private:
    bool whole_in_one_pass(int32_t capacity, void* destination, int32_t size);

    const char* buffer_;
    int32_t encoding_;
    int32_t length_;  // bytes of the text that are read
    int32_t measure_;
    bool converted_;
    bool well_formed_; // the measure found the text strictly well-formed
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
// str_push, telling whether it was done: false when memory ran out, the
// list then being as it was.
bool push_item(str_t* list, const str_t* item, const str_t* separator) noexcept;

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
