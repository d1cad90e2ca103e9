// SPDX-License-Identifier: MIT
// The counted allocator: malloc with a 4-byte size header in front of each
// block and a process-wide total of the bytes that are live.
#include <keloutil/memory.h>

#include "memory_internal.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

uint32_t g_allocated = 0; // bytes of all live blocks, headers included

// The header word sits just before the caller's bytes. On 32-bit targets the
// block starts with it, as the 4-byte header implies. On 64-bit targets the
// records handed out hold 8-byte pointers, so the caller's bytes start at the
// heap's own alignment instead, with the header word in the last 4 bytes of
// that prefix. The counted size is the same on both: the request plus 4.
constexpr size_t prefix_size = sizeof(void*) > 4 ? alignof(std::max_align_t) : MEMORY_HEADER_SIZE;
static_assert(prefix_size >= MEMORY_HEADER_SIZE);

#ifdef KELOUTIL_FAULT_INJECTION
// Simulated allocation failures for the tests: attempts are counted from
// the last memory_fail_after, and the one numbered g_fail_at fails.
uint32_t g_attempts = 0;
uint32_t g_fail_at = 0;        // 0: none fails
bool g_fail_persists = false;  // every attempt after it fails too

// Counts one allocation attempt; true when it is to fail.
bool injected_failure() {
    ++g_attempts;
    return g_fail_at != 0 && (g_attempts == g_fail_at || (g_fail_persists && g_attempts > g_fail_at));
}
#else
constexpr bool injected_failure() { return false; }
#endif

// A new counted block of `size` bytes, zero-filled or not.
void* allocate(uint32_t size, bool zero_filled) {
    if (size > UINT32_MAX - MEMORY_HEADER_SIZE || injected_failure()) return nullptr;
    const uint32_t total = size + MEMORY_HEADER_SIZE;
    // calloc gives the zero fill in one step (and often for free on fresh pages).
    auto* block = static_cast<unsigned char*>(zero_filled ? std::calloc(1, prefix_size + size)
                                                          : std::malloc(prefix_size + size));
    if (block == nullptr) return nullptr;
    unsigned char* user = block + prefix_size;
    std::memcpy(user - MEMORY_HEADER_SIZE, &total, sizeof total);
    g_allocated += total;
    return user;
}

} // namespace

extern "C" {

void* memory_allocate(uint32_t size) { return allocate(size, true); }

uint32_t memory_free(void* pointer) {
    if (pointer == nullptr) return 0;
    auto* user = static_cast<unsigned char*>(pointer);
    uint32_t total;
    std::memcpy(&total, user - MEMORY_HEADER_SIZE, sizeof total);
    std::free(user - prefix_size);
    g_allocated -= total;
    return total;
}

uint32_t memory_allocated(void) { return g_allocated; }

} // extern "C"

namespace keloutil {

void* memory_allocate_unfilled(uint32_t size) { return allocate(size, false); }

void* memory_reallocate(void* pointer, uint32_t size) {
    if (pointer == nullptr) return memory_allocate(size);
    if (size > UINT32_MAX - MEMORY_HEADER_SIZE || injected_failure()) return nullptr;
    uint32_t old_total;
    std::memcpy(&old_total, static_cast<unsigned char*>(pointer) - MEMORY_HEADER_SIZE, sizeof old_total);
    const uint32_t old_size = old_total - MEMORY_HEADER_SIZE;
    auto* block = static_cast<unsigned char*>(
        std::realloc(static_cast<unsigned char*>(pointer) - prefix_size, prefix_size + size));
    if (block == nullptr) return nullptr;
    unsigned char* user = block + prefix_size;
    if (size > old_size) std::memset(user + old_size, 0, size - old_size);
    const uint32_t total = size + MEMORY_HEADER_SIZE;
    std::memcpy(user - MEMORY_HEADER_SIZE, &total, sizeof total);
    g_allocated = g_allocated - old_total + total;
    return user;
}

#ifdef KELOUTIL_FAULT_INJECTION
bool memory_attempt_fails() { return injected_failure(); }

void memory_fail_after(uint32_t n, bool persist) {
    g_attempts = 0;
    g_fail_at = n;
    g_fail_persists = persist;
}

uint32_t memory_attempts() { return g_attempts; }
#endif

} // namespace keloutil
