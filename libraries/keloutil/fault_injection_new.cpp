// SPDX-License-Identifier: MIT
// Only in the fault-injection variant of the library: the global operator
// new and delete, replaced so that allocations through new (the standard
// containers and strings, TinyXML's nodes) take part in the simulated
// failures of memory_fail_after. A failing attempt throws std::bad_alloc, or
// gives null from the nothrow forms, as the heap's own refusal would. Blocks
// come from malloc and every form of delete gives them back to free, so a
// sanitizer sees matching pairs.
#include "memory_internal.h"

#include <cstdlib>
#include <new>

namespace {

void* allocate(std::size_t size) noexcept {
    if (keloutil::memory_attempt_fails()) return nullptr;
    return std::malloc(size != 0 ? size : 1);
}

void* allocate_or_throw(std::size_t size) {
    void* block = allocate(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

} // namespace

void* operator new(std::size_t size) { return allocate_or_throw(size); }
void* operator new[](std::size_t size) { return allocate_or_throw(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
