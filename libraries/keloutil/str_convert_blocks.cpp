// SPDX-License-Identifier: MIT
// Conversion work done many characters at a time with SSE2: checking
// UTF-8 sixteen bytes at a time, measuring whole blocks of UTF-8, UTF-16
// and UTF-32, and decoding and encoding runs of the three-byte characters
// of CJK text. The direct loops call these where they help. Built without
// SSE2 (the i686 library), or at the portable level of
// str_convert_dispatch.h, each does nothing and the loops go on character
// by character.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "c_str_internal.h"
#include "str_convert_dispatch.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include "str_utf8_check.h"
#endif

namespace keloutil {

#if defined(__SSE2__)

namespace {

using byte = unsigned char;

__m128i load(const byte* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
using utf8_check::leads_from;
using utf8_check::set8;
using utf8_check::utf8_errors;
__m128i set16(int unit) { return _mm_set1_epi16(static_cast<short>(unit)); }
__m128i swap_bytes16(__m128i v) { return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)); }

int64_t sum64(__m128i v) {
    int64_t parts[2];
    std::memcpy(parts, &v, sizeof parts);
    return parts[0] + parts[1];
}

int64_t sum32(__m128i v) {
    int32_t parts[4];
    std::memcpy(parts, &v, sizeof parts);
    return int64_t{parts[0]} + parts[1] + parts[2] + parts[3];
}

// Whether 48 bytes at s, where a character starts, are sixteen three-byte
// characters with leads E1 to EC, EE or EF (CJK text), which need no
// further test.
bool sixteen_three_byte(const byte* s) {
    static const int lead_lanes[3] = {0x9249, 0x4924, 0x2492};
    for (int i = 0; i < 3; ++i) {
        const __m128i b = load(s + 16 * i);
        const __m128i special = _mm_or_si128(_mm_cmpeq_epi8(b, set8(0xE0)), _mm_cmpeq_epi8(b, set8(0xED)));
        const __m128i lead = _mm_andnot_si128(special, _mm_andnot_si128(leads_from(b, 0xF0), leads_from(b, 0xE0)));
        if (_mm_movemask_epi8(lead) != lead_lanes[i] ||
            _mm_movemask_epi8(_mm_cmplt_epi8(b, set8(0xC0))) != (0xFFFF ^ lead_lanes[i]))
            return false;
    }
    return true;
}

// Writes four three-byte UTF-8 sequences held one a 32-bit lane (bytes
// lead, middle, last, 0) as the twelve bytes they are.
void put_three_byte4(byte* d, __m128i x) {
    const __m128i pairs =
        _mm_or_si128(_mm_and_si128(x, _mm_set_epi32(0, -1, 0, -1)), _mm_slli_epi64(_mm_srli_epi64(x, 32), 24));
    const __m128i bytes = _mm_or_si128(_mm_and_si128(pairs, _mm_set_epi32(0, 0, -1, -1)),
                                       _mm_slli_si128(_mm_srli_si128(pairs, 8), 6));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d), bytes);
    const int32_t tail = _mm_cvtsi128_si32(_mm_srli_si128(bytes, 8));
    std::memcpy(d + 8, &tail, 4);
}

// Writes the UTF-8 of eight 16-bit units from 0x800 up, no surrogates.
void put_three_byte8(byte* d, __m128i u) {
    const __m128i lead = _mm_or_si128(_mm_srli_epi16(u, 12), set16(0xE0));
    const __m128i middle = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(u, 6), set16(0x3F)), set16(0x80));
    const __m128i lead_middle = _mm_or_si128(lead, _mm_slli_epi16(middle, 8));
    const __m128i last = _mm_or_si128(_mm_and_si128(u, set16(0x3F)), set16(0x80));
    put_three_byte4(d, _mm_unpacklo_epi16(lead_middle, last));
    put_three_byte4(d + 12, _mm_unpackhi_epi16(lead_middle, last));
}

// Lanes of 16-bit units outside 0x800..0xD7FF and 0xE000..0xFFFF.
__m128i not_three_byte16(__m128i u) {
    const __m128i top = _mm_and_si128(u, set16(0xF800));
    return _mm_or_si128(_mm_cmpeq_epi16(top, _mm_setzero_si128()), _mm_cmpeq_epi16(top, set16(0xD800)));
}

