/* SPDX-License-Identifier: MIT */
/** @file
 * The counted allocator.
 *
 * Every block carries a 4-byte header with its total size (the requested
 * size plus the header), and the library keeps a process-wide total of the
 * bytes of all live blocks. Every record of the flat interface (strings,
 * lists, maps, iterators) comes from here, so memory_allocated() is also the
 * library's own leak check: it returns to its earlier value once everything
 * created in between has been released.
 *
 * Blocks are aligned for any record on every platform (on 64-bit platforms
 * the header sits at the end of an aligned prefix); the counted size of a
 * block is always its requested size plus 4.
 *
 * The total is a plain, unsynchronised integer: use the allocator from one
 * thread at a time. */
#ifndef KELOUTIL_MEMORY_H
#define KELOUTIL_MEMORY_H

#include <stddef.h>
#include <stdint.h>

#include <keloutil/export.h>

KELOUTIL_BEGIN_C

/** Size of the header in front of every block, in bytes. */
#define MEMORY_HEADER_SIZE 4u

/** Returns `size` zero-filled bytes, or NULL when the heap refuses (the total
 * is then unchanged). A size of 0 gives a valid, empty block. */
KELOUTIL_C_API void* memory_allocate(uint32_t size);

/** Releases a block from memory_allocate and returns its total size, header
 * included; returns 0 for NULL. Give it only blocks from memory_allocate. */
KELOUTIL_C_API uint32_t memory_free(void* block);

/** The bytes of all live blocks, headers included. */
KELOUTIL_C_API uint32_t memory_allocated(void);

KELOUTIL_END_C

#endif /* KELOUTIL_MEMORY_H */
