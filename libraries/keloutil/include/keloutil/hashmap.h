/* SPDX-License-Identifier: MIT */
/** @file
 * Hash maps with a fixed number of buckets.
 *
 * A map has the bucket count it was made with for its whole life; each
 * bucket is a chain of entries, oldest first. How keys and values are
 * hashed, compared, copied and released is up to a descriptor record,
 * hashmap_info_t, that the caller supplies. Without one (info NULL), keys
 * and values are plain pointer-sized values stored as given: a key hashes
 * to itself and keys compare by identity.
 *
 * Every record, entry and iterator comes from the counted allocator, and
 * each map counts the bytes it holds (hashmap_allocated), live iterators
 * included.
 *
 * Iterators are heap objects: release each with hashmapiter_uninit. They
 * hold raw slot addresses, so any change to the map other than
 * hashmap_erase through the same iterator leaves other iterators unreliable.
 * A map and its iterators are used by one thread at a time. */
#ifndef KELOUTIL_HASHMAP_H
#define KELOUTIL_HASHMAP_H

#include <stdint.h>

#include <keloutil/export.h>

KELOUTIL_BEGIN_C

typedef struct hashmap_t hashmap_t;

/** Descriptor callbacks; every one receives the map first. */
typedef uint32_t (*hashmap_size_of_fn)(hashmap_t* map, const void* key_or_value);
typedef int32_t (*hashmap_key_equal_fn)(hashmap_t* map, const void* stored_key, const void* key);
typedef uint32_t (*hashmap_key_hash_fn)(hashmap_t* map, const void* key);
typedef void (*hashmap_copy_fn)(hashmap_t* map, const void* source, void* storage);
typedef void* (*hashmap_alloc_fn)(hashmap_t* map);
typedef int32_t (*hashmap_bytes_fn)(hashmap_t* map, const void* key_or_value);
typedef int32_t (*hashmap_free_fn)(hashmap_t* map, void* key_or_value);

/** Flags of hashmap_info_t. */
#define HASHMAP_OWN_KEYS 1u   /**< the map stores its own copy of each key */
#define HASHMAP_OWN_VALUES 2u /**< the map stores its own copy of each value */

/** The descriptor. Fill it by position or by name; an all-zero record is the
 * default, and a NULL callback counts as absent. It must outlive every map
 * that uses it. Owned keys (values) need a way to size their storage: a
 * key_size, a key_size_of or a key_alloc; hashmap_init refuses a descriptor
 * that owns keys (values) without any of them. */
typedef struct hashmap_info_t {
    void* user_data;                      /**< not read by the map functions */
    uint32_t key_size;                    /**< fixed size of an owned key; 0: none */
    uint32_t value_size;                  /**< fixed size of an owned value; 0: none */
    void* user_data2;                     /**< not read by the map functions */
    hashmap_size_of_fn key_size_of;       /**< size of this key, when key_size is 0 */
    hashmap_size_of_fn value_size_of;     /**< size of this value, when value_size is 0 */
    hashmap_key_equal_fn key_equal;       /**< nonzero when equal; absent: identity */
    hashmap_key_hash_fn key_hash;         /**< absent: the key value itself */
    hashmap_copy_fn key_copy;             /**< fills new key storage; absent: byte copy */
    hashmap_copy_fn value_copy;           /**< fills new value storage; absent: byte copy */
    hashmap_alloc_fn key_alloc;           /**< storage of an owned key; absent: memory_allocate */
    hashmap_alloc_fn value_alloc;         /**< storage of an owned value; absent: memory_allocate */
    hashmap_bytes_fn key_bytes_added;     /**< further bytes to count for a new key */
    hashmap_bytes_fn value_bytes_added;   /**< further bytes to count for a new value */
    hashmap_bytes_fn key_bytes_removed;   /**< further bytes to uncount before a key goes */
    hashmap_bytes_fn value_bytes_removed; /**< further bytes to uncount before a value goes */
    hashmap_free_fn key_free;             /**< releases an owned key, returns its bytes; absent: memory_free */
    hashmap_free_fn value_free;           /**< releases an owned value, returns its bytes; absent: memory_free */
    uint32_t flags;                       /**< HASHMAP_OWN_KEYS, HASHMAP_OWN_VALUES */
} hashmap_info_t;

/** One entry: a pointer to an entry is a pointer to its key field. */
typedef struct hashmap_entry_t {
    void* key;
    void* value;
    struct hashmap_entry_t* next; /**< the next entry of the chain; NULL at its end */
} hashmap_entry_t;

/** Flags of hashmap_t. */
#define HASHMAP_OWNS_INFO 1u /**< the map made its own default descriptor */