// The same for 32-bit units, and units from 0x10000 up.
__m128i not_three_byte32(__m128i u) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i top = _mm_and_si128(u, _mm_set1_epi32(~0x7FF));
    const __m128i above = _mm_xor_si128(_mm_cmpeq_epi32(_mm_srli_epi32(u, 16), zero), _mm_set1_epi32(-1));
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi32(top, zero), _mm_cmpeq_epi32(top, _mm_set1_epi32(0xD800))), above);
}

// Whether the blocks are in use: not at the portable level.
bool sse2_level() { return simd_level() >= SimdLevel::sse2; }

} // namespace

const unsigned char* measure_utf8_blocks(const unsigned char* s, const unsigned char* end, int32_t width,
                                         int32_t width4, int64_t* count) {
    if (!sse2_level()) return s;
    const __m128i zero = _mm_setzero_si128();
    const __m128i lead_width = set8(width), extra4 = set8(width4 - width);
    __m128i prev = zero, sums = zero;
    bool open = false; // a sequence begun in prev runs on
    int64_t whole = 0; // characters of the blocks taken whole
    while (end - s >= 16) {
        const __m128i cur = load(s);
        const int ascii_lanes = _mm_movemask_epi8(_mm_cmpgt_epi8(cur, zero));
        // Whole blocks of ASCII 32 bytes at a time (in text that mixes, a
        // test that mostly fails costs less than one that flips), and of
        // CJK 48 bytes at a time.
        if (!open && end - s >= 32 && (ascii_lanes & _mm_movemask_epi8(_mm_cmpgt_epi8(load(s + 16), zero))) == 0xFFFF) {
            whole += 32;
            prev = load(s + 16);
            s += 32;
            continue;
        }
        if (!open && end - s >= 48 && sixteen_three_byte(s)) {
            whole += 16;
            prev = load(s + 32);
            s += 48;
            continue;
        }
        if (_mm_movemask_epi8(utf8_errors(cur, prev)) != 0) break;
        // Each character counts at its lead byte.
        const __m128i continuation = _mm_cmplt_epi8(cur, set8(0xC0));
        const __m128i widths =
            _mm_add_epi8(_mm_andnot_si128(continuation, lead_width), _mm_and_si128(leads_from(cur, 0xF0), extra4));
        sums = _mm_add_epi64(sums, _mm_sad_epu8(widths, zero));
        open = s[15] >= 0xC0 || s[14] >= 0xE0 || s[13] >= 0xF0;
        prev = cur;
        s += 16;
    }
    int64_t total = whole * width + sum64(sums);
    if (open) { // the sequence not yet seen whole goes back to the caller
        int back = 1;
        while (s[-back] < 0xC0) ++back;
        s -= back;
        total -= s[0] >= 0xF0 ? width4 : width;
    }
    *count += total;
    return s;
}

const unsigned char* measure_utf16_blocks(const unsigned char* s, const unsigned char* end, bool big_endian,
                                          int64_t* count) {
    if (!sse2_level()) return s;
    const __m128i zero = _mm_setzero_si128();
    __m128i prev_high = zero, sums = zero;
    int64_t ascii = 0;
    const auto units = [&](const byte* p) { return big_endian ? swap_bytes16(load(p)) : load(p); };
    const auto ascii_lanes = [&](__m128i u) {
        return _mm_movemask_epi8(_mm_and_si128(_mm_cmpgt_epi16(u, zero), _mm_cmplt_epi16(u, set16(0x80))));
    };
    while (end - s >= 16) {
        const __m128i u = units(s);
        // Sixteen units of ASCII at a time, as for UTF-8.
        if (end - s >= 32 && _mm_movemask_epi8(prev_high) == 0 && (ascii_lanes(u) & ascii_lanes(units(s + 16))) == 0xFFFF) {
            ascii += 16;
            s += 32;
            continue;
        }
        // A low surrogate must follow a high one, in this block or at the
        // end of the one before.
        const __m128i kind = _mm_and_si128(u, set16(0xFC00));
        const __m128i high = _mm_cmpeq_epi16(kind, set16(0xD800)), low = _mm_cmpeq_epi16(kind, set16(0xDC00));
        const __m128i after_high = _mm_or_si128(_mm_slli_si128(high, 2), _mm_srli_si128(prev_high, 14));
        if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(u, zero), _mm_xor_si128(low, after_high))) != 0) break;
        // Three bytes, less one for each of: below 0x80, below 0x800, a
        // surrogate (each unit of a pair takes two).
        const __m128i small = _mm_cmpeq_epi16(_mm_and_si128(u, set16(0xFF80)), zero);
        const __m128i medium = _mm_cmpeq_epi16(_mm_and_si128(u, set16(0xF800)), zero);
        const __m128i less = _mm_add_epi16(_mm_add_epi16(small, medium), _mm_or_si128(high, low));
        sums = _mm_add_epi32(sums, _mm_madd_epi16(_mm_add_epi16(set16(3), less), set16(1)));
        prev_high = high;
        s += 16;
    }
    int64_t total = ascii + sum32(sums);
    if ((_mm_movemask_epi8(prev_high) & 0xC000) != 0) { // a pair not yet seen whole
        s -= 2;
        total -= 2;
    }
    *count += total;
    return s;
}

