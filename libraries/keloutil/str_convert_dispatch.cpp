// SPDX-License-Identifier: MIT
// The run-time choice of vector instructions for the conversions (see
// str_convert_dispatch.h), and the entry points that send each kernel to
// its version for that choice.
#include "str_convert_dispatch.h"

#include <cstdlib>
#include <cstring>

#include "c_str_internal.h"
#include "str_convert_vector.h"

namespace keloutil {

namespace dispatch_detail {

std::atomic<int> chosen{-1};

SimdLevel choose() {
    SimdLevel level = simd_level_available();
    if (const char* wanted = std::getenv("KELOUTIL_SIMD_LEVEL")) {
        for (int i = 0; i <= static_cast<int>(SimdLevel::avx2); ++i) {
            if (std::strcmp(wanted, simd_level_name(static_cast<SimdLevel>(i))) == 0 && i < static_cast<int>(level))
                level = static_cast<SimdLevel>(i);
        }
    }
    // Two threads that both choose choose the same.
    chosen.store(static_cast<int>(level), std::memory_order_relaxed);
    return level;
}

} // namespace dispatch_detail

SimdLevel simd_level_available() {
#if KELOUTIL_VECTOR_KERNELS
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return SimdLevel::avx2;
    if (__builtin_cpu_supports("ssse3")) return SimdLevel::ssse3;
    return SimdLevel::sse2;
#elif defined(__SSE2__)
    return SimdLevel::sse2;
#else
    return SimdLevel::portable;
#endif
}

SimdLevel set_simd_level(SimdLevel level) {
    const SimdLevel available = simd_level_available();
    if (static_cast<int>(level) > static_cast<int>(available)) level = available;
    dispatch_detail::chosen.store(static_cast<int>(level), std::memory_order_relaxed);
    return level;
}

const char* simd_level_name(SimdLevel level) {
    switch (level) {
    case SimdLevel::portable: return "portable";
    case SimdLevel::sse2: return "sse2";
    case SimdLevel::ssse3: return "ssse3";
    case SimdLevel::avx2: return "avx2";
    }
    return "";
}

#if KELOUTIL_VECTOR_KERNELS
// The version of a kernel for the level in effect; none below ssse3.
template <class Kernel>
Kernel* for_level(Kernel* avx2, Kernel* ssse3) {
    switch (simd_level()) {
    case SimdLevel::avx2: return avx2;
    case SimdLevel::ssse3: return ssse3;
    default: return nullptr;
    }
}
#endif

void utf16_from_utf8_vectors(const unsigned char*& s, const unsigned char* end, unsigned char*& d,
                             unsigned char* d_end, bool big_endian, bool well_formed) {
#if KELOUTIL_VECTOR_KERNELS
    if (const auto kernel = for_level(vector_avx2::utf16_from_utf8, vector_ssse3::utf16_from_utf8))
        kernel(s, end, d, d_end, big_endian, well_formed);
#else
    (void)s, (void)end, (void)d, (void)d_end, (void)big_endian, (void)well_formed;
#endif
}

void utf32_from_utf8_vectors(const unsigned char*& s, const unsigned char* end, unsigned char*& d,
                             unsigned char* d_end, bool well_formed) {
#if KELOUTIL_VECTOR_KERNELS
    if (const auto kernel = for_level(vector_avx2::utf32_from_utf8, vector_ssse3::utf32_from_utf8))
        kernel(s, end, d, d_end, well_formed);
#else
    (void)s, (void)end, (void)d, (void)d_end, (void)well_formed;
#endif
}

const unsigned char* measure_utf8(const unsigned char* s, const unsigned char* end, int32_t width, int32_t width4,
                                  int64_t* count) {
#if KELOUTIL_VECTOR_KERNELS
    if (const auto kernel = for_level(vector_avx2::measure_utf8, vector_ssse3::measure_utf8))
        return kernel(s, end, width, width4, count);
#endif
    return measure_utf8_blocks(s, end, width, width4, count);
}

void utf8_from_utf16_vectors(const unsigned char*& s, const unsigned char* end, unsigned char*& d,
                             unsigned char* d_end, bool big_endian) {
#if KELOUTIL_VECTOR_KERNELS
    if (const auto kernel = for_level(vector_avx2::utf8_from_utf16, vector_ssse3::utf8_from_utf16))
        kernel(s, end, d, d_end, big_endian);
#else
    (void)s, (void)end, (void)d, (void)d_end, (void)big_endian;
#endif
}

void utf8_from_utf32_vectors(const unsigned char*& s, const unsigned char* end, unsigned char*& d,
                             unsigned char* d_end) {
#if KELOUTIL_VECTOR_KERNELS
    if (const auto kernel = for_level(vector_avx2::utf8_from_utf32, vector_ssse3::utf8_from_utf32))
        kernel(s, end, d, d_end);
#else
    (void)s, (void)end, (void)d, (void)d_end;
#endif
}

} // namespace keloutil
