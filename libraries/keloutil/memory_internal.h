/* SPDX-License-Identifier: MIT */
// Internal to the library: what the modules need of the counted allocator
// beyond its exported functions.
#ifndef KELOUTIL_MEMORY_INTERNAL_H
#define KELOUTIL_MEMORY_INTERNAL_H

#include <keloutil/memory.h>

namespace keloutil {

// memory_allocate without the zero fill, for a caller that writes every
// byte of the block itself.
void* memory_allocate_unfilled(uint32_t size);

// Resizes a block from memory_allocate to `size` bytes, keeping the smaller
// of the old and new sizes of its content and zero-filling what grows; the
// counted total follows. Returns the block (possibly moved), or NULL when
// the heap refuses, leaving the old block as it was. A NULL block gives a
// new one. Growing through the heap's own realloc lets repeated small
// growth happen in place instead of copying every time.
void* memory_reallocate(void* block, uint32_t size);

#ifdef KELOUTIL_FAULT_INJECTION
// Only in the test builds of the library, never in the one that is shipped:
// simulated allocation failure, so that tests can run every failure path.
// Makes the n-th allocation from now (memory_allocate, memory_reallocate and
// the global operator new alike, see fault_injection_new.cpp) fail, and with `persist` every one after it as well; n = 0 makes
// none fail. Restarts the count of memory_attempts.
void memory_fail_after(uint32_t n, bool persist);
// Allocations attempted since the last memory_fail_after, failed ones
// included: below n, the code under test finished before the failure.
uint32_t memory_attempts();
// Counts one allocation attempt of an allocator other than the counted one
// (operator new); true when it is to fail. Its bytes are not counted in
// memory_allocated, which stays the total of the counted allocator.
bool memory_attempt_fails();
#endif

} // namespace keloutil

#endif // KELOUTIL_MEMORY_INTERNAL_H
