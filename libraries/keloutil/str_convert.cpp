// SPDX-License-Identifier: MIT
// Text conversion between the string record's six encodings, and the
// last-error record that conversions leave.
//
// Every conversion goes through one table of encoding descriptors: a decoder
// reads one character from the source, an encoder writes one character to
// the destination, and a width operation tells how many bytes a character
// takes in a variable-width target. Converting is done in two passes:
// measure the bytes the target needs, then convert into a buffer of that
// size. Conversion errors are kept in a process-wide last-error record.
#include <keloutil/c_str.h>

#include <climits>
#include <cstring>

#include "c_str_internal.h"

namespace {

using byte = unsigned char;

// ---- the last-error record -------------------------------------------------

constexpr const char* source_name = "libraries\\keloutil\\c_str";

struct LastError {
    int32_t code;
    const char* message;
    int32_t line;
    const char* source;
};

LastError last_error = {0, nullptr, 0, nullptr};

void record_error(int32_t code, const char* message, int32_t line) {
    last_error = {code, message, line, source_name};
}

#define RECORD_ERROR(code, message) record_error((code), (message), __LINE__)

// ---- host byte order -------------------------------------------------------

int32_t host_utf16_encoding = -1; // found on first need

// The UTF-16 encoding with a fixed byte order that matches this host.
int32_t host_utf16() {
    if (host_utf16_encoding < 0) {
        const uint16_t probe = 0xFEFF;
        byte first;
        std::memcpy(&first, &probe, 1);
        host_utf16_encoding = first == 0xFE ? STR_ENC_UTF16BE : STR_ENC_UTF16LE;
    }
    return host_utf16_encoding;
}

// ---- UTF-8 -----------------------------------------------------------------

using keloutil::utf8_sequence_length;

int32_t utf8_width(uint32_t c) {
    if (c < 0x80) return 1;
    if (c < 0x800) return 2;
    if (c < 0x10000) return 3;
    if (c < 0x200000) return 4;
    return 1; // written as '?'
}

// Continuation bytes are not checked: the lead byte's marker bits and the
// continuation bytes' 0x80 bits are removed together by subtracting one
// offset per sequence length.
int32_t decode_utf8(const byte* src, int32_t left, uint32_t* c, uint32_t*) {
    static const uint32_t offsets[7] = {0, 0, 0x3080, 0xE2080, 0x3C82080, 0xFA082080, 0x82082080};
    const int32_t length = utf8_sequence_length(src[0]);
    if (left < length) return 0;
    uint32_t value = 0;
    if (length <= 4) {
        for (int32_t i = 0; i < length; ++i) value = value * 64 + src[i];
    }
    value -= offsets[length];
    *c = value >= 0x80000000u ? uint32_t{'?'} : value;
    return length;
}

int32_t encode_utf8(uint32_t c, byte* dst, int32_t room, uint32_t*) {
    static const byte lead_marks[5] = {0, 0x00, 0xC0, 0xE0, 0xF0};
    int32_t length = utf8_width(c);
    if (c >= 0x200000) c = '?';
    if (room < length) return 0;
    for (int32_t i = length - 1; i > 0; --i) {
        dst[i] = static_cast<byte>(0x80 | (c & 0x3F));
        c >>= 6;
    }
    dst[0] = static_cast<byte>(lead_marks[length] | c);
    return length;
}

// ---- ASCII -----------------------------------------------------------------

// Bytes above 0x7F are taken as signed, giving values outside Unicode that
// every encoder writes as '?'.
int32_t decode_ascii(const byte* src, int32_t left, uint32_t* c, uint32_t*) {
    if (left < 1) return 0;
    *c = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(src[0])));
    return 1;
}

int32_t encode_ascii(uint32_t c, byte* dst, int32_t room, uint32_t*) {
    if (room < 1) return 0;
    dst[0] = c < 0x80 ? static_cast<byte>(c) : byte{'?'};
    return 1;
}

// ---- UTF-16 ----------------------------------------------------------------

int32_t utf16_width(uint32_t c) {
    if (c >= 0xD800 && c <= 0xDFFF) return 0;
    if (c >= 0x10000 && c <= 0x10FFFF) return 4;
    return 2;
}

