// SPDX-License-Identifier: MIT
// The conversion kernels that need more than SSE2, one version per level
// (str_convert_vector.cpp), reached through str_convert_dispatch.cpp. They
// are built with per-function target attributes, so that the library as a
// whole still runs on any x86-64; built without SSE2 there are none.
#ifndef KELOUTIL_STR_CONVERT_VECTOR_H
#define KELOUTIL_STR_CONVERT_VECTOR_H

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define KELOUTIL_VECTOR_KERNELS 1
#else
#define KELOUTIL_VECTOR_KERNELS 0
#endif

#if KELOUTIL_VECTOR_KERNELS
#include <cstdint>

namespace keloutil {

// As utf16_from_utf8_vectors, utf32_from_utf8_vectors, utf8_from_utf16_vectors,
// utf8_from_utf32_vectors and measure_utf8 (str_convert_dispatch.h), in each level's instructions.
#define KELOUTIL_VECTOR_KERNELS_OF(level)                                                                          \
    namespace level {                                                                                              \
    void utf16_from_utf8(const unsigned char*& s, const unsigned char* end, unsigned char*& d,                     \
                         unsigned char* d_end, bool big_endian, bool well_formed);                                 \
    void utf32_from_utf8(const unsigned char*& s, const unsigned char* end, unsigned char*& d,                     \
                         unsigned char* d_end, bool well_formed);                                                  \
    void utf8_from_utf16(const unsigned char*& s, const unsigned char* end, unsigned char*& d,                     \
                         unsigned char* d_end, bool big_endian);                                                   \
    void utf8_from_utf32(const unsigned char*& s, const unsigned char* end, unsigned char*& d,                     \
                         unsigned char* d_end);                                                                    \
    const unsigned char* measure_utf8(const unsigned char* s, const unsigned char* end, int32_t width,             \
                                      int32_t width4, int64_t* count);                                             \
    }
KELOUTIL_VECTOR_KERNELS_OF(vector_avx2)
KELOUTIL_VECTOR_KERNELS_OF(vector_ssse3)
#undef KELOUTIL_VECTOR_KERNELS_OF

} // namespace keloutil
#endif

#endif // KELOUTIL_STR_CONVERT_VECTOR_H