const unsigned char* measure_utf32_blocks(const unsigned char* s, const unsigned char* end, int64_t* count) {
    if (!sse2_level()) return s;
    const __m128i zero = _mm_setzero_si128();
    __m128i sums = zero;
    while (end - s >= 16) {
        const __m128i u = load(s);
        const __m128i surrogate = _mm_cmpeq_epi32(_mm_and_si128(u, _mm_set1_epi32(~0x7FF)), _mm_set1_epi32(0xD800));
        const __m128i good = _mm_andnot_si128(
            surrogate, _mm_and_si128(_mm_cmpgt_epi32(u, zero), _mm_cmplt_epi32(u, _mm_set1_epi32(0x110000))));
        if (_mm_movemask_epi8(good) != 0xFFFF) break;
        // One byte, plus one for each of: from 0x80, from 0x800, from 0x10000.
        const __m128i more = _mm_add_epi32(
            _mm_add_epi32(_mm_cmpgt_epi32(u, _mm_set1_epi32(0x7F)), _mm_cmpgt_epi32(u, _mm_set1_epi32(0x7FF))),
            _mm_cmpgt_epi32(u, _mm_set1_epi32(0xFFFF)));
        sums = _mm_sub_epi32(_mm_add_epi32(sums, _mm_set1_epi32(1)), more);
        s += 16;
    }
    *count += sum32(sums);
    return s;
}

void check_utf8_ahead(const unsigned char* s, const unsigned char* end, Utf8Ahead* ahead) {
    if (!sse2_level()) return;
    if (ahead->checked < s) { // a character starts at s: nothing runs on into it
        ahead->checked = s;
        std::memset(ahead->prev, 0, sizeof ahead->prev);
    }
    __m128i prev = load(ahead->prev);
    for (int blocks = 0; blocks < 4 && end - ahead->checked >= 16; ++blocks) {
        const byte* p = ahead->checked;
        // Where the bytes before it end a character, CJK text is checked
        // 48 bytes at a time.
        const byte* before = ahead->prev;
        if (before[15] < 0xC0 && before[14] < 0xE0 && before[13] < 0xF0 && end - p >= 48 && sixteen_three_byte(p)) {
            std::memcpy(ahead->prev, p + 32, 16);
            prev = load(p + 32);
            ahead->checked += 48;
            continue;
        }
        const __m128i cur = load(ahead->checked);
        if (_mm_movemask_epi8(utf8_errors(cur, prev)) != 0) break;
        prev = cur;
        std::memcpy(ahead->prev, p, 16);
        ahead->checked += 16;
    }
}

void utf16_three_byte_from_utf8(const unsigned char*& s, const unsigned char* checked, unsigned char*& d,
                                unsigned char* d_end, bool big_endian) {
    if (!sse2_level()) return;
    const __m128i zero = _mm_setzero_si128();
    while (checked - s >= 16 && d_end - d >= 10) {
        // Five characters at a time: leads from E0 to EF at every third byte.
        const __m128i v = load(s);
        if ((_mm_movemask_epi8(_mm_andnot_si128(leads_from(v, 0xF0), leads_from(v, 0xE0))) & 0x7FFF) != 0x1249) return;
        // Every byte lane decoded as if a sequence began there; the
        // characters are lanes 0, 3, 6, 9 and 12.
        const __m128i next1 = _mm_srli_si128(v, 1), next2 = _mm_srli_si128(v, 2);
        const auto decode = [&](__m128i b0, __m128i b1, __m128i b2) {
            const __m128i u = _mm_or_si128(
                _mm_or_si128(_mm_slli_epi16(b0, 12), _mm_slli_epi16(_mm_and_si128(b1, set16(0x3F)), 6)),
                _mm_and_si128(b2, set16(0x3F)));
            return big_endian ? swap_bytes16(u) : u;
        };
        const __m128i low =
            decode(_mm_unpacklo_epi8(v, zero), _mm_unpacklo_epi8(next1, zero), _mm_unpacklo_epi8(next2, zero));
        const __m128i high =
            decode(_mm_unpackhi_epi8(v, zero), _mm_unpackhi_epi8(next1, zero), _mm_unpackhi_epi8(next2, zero));
        const uint16_t units[5] = {
            static_cast<uint16_t>(_mm_extract_epi16(low, 0)), static_cast<uint16_t>(_mm_extract_epi16(low, 3)),
            static_cast<uint16_t>(_mm_extract_epi16(low, 6)), static_cast<uint16_t>(_mm_extract_epi16(high, 1)),
            static_cast<uint16_t>(_mm_extract_epi16(high, 4))};
        std::memcpy(d, units, sizeof units);
        s += 15;
        d += 10;
    }
}

