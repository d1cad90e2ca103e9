// SPDX-License-Identifier: MIT
// Where a source's text ends, for the direct measuring loops (and for the
// conversion loops under the address sanitizer): at its first zero code
// unit. A caller may give a length that runs past the text's terminator (an
// upper bound, or a count in the wrong unit), and the loops load many bytes
// at a time, so they are given only the bytes before it.
//
// Finding it reads whole aligned groups of bytes, as strlen does: an
// aligned group never crosses a page, so once one byte of a group belongs
// to the text the whole group can be read; the bytes in it that lie outside
// the text are looked at only to be passed over. The address sanitizer
// would call those loads overflows, so it does not check them; every byte
// that counts is read again, unit by unit, with its checks.
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "c_str_internal.h"

namespace keloutil {

namespace {

using byte = unsigned char;

#if defined(__SSE2__)

// Two cache lines a group, tested with one branch: the scan that comes
// before every slice of a conversion runs at close to the memory's speed.
constexpr uintptr_t group_size = 128;

// Whether the aligned group at g may hold a zero unit: any zero byte, or,
// where the units lie aligned in it, any zero unit.
__attribute__((no_sanitize_address)) bool may_hold_zero(const byte* g, int unit, bool aligned_units) {
    const __m128i* v = reinterpret_cast<const __m128i*>(g);
    const __m128i zero = _mm_setzero_si128();
    __m128i hits = zero;
    for (int i = 0; i < 8; i += 4) {
        const __m128i a = _mm_load_si128(v + i), b = _mm_load_si128(v + i + 1), c = _mm_load_si128(v + i + 2),
                      d = _mm_load_si128(v + i + 3);
        if (unit == 1 || !aligned_units) {
            hits = _mm_or_si128(hits, _mm_cmpeq_epi8(_mm_min_epu8(_mm_min_epu8(a, b), _mm_min_epu8(c, d)), zero));
        } else if (unit == 2) {
            hits = _mm_or_si128(hits, _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero)),
                                                   _mm_or_si128(_mm_cmpeq_epi16(c, zero), _mm_cmpeq_epi16(d, zero))));
        } else {
            hits = _mm_or_si128(hits, _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi32(a, zero), _mm_cmpeq_epi32(b, zero)),
                                                   _mm_or_si128(_mm_cmpeq_epi32(c, zero), _mm_cmpeq_epi32(d, zero))));
        }
    }
    return _mm_movemask_epi8(hits) != 0;
}

#else // without SSE2: one 64-bit word at a time

constexpr uintptr_t group_size = 8;

typedef uint64_t __attribute__((may_alias)) Word;

// As above. A lane of the word is zero exactly when subtracting one from
// every lane borrows into the top bit of a lane whose top bit was clear.
__attribute__((no_sanitize_address)) bool may_hold_zero(const byte* g, int unit, bool aligned_units) {
    const uint64_t w = *reinterpret_cast<const Word*>(g);
    uint64_t ones = 0x0101010101010101u, tops = 0x8080808080808080u;
    if (unit == 2 && aligned_units) ones = 0x0001000100010001u, tops = 0x8000800080008000u;
    if (unit == 4 && aligned_units) ones = 0x0000000100000001u, tops = 0x8000000080000000u;
    return ((w - ones) & ~w & tops) != 0;
}

#endif

bool zero_unit_at(const byte* p, int unit) {
    for (int i = 0; i < unit; ++i)
        if (p[i] != 0) return false;
    return true;
}

} // namespace

const unsigned char* first_zero_unit(const unsigned char* s, const unsigned char* end, int unit) {
    const auto address = reinterpret_cast<uintptr_t>(s);
    const uintptr_t phase = address & static_cast<uintptr_t>(unit - 1); // where units start in a group
    const bool aligned_units = phase == 0;
    // Units are looked at one by one only in a group that may hold a zero
    // one; a unit that runs on into the next group is looked at with the
    // group where it starts.
    const byte* group = s - (address & (group_size - 1));
    for (const byte* first = s; group < end; group += group_size, first = group + phase) {
        if (!may_hold_zero(group, unit, aligned_units)) continue;
        for (const byte* p = first; p < group + group_size; p += unit) {
            if (end - p < unit) return end;
            if (zero_unit_at(p, unit)) return p;
        }
    }
    return end;
}

} // namespace keloutil
