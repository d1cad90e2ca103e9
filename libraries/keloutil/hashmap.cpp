// SPDX-License-Identifier: MIT
// Hash maps with a fixed number of buckets, driven by a descriptor.
//
// Each map counts the bytes it holds in `allocated`, measured as the change
// of the counted allocator's total around each allocation and release that
// it makes, so that what a descriptor's callbacks allocate is counted too.
// Where no callback runs, the change is known without reading the total:
// memory_allocate(n) adds exactly n plus its header (see allocate_counted).
#include <keloutil/hash.hpp>
#include <keloutil/hashmap.h>
#include <keloutil/memory.h>

#include <cstring>

namespace {

// Runs `step` and adds the change of the process-wide byte total to the
// map's count. For steps that may run descriptor callbacks, which can
// allocate or release anything.
template <class Step>
auto counted(hashmap_t* map, Step step) {
    const uint32_t before = memory_allocated();
    auto result = step();
    map->allocated += memory_allocated() - before;
    return result;
}

// memory_allocate(size) with its bytes added to the map's count. Nothing
// else runs in between, so the change of the byte total is known: the block's
// counted size (the request plus the header) when it succeeds, nothing when
// it fails; counted() would read the same. Entries, iterators and owned keys
// and values without an alloc callback are made here, which spares the two
// reads of the total around every insertion and every iterator.
template <class Record = void>
Record* allocate_counted(hashmap_t* map, uint32_t size) {
    void* block = memory_allocate(size);
    if (block != nullptr) map->allocated += size + MEMORY_HEADER_SIZE;
    return static_cast<Record*>(block);
}

uint32_t bucket_of(const hashmap_t* map, const void* key) {
    const hashmap_info_t* info = map->info;
    const uint32_t hash = info->key_hash != nullptr ? info->key_hash(const_cast<hashmap_t*>(map), key)
                                                    : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
    return hash % map->bucket_count;
}

bool keys_equal(const hashmap_t* map, const void* stored, const void* key) {
    const hashmap_info_t* info = map->info;
    return info->key_equal != nullptr ? info->key_equal(const_cast<hashmap_t*>(map), stored, key) != 0
                                      : stored == key;
}

// The fields of the descriptor for one side of an entry (key or value).
struct Side {
    uint32_t own_flag;
    uint32_t hashmap_info_t::*size;
    hashmap_size_of_fn hashmap_info_t::*size_of;
    hashmap_alloc_fn hashmap_info_t::*alloc;
    hashmap_bytes_fn hashmap_info_t::*bytes_added;
    hashmap_copy_fn hashmap_info_t::*copy;
    hashmap_bytes_fn hashmap_info_t::*bytes_removed;
    hashmap_free_fn hashmap_info_t::*release;
};

constexpr Side key_side = {HASHMAP_OWN_KEYS,
                           &hashmap_info_t::key_size,
                           &hashmap_info_t::key_size_of,
                           &hashmap_info_t::key_alloc,
                           &hashmap_info_t::key_bytes_added,
                           &hashmap_info_t::key_copy,
                           &hashmap_info_t::key_bytes_removed,
                           &hashmap_info_t::key_free};

constexpr Side value_side = {HASHMAP_OWN_VALUES,
                             &hashmap_info_t::value_size,
                             &hashmap_info_t::value_size_of,
                             &hashmap_info_t::value_alloc,
                             &hashmap_info_t::value_bytes_added,
                             &hashmap_info_t::value_copy,
                             &hashmap_info_t::value_bytes_removed,
                             &hashmap_info_t::value_free};

// Whether a descriptor that owns this side can size its storage.
bool can_store(const hashmap_info_t& info, const Side& side) {
    return (info.flags & side.own_flag) == 0 || info.*side.size != 0 || info.*side.size_of != nullptr ||
           info.*side.alloc != nullptr;
}

// Stores a copy of `given` for an owned side in new storage; `stored`
// receives it. False when the storage cannot be had.
bool store_owned(hashmap_t* map, const Side& side, void* given, void** stored) {
    hashmap_info_t& info = *map->info;
    uint32_t size = info.*side.size;
    if (size == 0 && info.*side.size_of != nullptr) size = (info.*side.size_of)(map, given);
    void* storage = info.*side.alloc != nullptr ? counted(map, [&] { return (info.*side.alloc)(map); })
                                                : allocate_counted(map, size);
    if (storage == nullptr) return false;
    if (info.*side.bytes_added != nullptr)
        map->allocated += static_cast<uint32_t>((info.*side.bytes_added)(map, storage));
    if (info.*side.copy != nullptr) (info.*side.copy)(map, given, storage);
    else if (size > 0) std::memcpy(storage, given, size);
    *stored = storage;
    return true;
}

// What the map stores for a key or value: the argument itself, or for an
// owned side a copy in new storage. `stored` receives it; false when the
// storage cannot be had. The common case, a side that is not owned, stays
// inline in the callers.
inline bool store(hashmap_t* map, const Side& side, void* given, void** stored) {
    if ((map->info->flags & side.own_flag) == 0) {
        *stored = given;
        return true;
    }
    return store_owned(map, side, given, stored);
}

// Releases an owned key or value; returns the bytes released.
uint32_t release(hashmap_t* map, const Side& side, void* stored) {
    hashmap_info_t& info = *map->info;
    if ((info.flags & side.own_flag) == 0 || stored == nullptr) return 0;
    if (info.*side.bytes_removed != nullptr)
        map->allocated -= static_cast<uint32_t>((info.*side.bytes_removed)(map, stored));
    return info.*side.release != nullptr ? static_cast<uint32_t>((info.*side.release)(map, stored))
                                         : memory_free(stored);
}

// Releases an entry that is already unlinked from its chain.
void release_entry(hashmap_t* map, hashmap_entry_t* entry) {
    uint32_t released = release(map, key_side, entry->key);
    released += release(map, value_side, entry->value);
    released += memory_free(entry);
    map->allocated -= released;
}

void release_all_entries(hashmap_t* map) {
    for (uint32_t b = 0; b < map->bucket_count; ++b) {
        for (hashmap_entry_t* entry = map->buckets[b]; entry != nullptr;) {
            hashmap_entry_t* next = entry->next;
            release_entry(map, entry);
            entry = next;
        }
        map->buckets[b] = nullptr;
    }
    map->count = 0;
}

// The slot that holds the first entry of the key's chain with an equal key,
// or the empty slot at the chain's end.
hashmap_entry_t** slot_of(hashmap_t* map, const void* key, uint32_t* bucket) {
    *bucket = bucket_of(map, key);
    hashmap_entry_t** slot = &map->buckets[*bucket];
    while (*slot != nullptr && !keys_equal(map, (*slot)->key, key)) slot = &(*slot)->next;
    return slot;
}

bool at_end(const hashmapiter_t* iter) {
    return static_cast<uint32_t>(iter->bucket) >= iter->map->bucket_count;
}

// Moves to the head of the first non-empty bucket from `bucket` on, or to
// the end.
void settle(hashmapiter_t* iter, uint32_t bucket) {
    const hashmap_t* map = iter->map;
    while (bucket < map->bucket_count && map->buckets[bucket] == nullptr) ++bucket;
    iter->bucket = static_cast<int32_t>(bucket);
    iter->link = bucket < map->bucket_count ? &map->buckets[bucket] : nullptr;
}

// A new iterator at `slot` of `bucket`; without a slot, at the first entry
// from `bucket` on. Its block counts into the map's bytes.
hashmapiter_t* place(hashmap_t* map, uint32_t bucket, hashmap_entry_t** slot) {
    auto* iter = allocate_counted<hashmapiter_t>(map, sizeof(hashmapiter_t));
    if (iter == nullptr) return nullptr;
    iter->map = map;
    if (slot != nullptr) {
        iter->bucket = static_cast<int32_t>(bucket);
        iter->link = slot;
    } else if (map->count < 1) {
        iter->bucket = static_cast<int32_t>(map->bucket_count);
        iter->link = nullptr;
    } else {
        settle(iter, bucket);
    }
    return iter;
}

hashmapiter_t* end_iterator(hashmap_t* map) { return place(map, map->bucket_count, nullptr); }

} // namespace

