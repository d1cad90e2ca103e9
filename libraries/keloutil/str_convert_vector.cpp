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

// The byte shuffles that write eight UTF-16 units of one or two bytes of
// UTF-8, each held as a 16-bit lane [first byte, second byte]: the first
// byte of every lane, and the second of the lanes that a mask selects, in
// order, with zeros after them; and how many bytes that is. One per mask.
struct Narrowing {
    alignas(16) unsigned char shuffle[256][16];
    unsigned char length[256];
};

constexpr Narrowing make_narrowing() {
    Narrowing p{};
    for (int mask = 0; mask < 256; ++mask) {
        int out = 0;
        for (int lane = 0; lane < 8; ++lane) {
            p.shuffle[mask][out++] = static_cast<unsigned char>(2 * lane);
            if ((mask >> lane & 1) != 0) p.shuffle[mask][out++] = static_cast<unsigned char>(2 * lane + 1);
        }
        p.length[mask] = static_cast<unsigned char>(out);
        while (out < 16) p.shuffle[mask][out++] = 0x80;
    }
    return p;
}

constexpr Narrowing narrowing = make_narrowing();

// The byte shuffles that write four UTF-16 units of one to three bytes of
// UTF-8, each held as a 32-bit lane [lead, middle, last, 0] whose last
// bytes are the ones written: bit i (0..3) of the index says unit i takes
// two bytes or more, bit 4 + i that it takes three. The bytes in order,
// with zeros after them; and how many bytes that is. One per index.
struct Spreading {
    alignas(16) unsigned char shuffle[256][16];
    unsigned char length[256];
};

constexpr Spreading make_spreading() {
    Spreading p{};
    for (int index = 0; index < 256; ++index) {
        int out = 0;
        for (int lane = 0; lane < 4; ++lane) {
            const int bytes = 1 + (index >> lane & 1) + (index >> (lane + 4) & 1);
            for (int b = 3 - bytes; b < 3; ++b) p.shuffle[index][out++] = static_cast<unsigned char>(4 * lane + b);
        }
        p.length[index] = static_cast<unsigned char>(out);
        while (out < 16) p.shuffle[index][out++] = 0x80;
    }
    return p;
}

constexpr Spreading spreading = make_spreading();

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
