// SPDX-License-Identifier: MIT
// Runs of ASCII characters for the direct conversion loops, sixteen
// characters at a time: SSE2 where the processor has it (every x86-64),
// 64-bit words or single units elsewhere.
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "c_str_internal.h"

namespace keloutil {

namespace {

using byte = unsigned char;

// Sixteen ASCII characters, one byte each, in text order.
#if defined(__SSE2__)
using Chars = __m128i;

__m128i load(const byte* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
__m128i swap_bytes16(__m128i v) { return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)); }
void store(byte* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// How many of the sixteen lanes lead the mask of good lanes.
int leading(int good_mask) { return good_mask == 0xFFFF ? 16 : __builtin_ctz(~good_mask); }

// All ones in the first n byte lanes.
__m128i first_lanes(int n) {
    return _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(n)),
                          _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
}

// Stores the lanes of v selected by `mask` and leaves the other bytes as
// they are: writing part of a block without a loop, and without leaving
// anything behind the output that the caller did not write.
void store_masked(byte* p, __m128i v, __m128i mask) {
    store(p, _mm_or_si128(_mm_and_si128(mask, v), _mm_andnot_si128(mask, load(p))));
}
#else
struct Chars {
    byte b[16];
};
#endif

// True when unit u is a character U+0001..U+007F.
bool is_ascii(uint32_t u) { return u - 1 < 0x7F; }

template <class Form>
void put_each(byte* d, const byte* chars, int n) {
    for (int i = 0; i < n; ++i) Form::put(d + i * Form::unit, chars[i]);
}

// The forms an ASCII character takes, as source and as target: `unit`
// (bytes per code unit); `at(s)`, the unit at s; `load(s, chars)`, how many
// of the sixteen units at s lead as ASCII characters, loaded as bytes
// into `chars` (all sixteen when all are); `put(d, c)`; `put16(d, chars)`;
// `put_first(d, chars, n)`, the first n of sixteen.

// ASCII and UTF-8.
struct Bytes {
    static constexpr int unit = 1;
    static uint32_t at(const byte* s) { return s[0]; }
    static void put(byte* d, uint32_t c) { d[0] = static_cast<byte>(c); }
#if defined(__SSE2__)
    static int load(const byte* s, Chars* chars) {
        *chars = keloutil::load(s);
        return leading(_mm_movemask_epi8(_mm_cmpgt_epi8(*chars, _mm_setzero_si128())));
    }
    static void put16(byte* d, Chars chars) { store(d, chars); }
    static void put_first(byte* d, Chars chars, int n) { store_masked(d, chars, first_lanes(n)); }
#else
    static int load(const byte* s, Chars* chars) {
        // A word holds only bytes 0x01..0x7F when neither it nor it less one
        // in every byte has a high bit set (a zero byte borrows).
        constexpr uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
        uint64_t w[2];
        std::memcpy(w, s, 16);
        int n = 16;
        if (((w[0] | (w[0] - ones) | w[1] | (w[1] - ones)) & highs) != 0) {
            n = 0;
            while (n < 16 && is_ascii(s[n])) ++n;
        }
        std::memcpy(chars->b, s, static_cast<size_t>(n));
        return n;
    }
    static void put16(byte* d, const Chars& chars) { std::memcpy(d, chars.b, 16); }
    static void put_first(byte* d, const Chars& chars, int n) { std::memcpy(d, chars.b, static_cast<size_t>(n)); }
#endif
};

template <bool big_endian>
struct Units16 {
    static constexpr int unit = 2;
    static uint32_t at(const byte* s) { return big_endian ? uint32_t{s[0]} << 8 | s[1] : uint32_t{s[1]} << 8 | s[0]; }
    static void put(byte* d, uint32_t c) {
        d[big_endian ? 0 : 1] = 0;
        d[big_endian ? 1 : 0] = static_cast<byte>(c);
    }
#if defined(__SSE2__)
    static int load(const byte* s, Chars* chars) {
        const __m128i a = big_endian ? swap_bytes16(keloutil::load(s)) : keloutil::load(s);
        const __m128i b = big_endian ? swap_bytes16(keloutil::load(s + 16)) : keloutil::load(s + 16);
        const __m128i zero = _mm_setzero_si128(), limit = _mm_set1_epi16(0x80);
        const __m128i good_a = _mm_and_si128(_mm_cmpgt_epi16(a, zero), _mm_cmplt_epi16(a, limit));
        const __m128i good_b = _mm_and_si128(_mm_cmpgt_epi16(b, zero), _mm_cmplt_epi16(b, limit));
        *chars = _mm_packus_epi16(a, b);
        return leading(_mm_movemask_epi8(_mm_packs_epi16(good_a, good_b)));
    }
    static __m128i low(__m128i v) {
        return big_endian ? _mm_unpacklo_epi8(_mm_setzero_si128(), v) : _mm_unpacklo_epi8(v, _mm_setzero_si128());
    }
    static __m128i high(__m128i v) {
        return big_endian ? _mm_unpackhi_epi8(_mm_setzero_si128(), v) : _mm_unpackhi_epi8(v, _mm_setzero_si128());
    }
    static void put16(byte* d, Chars chars) {
        store(d, low(chars));
        store(d + 16, high(chars));
    }
    static void put_first(byte* d, Chars chars, int n) {
        const __m128i lanes = first_lanes(n);
        store_masked(d, low(chars), _mm_unpacklo_epi8(lanes, lanes));
        store_masked(d + 16, high(chars), _mm_unpackhi_epi8(lanes, lanes));
    }
#else
    static int load(const byte* s, Chars* chars) {
        int n = 0;
        for (; n < 16 && is_ascii(at(s + 2 * n)); ++n) chars->b[n] = static_cast<byte>(at(s + 2 * n));
        return n;
    }
    static void put16(byte* d, const Chars& chars) { put_each<Units16>(d, chars.b, 16); }
    static void put_first(byte* d, const Chars& chars, int n) { put_each<Units16>(d, chars.b, n); }
#endif
};

// Units in host order.
struct Units32 {
    static constexpr int unit = 4;
    static uint32_t at(const byte* s) {
        uint32_t u;
        std::memcpy(&u, s, 4);
        return u;
    }
    static void put(byte* d, uint32_t c) { std::memcpy(d, &c, 4); }
#if defined(__SSE2__)
    static int load(const byte* s, Chars* chars) {
        // x86 is little-endian, so the host order is known here.
        const __m128i zero = _mm_setzero_si128(), limit = _mm_set1_epi32(0x80);
        __m128i x[4], good[4];
        for (int i = 0; i < 4; ++i) {
            x[i] = keloutil::load(s + 16 * i);
            good[i] = _mm_and_si128(_mm_cmpgt_epi32(x[i], zero), _mm_cmplt_epi32(x[i], limit));
        }
        *chars = _mm_packus_epi16(_mm_packs_epi32(x[0], x[1]), _mm_packs_epi32(x[2], x[3]));
        return leading(_mm_movemask_epi8(
            _mm_packs_epi16(_mm_packs_epi32(good[0], good[1]), _mm_packs_epi32(good[2], good[3]))));
    }
    // Each byte lane of v widened to four bytes: with zeros (`spread`
    // false) or with copies of itself (true, for masks).
    static void widen(__m128i v, bool spread, __m128i out[4]) {
        const __m128i fill = spread ? v : _mm_setzero_si128();
        const __m128i low = _mm_unpacklo_epi8(v, fill), high = _mm_unpackhi_epi8(v, fill);
        out[0] = _mm_unpacklo_epi16(low, spread ? low : fill);
        out[1] = _mm_unpackhi_epi16(low, spread ? low : fill);
        out[2] = _mm_unpacklo_epi16(high, spread ? high : fill);
        out[3] = _mm_unpackhi_epi16(high, spread ? high : fill);
    }
    static void put16(byte* d, Chars chars) {
        __m128i units[4];
        widen(chars, false, units);
        for (int i = 0; i < 4; ++i) store(d + 16 * i, units[i]);
    }
    static void put_first(byte* d, Chars chars, int n) {
        __m128i units[4], masks[4];
        widen(chars, false, units);
        widen(first_lanes(n), true, masks);
        for (int i = 0; i < 4; ++i) store_masked(d + 16 * i, units[i], masks[i]);
    }
#else
    static int load(const byte* s, Chars* chars) {
        int n = 0;
        for (; n < 16 && is_ascii(at(s + 4 * n)); ++n) chars->b[n] = static_cast<byte>(at(s + 4 * n));
        return n;
    }
    static void put16(byte* d, const Chars& chars) { put_each<Units32>(d, chars.b, 16); }
    static void put_first(byte* d, const Chars& chars, int n) { put_each<Units32>(d, chars.b, n); }
#endif
};

template <class From, class To>
bool convert_ascii(const byte*& s, const byte* end, byte*& d, byte* d_end) {
    while (end - s >= 16 * From::unit && is_ascii(From::at(s))) {
        Chars chars;
        const int n = From::load(s, &chars);
        const ptrdiff_t fit = (d_end - d) / To::unit;
        if (n == 16 && fit >= 16) {
            To::put16(d, chars);
            s += 16 * From::unit;
            d += 16 * To::unit;
            continue;
        }
        // The leading ASCII characters, then what ends them.
        const int take = n < fit ? n : static_cast<int>(fit);
        if (fit >= 16) {
            To::put_first(d, chars, take);
        } else {
            for (int i = 0; i < take; ++i) To::put(d + i * To::unit, From::at(s + i * From::unit));
        }
        s += take * From::unit;
        d += take * To::unit;
        return take == n;
    }
    return true;
}

template <class From>
const byte* count_ascii(const byte* s, const byte* end, int64_t* characters) {
    while (end - s >= 16 * From::unit && is_ascii(From::at(s))) {
        Chars chars;
        const int n = From::load(s, &chars);
        s += n * From::unit;
        *characters += n;
        if (n < 16) break;
    }
    return s;
}

template <class From>
bool convert_ascii_to(const byte*& s, const byte* end, byte*& d, byte* d_end, int32_t to) {
    switch (to) {
    case STR_ENC_UTF16BE: return convert_ascii<From, Units16<true>>(s, end, d, d_end);
    case STR_ENC_UTF16LE: return convert_ascii<From, Units16<false>>(s, end, d, d_end);
    case STR_ENC_UTF32: return convert_ascii<From, Units32>(s, end, d, d_end);
    default: return convert_ascii<From, Bytes>(s, end, d, d_end);
    }
}

} // namespace

bool convert_ascii_run(const unsigned char*& s, const unsigned char* end, unsigned char*& d, unsigned char* d_end,
                       int32_t from, int32_t to) {
    switch (from) {
    case STR_ENC_UTF16BE: return convert_ascii_to<Units16<true>>(s, end, d, d_end, to);
    case STR_ENC_UTF16LE: return convert_ascii_to<Units16<false>>(s, end, d, d_end, to);
    case STR_ENC_UTF32: return convert_ascii_to<Units32>(s, end, d, d_end, to);
    default: return convert_ascii_to<Bytes>(s, end, d, d_end, to);
    }
}

const unsigned char* measure_ascii_run(const unsigned char* s, const unsigned char* end, int32_t from,
                                       int64_t* characters) {
    switch (from) {
    case STR_ENC_UTF16BE: return count_ascii<Units16<true>>(s, end, characters);
    case STR_ENC_UTF16LE: return count_ascii<Units16<false>>(s, end, characters);
    case STR_ENC_UTF32: return count_ascii<Units32>(s, end, characters);
    default: return count_ascii<Bytes>(s, end, characters);
    }
}

} // namespace keloutil
