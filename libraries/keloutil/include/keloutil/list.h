/* SPDX-License-Identifier: MIT */
/** @file
 * Generic doubly linked lists.
 *
 * A list_t links list_entry_t records, each holding one element as an
 * untyped pointer. How elements are made, compared and released is decided
 * by a descriptor, list_info_t, that the caller owns and keeps alive for as
 * long as the list uses it. Lists, entries and iterators all come from the
 * counted allocator (memory.h).
 *
 * Ownership of elements follows from the descriptor:
 * - with `create`, the list stores what create() returns;
 * - otherwise, with `elem_size_of` or a nonzero `elem_size`, the list stores
 *   its own copy of that many bytes, in a block from memory_allocate that
 *   `copy` fills (a plain byte copy without it);
 * - otherwise the list stores the caller's pointer as given.
 * Releasing an entry calls `destroy` on its element when set; without it,
 * the element is given to memory_free when `elem_size_of` or a nonzero
 * `elem_size` is set, and left alone otherwise. A size callback that answers
 * 0 makes the list store the caller's pointer, which it will then give to
 * memory_free: answer 0 only for data that came from memory_allocate.
 *
 * A NULL descriptor behaves as an all-zero one (the caller's pointers are
 * stored and never released). A NULL list behaves as an empty list without
 * a descriptor: queries answer as for an empty list, and operations that
 * would store an element or build a list return NULL (or 0) and do nothing.
 * A NULL iterator is at no entry: reads give NULL or 0, and moving it does
 * nothing.
 *
 * An entry that cannot be allocated is reported by the result and leaves
 * everything as it was: no entry, no element, no callback run. An entry
 * whose copied element's storage cannot be allocated holds null instead.
 * Iterators are separate objects that the caller releases with
 * list_iter_uninit; an iterator is not told when its entry is released, so
 * it must not be used after that.
 *
 * Records are used by one thread at a time. */
#ifndef KELOUTIL_LIST_H
#define KELOUTIL_LIST_H

#include <stdint.h>

#include <keloutil/export.h>

KELOUTIL_BEGIN_C

typedef struct list_t list_t;
typedef struct list_entry_t list_entry_t;
typedef struct list_iter_t list_iter_t;
typedef struct list_info_t list_info_t;

/** Nonzero when the elements a and b count as equal. */
typedef int32_t (*list_equal_fn)(const void* a, const void* b);
/** The size in bytes of the element that `data` describes. */
typedef uint32_t (*list_size_fn)(list_t* list, const void* data);
/** Makes the element to store from the caller's data; NULL falls back to
 * the size rules (see list_push). */
typedef void* (*list_create_fn)(list_t* list, const void* data);
/** Releases a stored element. */
typedef void (*list_destroy_fn)(list_t* list, void* data);
/** Fills `destination`, fresh storage of the element's size, from `source`. */
typedef void (*list_copy_fn)(list_t* list, void* destination, const void* source);

/** The descriptor. Callers may fill it by position: the field order is fixed.
 * Every field is optional; a NULL callback counts as absent. */
struct list_info_t {
    void* user_data;              /**< for the caller; never read by the list */
    uint32_t elem_size;           /**< fixed element size in bytes; 0 = none */
    void* user_data2;             /**< for the caller; never read by the list */
    list_equal_fn equal;          /**< element comparison (see the matching rules) */
    list_size_fn elem_size_of;    /**< per-element size; wins over elem_size when copying */
    list_create_fn create;        /**< makes stored elements; wins over both sizes */
    list_destroy_fn destroy;      /**< releases stored elements */
    list_copy_fn copy;            /**< fills copied storage instead of a byte copy */
};

/** One link. Entries belong to their list. */
struct list_entry_t {
    list_entry_t* prev; /**< NULL at the head */
    list_entry_t* next; /**< NULL at the tail */
    void* data;         /**< the stored element */
};

