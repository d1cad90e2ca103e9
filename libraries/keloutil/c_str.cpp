// The string record str_t and its six encodings.
//
// Every conversion goes through one table of encoding descriptors: a decoder
// reads one character from the source, an encoder writes one character to
// the destination, and a width operation tells how many bytes a character
// takes in a variable-width target. Converting is done in two passes:
// measure the bytes the target needs, then convert into a buffer of that
// size. Conversion errors are kept in a process-wide last-error record.
#include <keloutil/c_str.h>
#include <keloutil/memory.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "c_str_internal.h"
#include "memory_internal.h"
#include "platform/os.h"

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

int32_t length_of(const char* text) {
    const size_t length = std::strlen(text);
    return length > INT32_MAX ? -1 : static_cast<int32_t>(length);
}

// ---- buffer management -----------------------------------------------------

// Grows (or shrinks) the buffer to `size` bytes, keeping the text and
// zero-filling what is new. Leaves the record unchanged and returns false
// when the allocation fails.
bool resize(str_t* s, int32_t size) {
    if (size <= 0) return false;
    auto* buffer = static_cast<char*>(keloutil::memory_reallocate(s->buffer, static_cast<uint32_t>(size)));
    if (buffer == nullptr) return false;
    if (size < s->capacity) buffer[size - 1] = '\0';
    s->buffer = buffer;
    s->capacity = size;
    return true;
}

// Bytes of a record's text that a read-out decodes: the text up to its
// terminator (or up to the end of a buffer that a caller filled without
// one), less a last sequence that announces more bytes than are left.
// Decoding that sequence would take its last bytes from behind the
// terminator, out of whatever an earlier, longer text left there.
int32_t decodable_length(const str_t* s) {
    const int32_t length = str_len(s);
    const auto* text = reinterpret_cast<const byte*>(s->buffer);
    int32_t i = 0;
    while (i < length) {
        uint64_t word;
        if (length - i >= 8 && (std::memcpy(&word, text + i, 8), (word & 0x8080808080808080u) == 0)) {
            i += 8; // eight one-byte characters, the common case
            continue;
        }
        const int32_t announced = utf8_sequence_length(text[i]);
        if (announced > length - i) break;
        i += announced;
    }
    return i;
}

} // namespace

namespace keloutil {

str_t* text_or_null(str_t* s) {
    if (s != nullptr && s->buffer == nullptr) {
        str_uninit(s);
        return nullptr;
    }
    return s;
}

ReadOut::ReadOut(const str_t* s, int32_t encoding)
    : buffer_(s != nullptr ? s->buffer : nullptr), encoding_(encoding), length_(0), measure_(0) {
    const int32_t capacity = buffer_ != nullptr ? s->capacity : 0;
    if (encoding == STR_ENC_UTF8 || buffer_ == nullptr) {
        // UTF-8 is copied, not decoded.
        length_ = str_len(s);
        measure_ = str_encoding_requires_bytes(buffer_, capacity, STR_ENC_UTF8, encoding);
        return;
    }
    length_ = decodable_length(s);
    const int64_t measure = str_encoding_requires_bytes(buffer_, length_, STR_ENC_UTF8, encoding);
    // Whatever ends the text, its terminator or a cut sequence, counts as
    // a character 0 of one code unit, as the measure of the whole buffer
    // counts the terminator.
    const int64_t ending = measure != 0 && length_ < capacity ? descriptor(encoding)->unit_size : 0;
    measure_ = measure + ending > INT32_MAX ? 0 : static_cast<int32_t>(measure + ending);
}

bool ReadOut::into(void* destination, int32_t size) const {
    if (destination == nullptr) return false;
    if (encoding_ != STR_ENC_UTF8) return str_encode(buffer_, length_, STR_ENC_UTF8, destination, size, encoding_) != 0;
    if (measure_ == 0 || size < measure_) return false;
    auto* out = static_cast<char*>(destination);
    if (length_ > 0) std::memcpy(out, buffer_, static_cast<size_t>(length_));
    std::memset(out + length_, 0, static_cast<size_t>(measure_ - length_));
    return true;
}

} // namespace keloutil

