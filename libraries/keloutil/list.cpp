// SPDX-License-Identifier: MIT
// Generic doubly linked lists driven by the caller's descriptor.
//
// Each descriptor rule lives in one helper below: making an element
// (make_entry), releasing one (release_entry), linking (link_after) and the
// two ways of matching a key. The exported functions only combine them, so
// every operation treats elements alike. Lists, entries and iterators are
// blocks of the counted allocator; nothing else is allocated, so the
// operations cost one entry (and, for copying lists, one element block) at
// most.
#include <keloutil/list.h>
#include <keloutil/memory.h>

#include <cstring>

namespace {

// Stands in for a NULL descriptor: no sizes, no callbacks.
constexpr list_info_t no_info = {};

const list_info_t& info_of(const list_t* list) {
    return list != nullptr && list->info != nullptr ? *list->info : no_info;
}

template <class Record>
Record* allocate_record() {
    return static_cast<Record*>(memory_allocate(sizeof(Record)));
}

// A new unlinked entry holding an element made from `data` by the list's
// descriptor, or NULL when the entry cannot be had. The entry is allocated
// first, so that a failure there runs no callback. When the storage of a
// copied element cannot be had, the entry holds null in its place.
list_entry_t* make_entry(list_t* list, const void* data) {
    auto* entry = allocate_record<list_entry_t>();
    if (entry == nullptr) return nullptr;
    const list_info_t& info = info_of(list);
    void* element = nullptr;
    uint32_t size = 0; // stays 0 with create: its NULL means "store data itself"
    if (info.create != nullptr) {
        element = info.create(list, data);
    } else {
        size = info.elem_size_of != nullptr ? info.elem_size_of(list, data) : info.elem_size;
    }
    if (element == nullptr) {
        if (size == 0) {
            element = const_cast<void*>(data);
        } else {
            element = memory_allocate(size);
            if (element != nullptr && info.copy != nullptr) {
                info.copy(list, element, data);
            } else if (element != nullptr && data != nullptr) {
                std::memcpy(element, data, size);
            }
        }
    }
    entry->data = element;
    return entry;
}

// Links `entry` just after `position`, or at the head when position is NULL.
void link_after(list_t* list, list_entry_t* position, list_entry_t* entry) {
    entry->prev = position;
    entry->next = position != nullptr ? position->next : list->head;
    if (entry->next != nullptr) {
        entry->next->prev = entry;
    } else {
        list->tail = entry;
    }
    if (position != nullptr) {
        position->next = entry;
    } else {
        list->head = entry;
    }
    ++list->count;
}

// Takes `entry` out of the chain; each neighbour is re-pointed only when it
// still points back at the entry.
void unlink(list_t* list, list_entry_t* entry) {
    if (list->head == entry) list->head = entry->next;
    if (list->tail == entry) list->tail = entry->prev;
    if (entry->next != nullptr && entry->next->prev == entry) entry->next->prev = entry->prev;
    if (entry->prev != nullptr && entry->prev->next == entry) entry->prev->next = entry->next;
    --list->count;
}

// Releases the entry's element by the descriptor (while the entry is still
// linked, so that destroy sees the list as it was), then the entry.
void release_entry(list_t* list, list_entry_t* entry) {
    const list_info_t& info = info_of(list);
    if (info.destroy != nullptr) {
        info.destroy(list, entry->data);
    } else if (info.elem_size_of != nullptr || info.elem_size != 0) {
        memory_free(entry->data);
    }
    unlink(list, entry);
    memory_free(entry);
}

// Unlinks `entry` and releases only the entry; returns its element.
void* take_entry(list_t* list, list_entry_t* entry) {
    void* data = entry->data;
    unlink(list, entry);
    memory_free(entry);
    return data;
}

list_entry_t* push_entry(list_t* list, list_entry_t* position, const void* data) {
    if (list == nullptr) return nullptr;
    list_entry_t* entry = make_entry(list, data);
    if (entry != nullptr) link_after(list, position, entry);
    return entry;
}

// The entry at a 0-based index, walking from whichever end is nearer; NULL
// when the index is out of range.
list_entry_t* entry_at(const list_t* list, int32_t index) {
    if (list == nullptr || index < 0 || index >= list->count) return nullptr;
    list_entry_t* entry;
    if (index < list->count / 2) {
        entry = list->head;
        for (int32_t i = 0; i < index; ++i) entry = entry->next;
    } else {
        entry = list->tail;
        for (int32_t i = list->count - 1; i > index; --i) entry = entry->prev;
    }
    return entry;
}

list_iter_t* new_iter(list_t* list, list_entry_t* entry) {
    auto* iter = allocate_record<list_iter_t>();
    if (iter != nullptr) {
        iter->list = list;
        iter->entry = entry;
    }
    return iter;
}

// The find rule: equal(element, key), else the same pointer.
bool found(const list_info_t& info, const void* element, const void* key) {
    return info.equal != nullptr ? info.equal(element, key) != 0 : element == key;
}

// The content rule: equal(key, element); without it, for a sized list, the
// common leading bytes; else the same pointer.
bool same_content(list_t* list, const list_info_t& info, const void* key, const void* element) {
    if (info.equal != nullptr) return info.equal(key, element) != 0;
    if (info.elem_size == 0 && info.elem_size_of == nullptr) return key == element;
    if (key == element) return true;
    if (key == nullptr || element == nullptr) return false;
    const auto size_of = [&](const void* x) { return info.elem_size != 0 ? info.elem_size : info.elem_size_of(list, x); };
    const uint32_t key_size = size_of(key);
    const uint32_t element_size = size_of(element);
    return std::memcmp(key, element, key_size < element_size ? key_size : element_size) == 0;
}

// The first entry whose element has the key's content, with its position.
list_entry_t* first_with_content(list_t* list, const void* key, int32_t* position) {
    if (list == nullptr) return nullptr;
    const list_info_t& info = info_of(list);
    int32_t index = 0;
    for (list_entry_t* entry = list->head; entry != nullptr; entry = entry->next, ++index) {
        if (same_content(list, info, key, entry->data)) {
            if (position != nullptr) *position = index;
            return entry;
        }
    }
    return nullptr;
}

} // namespace