uint32_t read_be16(const byte* p) { return uint32_t{p[0]} << 8 | p[1]; }
uint32_t read_le16(const byte* p) { return uint32_t{p[1]} << 8 | p[0]; }
void write_be16(byte* p, uint32_t unit) { p[0] = static_cast<byte>(unit >> 8), p[1] = static_cast<byte>(unit); }
void write_le16(byte* p, uint32_t unit) { p[0] = static_cast<byte>(unit), p[1] = static_cast<byte>(unit >> 8); }

// The surrogate rules shared by both byte orders; the caller has checked
// that two bytes are there.
int32_t decode_utf16_units(const byte* src, int32_t left, uint32_t* c, uint32_t (*read)(const byte*)) {
    const uint32_t u = read(src);
    if (u >= 0xD800 && u <= 0xDBFF) {
        if (left < 4) {
            RECORD_ERROR(STR_ERR_BUFFER_OVERFLOW, "from buffer overflow");
            return 0;
        }
        const uint32_t v = read(src + 2);
        if (v < 0xDC00 || v > 0xDFFF) {
            RECORD_ERROR(STR_ERR_INVALID_INPUT, "unpaired high surrogate");
            return 0;
        }
        *c = ((u - 0xD800) << 10) + 0x10000 + (v - 0xDC00);
        return 4;
    }
    if (u >= 0xDC00 && u <= 0xDFFF) {
        RECORD_ERROR(STR_ERR_INVALID_INPUT, "unpaired low surrogate");
        return 0;
    }
    *c = u;
    return 2;
}

int32_t decode_utf16be(const byte* src, int32_t left, uint32_t* c, uint32_t*) {
    if (left < 2) {
        RECORD_ERROR(STR_ERR_BUFFER_OVERFLOW, "from buffer overflow in private_str_decode_utf16BE");
        return 0;
    }
    return decode_utf16_units(src, left, c, read_be16);
}

int32_t decode_utf16le(const byte* src, int32_t left, uint32_t* c, uint32_t*) {
    if (left < 2) {
        RECORD_ERROR(STR_ERR_BUFFER_OVERFLOW, "from buffer overflow in private_str_decode_utf16LE");
        return 0;
    }
    return decode_utf16_units(src, left, c, read_le16);
}

// The state holds the byte order in effect: the one a leading mark selected
// (see skip_utf16_mark), or the host order from the first call on.
int32_t decode_utf16_marked(const byte* src, int32_t left, uint32_t* c, uint32_t* state) {
    if (left < 2) return 0;
    if (*state == 0) *state = static_cast<uint32_t>(host_utf16());
    return *state == STR_ENC_UTF16BE ? decode_utf16be(src, left, c, nullptr)
                                     : decode_utf16le(src, left, c, nullptr);
}

int32_t encode_utf16_units(uint32_t c, byte* dst, int32_t room, void (*write)(byte*, uint32_t)) {
    if (c >= 0xD800 && c <= 0xDFFF) return 0;
    if (c <= 0xFFFF || c > 0x10FFFF) {
        if (room < 2) return 0;
        write(dst, c <= 0xFFFF ? c : uint32_t{'?'});
        return 2;
    }
    if (room < 4) return 0;
    write(dst, ((c - 0x10000) >> 10) + 0xD800);
    write(dst + 2, ((c - 0x10000) & 0x3FF) + 0xDC00);
    return 4;
}

int32_t encode_utf16be(uint32_t c, byte* dst, int32_t room, uint32_t*) {
    return encode_utf16_units(c, dst, room, write_be16);
}

int32_t encode_utf16le(uint32_t c, byte* dst, int32_t room, uint32_t*) {
    return encode_utf16_units(c, dst, room, write_le16);
}

// The mark goes out with the first character; the state remembers it.
int32_t encode_utf16_marked(uint32_t c, byte* dst, int32_t room, uint32_t* state) {
    auto* write = host_utf16() == STR_ENC_UTF16BE ? write_be16 : write_le16;
    int32_t mark = 0;
    if (*state == 0) {
        if (room < 4) return 0;
        write(dst, 0xFEFF);
        *state = 1;
        mark = 2;
    }
    const int32_t written = encode_utf16_units(c, dst + mark, room - mark, write);
    return written == 0 ? 0 : written + mark;
}

// ---- UTF-32 ----------------------------------------------------------------

int32_t decode_utf32(const byte* src, int32_t left, uint32_t* c, uint32_t*) {
    if (left < 4) return 0;
    std::memcpy(c, src, 4);
    return 4;
}

int32_t encode_utf32(uint32_t c, byte* dst, int32_t room, uint32_t*) {
    if (room < 4) return 0;
    std::memcpy(dst, &c, 4);
    return 4;
}

