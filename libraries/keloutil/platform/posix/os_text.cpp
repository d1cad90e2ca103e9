// Text services of the platform seam on POSIX systems. wchar_t holds UTF-32
// code points there, whatever the locale, so the conversion is done here
// rather than through the locale-dependent mbstowcs family.
#include "platform/os.h"

#include <keloutil/memory.h>

#include <cstring>

namespace keloutil::os {

static_assert(sizeof(wchar_t) == 4, "POSIX wide characters are expected to be UTF-32");

namespace {

constexpr char32_t replacement_character = 0xFFFD;

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one well-formed UTF-8 sequence (no over-long forms, no surrogates,
// nothing above U+10FFFF) at `p`. Returns the bytes it takes, or 0 when the
// lead byte does not begin a well-formed sequence.
int decode_strict(const unsigned char* p, char32_t* out) {
    const unsigned char b0 = p[0];
    if (b0 < 0x80) {
        *out = b0;
        return 1;
    }
    int length;
    char32_t value;
    char32_t minimum;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, value = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, value = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, value = b0 & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    // A NUL terminator is not a continuation byte, so this never reads past it.
    for (int i = 1; i < length; ++i) {
        if (!is_continuation(p[i])) return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *out = value;
    return length;
}

} // namespace

int32_t utf8_to_wide(const char* utf8, wchar_t* destination, int32_t capacity) {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
    int32_t written = 0;
    for (;;) {
        if (written >= capacity) return 0;
        char32_t c;
        const int taken = decode_strict(p, &c);
        if (taken == 0) {
            c = replacement_character;
            p += 1;
        } else {
            p += taken;
        }
        destination[written++] = static_cast<wchar_t>(c);
        if (c == 0) return written;
    }
}

// The narrow encoding here is UTF-8, the library's own: the text is read
// out as every other UTF-8 read-out reads it.
int32_t to_narrow(const str_t* text, char* destination, int32_t capacity) {
    char* utf8 = str_utf8_alloc(text);
    if (utf8 == nullptr) return 0;
    const size_t needed = std::strlen(utf8) + 1;
    int32_t result = 0;
    if (capacity == 0) {
        result = static_cast<int32_t>(needed);
    } else if (capacity > 0 && needed <= static_cast<size_t>(capacity)) {
        std::memcpy(destination, utf8, needed);
        result = static_cast<int32_t>(needed);
    }
    memory_free(utf8);
    return result;
}

} // namespace keloutil::os