void utf8_from_utf16_blocks(const unsigned char*& s, const unsigned char* end, unsigned char*& d,
                            unsigned char* d_end, bool big_endian) {
    if (!sse2_level()) return;
    const __m128i zero = _mm_setzero_si128();
    while (end - s >= 16 && d_end - d >= 24) {
        const __m128i u = big_endian ? swap_bytes16(load(s)) : load(s);
        if (_mm_movemask_epi8(not_three_byte16(u)) == 0) {
            put_three_byte8(d, u);
            s += 16;
            d += 24;
            continue;
        }
        // Units from 1 to 0x7FF (accented Latin text): each written as two
        // bytes, the second of an ASCII one overwritten by what follows; the
        // byte after the last is put back as it was.
        if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(u, zero),
                                           _mm_xor_si128(_mm_cmpeq_epi16(_mm_and_si128(u, set16(0xF800)), zero),
                                                         _mm_set1_epi32(-1)))) != 0)
            return;
        const __m128i two = _mm_xor_si128(_mm_cmpeq_epi16(_mm_and_si128(u, set16(0xFF80)), zero), _mm_set1_epi32(-1));
        const __m128i pair = _mm_or_si128(_mm_or_si128(_mm_srli_epi16(u, 6), set16(0xC0)),
                                          _mm_slli_epi16(_mm_or_si128(_mm_and_si128(u, set16(0x3F)), set16(0x80)), 8));
        uint16_t written[8];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(written), _mm_or_si128(_mm_and_si128(two, pair), _mm_andnot_si128(two, u)));
        const int lanes = _mm_movemask_epi8(two);
        const int64_t total = 8 + sum64(_mm_sad_epu8(_mm_and_si128(two, set16(1)), zero));
        const byte kept = d[total];
        for (int i = 0; i < 8; ++i) {
            std::memcpy(d, &written[i], 2);
            d += 1 + (lanes >> (2 * i) & 1);
        }
        d[0] = kept;
        s += 16;
    }
}

void utf8_three_byte_from_utf32(const unsigned char*& s, const unsigned char* end, unsigned char*& d,
                                unsigned char* d_end) {
    if (!sse2_level()) return;
    while (end - s >= 32 && d_end - d >= 24) {
        const __m128i a = load(s), b = load(s + 16);
        if (_mm_movemask_epi8(_mm_or_si128(not_three_byte32(a), not_three_byte32(b))) != 0) return;
        // To 16 bits: shifted into the signed range for the saturating
        // pack, and back.
        const __m128i bias = _mm_set1_epi32(0x8000);
        put_three_byte8(d, _mm_add_epi16(_mm_packs_epi32(_mm_sub_epi32(a, bias), _mm_sub_epi32(b, bias)), set16(0x8000)));
        s += 32;
        d += 24;
    }
}

#else // without SSE2: nothing many at a time

const unsigned char* measure_utf8_blocks(const unsigned char* s, const unsigned char*, int32_t, int32_t, int64_t*) {
    return s;
}
const unsigned char* measure_utf16_blocks(const unsigned char* s, const unsigned char*, bool, int64_t*) { return s; }
const unsigned char* measure_utf32_blocks(const unsigned char* s, const unsigned char*, int64_t*) { return s; }
void check_utf8_ahead(const unsigned char*, const unsigned char*, Utf8Ahead*) {}
void utf16_three_byte_from_utf8(const unsigned char*&, const unsigned char*, unsigned char*&, unsigned char*, bool) {}
void utf8_from_utf16_blocks(const unsigned char*&, const unsigned char*, unsigned char*&, unsigned char*, bool) {}
void utf8_three_byte_from_utf32(const unsigned char*&, const unsigned char*, unsigned char*&, unsigned char*) {}

#endif

} // namespace keloutil