int32_t ascii_length(const void* text) { return text ? static_cast<int32_t>(std::strlen(static_cast<const char*>(text))) : 0; }
int32_t utf8_length(const void* text) { return str_utf8_len(static_cast<const char*>(text)); }

// ---- the encoding table ----------------------------------------------------

using encode_fn = int32_t (*)(uint32_t c, byte* dst, int32_t room, uint32_t* state);
using decode_fn = int32_t (*)(const byte* src, int32_t left, uint32_t* c, uint32_t* state);
using width_fn = int32_t (*)(uint32_t c);
using length_fn = int32_t (*)(const void* text);

struct str_encoding_desc_t {
    int32_t id;
    int32_t unit_size;
    int32_t max_bytes_per_char;
    int32_t terminator_size;
    bool variable_width;
    encode_fn encode;
    decode_fn decode;
    width_fn width;   // bytes of one character; only for variable-width targets
    length_fn length; // length of a terminated text (bytes; units for UTF-32)
};

const str_encoding_desc_t encodings[] = {
    {STR_ENC_ASCII, 1, 1, 1, false, encode_ascii, decode_ascii, nullptr, ascii_length},
    {STR_ENC_UTF8, 1, 6, 1, true, encode_utf8, decode_utf8, utf8_width, utf8_length},
    {STR_ENC_UTF16, 2, 4, 2, true, encode_utf16_marked, decode_utf16_marked, utf16_width, str_utf16_len},
    {STR_ENC_UTF16BE, 2, 4, 2, true, encode_utf16be, decode_utf16be, utf16_width, str_utf16be_len},
    {STR_ENC_UTF16LE, 2, 4, 2, true, encode_utf16le, decode_utf16le, utf16_width, str_utf16le_len},
    {STR_ENC_UTF32, 4, 4, 4, false, encode_utf32, decode_utf32, nullptr, str_utf32_len},
};

const str_encoding_desc_t* descriptor(int32_t encoding) {
    if (encoding < STR_ENC_ASCII || encoding > STR_ENC_UTF32) return nullptr;
    return &encodings[encoding];
}

// A leading byte-order mark of marked UTF-16 selects the byte order. The two
// mark bytes are skipped without counting against the source length.
// Returns the byte order selected, or 0 when there is no mark.
int32_t skip_utf16_mark(const byte** src, int32_t length) {
    if (length < 2) return 0;
    const byte* p = *src;
    int32_t order = 0;
    if (p[0] == 0xFE && p[1] == 0xFF) order = STR_ENC_UTF16BE;
    if (p[0] == 0xFF && p[1] == 0xFE) order = STR_ENC_UTF16LE;
    if (order != 0) *src += 2;
    return order;
}

// Arguments that no conversion can work with.
bool bad_source(const void* source, int32_t length) {
    return length < 0 || (source == nullptr && length > 0);
}


bool direct = true;

// The encodings that the direct loops see for marked UTF-16: the byte order
// in effect. A target whose mark has not gone out yet is left to the
// per-character path (-1 is no encoding), which writes the mark with the
// first character.
int32_t direct_source(int32_t from, uint32_t decode_state) {
    if (from != STR_ENC_UTF16) return from;
    return decode_state != 0 ? static_cast<int32_t>(decode_state) : host_utf16();
}

int32_t direct_target(int32_t to, uint32_t encode_state) {
    if (to != STR_ENC_UTF16) return to;
    return encode_state != 0 ? host_utf16() : -1;
}

// The direct loops read many bytes at a time, and a caller may give a
// length that runs past the source's terminator, behind which nothing may
// be read in a way that can fault. A source known to hold no zero unit is
// given whole. Otherwise:
// - The conversion loops stop before a zero unit as before any character
//   they leave to the per-character path, so they are given the bytes up
//   to the end of the page where they start: a page that holds a byte of
//   the text can be read whole, as strlen reads it, and each page after it
//   is reached only when no zero unit came before.
// - The measuring loops take text without zero units: the zero unit is
//   looked for first, a slice at a time, so that the loops find the slice
//   in the cache.
// The address sanitizer checks every load against the source's own block,
// so under it the conversions are bounded as the measures are.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized_loads = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool sanitized_loads = true;
#else
constexpr bool sanitized_loads = false;
#endif
#else
constexpr bool sanitized_loads = false;
#endif

