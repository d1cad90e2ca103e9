// Internal to the library: what the modules need of the counted allocator
// beyond its exported functions.
#ifndef KELOUTIL_MEMORY_INTERNAL_H
#define KELOUTIL_MEMORY_INTERNAL_H

#include <keloutil/memory.h>

namespace keloutil {

// Resizes a block from memory_allocate to `size` bytes, keeping the smaller
// of the old and new sizes of its content and zero-filling what grows; the
// counted total follows. Returns the block (possibly moved), or NULL when
// the heap refuses, leaving the old block as it was. A NULL block gives a
// new one. Growing through the heap's own realloc lets repeated small
// growth happen in place instead of copying every time.
void* memory_reallocate(void* block, uint32_t size);

} // namespace keloutil

#endif // KELOUTIL_MEMORY_INTERNAL_H
