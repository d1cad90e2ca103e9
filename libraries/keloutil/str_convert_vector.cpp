// SPDX-License-Identifier: MIT
// The conversion kernels that need more than SSE2 (str_convert_vector.h):
// the body in str_convert_vector.inc, built once per level with that
// level's target attribute on every function, each build in a namespace of
// its own.
#include "str_convert_vector.h"

#if KELOUTIL_VECTOR_KERNELS

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "str_utf8_check.h"

namespace keloutil {
namespace {

// The byte shuffles that move the 16-bit lanes of eight that a mask selects
// to the front, in order, with zeros after them: one per mask.
struct Packing {
    alignas(16) unsigned char shuffle[256][16];
};

constexpr Packing make_packing() {
    Packing p{};
    for (int mask = 0; mask < 256; ++mask) {
        int out = 0;
        for (int lane = 0; lane < 8; ++lane) {
            if ((mask >> lane & 1) == 0) continue;
            p.shuffle[mask][out++] = static_cast<unsigned char>(2 * lane);
            p.shuffle[mask][out++] = static_cast<unsigned char>(2 * lane + 1);
        }
        while (out < 16) p.shuffle[mask][out++] = 0x80;
    }
    return p;
}

constexpr Packing packing = make_packing();

} // namespace
} // namespace keloutil

#define KERNEL_TARGET __attribute__((target("avx2")))
#define KERNEL_NAMESPACE vector_avx2
#define KERNEL_WIDE 1
#include "str_convert_vector.inc"
#undef KERNEL_TARGET
#undef KERNEL_NAMESPACE
#undef KERNEL_WIDE

#define KERNEL_TARGET __attribute__((target("ssse3")))
#define KERNEL_NAMESPACE vector_ssse3
#define KERNEL_WIDE 0
#include "str_convert_vector.inc"
#undef KERNEL_TARGET
#undef KERNEL_NAMESPACE
#undef KERNEL_WIDE

#endif