class DirectBound {
public:
    enum class Loops { convert, measure };

    DirectBound(int32_t unit, keloutil::Known known, Loops loops)
        : unit_(unit), known_(known), by_page_(loops == Loops::convert && !sanitized_loads) {}

    // Bytes from src (where a unit starts) that the direct loops may read.
    int32_t bytes(const byte* src, int32_t length) {
        if (known_ != keloutil::Known::nothing) return length;
        if (by_page_) {
            const auto to_page_end = static_cast<int32_t>(page - (reinterpret_cast<uintptr_t>(src) & (page - 1)));
            limit_ = src + (length < to_page_end ? length : to_page_end);
            slice_end_ = length > to_page_end;
        } else if (limit_ == nullptr || src >= limit_) {
            const byte* end = src + (length < slice ? length : slice);
            limit_ = keloutil::first_zero_unit(src, end, unit_);
            slice_end_ = limit_ == end && length > slice;
        }
        return static_cast<int32_t>(limit_ - src);
    }
    // Whether the loops that read all of `bytes` stopped only at the end of
    // a page or slice, and go on with the next one.
    bool next_slice(const byte* src) const { return src == limit_ && slice_end_; }

private:
    static constexpr int32_t slice = 16384;
    static constexpr uintptr_t page = 4096; // the smallest page of the platforms built for
    const byte* limit_ = nullptr;
    bool slice_end_ = false;
    int32_t unit_;
    keloutil::Known known_;
    bool by_page_;
};

// How a successful conversion ended.
struct Ending {
    // The destination bytes left behind the terminator, or -1 when the text
    // ended on a character 0 (whose measure counts it as well as the
    // terminator) without room for it there.
    int32_t room_after = 0;
    bool on_nul = false; // the text ended on a character 0
};

// The conversion of str_encode between two different encodings. Sets
// *ending, when given.
int32_t transcode(const byte* src, int32_t length, const str_encoding_desc_t* source_encoding, byte* dst,
                  int32_t size, const str_encoding_desc_t* target, Ending* ending,
                  keloutil::Known known = keloutil::Known::nothing) {
    const int32_t from = source_encoding->id;
    const int32_t to = target->id;
    const int32_t terminator = target->terminator_size;
    uint32_t decode_state = 0;
    uint32_t encode_state = 0;
    if (from == STR_ENC_UTF16) decode_state = static_cast<uint32_t>(skip_utf16_mark(&src, length));
    bool ended_on_nul = false;
    DirectBound bound(source_encoding->unit_size, known, DirectBound::Loops::convert);
    const bool well_formed = known == keloutil::Known::well_formed && from == STR_ENC_UTF8;
    while (length > 0 && size > 0) {
        if (direct) {
            const keloutil::DirectProgress done =
                keloutil::convert_direct(src, bound.bytes(src, length), direct_source(from, decode_state), dst, size,
                                         direct_target(to, encode_state), well_formed);
            src += done.read;
            length -= done.read;
            dst += done.written;
            size -= done.written;
            if (length == 0 || size == 0) break;
            if (bound.next_slice(src)) continue;
        }
        uint32_t c;
        const int32_t used = source_encoding->decode(src, length, &c, &decode_state);
        if (used == 0) return 0;
        src += used;
        length -= used;
        if (c == 0) {
            ended_on_nul = true;
            break;
        }
        const int32_t written = target->encode(c, dst, size, &encode_state);
        if (written == 0) return 0;
        dst += written;
        size -= written;
    }
    if ((length > 0 && !ended_on_nul) || size < terminator) {
        RECORD_ERROR(STR_ERR_BUFFER_OVERFLOW, "to buffer overflow");
        return 0;
    }
    std::memset(dst, 0, static_cast<size_t>(terminator));
    if (ending != nullptr) {
        ending->room_after = size - terminator;
        if (ended_on_nul) ending->room_after -= target->variable_width ? target->width(0) : target->unit_size;
        ending->on_nul = ended_on_nul;
    }
    return 1;
}

} // namespace

