// Internal to the library: what the classes need of the string module
// beyond its exported functions.
#ifndef KELOUTIL_C_STR_INTERNAL_H
#define KELOUTIL_C_STR_INTERNAL_H

#include <keloutil/c_str.h>

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

} // namespace keloutil

#endif // KELOUTIL_C_STR_INTERNAL_H
