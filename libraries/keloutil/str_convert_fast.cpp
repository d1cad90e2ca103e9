// SPDX-License-Identifier: MIT
// Direct conversion loops between the string module's encodings.
//
// The per-character path reaches a decoder and an encoder through the
// encoding table for every character, once to measure and once to convert.
// The loops here do the common case of each pair inline: runs of ASCII
// sixteen characters at a time, any other character decoded and encoded
// in place. They take only well-formed characters from U+0001 to U+10FFFF
// (no surrogates, no character 0), and only while the destination has room
// for the whole character; at anything else they stop and say how far they
// got. The caller then takes that one character through the per-character
// path, which decides every unusual case and records every error exactly,
// and comes back here.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "c_str_internal.h"
#include "str_convert_dispatch.h"

namespace {

using byte = unsigned char;

// True when unit u is a character U+0001..U+007F.
inline bool is_ascii(uint32_t u) { return u - 1 < 0x7F; }

// ---- sources ---------------------------------------------------------------
//
// Each source has: `id`, its encoding; `unit` (bytes per code unit);
// `first(s)`, the value of the unit at s; `decode(s, left, c)`, the bytes
// of the well-formed character at s, or 0 to stop.

struct AsciiSource {
    static constexpr int32_t id = STR_ENC_ASCII;
    static constexpr int unit = 1;
    static uint32_t first(const byte* s) { return s[0]; }
    static int decode(const byte* s, ptrdiff_t, uint32_t* c) {
        *c = s[0];
        return is_ascii(s[0]) ? 1 : 0; // other bytes become '?' or stop there
    }
};

struct Utf8Source {
    static constexpr int32_t id = STR_ENC_UTF8;
    static constexpr int unit = 1;
    static uint32_t first(const byte* s) { return s[0]; }
    static bool tail(byte b) { return (b & 0xC0) == 0x80; }
    // Strictly well-formed sequences only: no over-long forms, surrogates,
    // values above U+10FFFF or cut sequences.
    static int decode(const byte* s, ptrdiff_t left, uint32_t* c) {
        const uint32_t b0 = s[0];
        if (b0 < 0x80) {
            *c = b0;
            return b0 != 0 ? 1 : 0;
        }
        if (b0 < 0xC2) return 0;
        if (b0 < 0xE0) {
            if (left < 2 || !tail(s[1])) return 0;
            *c = (b0 & 0x1F) << 6 | (s[1] & 0x3Fu);
            return 2;
        }
        if (b0 < 0xF0) {
            if (left < 3 || !tail(s[1]) || !tail(s[2])) return 0;
            const uint32_t v = (b0 & 0x0F) << 12 | (s[1] & 0x3Fu) << 6 | (s[2] & 0x3Fu);
            if (v < 0x800 || (v >= 0xD800 && v <= 0xDFFF)) return 0;
            *c = v;
            return 3;
        }
        if (b0 > 0xF4 || left < 4 || !tail(s[1]) || !tail(s[2]) || !tail(s[3])) return 0;
        const uint32_t v = (b0 & 0x07) << 18 | (s[1] & 0x3Fu) << 12 | (s[2] & 0x3Fu) << 6 | (s[3] & 0x3Fu);
        if (v < 0x10000 || v > 0x10FFFF) return 0;
        *c = v;
        return 4;
    }
};

template <bool big_endian>
struct Utf16Source {
    static constexpr int32_t id = big_endian ? STR_ENC_UTF16BE : STR_ENC_UTF16LE;
    static constexpr int unit = 2;
    // The blocks below start on units from U+0080 to U+FFFF other than surrogates.
    static bool blocks_start(uint32_t u) { return u >= 0x80 && (u < 0xD800 || u >= 0xE000); }
    static void blocks(const byte*& s, const byte* s_end, byte*& d, byte* d_end) {
        keloutil::utf8_from_utf16_blocks(s, s_end, d, d_end, big_endian);
    }
    static uint32_t first(const byte* s) {
        return big_endian ? uint32_t{s[0]} << 8 | s[1] : uint32_t{s[1]} << 8 | s[0];
    }
    static int decode(const byte* s, ptrdiff_t left, uint32_t* c) {
        if (left < 2) return 0;
        const uint32_t u = first(s);
        if ((u != 0 && u < 0xD800) || u >= 0xE000) {
            *c = u;
            return 2;
        }
        if (u < 0xD800 || u >= 0xDC00 || left < 4) return 0; // a character 0, a low surrogate, a cut pair
        const uint32_t v = first(s + 2);
        if (v < 0xDC00 || v > 0xDFFF) return 0;
        *c = ((u - 0xD800) << 10) + 0x10000 + (v - 0xDC00);
        return 4;
    }
};

// Units in host order.
struct Utf32Source {
    static constexpr int32_t id = STR_ENC_UTF32;
    static constexpr int unit = 4;
    // The blocks below start on characters from U+0800 to U+FFFF other than surrogates.
    static bool blocks_start(uint32_t u) { return u >= 0x800 && u < 0x10000 && (u < 0xD800 || u >= 0xE000); }
    static void blocks(const byte*& s, const byte* s_end, byte*& d, byte* d_end) {
        keloutil::utf8_three_byte_from_utf32(s, s_end, d, d_end);
    }
    static uint32_t first(const byte* s) {
        uint32_t u;
        std::memcpy(&u, s, 4);
        return u;
    }
    static int decode(const byte* s, ptrdiff_t left, uint32_t* c) {
        if (left < 4) return 0;
        const uint32_t u = first(s);
        if (u == 0 || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return 0;
        *c = u;
        return 4;
    }
};

// ---- targets ---------------------------------------------------------------
//
// Each target has: `id`, its encoding; `ascii_width` (bytes of an ASCII
// character); `width(c)`; `put(d, c)`, which writes width(c) bytes.
// Characters reaching them are U+0001..U+10FFFF without surrogates.

// Targets other than UTF-16 take three-byte characters one by one.
struct OneByOne {
    static void three_byte_run(const byte*&, const byte*, byte*&, byte*) {}
};

struct AsciiTarget : OneByOne {
    static constexpr int32_t id = STR_ENC_ASCII;
    static constexpr int ascii_width = 1;
    static constexpr int width(uint32_t) { return 1; }
    static void put(byte* d, uint32_t c) { d[0] = c < 0x80 ? static_cast<byte>(c) : byte{'?'}; }
};

struct Utf8Target : OneByOne {
    static constexpr int32_t id = STR_ENC_UTF8;
    static constexpr int ascii_width = 1;
    static constexpr int width(uint32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }
    static void put(byte* d, uint32_t c) {
        if (c < 0x80) {
            d[0] = static_cast<byte>(c);
        } else if (c < 0x800) {
            d[0] = static_cast<byte>(0xC0 | c >> 6);
            d[1] = static_cast<byte>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            d[0] = static_cast<byte>(0xE0 | c >> 12);
            d[1] = static_cast<byte>(0x80 | (c >> 6 & 0x3F));
            d[2] = static_cast<byte>(0x80 | (c & 0x3F));
        } else {
            d[0] = static_cast<byte>(0xF0 | c >> 18);
            d[1] = static_cast<byte>(0x80 | (c >> 12 & 0x3F));
            d[2] = static_cast<byte>(0x80 | (c >> 6 & 0x3F));
            d[3] = static_cast<byte>(0x80 | (c & 0x3F));
        }
    }
};

template <bool big_endian>
struct Utf16Target {
    static constexpr int32_t id = big_endian ? STR_ENC_UTF16BE : STR_ENC_UTF16LE;
    static void three_byte_run(const byte*& s, const byte* checked, byte*& d, byte* d_end) {
        keloutil::utf16_three_byte_from_utf8(s, checked, d, d_end, big_endian);
    }
    static constexpr int ascii_width = 2;
    static constexpr int width(uint32_t c) { return c < 0x10000 ? 2 : 4; }
    static void put_unit(byte* d, uint32_t u) {
        d[big_endian ? 0 : 1] = static_cast<byte>(u >> 8);
        d[big_endian ? 1 : 0] = static_cast<byte>(u);
    }
    static void put(byte* d, uint32_t c) {
        if (c < 0x10000) {
            put_unit(d, c);
        } else {
            put_unit(d, ((c - 0x10000) >> 10) + 0xD800);
            put_unit(d + 2, ((c - 0x10000) & 0x3FF) + 0xDC00);
        }
    }
};

struct Utf32Target : OneByOne {
    static constexpr int32_t id = STR_ENC_UTF32;
    static constexpr int ascii_width = 4;
    static constexpr int width(uint32_t) { return 4; }
    static void put(byte* d, uint32_t c) { std::memcpy(d, &c, 4); }
};

// ---- the loops -------------------------------------------------------------

// True when a run of ASCII characters at s may be worth taking in blocks.
template <class S>
bool ascii_ahead(const byte* s, const byte* s_end) {
    return s_end - s >= 16 * S::unit && is_ascii(S::first(s));
}

// Converting a run of characters that are not ASCII many at a time: none
// in general (run() converts nothing); see the specialisation for UTF-8.
template <class S, class T, class = void>
struct Checked {
    bool run(const byte*&, const byte*, byte*&, byte*) { return false; }
};

// Converting with the kernels of the dispatched levels
// (str_convert_dispatch.h) as far as they go: none in general; see the
// specialisations for UTF-8 into UTF-16 or UTF-32 and back. `pause` is how far the
// loop goes on its own after they stop before asking them again.
template <class S, class T>
struct Vectors {
    static constexpr ptrdiff_t pause = 0;
    static void run(const byte*&, const byte*, byte*&, byte*, bool) {}
};

template <bool big_endian>
struct Vectors<Utf8Source, Utf16Target<big_endian>> {
    static constexpr ptrdiff_t pause = 256;
    static void run(const byte*& s, const byte* s_end, byte*& d, byte* d_end, bool well_formed) {
        keloutil::utf16_from_utf8_vectors(s, s_end, d, d_end, big_endian, well_formed);
    }
};

template <>
struct Vectors<Utf8Source, Utf32Target> {
    static constexpr ptrdiff_t pause = 256;
    static void run(const byte*& s, const byte* s_end, byte*& d, byte* d_end, bool well_formed) {
        keloutil::utf32_from_utf8_vectors(s, s_end, d, d_end, well_formed);
    }
};

template <bool big_endian>
struct Vectors<Utf16Source<big_endian>, Utf8Target> {
    static constexpr ptrdiff_t pause = 64;
    static void run(const byte*& s, const byte* s_end, byte*& d, byte* d_end, bool) {
        keloutil::utf8_from_utf16_vectors(s, s_end, d, d_end, big_endian);
    }
};

template <>
struct Vectors<Utf32Source, Utf8Target> {
    static constexpr ptrdiff_t pause = 256;
    static void run(const byte*& s, const byte* s_end, byte*& d, byte* d_end, bool) {
        keloutil::utf8_from_utf32_vectors(s, s_end, d, d_end);
    }
};

template <class S, class T>
keloutil::DirectProgress convert(const byte* src, int32_t length, byte* dst, int32_t room, bool well_formed) {
    const byte* s = src;
    const byte* const s_end = src + length;
    byte* d = dst;
    byte* const d_end = dst + room;
    Checked<S, T> checked;
    const byte* vectors_from = src;
    while (s < s_end) {
        if (s >= vectors_from) {
            const byte* const asked_at = s;
            Vectors<S, T>::run(s, s_end, d, d_end, well_formed);
            if (s == s_end) break;
            // Text that the kernels cannot start on is asked about less often.
            vectors_from = s + (s == asked_at ? 4 : 1) * Vectors<S, T>::pause;
        }
        if (ascii_ahead<S>(s, s_end) && (!keloutil::convert_ascii_run(s, s_end, d, d_end, S::id, T::id) || s == s_end))
            break;
        if (checked.run(s, s_end, d, d_end)) continue;
        uint32_t c;
        const int used = S::decode(s, s_end - s, &c);
        if (used == 0) break;
        const int width = T::width(c);
        if (d_end - d < width) break;
        T::put(d, c);
        s += used;
        d += width;
    }
    return {static_cast<int32_t>(s - src), static_cast<int32_t>(d - dst)};
}

// Measuring many characters at a time: from s, as far as whole blocks go,
// adding their widths to *count; returns where it stopped, at the start of
// a character. `pause` is how far the per-character loop goes after a stop
// before asking again. This one takes runs of ASCII; the specialisations
// below check and measure every character of a block at once.
template <class S, class T, class = void>
struct Blocks {
    static constexpr ptrdiff_t pause = 0;
    static const byte* measure(const byte* s, const byte* s_end, int64_t* count) {
        if (!ascii_ahead<S>(s, s_end)) return s;
        int64_t characters = 0;
        s = keloutil::measure_ascii_run(s, s_end, S::id, &characters);
        *count += characters * T::ascii_width;
        return s;
    }
};

// UTF-8 into a target where every character below U+10000 takes the
// width of an ASCII one (ASCII, UTF-16, UTF-32).
template <class T>
using NarrowFromUtf8 = typename std::enable_if<T::width(0x800) == T::ascii_width>::type;

template <class T>
struct Blocks<Utf8Source, T, NarrowFromUtf8<T>> {
    static constexpr ptrdiff_t pause = 16;
    static const byte* measure(const byte* s, const byte* s_end, int64_t* count) {
        return keloutil::measure_utf8(s, s_end, T::ascii_width, T::width(0x10000), count);
    }
};

template <bool big_endian>
struct Blocks<Utf16Source<big_endian>, Utf8Target> {
    static constexpr ptrdiff_t pause = 16;
    static const byte* measure(const byte* s, const byte* s_end, int64_t* count) {
        return keloutil::measure_utf16_blocks(s, s_end, big_endian, count);
    }
};

template <>
struct Blocks<Utf32Source, Utf8Target> {
    static constexpr ptrdiff_t pause = 16;
    static const byte* measure(const byte* s, const byte* s_end, int64_t* count) {
        return keloutil::measure_utf32_blocks(s, s_end, count);
    }
};

// UTF-8 checked up to 64 bytes ahead of decoding, so that the characters
// of checked bytes are decoded without tests.
template <class T>
struct Checked<Utf8Source, T, NarrowFromUtf8<T>> {
    keloutil::Utf8Ahead ahead;