namespace keloutil {

int32_t encode_if_fits(const void* source, int32_t length, int32_t from, void* destination, int32_t size, int32_t to,
                       Known known, bool* ended_on_nul) {
    const str_encoding_desc_t* source_encoding = descriptor(from);
    const str_encoding_desc_t* target = descriptor(to);
    if (source_encoding == nullptr || target == nullptr || from == to || bad_source(source, length) ||
        destination == nullptr || size < 0)
        return 0;
    const LastError before = last_error;
    Ending ending;
    if (transcode(static_cast<const byte*>(source), length, source_encoding, static_cast<byte*>(destination), size,
                  target, &ending, known) != 0 &&
        ending.room_after >= 0) {
        if (ended_on_nul != nullptr) *ended_on_nul = ending.on_nul;
        return size - ending.room_after;
    }
    last_error = before;
    return 0;
}

int32_t requires_bytes(const void* source, int32_t length, int32_t from, int32_t to, Measured* found,
                       Known known) {
    const str_encoding_desc_t* source_encoding = descriptor(from);
    const str_encoding_desc_t* target = descriptor(to);
    if (source_encoding == nullptr || target == nullptr || bad_source(source, length)) return 0;
    if (from == to) {
        const int64_t needed = int64_t{length} + target->terminator_size;
        return needed > INT32_MAX ? 0 : static_cast<int32_t>(needed);
    }
    const auto* src = static_cast<const byte*>(source);
    if (from == STR_ENC_UTF16) {
        const int32_t order = skip_utf16_mark(&src, length);
        source_encoding = descriptor(order != 0 ? order : host_utf16());
    }
    int64_t needed = target->terminator_size + (to == STR_ENC_UTF16 ? 2 : 0);
    uint32_t state = 0;
    DirectBound bound(source_encoding->unit_size, known, DirectBound::Loops::measure);
    // The direct measure takes only strictly well-formed characters: UTF-8
    // that it takes whole is.
    bool per_character = !direct;
    while (length > 0) {
        if (direct) {
            const int32_t read = measure_direct(src, bound.bytes(src, length), source_encoding->id, to, &needed);
            src += read;
            length -= read;
            if (length == 0) break;
            if (bound.next_slice(src)) continue;
        }
        per_character = true;
        uint32_t c;
        const int32_t used = source_encoding->decode(src, length, &c, &state);
        if (used == 0) return 0;
        src += used;
        length -= used;
        needed += target->variable_width ? target->width(c) : target->unit_size;
        if (c == 0) {
            if (found != nullptr) found->ended_on_nul = true;
            break;
        }
    }
    if (found != nullptr) found->well_formed = from == STR_ENC_UTF8 && !per_character;
    return needed > INT32_MAX ? 0 : static_cast<int32_t>(needed);
}

int32_t encode(const void* source, int32_t length, int32_t from, void* destination, int32_t size, int32_t to,
               Known known) {
    const str_encoding_desc_t* source_encoding = descriptor(from);
    const str_encoding_desc_t* target = descriptor(to);
    if (source_encoding == nullptr || target == nullptr || bad_source(source, length) ||
        destination == nullptr || size < 0)
        return 0;
    auto* dst = static_cast<byte*>(destination);
    const int32_t terminator = target->terminator_size;

    if (from == to) {
        if (size < terminator) return 0; // no room even for the terminator
        const int32_t copied = length < size - terminator ? length : size - terminator;
        if (copied > 0) std::memmove(dst, source, static_cast<size_t>(copied));
        std::memset(dst + copied, 0, static_cast<size_t>(terminator));
        return 1;
    }
    return transcode(static_cast<const byte*>(source), length, source_encoding, dst, size, target, nullptr, known);
}

void set_direct_conversions(bool enabled) { direct = enabled; }
bool direct_conversions() { return direct; }

bool known_encoding(int32_t encoding) { return descriptor(encoding) != nullptr; }

int32_t terminator_size(int32_t encoding) {
    const str_encoding_desc_t* d = descriptor(encoding);
    return d != nullptr ? d->terminator_size : 0;
}

} // namespace keloutil

extern "C" {

// ---- conversion primitives -------------------------------------------------

int32_t str_encoding_requires_bytes(const void* source, int32_t length, int32_t from, int32_t to) {
    return keloutil::requires_bytes(source, length, from, to, nullptr);
}

int32_t str_encode(const void* source, int32_t length, int32_t from, void* destination, int32_t size,
                   int32_t to) {
    return keloutil::encode(source, length, from, destination, size, to, keloutil::Known::nothing);
}

// ---- the last conversion error ---------------------------------------------

int32_t str_last_error_code(void) { return last_error.code; }
const char* str_last_error_message(void) { return last_error.message; }
int32_t str_last_error_line(void) { return last_error.line; }
const char* str_last_error_source(void) { return last_error.source; }

} // extern "C"
