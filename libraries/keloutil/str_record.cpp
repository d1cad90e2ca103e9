// SPDX-License-Identifier: MIT
// The string record itself: making, assigning and releasing it, its
// lengths, and reading its text out in any encoding.
#include <keloutil/c_str.h>
#include <keloutil/memory.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "c_str_internal.h"
#include "memory_internal.h"

using keloutil::length_of;
using keloutil::resize;
using keloutil::utf8_sequence_length;

namespace {

using byte = unsigned char;


// The most bytes that `length` bytes of UTF-8 can need in `encoding` (not
// UTF-8), as a read-out measures them: every byte a character of its own at
// the widest (a code unit: two bytes of UTF-16 and four of UTF-32 for one
// of UTF-8, whose longer forms need less for each byte), besides the
// terminator and the character 0 that ends the text.
int64_t most_bytes(int32_t length, int32_t encoding) {
    const int64_t unit = keloutil::terminator_size(encoding);
    return int64_t{length} * unit + 2 * unit;
}

// Whether the source may read from the buffer of s: its `length` bytes,
// and the two of a byte-order mark that marked UTF-16 reads beyond them.
bool inside_buffer(const str_t* s, const void* source, int32_t length) {
    const auto begin = reinterpret_cast<uintptr_t>(source);
    const auto buffer = reinterpret_cast<uintptr_t>(s->buffer);
    return begin < buffer + static_cast<uint32_t>(s->capacity) && buffer < begin + static_cast<uint32_t>(length) + 2;
}

} // namespace