    bool run(const byte*& s, const byte* s_end, byte*& d, byte* d_end) {
        // Checking ahead pays for runs of three-byte characters; a two- or
        // four-byte one between ASCII words goes through the loop below.
        if (s[0] < 0xE0 || s[0] >= 0xF0) return false;
        if (ahead.checked == nullptr) ahead.checked = s; // nothing checked yet
        if (ahead.checked - s < 4) { // the character at s may run past what is checked
            keloutil::check_utf8_ahead(s, s_end, &ahead);
            if (ahead.checked - s < 4) return false;
        }
        const byte* const start = s;
        while (ahead.checked - s >= 4) {
            uint32_t b0 = s[0];
            if (b0 >= 0xE0 && b0 < 0xF0) T::three_byte_run(s, ahead.checked, d, d_end);
            if (ahead.checked - s < 4) break;
            b0 = s[0];
            uint32_t c;
            int used;
            if (b0 < 0x80) {
                break;
            } else if (b0 < 0xE0) {
                c = (b0 & 0x1F) << 6 | (s[1] & 0x3Fu);
                used = 2;
            } else if (b0 < 0xF0) {
                c = (b0 & 0x0F) << 12 | (s[1] & 0x3Fu) << 6 | (s[2] & 0x3Fu);
                used = 3;
            } else {
                c = (b0 & 0x07) << 18 | (s[1] & 0x3Fu) << 12 | (s[2] & 0x3Fu) << 6 | (s[3] & 0x3Fu);
                used = 4;
            }
            const int width = T::width(c);
            if (d_end - d < width) break;
            T::put(d, c);
            s += used;
            d += width;
        }
        return s != start;
    }
};

// UTF-16 and UTF-32 into UTF-8: a run of characters that are not ASCII,
// each unit tested once and written straight out.
template <class S>
struct WideToUtf8 {
    bool run(const byte*& s, const byte* s_end, byte*& d, byte* d_end) {
        const byte* const start = s;
        while (s_end - s >= S::unit) {
            if (S::blocks_start(S::first(s))) S::blocks(s, s_end, d, d_end);
            if (s_end - s < S::unit) break;
            uint32_t c;
            const int used = S::first(s) < 0x80 ? 0 : S::decode(s, s_end - s, &c);
            if (used == 0) break; // ASCII, a character 0 or an unusual one: back to the caller
            const int width = Utf8Target::width(c);
            if (d_end - d < width) break;
            Utf8Target::put(d, c);
            s += used;
            d += width;
        }
        return s != start;
    }
};

template <bool big_endian>
struct Checked<Utf16Source<big_endian>, Utf8Target> : WideToUtf8<Utf16Source<big_endian>> {};
template <>
struct Checked<Utf32Source, Utf8Target> : WideToUtf8<Utf32Source> {};

template <class S, class T>
int32_t measure(const byte* src, int32_t length, int64_t* needed) {
    const byte* s = src;
    const byte* const s_end = src + length;
    const byte* blocks_from = src;
    int64_t count = 0;
    while (s < s_end) {
        if (s >= blocks_from) {
            s = Blocks<S, T>::measure(s, s_end, &count);
            if (s == s_end) break;
            blocks_from = s + Blocks<S, T>::pause;
        }
        uint32_t c;
        const int used = S::decode(s, s_end - s, &c);
        if (used == 0) break;
        count += T::width(c);
        s += used;
    }
    *needed += count;
    return static_cast<int32_t>(s - src);
}

// The same dispatch for both loops: an encoding identifier picks a source
// or a target type. Marked UTF-16 is resolved by the caller.
template <class S, template <class, class> class Loop, class... Args>
auto to_target(int32_t to, Args... args) -> decltype(Loop<S, AsciiTarget>::run(args...)) {
    switch (to) {
    case STR_ENC_ASCII: return Loop<S, AsciiTarget>::run(args...);
    case STR_ENC_UTF8: return Loop<S, Utf8Target>::run(args...);
    case STR_ENC_UTF16BE: return Loop<S, Utf16Target<true>>::run(args...);
    case STR_ENC_UTF16LE: return Loop<S, Utf16Target<false>>::run(args...);
    case STR_ENC_UTF32: return Loop<S, Utf32Target>::run(args...);
    default: return {};
    }
}

template <template <class, class> class Loop, class... Args>
auto from_source(int32_t from, int32_t to, Args... args) -> decltype(Loop<AsciiSource, AsciiTarget>::run(args...)) {
    switch (from) {
    case STR_ENC_ASCII: return to_target<AsciiSource, Loop>(to, args...);
    case STR_ENC_UTF8: return to_target<Utf8Source, Loop>(to, args...);
    case STR_ENC_UTF16BE: return to_target<Utf16Source<true>, Loop>(to, args...);
    case STR_ENC_UTF16LE: return to_target<Utf16Source<false>, Loop>(to, args...);
    case STR_ENC_UTF32: return to_target<Utf32Source, Loop>(to, args...);
    default: return {};
    }
}

template <class S, class T>
struct ConvertLoop {
    static keloutil::DirectProgress run(const byte* src, int32_t length, byte* dst, int32_t room, bool well_formed) {
        return convert<S, T>(src, length, dst, room, well_formed);
    }
};

template <class S, class T>
struct MeasureLoop {
    static int32_t run(const byte* src, int32_t length, int64_t* needed) { return measure<S, T>(src, length, needed); }
};

} // namespace

namespace keloutil {

DirectProgress convert_direct(const unsigned char* source, int32_t length, int32_t from, unsigned char* destination,
                              int32_t room, int32_t to, bool well_formed) {
    return from_source<ConvertLoop>(from, to, source, length, destination, room, well_formed);
}

int32_t measure_direct(const unsigned char* source, int32_t length, int32_t from, int32_t to, int64_t* needed) {
    // Every UTF-16 target has the same widths.
    if (to == STR_ENC_UTF16) to = STR_ENC_UTF16LE;
    return from_source<MeasureLoop>(from, to, source, length, needed);
}

bool utf8_tail_complete(const unsigned char* text, int32_t length) {
    for (int32_t i = length > 5 ? length - 5 : 0; i < length; ++i) {
        if (utf8_sequence_length(text[i]) > length - i) return false;
    }
    return true;
}

} // namespace keloutil
