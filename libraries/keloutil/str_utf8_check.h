// SPDX-License-Identifier: MIT
// The strict form of UTF-8 tested sixteen bytes at a time with SSE2, shared
// by the blocks of str_convert_blocks.cpp and the kernels of
// str_convert_vector.cpp (which inline it into their own instruction sets).
// Only for builds with SSE2.
#ifndef KELOUTIL_STR_UTF8_CHECK_H
#define KELOUTIL_STR_UTF8_CHECK_H

#include <emmintrin.h>

namespace keloutil {
namespace utf8_check {

inline __attribute__((always_inline)) __m128i set8(int byte_value) { return _mm_set1_epi8(static_cast<char>(byte_value)); }

// Lead bytes from `lead` up (bytes compared as signed: 0x80..0xBF is
// -128..-65, lead bytes -64..-1).
inline __attribute__((always_inline)) __m128i leads_from(__m128i v, int lead) {
    return _mm_and_si128(_mm_cmpgt_epi8(v, set8(lead - 1)), _mm_cmplt_epi8(v, _mm_setzero_si128()));
}

// The lanes of sixteen bytes of UTF-8 `cur` that break the strict form,
// given the sixteen bytes before them (`prev`, zeros at the start). A
// sequence may begin in `prev` and may run on past `cur`: its continuation
// bytes are checked with the block that holds them.
inline __attribute__((always_inline)) __m128i utf8_errors(__m128i cur, __m128i prev) {
    const __m128i before1 = _mm_or_si128(_mm_slli_si128(cur, 1), _mm_srli_si128(prev, 15));
    const __m128i before2 = _mm_or_si128(_mm_slli_si128(cur, 2), _mm_srli_si128(prev, 14));
    const __m128i before3 = _mm_or_si128(_mm_slli_si128(cur, 3), _mm_srli_si128(prev, 13));
    // A continuation byte is where a lead one, two or three bytes back
    // needs one, and nowhere else.
    const __m128i needed =
        _mm_or_si128(_mm_or_si128(leads_from(before1, 0xC0), leads_from(before2, 0xE0)), leads_from(before3, 0xF0));
    __m128i errors = _mm_xor_si128(needed, _mm_cmplt_epi8(cur, set8(0xC0)));
    errors = _mm_or_si128(errors, _mm_cmpeq_epi8(cur, _mm_setzero_si128()));
    errors = _mm_or_si128(errors, _mm_cmpeq_epi8(_mm_and_si128(cur, set8(0xFE)), set8(0xC0))); // C0, C1
    errors = _mm_or_si128(errors, leads_from(cur, 0xF5));
    // Second bytes that make over-long forms, surrogates or values above
    // U+10FFFF.
    const __m128i e0 = _mm_and_si128(_mm_cmpeq_epi8(before1, set8(0xE0)), _mm_cmplt_epi8(cur, set8(0xA0)));
    const __m128i ed = _mm_and_si128(_mm_cmpeq_epi8(before1, set8(0xED)), _mm_cmpgt_epi8(cur, set8(0x9F)));
    const __m128i f0 = _mm_and_si128(_mm_cmpeq_epi8(before1, set8(0xF0)), _mm_cmplt_epi8(cur, set8(0x90)));
    const __m128i f4 = _mm_and_si128(_mm_cmpeq_epi8(before1, set8(0xF4)), _mm_cmpgt_epi8(cur, set8(0x8F)));
    return _mm_or_si128(_mm_or_si128(errors, _mm_or_si128(e0, ed)), _mm_or_si128(f0, f4));
}

} // namespace utf8_check
} // namespace keloutil

#endif // KELOUTIL_STR_UTF8_CHECK_H
