// SPDX-License-Identifier: MIT
// Which vector instructions the conversions use, chosen at run time: the
// processor's features are read once, at the first conversion that asks,
// and every kernel with a version for a level takes the highest one that
// the processor and this build have. KELOUTIL_SIMD_LEVEL in the
// environment (portable, sse2, ssse3, avx2) lowers the choice, for
// measuring one level against another; it never raises it past what the
// processor has. Internal to the library: nothing here is exported.
#ifndef KELOUTIL_STR_CONVERT_DISPATCH_H
#define KELOUTIL_STR_CONVERT_DISPATCH_H

#include <atomic>
#include <cstdint>

namespace keloutil {

// In rising order: each level has every kernel of the ones below it.
// portable: no vector kernels at all (the ASCII runs keep what the build
// has: SSE2 on x86-64). sse2: the blocks of str_convert_blocks.cpp.
// ssse3 and avx2: the kernels of str_convert_vector.cpp besides.
enum class SimdLevel : int { portable = 0, sse2 = 1, ssse3 = 2, avx2 = 3 };

namespace dispatch_detail {
extern std::atomic<int> chosen; // -1 until the first call of simd_level
SimdLevel choose();
} // namespace dispatch_detail

// The level in effect.
inline SimdLevel simd_level() {
    const int level = dispatch_detail::chosen.load(std::memory_order_relaxed);
    return level >= 0 ? static_cast<SimdLevel>(level) : dispatch_detail::choose();
}

// The highest level that this build and this processor have.
SimdLevel simd_level_available();

// For the tests: puts `level` in effect, lowered to what is available, and
// returns the level now in effect.
SimdLevel set_simd_level(SimdLevel level);

// The level's name, as KELOUTIL_SIMD_LEVEL spells it.
const char* simd_level_name(SimdLevel level);

// ---- the kernels that have a version per level --------------------------

// UTF-16 (big- or little-endian) of the UTF-8 at s, as long as it comes
// in strictly well-formed characters other than character 0 (sixteen bytes
// at a time, and so 18 bytes ahead) and the destination has room for a
// block: advances s and d past what was converted, stopping at the start of
// a character that it leaves to the caller. It writes nothing past what it
// converted. With `well_formed`, the caller knows the UTF-8 to be strictly
// well-formed, and it is not checked again. Does nothing below the ssse3
// level.
void utf16_from_utf8_vectors(const unsigned char*& s, const unsigned char* end, unsigned char*& d,
                             unsigned char* d_end, bool big_endian, bool well_formed);

// UTF-32 (host order) of the UTF-8 at s, as utf16_from_utf8_vectors
// converts it, but for four-byte characters, which it leaves to the caller;
// the destination has room for a block (80 bytes).
void utf32_from_utf8_vectors(const unsigned char*& s, const unsigned char* end, unsigned char*& d,
                             unsigned char* d_end, bool well_formed);

// UTF-8 of the UTF-32 units (host order) at s, as long as they are
// characters from U+0001 to U+FFFF other than surrogates (sixteen at a
// time) and the destination has room for 64 bytes: advances s and d past
// what was converted, writing nothing past it. Does nothing below the
// ssse3 level.
void utf8_from_utf32_vectors(const unsigned char*& s, const unsigned char* end, unsigned char*& d,
                             unsigned char* d_end);

// Measures UTF-8 at s into a target whose characters below U+10000 take
// `width` bytes and the others `width4`, as long as it is strictly
// well-formed: whole blocks from s (which holds no zero byte before end, and
// where a character starts), their widths added to *count. Returns where it
// stopped, at the start of a character. Below the ssse3 level this is
// measure_utf8_blocks (nothing at the portable level).
const unsigned char* measure_utf8(const unsigned char* s, const unsigned char* end, int32_t width, int32_t width4,
                                  int64_t* count);

// UTF-8 of the UTF-16 (big- or little-endian) at s, as long as it comes in
// units other than 0 and whole surrogate pairs (sixteen bytes or more at a
// time) and the destination has room for a block: advances s and d past
// what was converted, stopping at the start of a character that it leaves
// to the caller. It writes nothing past what it converted. Does nothing
// below the ssse3 level.
void utf8_from_utf16_vectors(const unsigned char*& s, const unsigned char* end, unsigned char*& d,
                             unsigned char* d_end, bool big_endian);

} // namespace keloutil

#endif // KELOUTIL_STR_CONVERT_DISPATCH_H