struct hashmap_t {
    hashmap_entry_t** buckets; /**< head of each chain; NULL for an empty bucket */
    uint32_t bucket_count;     /**< fixed at creation */
    int32_t count;             /**< number of entries */
    hashmap_info_t* info;
    uint32_t flags;     /**< HASHMAP_OWNS_INFO */
    uint32_t allocated; /**< bytes this map holds, iterators included */
};

typedef struct hashmapiter_t {
    int32_t bucket;         /**< bucket of the current entry; bucket_count or more: at the end */
    hashmap_entry_t** link; /**< the slot that holds the current entry */
    hashmap_t* map;
} hashmapiter_t;

/** A new map of `bucket_count` buckets (never more, never fewer), with the
 * caller's descriptor or, for NULL, a default one of its own. NULL when an
 * allocation fails, for a bucket count of 0, and for a descriptor that owns
 * keys or values it cannot size (see hashmap_info_t). */
KELOUTIL_C_API hashmap_t* hashmap_init(uint32_t bucket_count, hashmap_info_t* info);
/** Releases every entry, the buckets, a default descriptor and the map. */
KELOUTIL_C_API void hashmap_uninit(hashmap_t* map);
/** A new map with the same bucket count and descriptor (a map with a default
 * descriptor gives a copy with a default descriptor of its own) holding a
 * copy of every pair, inserted in iteration order. NULL when any allocation
 * fails. */
KELOUTIL_C_API hashmap_t* hashmap_duplicate(hashmap_t* map);
/** Inserts the pair, or stores the value into the entry whose key is equal
 * (the stored key is kept; an owned old value is released). Returns the
 * entry, or NULL when an allocation fails: the map is then unchanged (a
 * replaced value stays as it was). */
KELOUTIL_C_API hashmap_entry_t* hashmap_insert(hashmap_t* map, void* key, void* value);
/** Releases the first entry of the key's chain with an equal key, if any. */
KELOUTIL_C_API void hashmap_remove(hashmap_t* map, const void* key);
/** Releases the entry at the iterator and leaves the iterator on the entry
 * that followed it (or at the end). Nothing at the end. */
KELOUTIL_C_API void hashmap_erase(hashmap_t* map, hashmapiter_t* iter);
/** An iterator at the entry with an equal key, else the end iterator. */
KELOUTIL_C_API hashmapiter_t* hashmap_find(hashmap_t* map, const void* key);
/** 1 when an entry has an equal key. */
KELOUTIL_C_API int32_t hashmap_has(hashmap_t* map, const void* key);
/** Releases every entry; the bucket count stays. */
KELOUTIL_C_API void hashmap_clear(hashmap_t* map);
KELOUTIL_C_API int32_t hashmap_count(const hashmap_t* map);
KELOUTIL_C_API uint32_t hashmap_bucket_count(const hashmap_t* map);
KELOUTIL_C_API hashmap_info_t* hashmap_info(const hashmap_t* map);
/** Bytes the map holds; for NULL, the process-wide total (memory_allocated). */
KELOUTIL_C_API uint32_t hashmap_allocated(const hashmap_t* map);

/** Iteration order: buckets ascending, each chain oldest entry first. */
KELOUTIL_C_API hashmapiter_t* hashmap_begin(hashmap_t* map);
KELOUTIL_C_API hashmapiter_t* hashmap_end(hashmap_t* map);
KELOUTIL_C_API hashmapiter_t* hashmapiter_init(hashmap_t* map);
/** A new iterator at the same place as `iter`. */
KELOUTIL_C_API hashmapiter_t* hashmapiter_init_from(const hashmapiter_t* iter);
/** A new iterator at `entry`, or the end iterator when it is not in the map. */
KELOUTIL_C_API hashmapiter_t* hashmapiter_init_from_entry(hashmap_t* map, hashmap_entry_t* entry);
KELOUTIL_C_API void hashmapiter_uninit(hashmapiter_t* iter);
/** Moves to the next entry: 1, or 0 when the iterator reaches (or was at)
 * the end. */
KELOUTIL_C_API int32_t hashmapiter_next(hashmapiter_t* iter);
/** Key / value of the current entry; NULL at the end. */
KELOUTIL_C_API void* hashmapiter_key(const hashmapiter_t* iter);
KELOUTIL_C_API void* hashmapiter_dereference(const hashmapiter_t* iter);
/** Equal: same map, and both at the end or both at the same slot. */
KELOUTIL_C_API int32_t hashmapiter_equal(const hashmapiter_t* a, const hashmapiter_t* b);
KELOUTIL_C_API int32_t hashmapiter_not_equal(const hashmapiter_t* a, const hashmapiter_t* b);
KELOUTIL_C_API int32_t hashmapiter_is_end(const hashmapiter_t* iter);
KELOUTIL_C_API hashmap_t* hashmapiter_hashmap(const hashmapiter_t* iter);

KELOUTIL_END_C

#endif /* KELOUTIL_HASHMAP_H */