/** The list. head and tail are both NULL exactly when count is 0. */
struct list_t {
    list_info_t* info;  /**< the descriptor; not owned, never released by the list */
    list_entry_t* head;
    list_entry_t* tail;
    int32_t count;
};

/** A position in a list; entry NULL is the end (one past the tail). */
struct list_iter_t {
    list_t* list;
    list_entry_t* entry;
};

/* ---- the list record ------------------------------------------------------ */

/** A new empty list using `info` (may be NULL); NULL when memory is exhausted. */
KELOUTIL_C_API list_t* list_init(list_info_t* info);
/** Releases every entry (list_clear), then the record. */
KELOUTIL_C_API void list_uninit(list_t* list);
/** Replaces the descriptor and returns the previous one. The elements already
 * stored are not touched: they are released by the new descriptor's rules. */
KELOUTIL_C_API list_info_t* list_set_info(list_t* list, list_info_t* info);
/** The descriptor. */
KELOUTIL_C_API list_info_t* list_info(const list_t* list);
/** A new list with the same descriptor and a new element made from each
 * element of `list`, head to tail (as list_append). NULL when the record or
 * an entry cannot be allocated; nothing of the partial copy is left behind
 * then. */
KELOUTIL_C_API list_t* list_dup(const list_t* list);
/** Makes, for each element of `source` from head to tail, a new element in
 * `destination` by the destination's descriptor and links it at the tail.
 * A list may be appended to itself (its length doubles). Returns 1; returns
 * 0 when an entry could not be allocated, after releasing the elements
 * already appended by this call, so that `destination` is as it was (an
 * element whose copy's storage cannot be had is appended as NULL, as
 * list_push does). */
KELOUTIL_C_API int32_t list_append(list_t* destination, const list_t* source);
/** Releases every entry, head to tail; the list stays usable. */
KELOUTIL_C_API void list_clear(list_t* list);
/** The number of entries. */
KELOUTIL_C_API int32_t list_count(const list_t* list);
/** 1 when the list has no entry, else 0. */
KELOUTIL_C_API int32_t list_is_empty(const list_t* list);
/** The first / last entry, NULL when the list is empty. */
KELOUTIL_C_API list_entry_t* list_head(const list_t* list);
KELOUTIL_C_API list_entry_t* list_tail(const list_t* list);

/* ---- adding and taking elements -------------------------------------------- */

/** Makes an element from `data` and links it at the tail; returns its new
 * entry. Making an element: with `create`, its result is stored, and a NULL
 * result stores `data` itself. Without `create`, the size is
 * elem_size_of(list, data) if set, else elem_size: a size of 0 stores
 * `data` itself, a larger one a new block of that size filled by `copy` or
 * by copying that many bytes of `data` (left zero-filled when `data` is
 * NULL).
 * Returns NULL, leaving the list unchanged, when the entry cannot be
 * allocated; when only the storage of a copy cannot be, the entry holds
 * NULL. */
KELOUTIL_C_API list_entry_t* list_push(list_t* list, const void* data);
/** As list_push, linking the new entry at the head. */
KELOUTIL_C_API list_entry_t* list_unshift(list_t* list, const void* data);
/** Unlinks the tail and releases its entry but not its element, which is
 * returned and now belongs to the caller (for a copying list, a block for
 * memory_free). NULL for an empty list, which is left unchanged. */
KELOUTIL_C_API void* list_pop(list_t* list);
/** As list_pop, at the head. */
KELOUTIL_C_API void* list_shift(list_t* list);
/** Makes an element from `data` and links it just after the entry at the
 * 0-based `index`; appends it (list_push) when index is negative or not
 * below the count. Returns the new entry, or NULL as list_push does. */
KELOUTIL_C_API list_entry_t* list_insert_after(list_t* list, int32_t index, const void* data);
/** Links before the entry at `index`: prepends (list_unshift) when index is
 * below 1, else list_insert_after(list, index - 1, data). */
