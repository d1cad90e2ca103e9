// SPDX-License-Identifier: MIT
// The records of the flat interface as plain-C callers on 32-bit targets see
// them: those callers were written against 32-bit pointers, so on such
// targets every record must keep exactly this size and field order.
#include <keloutil/keloutil.h>

#include <cstddef>

namespace {

constexpr bool is_32_bit = sizeof(void*) == 4;

static_assert(!is_32_bit || sizeof(str_t) == 8, "str_t: buffer, capacity");
static_assert(!is_32_bit || offsetof(str_t, capacity) == 4, "str_t: capacity follows buffer");

static_assert(!is_32_bit || sizeof(list_t) == 16, "list_t: info, head, tail, count");
static_assert(!is_32_bit || offsetof(list_t, count) == 12, "list_t: count is the fourth word");
static_assert(!is_32_bit || sizeof(list_entry_t) == 12, "list_entry_t: prev, next, data");
static_assert(!is_32_bit || sizeof(list_iter_t) == 8, "list_iter_t: list, entry");
static_assert(!is_32_bit || sizeof(list_info_t) == 8 * 4, "list_info_t: eight words");
static_assert(!is_32_bit || offsetof(list_info_t, elem_size) == 4, "list_info_t: elem_size is the second word");

static_assert(!is_32_bit || sizeof(hashmap_t) == 24, "hashmap_t: six words");
static_assert(!is_32_bit || offsetof(hashmap_t, allocated) == 20, "hashmap_t: allocated is the sixth word");
static_assert(!is_32_bit || sizeof(hashmap_entry_t) == 12, "hashmap_entry_t: key, value, next");
static_assert(!is_32_bit || sizeof(hashmapiter_t) == 12, "hashmapiter_t: bucket, link, map");
static_assert(!is_32_bit || sizeof(hashmap_info_t) == 19 * 4, "hashmap_info_t: nineteen words");
static_assert(!is_32_bit || offsetof(hashmap_info_t, flags) == 18 * 4, "hashmap_info_t: flags is the last word");

} // namespace