namespace {

// Reads the text out in `encoding` into `destination` of *size bytes: the
// shared body of str_cstr and str_utf8_cstrn.
int32_t cstr_in(const str_t* s, char* destination, int32_t* size, int32_t encoding) {
    if (size == nullptr) return 0;
    if (s == nullptr || s->buffer == nullptr) {
        if (destination != nullptr && *size > 0) destination[0] = '\0';
        return 0;
    }
    const keloutil::ReadOut text(s, encoding);
    const int32_t measure = text.measure();
    if (measure >= INT32_MAX || measure + 1 > *size) {
        *size = measure >= INT32_MAX ? INT32_MAX : measure + 1;
        return 0;
    }
    if (destination == nullptr) return 0;
    return text.into(destination, *size) ? measure : 0;
}

} // namespace

extern "C" {

// ---- creation, assignment, destruction -------------------------------------

str_t* str_init(void) { return static_cast<str_t*>(memory_allocate(sizeof(str_t))); }

void str_uninit(str_t* s) {
    if (s == nullptr) return;
    memory_free(s->buffer);
    memory_free(s);
}

str_t* str_from(const void* source, int32_t length, int32_t encoding) {
    str_t* s = str_init();
    if (s != nullptr) str_set(s, source, length, encoding);
    return s;
}

str_t* str_from_cstr(const char* text) {
    return text != nullptr ? str_from(text, length_of(text), STR_ENC_ASCII) : str_init();
}

str_t* str_from_utf8(const char* text) {
    return text != nullptr ? str_from(text, length_of(text), STR_ENC_UTF8) : str_init();
}

int32_t str_set(str_t* s, const void* source, int32_t length, int32_t encoding) {
    if (s == nullptr) return 0;
    if (descriptor(encoding) == nullptr) return 1;
    const int32_t needed = str_encoding_requires_bytes(source, length, encoding, STR_ENC_UTF8);
    if (needed == 0) {
        str_clear(s);
        return 1;
    }
    if (needed > s->capacity) {
        // The new buffer is filled before the old one goes, so a source that
        // lies inside the old buffer stays readable.
        auto* buffer = static_cast<char*>(memory_allocate(static_cast<uint32_t>(needed)));
        if (buffer != nullptr) str_encode(source, length, encoding, buffer, needed, STR_ENC_UTF8);
        memory_free(s->buffer);
        s->buffer = buffer;
        s->capacity = buffer != nullptr ? needed : 0;
        return 1;
    }
    str_encode(source, length, encoding, s->buffer, s->capacity, STR_ENC_UTF8);
    return 1;
}

int32_t str_utf8_set(str_t* s, const char* text) {
    if (text == nullptr) return str_clear(s);
    return str_set(s, text, length_of(text), STR_ENC_UTF8);
}

int32_t str_ascii_set(str_t* s, const char* text, int32_t length) {
    if (text == nullptr) return str_clear(s);
    return str_set(s, text, length == -1 ? length_of(text) : length, STR_ENC_ASCII);
}

str_t* str_dup(const str_t* s) {
    if (s == nullptr) return nullptr;
    return str_from(s->buffer, s->capacity, STR_ENC_UTF8);
}

int32_t str_cpy(const str_t* source, str_t* destination) {
    if (destination == nullptr) return 0;
    if (source == nullptr || source->buffer == nullptr) {
        str_clear(destination);
        return 0;
    }
    const int32_t size = source->capacity; // before growing: the source may be the destination
    if (destination->capacity <= size) {
        if (size == INT32_MAX || !resize(destination, size + 1)) return 0;
    }
    std::memmove(destination->buffer, source->buffer, static_cast<size_t>(size));
    // The destination is larger: end the copy there, so that a source that
    // fills its buffer without a terminator does not run on into old bytes.
    destination->buffer[size] = '\0';
    return str_len(destination);
}

int32_t str_clear(str_t* s) {
    if (s != nullptr) {
        memory_free(s->buffer);
        s->buffer = nullptr;
        s->capacity = 0;
    }
    return 1;
}

int32_t str_null(const str_t* s) { return s == nullptr || s->buffer == nullptr; }

int32_t str_empty(const str_t* s) { return str_null(s) || s->buffer[0] == '\0'; }

char* str_buffer(str_t* s, int32_t n) {
    if (s == nullptr) return nullptr;
    if (s->capacity >= n) return s->buffer;
    if (n == INT32_MAX || !resize(s, n + 1)) return nullptr;
    return s->buffer;
}

// ---- lengths ---------------------------------------------------------------

int32_t str_len(const str_t* s) {
    if (s == nullptr || s->buffer == nullptr) return 0;
    // Bounded by the capacity in case a caller overwrote the terminator
    // through str_buffer.
    const void* end = std::memchr(s->buffer, 0, static_cast<size_t>(s->capacity));
    return end ? static_cast<int32_t>(static_cast<const char*>(end) - s->buffer) : s->capacity;
}

int32_t str_utf8_len(const char* text) {
    // Stepping from lead byte to lead byte while never passing the
    // terminator checks every byte for NUL, so the result is the position
    // of the first NUL: exactly strlen.
    return text != nullptr ? length_of(text) : 0;
}

int32_t str_utf8_char_count(const str_t* s) {
    if (s == nullptr || s->buffer == nullptr) return 0;
    const auto* text = reinterpret_cast<const byte*>(s->buffer);
    const int32_t capacity = s->capacity;
    int32_t count = 0;
    for (int32_t i = 0; i < capacity && text[i] != 0;) {
        const int32_t length = utf8_sequence_length(text[i]);
        int32_t taken = 1;
        while (taken < length && i + taken < capacity && text[i + taken] != 0) ++taken;
        ++count;
        if (taken < length) break; // the terminator cut the sequence short
        i += taken;
    }
    return count;
}

int32_t str_utf16be_len(const void* text) {
    if (text == nullptr) return 0;
    const auto* p = static_cast<const byte*>(text);
    int32_t bytes = 0;
    while (p[bytes] != 0 || p[bytes + 1] != 0) bytes += 2;
    return bytes;
}

int32_t str_utf16le_len(const void* text) { return str_utf16be_len(text); }

int32_t str_utf16_len(const void* text) {
    if (text == nullptr) return 0;
    const auto* p = static_cast<const byte*>(text);
    const bool marked = (p[0] == 0xFE && p[1] == 0xFF) || (p[0] == 0xFF && p[1] == 0xFE);
    return str_utf16be_len(marked ? p + 2 : p);
}

int32_t str_utf32_len(const void* text) {
    if (text == nullptr) return 0;
    const auto* p = static_cast<const byte*>(text);
    int32_t units = 0;
    for (uint32_t unit;; ++units) {
        std::memcpy(&unit, p + 4 * static_cast<size_t>(units), 4);
        if (unit == 0) return units;
    }
}

// ---- reading the text out --------------------------------------------------

int32_t str_get(const str_t* s, void* destination, int32_t size, int32_t encoding) {
    if (descriptor(encoding) == nullptr || destination == nullptr) return 0;
    const keloutil::ReadOut text(s, encoding);
    const int32_t measure = text.measure();
    if (measure == 0 || measure > size) return 0;
    return text.into(destination, size) ? measure : 0;
}

int32_t str_cstr(const str_t* s, char* destination, int32_t* size) {
    return cstr_in(s, destination, size, STR_ENC_ASCII);
}

char* str_cstrn(const str_t* s, char* destination, int32_t size) {
    cstr_in(s, destination, &size, STR_ENC_ASCII);
    return destination;
}

char* str_utf8_cstrn(const str_t* s, char* destination, int32_t size) {
    cstr_in(s, destination, &size, STR_ENC_UTF8);
    return destination;
}

void* str_alloc(const str_t* s, int32_t encoding) {
    if (s == nullptr) return nullptr;
    const keloutil::ReadOut text(s, encoding);
    const int32_t measure = text.measure();
    if (measure == 0) return nullptr;
    void* block = memory_allocate(static_cast<uint32_t>(measure));
    if (block == nullptr) return nullptr;
    if (!text.into(block, measure)) {
        memory_free(block);
        return nullptr;
    }
    return block;
}

char* str_cstr_alloc(const str_t* s) { return static_cast<char*>(str_alloc(s, STR_ENC_ASCII)); }
char* str_utf8_alloc(const str_t* s) { return static_cast<char*>(str_alloc(s, STR_ENC_UTF8)); }
uint16_t* str_utf16_alloc(const str_t* s) { return static_cast<uint16_t*>(str_alloc(s, STR_ENC_UTF16)); }
uint16_t* str_utf16be_alloc(const str_t* s) { return static_cast<uint16_t*>(str_alloc(s, STR_ENC_UTF16BE)); }
uint16_t* str_utf16le_alloc(const str_t* s) { return static_cast<uint16_t*>(str_alloc(s, STR_ENC_UTF16LE)); }

wchar_t* str_wchar_alloc(const str_t* s) {
    char* text = str_utf8_alloc(s);
    if (text == nullptr) return nullptr;
    // The text ends where the other read-outs end it, before a last
    // sequence that its terminator cuts short.
    text[s->buffer != nullptr ? decodable_length(s) : 0] = '\0';
    // Measured in the encoding that the platform's wide characters hold.
    const int32_t target = keloutil::os::wide_char_size == 2 ? STR_ENC_UTF16 : STR_ENC_UTF32;
    const int32_t bytes = str_encoding_requires_bytes(text, length_of(text), STR_ENC_UTF8, target);
    auto* wide = static_cast<wchar_t*>(memory_allocate(static_cast<uint32_t>(bytes)));
    const int32_t converted =
        wide != nullptr ? keloutil::os::utf8_to_wide(text, wide, bytes / keloutil::os::wide_char_size) : 0;
    memory_free(text);
    if (converted == 0) {
        memory_free(wide);
        return nullptr;
    }
    return wide;
}

// ---- conversion primitives -------------------------------------------------

int32_t str_encoding_requires_bytes(const void* source, int32_t length, int32_t from, int32_t to) {
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
    while (length > 0) {
        uint32_t c;
        const int32_t used = source_encoding->decode(src, length, &c, &state);
        if (used == 0) return 0;
        src += used;
        length -= used;
        needed += target->variable_width ? target->width(c) : target->unit_size;
        if (c == 0) break;
    }
    return needed > INT32_MAX ? 0 : static_cast<int32_t>(needed);
}

int32_t str_encode(const void* source, int32_t length, int32_t from, void* destination, int32_t size,
                   int32_t to) {
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

    const auto* src = static_cast<const byte*>(source);
    uint32_t decode_state = 0;
    uint32_t encode_state = 0;
    if (from == STR_ENC_UTF16) decode_state = static_cast<uint32_t>(skip_utf16_mark(&src, length));
    bool ended_on_nul = false;
    while (length > 0 && size > 0) {
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
    return 1;
}

// ---- the last conversion error ---------------------------------------------

int32_t str_last_error_code(void) { return last_error.code; }
const char* str_last_error_message(void) { return last_error.message; }
int32_t str_last_error_line(void) { return last_error.line; }
const char* str_last_error_source(void) { return last_error.source; }

} // extern "C"

// ============================================================================
// Editing, numbers, searching and transforming. These work on the UTF-8 text
// of the record: character indexes step from lead byte to lead byte, byte
// offsets count bytes.
// ============================================================================

namespace {

// The bytes of the text before its terminator; empty for a null string.
// Bounded by the capacity, as str_len is: a caller may have filled the
// buffer through str_buffer without leaving a terminator. Every operation
// takes the text through here rather than reading up to a NUL.
std::string_view text_of(const str_t* s) {
    if (s == nullptr || s->buffer == nullptr) return {};
    return std::string_view(s->buffer, static_cast<size_t>(str_len(s)));
}

// Ends the text after `length` bytes; a text that fills the whole buffer
// ends with the buffer.
void end_text(str_t* s, size_t length) {
    if (length < static_cast<size_t>(s->capacity)) s->buffer[length] = '\0';
}

// Byte-wise comparison as strcmp makes it (bytes unsigned), with a null
// text before every other one, an empty one included.
int32_t compare_texts(bool a_null, std::string_view a, bool b_null, std::string_view b) {
    if (a_null || b_null) return a_null == b_null ? 0 : (a_null ? -1 : 1);
    const int result = a.compare(b);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

// A new string holding `length` bytes of UTF-8 copied as they are; NULL
// when memory runs out.
str_t* new_string(const char* bytes, size_t length) {
    return keloutil::text_or_null(str_from(bytes, static_cast<int32_t>(length), STR_ENC_UTF8));
}

str_t* new_string(std::string_view text) { return new_string(text.data(), text.size()); }

// Replaces the text of `s` with `text` (which must not point into s).
void assign(str_t* s, std::string_view text) {
    str_set(s, text.data(), static_cast<int32_t>(text.size()), STR_ENC_UTF8);
}

// Bytes of the character that starts at text[i], never passing the end.
size_t character_size(std::string_view text, size_t i) {
    if (static_cast<byte>(text[i]) < 0x80) return 1; // ASCII, the common case
    const size_t announced = static_cast<size_t>(utf8_sequence_length(static_cast<byte>(text[i])));
    return announced < text.size() - i ? announced : text.size() - i;
}

// Byte offset of character `index` (the text's size for index = the
// character count), or npos when index is negative or beyond the end.
size_t character_offset(std::string_view text, int32_t index) {
    if (index < 0) return std::string_view::npos;
    size_t offset = 0;
    for (; index > 0; --index) {
        if (offset >= text.size()) return std::string_view::npos;
        offset += character_size(text, offset);
    }
    return offset;
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

// A set of separator bytes: every byte of a text is a member.
class ByteSet {
public:
    explicit ByteSet(std::string_view bytes) {
        for (char c : bytes) members_[static_cast<byte>(c)] = true;
    }
    bool has(char c) const { return members_[static_cast<byte>(c)]; }

private:
    bool members_[256] = {};
};

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

// An owner for temporaries of this module.
struct StrOwner {
    str_t* s;
    explicit StrOwner(str_t* owned) : s(owned) {}
    StrOwner(const StrOwner&) = delete;
    StrOwner& operator=(const StrOwner&) = delete;
    ~StrOwner() { str_uninit(s); }
};

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
}

int32_t str_at(const str_t* s, int32_t i) {
    const std::string_view text = text_of(s);
    const size_t offset = character_offset(text, i);
    if (offset == std::string_view::npos || offset >= text.size()) return 0;
    return static_cast<signed char>(text[offset]);
}

// ---- lists -----------------------------------------------------------------

// str_push; false when the list's buffer cannot be had, the list then
// unchanged.
static bool push_item(str_t* list, const str_t* item, const str_t* separator) {
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
}

void str_push(str_t* list, const str_t* item, const str_t* separator) { push_item(list, item, separator); }

void str_unshift(str_t* list, const str_t* item, const str_t* separator) {
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
    if (str_null(s)) {
        set_ok(ok, false);
        return 0.0;
    }
    const std::string text(text_of(s)); // strtod reads up to a NUL
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    set_ok(ok, !text.empty() && *end == '\0');
    return value;
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

// ---- searching and transforming --------------------------------------------

// The byte offset of `needle` in the haystack at or after character
// `start`, or -1: the body of str_find and str_utf8_find.
static int32_t find_text(const str_t* haystack, std::string_view needle, int32_t start, bool case_sensitive) {
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
}

void str_expand(str_t* s) {
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
}

} // extern "C"
