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

// The ways in which a byte and the byte after it can break the strict form
// of UTF-8, one bit each. Each table gives, for one nibble of the pair, the
// ways that nibble allows; a pair breaks the form in the ways that all three
// of its nibbles allow.
enum : unsigned char {
    too_short = 1 << 0,          // a lead byte, then no continuation byte
    too_long = 1 << 1,           // ASCII, then a continuation byte
    overlong3 = 1 << 2,          // E0 80..9F
    too_large = 1 << 3,          // F4 90..BF, F5..FF 90..BF
    surrogate = 1 << 4,          // ED A0..BF
    overlong2 = 1 << 5,          // C0 or C1, then a continuation byte
    overlong4_too_large = 1 << 6, // F0 80..8F, F5..FF 80..8F
    two_continuations = 1 << 7,  // right only as a third or fourth byte
};

struct NibbleErrors {
    unsigned char first_high[16];  // the high nibble of the first byte
    unsigned char first_low[16];   // its low nibble
    unsigned char second_high[16]; // the high nibble of the second byte
};

constexpr unsigned char any_first = too_short | too_long | two_continuations;
constexpr unsigned char continuation_8 = too_long | overlong2 | two_continuations | overlong3 | overlong4_too_large;
constexpr unsigned char continuation_9 = too_long | overlong2 | two_continuations | overlong3 | too_large;
constexpr unsigned char continuation_ab = too_long | overlong2 | two_continuations | surrogate | too_large;
constexpr unsigned char large_lead = any_first | too_large | overlong4_too_large;

alignas(16) constexpr NibbleErrors utf8_nibble_errors = {
    {too_long, too_long, too_long, too_long, too_long, too_long, too_long, too_long, two_continuations,
     two_continuations, two_continuations, two_continuations, too_short | overlong2, too_short,
     too_short | overlong3 | surrogate, too_short | too_large | overlong4_too_large},
    {any_first | overlong3 | overlong2 | overlong4_too_large, any_first | overlong2, any_first, any_first,
     any_first | too_large, large_lead, large_lead, large_lead, large_lead, large_lead, large_lead, large_lead,
     large_lead, large_lead | surrogate, large_lead, large_lead},
    {too_short, too_short, too_short, too_short, too_short, too_short, too_short, too_short, continuation_8,
     continuation_9, continuation_ab, continuation_ab, too_short, too_short, too_short, too_short},
};

// A table of byte shuffles, one per index, and how many bytes each gives.
struct Shuffles {
    alignas(16) unsigned char shuffle[256][16];
    unsigned char length[256];
};

// The byte shuffles that write eight UTF-16 units of one or two bytes of
// UTF-8, each held as a 16-bit lane [first byte, second byte]: the first
// byte of every lane, and the second of the lanes that a mask selects, in
// order, with zeros after them; and how many bytes that is. One per mask.
constexpr Shuffles make_narrowing() {
    Shuffles p{};
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

constexpr Shuffles narrowing = make_narrowing();

// The byte shuffles that write four UTF-16 units of one to three bytes of
// UTF-8, each held as a 32-bit lane [lead, middle, last, 0] whose last
// bytes are the ones written: bit i (0..3) of the index says unit i takes
// two bytes or more, bit 4 + i that it takes three. The bytes in order,
// with zeros after them; and how many bytes that is. One per index.
constexpr Shuffles make_spreading() {
    Shuffles p{};
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

constexpr Shuffles spreading = make_spreading();

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