extern "C" {

// ---- the list record ---------------------------------------------------------

list_t* list_init(list_info_t* info) {
    auto* list = allocate_record<list_t>();
    if (list != nullptr) list->info = info;
    return list;
}

void list_uninit(list_t* list) {
    if (list == nullptr) return;
    list_clear(list);
    memory_free(list);
}

list_info_t* list_set_info(list_t* list, list_info_t* info) {
    if (list == nullptr) return nullptr;
    list_info_t* previous = list->info;
    list->info = info;
    return previous;
}

list_info_t* list_info(const list_t* list) { return list != nullptr ? list->info : nullptr; }

list_t* list_dup(const list_t* list) {
    if (list == nullptr) return nullptr;
    list_t* copy = list_init(list->info);
    if (copy != nullptr && list_append(copy, list) == 0) {
        list_uninit(copy); // already emptied by list_append
        copy = nullptr;
    }
    return copy;
}

int32_t list_append(list_t* destination, const list_t* source) {
    if (destination == nullptr) return 0;
    if (source == nullptr) return 1;
    list_entry_t* const old_tail = destination->tail;
    // Counting the source's entries up front lets a list be appended to
    // itself: the walk stops before the entries it adds.
    list_entry_t* from = source->head;
    for (int32_t left = source->count; left > 0 && from != nullptr; --left, from = from->next) {
        list_entry_t* entry = make_entry(destination, from->data);
        if (entry == nullptr) {
            while (destination->tail != old_tail) release_entry(destination, destination->tail);
            return 0;
        }
        link_after(destination, destination->tail, entry);
    }
    return 1;
}

void list_clear(list_t* list) {
    if (list == nullptr) return;
    while (list->head != nullptr) release_entry(list, list->head);
}

int32_t list_count(const list_t* list) { return list != nullptr ? list->count : 0; }

int32_t list_is_empty(const list_t* list) { return list == nullptr || list->head == nullptr ? 1 : 0; }

list_entry_t* list_head(const list_t* list) { return list != nullptr ? list->head : nullptr; }

list_entry_t* list_tail(const list_t* list) { return list != nullptr ? list->tail : nullptr; }

// ---- adding and taking elements ------------------------------------------------

list_entry_t* list_push(list_t* list, const void* data) {
    return push_entry(list, list != nullptr ? list->tail : nullptr, data);
}

list_entry_t* list_unshift(list_t* list, const void* data) { return push_entry(list, nullptr, data); }

void* list_pop(list_t* list) {
    if (list == nullptr || list->tail == nullptr) return nullptr;
    return take_entry(list, list->tail);
}

void* list_shift(list_t* list) {
    if (list == nullptr || list->head == nullptr) return nullptr;
    return take_entry(list, list->head);
}

list_entry_t* list_insert_after(list_t* list, int32_t index, const void* data) {
    list_entry_t* position = entry_at(list, index);
    return position != nullptr ? push_entry(list, position, data) : list_push(list, data);
}

list_entry_t* list_insert_before(list_t* list, int32_t index, const void* data) {
    return index < 1 ? list_unshift(list, data) : list_insert_after(list, index - 1, data);
}

// ---- finding and removing --------------------------------------------------------

list_iter_t* list_at(list_t* list, int32_t index) { return new_iter(list, entry_at(list, index)); }

list_iter_t* list_find(list_t* list, const void* key) {
    const list_info_t& info = info_of(list);
    list_entry_t* entry = list_head(list);
    while (entry != nullptr && !found(info, entry->data, key)) entry = entry->next;
    return new_iter(list, entry);
}

int32_t list_index(list_t* list, const void* key) {
    int32_t position = -1;
    first_with_content(list, key, &position);
    return position;
}

int32_t list_remove(list_t* list, const void* key) {
    list_entry_t* entry = first_with_content(list, key, nullptr);
    if (entry == nullptr) return 0;
    release_entry(list, entry);
    return 1;
}

list_entry_t* list_remove_entry(list_t* list, list_entry_t* entry) {
    if (list == nullptr || entry == nullptr) return nullptr;
    list_entry_t* next = entry->next;
    release_entry(list, entry);
    return next;
}

int32_t list_equal(const list_t* a, const list_t* b) {
    if (list_info(a) != list_info(b)) return 0;
    const list_info_t& info = info_of(a);
    const list_entry_t* x = list_head(a);
    const list_entry_t* y = list_head(b);
    for (; x != nullptr && y != nullptr; x = x->next, y = y->next) {
        const bool same = info.equal != nullptr ? info.equal(x->data, y->data) != 0 : x->data == y->data;
        if (!same) return 0;
    }
    return x == nullptr && y == nullptr ? 1 : 0;
}

// ---- iterators ---------------------------------------------------------------------

list_iter_t* list_begin(list_t* list) { return new_iter(list, list_head(list)); }

list_iter_t* list_end(list_t* list) { return new_iter(list, nullptr); }

list_iter_t* list_iter_init(list_t* list, list_entry_t* entry) { return new_iter(list, entry); }

void list_iter_uninit(list_iter_t* iter) { memory_free(iter); }

int32_t list_iter_next(list_iter_t* iter) {
    if (iter == nullptr || iter->entry == nullptr) return 0;
    iter->entry = iter->entry->next;
    return iter->entry != nullptr ? 1 : 0;
}

void* list_iter_dereference(const list_iter_t* iter) {
    return iter != nullptr && iter->entry != nullptr ? iter->entry->data : nullptr;
}

int32_t list_iter_equal(const list_iter_t* a, const list_iter_t* b) {
    if (a == nullptr || b == nullptr) return a == b ? 1 : 0;
    return a->list == b->list && a->entry == b->entry ? 1 : 0;
}

int32_t list_iter_not_equal(const list_iter_t* a, const list_iter_t* b) { return list_iter_equal(a, b) ? 0 : 1; }

list_t* list_iter_list(const list_iter_t* iter) { return iter != nullptr ? iter->list : nullptr; }

list_entry_t* list_iter_entry(const list_iter_t* iter) { return iter != nullptr ? iter->entry : nullptr; }

} // extern "C"