namespace keloutil {

// Bytes of a record's text that a read-out decodes: the text up to its
// terminator (or up to the end of a buffer that a caller filled without
// one), less a last sequence that announces more bytes than are left.
// Decoding that sequence would take its last bytes from behind the
// terminator, out of whatever an earlier, longer text left there.
int32_t decodable_length(const str_t* s) {
    const int32_t length = str_len(s);
    const auto* text = reinterpret_cast<const byte*>(s->buffer);
    if (direct_conversions() && utf8_tail_complete(text, length)) return length;
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

str_t* text_or_null(str_t* s) {
    if (s != nullptr && s->buffer == nullptr) {
        str_uninit(s);
        return nullptr;
    }
    return s;
}

ReadOut::ReadOut(const str_t* s, int32_t encoding, void* destination, int32_t size, bool scratch)
    : buffer_(s != nullptr ? s->buffer : nullptr), encoding_(encoding), length_(0), measure_(0), converted_(false),
      well_formed_(false) {
    const int32_t capacity = buffer_ != nullptr ? s->capacity : 0;
    if (encoding == STR_ENC_UTF8 || buffer_ == nullptr) {
        // UTF-8 is copied, not decoded.
        length_ = str_len(s);
        measure_ = str_encoding_requires_bytes(buffer_, capacity, STR_ENC_UTF8, encoding);
        return;
    }
    // The direct loops write into the destination before the terminator is
    // found: only into one that is the read-out's own, or one with room for
    // whatever the buffer can hold, so that nothing is written where the
    // text turns out not to fit.
    if (keloutil::direct_conversions() && destination != nullptr && encoding != STR_ENC_UTF16 &&
        (scratch || size >= most_bytes(capacity - 1, encoding)) && whole_in_one_pass(capacity, destination, size))
        return;
    length_ = keloutil::decodable_length(s);
    keloutil::Measured found;
    int64_t measure = 0;
    // A destination with room for whatever the text can give takes it in one
    // pass, the measure found on the way. When the conversion fails, the
    // measuring below decides what that means, as it would have alone. Not
    // for marked UTF-16, whose measure counts the mark that a text without
    // characters does not write.
    if (keloutil::direct_conversions() && destination != nullptr && encoding != STR_ENC_UTF16 &&
        size >= most_bytes(length_, encoding)) {
        measure = keloutil::encode_if_fits(buffer_, length_, STR_ENC_UTF8, destination, size, encoding,
                                           keloutil::Known::no_zero_unit, &found.ended_on_nul);
        converted_ = measure != 0;
    }
    if (!converted_)
        measure = keloutil::requires_bytes(buffer_, length_, STR_ENC_UTF8, encoding, &found,
                                           keloutil::Known::no_zero_unit);
    well_formed_ = found.well_formed;
    // Whatever ends the text, its terminator or a cut sequence, counts as
    // a character 0 of one code unit, as the measure of the whole buffer
    // counts the terminator; unless the text holds a character 0 of its own
    // (an over-long form such as C0 80), where that measure stops.
    const int64_t ending =
        measure != 0 && length_ < capacity && !found.ended_on_nul ? keloutil::terminator_size(encoding) : 0;
    measure_ = measure + ending > INT32_MAX ? 0 : static_cast<int32_t>(measure + ending);
}

// The direct loops stop before a zero byte as before anything else they
// leave to the per-character path, so they find the terminator on the way
// through the buffer. When they stop there, with room for whatever a text
// of that length can give, the text was all strictly well-formed UTF-8,
// and it is converted: its terminator is written, and the measure counts
// the character 0 that ends the text besides. Anything else is measured
// and converted the other way.
bool ReadOut::whole_in_one_pass(int32_t capacity, void* destination, int32_t size) {
    const int32_t unit = keloutil::terminator_size(encoding_);
    const int32_t reach = std::min(capacity, size / unit - 1); // the longest text that fits, and its terminator
    if (reach <= 0) return false;
    auto* out = static_cast<unsigned char*>(destination);
    const keloutil::DirectProgress done = keloutil::convert_direct(reinterpret_cast<const byte*>(buffer_), reach,
                                                                   STR_ENC_UTF8, out, size, encoding_, false);
    if (done.read == reach || buffer_[done.read] != '\0' || size - done.written < 2 * unit) return false;
    std::memset(out + done.written, 0, static_cast<size_t>(unit));
    length_ = done.read;
    measure_ = done.written + 2 * unit;
    converted_ = true;
    well_formed_ = true;
    return true;
}

bool ReadOut::into(void* destination, int32_t size) const {
    if (destination == nullptr) return false;
    if (encoding_ != STR_ENC_UTF8) // the text ends before its terminator: no zero byte in it
        return keloutil::encode(buffer_, length_, STR_ENC_UTF8, destination, size, encoding_,
                                well_formed_ ? keloutil::Known::well_formed : keloutil::Known::no_zero_unit) != 0;
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
    if (!keloutil::known_encoding(encoding)) return 1;
    // Text that fits the buffer the record has takes one pass: measuring
    // only decides what a failed conversion means (text that cannot be
    // converted, or a buffer too small), and the buffer goes in both cases.
    // Not for UTF-8, which is copied and would be cut to fit, nor for a
    // source that lies in the buffer.
    if (keloutil::direct_conversions() && encoding != STR_ENC_UTF8 && s->buffer != nullptr &&
        !inside_buffer(s, source, length) &&
        keloutil::encode_if_fits(source, length, encoding, s->buffer, s->capacity, STR_ENC_UTF8))
        return 1;
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
    if (!keloutil::known_encoding(encoding) || destination == nullptr) return 0;
    const keloutil::ReadOut text(s, encoding, destination, size);
    const int32_t measure = text.measure();
    if (measure == 0 || measure > size) return 0;
    return text.converted() || text.into(destination, size) ? measure : 0;
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
    // A block with room for whatever the buffer can hold takes the text in
    // one pass, the terminator found and the text measured on the way, and
    // is then cut to the measure. Not for UTF-8, which is copied, nor for
    // marked UTF-16 (see ReadOut); and where so much room cannot be had,
    // the text is measured first.
    int64_t room = 0;
    if (keloutil::direct_conversions() && s->buffer != nullptr && keloutil::known_encoding(encoding) &&
        encoding != STR_ENC_UTF8 && encoding != STR_ENC_UTF16)
        room = most_bytes(s->capacity - 1, encoding);
    void* block = room != 0 && room <= INT32_MAX ? keloutil::memory_allocate_unfilled(static_cast<uint32_t>(room))
                                                 : nullptr;
    if (block == nullptr) room = 0;
    const keloutil::ReadOut text(s, encoding, block, static_cast<int32_t>(room), true);
    const int32_t measure = text.measure();
    if (measure == 0) {
        memory_free(block);
        return nullptr;
    }
    if (block == nullptr && (block = keloutil::memory_allocate_unfilled(static_cast<uint32_t>(measure))) == nullptr)
        return nullptr;
    // The conversion writes every byte of the measure but the character 0
    // that ends the text and, in marked UTF-16, the mark of a text without
    // characters: the last code unit, or the last two, which are written
    // here. The block need not be zero-filled first.
    auto* end = static_cast<char*>(block) + measure;
    if (text.converted()) {
        const int32_t unit = keloutil::terminator_size(encoding);
        std::memset(end - unit, 0, static_cast<size_t>(unit));
    } else {
        const int32_t last = measure < 4 ? measure : 4;
        std::memset(end - last, 0, static_cast<size_t>(last));
        if (!text.into(block, measure)) {
            memory_free(block);
            return nullptr;
        }
    }
    if (room > measure) {
        void* cut = keloutil::memory_reallocate(block, static_cast<uint32_t>(measure));
        if (cut == nullptr) memory_free(block);
        block = cut;
    }
    return block;
}

char* str_cstr_alloc(const str_t* s) { return static_cast<char*>(str_alloc(s, STR_ENC_ASCII)); }
char* str_utf8_alloc(const str_t* s) { return static_cast<char*>(str_alloc(s, STR_ENC_UTF8)); }
uint16_t* str_utf16_alloc(const str_t* s) { return static_cast<uint16_t*>(str_alloc(s, STR_ENC_UTF16)); }
uint16_t* str_utf16be_alloc(const str_t* s) { return static_cast<uint16_t*>(str_alloc(s, STR_ENC_UTF16BE)); }
uint16_t* str_utf16le_alloc(const str_t* s) { return static_cast<uint16_t*>(str_alloc(s, STR_ENC_UTF16LE)); }

} // extern "C"