KELOUTIL_C_API list_entry_t* list_insert_before(list_t* list, int32_t index, const void* data);

/* ---- finding and removing ---------------------------------------------------
 * Searches go from head to tail and take the first match. Two rules:
 * - find rule (list_find): equal(element, key) when `equal` is set,
 *   else the stored pointer is key itself;
 * - content rule (list_index, list_remove): equal(key, element) when
 *   `equal` is set (note the order); else, when elem_size is nonzero or
 *   elem_size_of is set, the first min(size of key, size of element) bytes
 *   of both are equal (each size is elem_size if nonzero, else
 *   elem_size_of's answer); else the stored pointer is key. Without
 *   `equal`, a NULL key matches only a NULL element. */

/** A new iterator at the entry with the 0-based `index`, or at the end when
 * index is negative or not below the count. Walks from the nearer end.
 * NULL when memory is exhausted. */
KELOUTIL_C_API list_iter_t* list_at(list_t* list, int32_t index);
/** A new iterator at the first entry that matches `key` by the find rule, or
 * at the end. NULL when memory is exhausted. */
KELOUTIL_C_API list_iter_t* list_find(list_t* list, const void* key);
/** The 0-based position of the first entry that matches `key` by the content
 * rule; -1 when none does. */
KELOUTIL_C_API int32_t list_index(list_t* list, const void* key);
/** Releases the first entry that matches `key` by the content rule, element
 * included; returns 1, or 0 when none matched. */
KELOUTIL_C_API int32_t list_remove(list_t* list, const void* key);
/** Releases `entry` (which must belong to the list), element included, and
 * returns the entry that followed it, NULL if it was the tail. A NULL entry
 * does nothing. */
KELOUTIL_C_API list_entry_t* list_remove_entry(list_t* list, list_entry_t* entry);
/** 1 when both lists have the same descriptor pointer and, walked in step,
 * the same number of elements, each pair equal by `equal` (element of a
 * first) or, without it, the same pointer; else 0. Empty lists with
 * different descriptors are not equal. */
KELOUTIL_C_API int32_t list_equal(const list_t* a, const list_t* b);

/* ---- iterators ---------------------------------------------------------------
 * Every function here that returns an iterator returns a new one for
 * list_iter_uninit, or NULL when memory is exhausted. */

/** At the head (the end for an empty list). */
KELOUTIL_C_API list_iter_t* list_begin(list_t* list);
/** At the end. */
KELOUTIL_C_API list_iter_t* list_end(list_t* list);
/** At `entry` of `list`; a NULL entry is the end. */
KELOUTIL_C_API list_iter_t* list_iter_init(list_t* list, list_entry_t* entry);
/** Releases the iterator (not its entry). */
KELOUTIL_C_API void list_iter_uninit(list_iter_t* iter);
/** Moves to the next entry: returns 1 when the iterator now stands at an
 * entry, 0 when it reached the end. At the end it stays there and returns 0. */
KELOUTIL_C_API int32_t list_iter_next(list_iter_t* iter);
/** The element at the iterator; NULL at the end. */
KELOUTIL_C_API void* list_iter_dereference(const list_iter_t* iter);
/** 1 when both stand at the same entry of the same list, else 0. Two NULL
 * iterators are equal; a NULL iterator equals no other. */
KELOUTIL_C_API int32_t list_iter_equal(const list_iter_t* a, const list_iter_t* b);
/** The negation of list_iter_equal. */
KELOUTIL_C_API int32_t list_iter_not_equal(const list_iter_t* a, const list_iter_t* b);
/** The iterator's list. */
KELOUTIL_C_API list_t* list_iter_list(const list_iter_t* iter);
/** The iterator's entry; NULL at the end. */
KELOUTIL_C_API list_entry_t* list_iter_entry(const list_iter_t* iter);

KELOUTIL_END_C

#endif /* KELOUTIL_LIST_H */