extern "C" {

hashmap_t* hashmap_init(uint32_t bucket_count, hashmap_info_t* info) {
    if (bucket_count == 0) return nullptr;
    if (info != nullptr && (!can_store(*info, key_side) || !can_store(*info, value_side))) return nullptr;
    if (bucket_count > (UINT32_MAX - MEMORY_HEADER_SIZE) / sizeof(hashmap_entry_t*)) return nullptr;
    const uint32_t before = memory_allocated();
    auto* map = static_cast<hashmap_t*>(memory_allocate(sizeof(hashmap_t)));
    if (map == nullptr) return nullptr;
    map->buckets = static_cast<hashmap_entry_t**>(
        memory_allocate(bucket_count * static_cast<uint32_t>(sizeof(hashmap_entry_t*))));
    if (map->buckets == nullptr) {
        memory_free(map);
        return nullptr;
    }
    map->bucket_count = bucket_count;
    map->count = 0;
    map->flags = 0;
    map->info = info;
    if (info == nullptr) {
        map->flags |= HASHMAP_OWNS_INFO;
        map->info = static_cast<hashmap_info_t*>(memory_allocate(sizeof(hashmap_info_t)));
        if (map->info == nullptr) {
            memory_free(map->buckets);
            memory_free(map);
            return nullptr;
        }
    }
    map->allocated = memory_allocated() - before;
    return map;
}

void hashmap_uninit(hashmap_t* map) {
    if (map == nullptr) return;
    release_all_entries(map);
    memory_free(map->buckets);
    if ((map->flags & HASHMAP_OWNS_INFO) != 0) memory_free(map->info);
    memory_free(map);
}

hashmap_t* hashmap_duplicate(hashmap_t* map) {
    if (map == nullptr) return nullptr;
    hashmap_t* copy = hashmap_init(map->bucket_count, (map->flags & HASHMAP_OWNS_INFO) != 0 ? nullptr : map->info);
    if (copy == nullptr) return nullptr;
    for (uint32_t b = 0; b < map->bucket_count; ++b) {
        for (hashmap_entry_t* entry = map->buckets[b]; entry != nullptr; entry = entry->next) {
            if (hashmap_insert(copy, entry->key, entry->value) == nullptr) {
                hashmap_uninit(copy);
                return nullptr;
            }
        }
    }
    return copy;
}

hashmap_entry_t* hashmap_insert(hashmap_t* map, void* key, void* value) {
    if (map == nullptr) return nullptr;
    uint32_t bucket;
    hashmap_entry_t** slot = slot_of(map, key, &bucket);
    if (hashmap_entry_t* entry = *slot) {
        // The new value is stored before the old one goes, so that a failed
        // allocation leaves the entry as it was.
        void* stored;
        if (!store(map, value_side, value, &stored)) return nullptr;
        map->allocated -= release(map, value_side, entry->value);
        entry->value = stored;
        return entry;
    }
    auto* entry = allocate_counted<hashmap_entry_t>(map, sizeof(hashmap_entry_t));
    if (entry == nullptr) return nullptr;
    if (!store(map, key_side, key, &entry->key)) {
        map->allocated -= memory_free(entry);
        return nullptr;
    }
    if (!store(map, value_side, value, &entry->value)) {
        entry->value = nullptr;
        release_entry(map, entry);
        return nullptr;
    }
    entry->next = nullptr;
    *slot = entry;
    ++map->count;
    return entry;
}

void hashmap_remove(hashmap_t* map, const void* key) {
    if (map == nullptr) return;
    uint32_t bucket;
    hashmap_entry_t** slot = slot_of(map, key, &bucket);
    hashmap_entry_t* entry = *slot;
    if (entry == nullptr) return;
    *slot = entry->next;
    release_entry(map, entry);
    --map->count;
}

void hashmap_erase(hashmap_t* map, hashmapiter_t* iter) {
    if (map == nullptr || iter == nullptr || at_end(iter) || iter->link == nullptr || *iter->link == nullptr)
        return;
    hashmap_entry_t* entry = *iter->link;
    *iter->link = entry->next;
    release_entry(map, entry);
    --map->count;
    // The follower in the same chain now sits in the same slot; otherwise
    // move on as at the end of a chain.
    if (*iter->link == nullptr) settle(iter, static_cast<uint32_t>(iter->bucket) + 1);
}

hashmapiter_t* hashmap_find(hashmap_t* map, const void* key) {
    if (map == nullptr) return nullptr;
    uint32_t bucket;
    hashmap_entry_t** slot = slot_of(map, key, &bucket);
    return *slot != nullptr ? place(map, bucket, slot) : end_iterator(map);
}

int32_t hashmap_has(hashmap_t* map, const void* key) {
    // As a comparison of find with end, without making the two iterators:
    // the result and the map's count of bytes come out the same.
    if (map == nullptr) return 0;
    uint32_t bucket;
    return *slot_of(map, key, &bucket) != nullptr ? 1 : 0;
}

void hashmap_clear(hashmap_t* map) {
    if (map != nullptr) release_all_entries(map);
}

int32_t hashmap_count(const hashmap_t* map) { return map != nullptr ? map->count : 0; }

uint32_t hashmap_bucket_count(const hashmap_t* map) { return map != nullptr ? map->bucket_count : 0; }

hashmap_info_t* hashmap_info(const hashmap_t* map) { return map != nullptr ? map->info : nullptr; }

uint32_t hashmap_allocated(const hashmap_t* map) { return map != nullptr ? map->allocated : memory_allocated(); }

hashmapiter_t* hashmap_begin(hashmap_t* map) { return map != nullptr ? place(map, 0, nullptr) : nullptr; }

hashmapiter_t* hashmap_end(hashmap_t* map) { return map != nullptr ? end_iterator(map) : nullptr; }

hashmapiter_t* hashmapiter_init(hashmap_t* map) { return hashmap_begin(map); }

hashmapiter_t* hashmapiter_init_from(const hashmapiter_t* iter) {
    if (iter == nullptr) return nullptr;
    hashmapiter_t* copy = place(iter->map, 0, nullptr);
    if (copy != nullptr) {
        copy->bucket = iter->bucket;
        copy->link = iter->link;
    }
    return copy;
}

hashmapiter_t* hashmapiter_init_from_entry(hashmap_t* map, hashmap_entry_t* entry) {
    if (map == nullptr) return nullptr;
    if (entry == nullptr) return end_iterator(map);
    const uint32_t bucket = bucket_of(map, entry->key);
    for (hashmap_entry_t** slot = &map->buckets[bucket]; *slot != nullptr; slot = &(*slot)->next) {
        if (*slot == entry) return place(map, bucket, slot);
    }
    return end_iterator(map);
}

void hashmapiter_uninit(hashmapiter_t* iter) {
    if (iter == nullptr) return;
    hashmap_t* map = iter->map;
    const uint32_t released = memory_free(iter);
    if (map != nullptr) map->allocated -= released;
}

int32_t hashmapiter_next(hashmapiter_t* iter) {
    if (iter == nullptr || iter->link == nullptr || at_end(iter)) return 0;
    hashmap_entry_t* current = *iter->link;
    if (current != nullptr && current->next != nullptr) {
        iter->link = &current->next;
        return 1;
    }
    settle(iter, static_cast<uint32_t>(iter->bucket) + 1);
    return at_end(iter) ? 0 : 1;
}

void* hashmapiter_key(const hashmapiter_t* iter) {
    return iter != nullptr && iter->link != nullptr && *iter->link != nullptr ? (*iter->link)->key : nullptr;
}

void* hashmapiter_dereference(const hashmapiter_t* iter) {
    return iter != nullptr && iter->link != nullptr && *iter->link != nullptr ? (*iter->link)->value : nullptr;
}

int32_t hashmapiter_equal(const hashmapiter_t* a, const hashmapiter_t* b) {
    if (a == nullptr || b == nullptr) return a == b;
    if (a->map != b->map) return 0;
    if (at_end(a) && at_end(b)) return 1;
    return a->bucket == b->bucket && a->link == b->link;
}

int32_t hashmapiter_not_equal(const hashmapiter_t* a, const hashmapiter_t* b) { return !hashmapiter_equal(a, b); }

int32_t hashmapiter_is_end(const hashmapiter_t* iter) {
    // The same answer as comparing with a fresh hashmap_end, without making it.
    return iter != nullptr && at_end(iter);
}

hashmap_t* hashmapiter_hashmap(const hashmapiter_t* iter) { return iter != nullptr ? iter->map : nullptr; }

} // extern "C"

// ---- hash functions for integral keys ------------------------------------------

uint32_t hash(long value) { return static_cast<uint32_t>(value); }

uint32_t hash(int value) { return static_cast<uint32_t>(value); }

uint32_t hash(char value) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(value))); }
