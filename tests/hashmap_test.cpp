// SPDX-License-Identifier: MIT
// Hash maps: storing, iteration order, erasing, and the count of bytes
// (allocation failures: alloc_failure_test.cpp).
#include "test_support.hpp"

#include <iterator>
#include <map>
#include <vector>

namespace {

void* as_key(uintptr_t value) { return reinterpret_cast<void*>(value); }
uintptr_t as_number(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }
char* text(const char* t) { return const_cast<char*>(t); }

} // namespace

using HashMap = LeakCheckedTest;

TEST_F(HashMap, InsertingAnEqualKeyReplacesTheValue) {
    Map map = own(hashmap_init(16, nullptr));
    hashmap_insert(map.get(), as_key(7), as_key(100));
    hashmap_entry_t* entry = hashmap_insert(map.get(), as_key(7), as_key(200));
    MapIter found = own(hashmap_find(map.get(), as_key(7)));
    EXPECT_TRUE(hashmap_count(map.get()) == 1 && as_number(hashmapiter_dereference(found.get())) == 200u);
    EXPECT_TRUE(hashmapiter_equal(found.get(), own(hashmapiter_init_from_entry(map.get(), entry)).get()));
    EXPECT_TRUE(hashmap_has(map.get(), as_key(7)) == 1 && hashmap_has(map.get(), as_key(8)) == 0);
}

// Buckets ascending, chains oldest first; an empty map begins at its end.
TEST_F(HashMap, IteratesBucketsAscendingAndChainsOldestFirst) {
    Map map = own(hashmap_init(4, nullptr)), empty = own(hashmap_init(8, nullptr));
    for (uintptr_t key : {1, 5, 9, 2, 0}) hashmap_insert(map.get(), as_key(key), nullptr);
    std::vector<uintptr_t> keys;
    for (MapIter iter = own(hashmap_begin(map.get())); !hashmapiter_is_end(iter.get()); hashmapiter_next(iter.get()))
        keys.push_back(as_number(hashmapiter_key(iter.get())));
    EXPECT_EQ(keys, (std::vector<uintptr_t>{0, 1, 5, 9, 2}));
    MapIter begin = own(hashmap_begin(empty.get())), end = own(hashmap_end(empty.get()));
    EXPECT_TRUE(hashmapiter_equal(begin.get(), end.get()) && hashmapiter_next(begin.get()) == 0);
    EXPECT_TRUE(hashmapiter_key(end.get()) == nullptr && hashmapiter_dereference(end.get()) == nullptr);
    EXPECT_EQ(hashmap_allocated(nullptr), memory_allocated());
}

// Only the map allocates here, so its count must move with the counted
// allocator's total through every operation, from its creation on: for
// entries and iterators, for owned keys the map allocates itself, and for
// values an alloc callback makes.
TEST_F(HashMap, CountFollowsTheAllocatorTotal) {
    hashmap_info_t info = owned_texts();
    info.value_size_of = nullptr;
    info.value_size = 8;
    info.value_alloc = [](hashmap_t*) { return memory_allocate(24); }; // more than value_size: counted as taken
    const std::string keys[] = {"alpha", "be", "c", "delta-delta", "e", "f", "g"};
    for (hashmap_info_t* descriptor : {static_cast<hashmap_info_t*>(nullptr), &info}) {
        const bool strings = descriptor != nullptr;
        const uint32_t others = memory_allocated();
        Map map = own(hashmap_init(5, descriptor));
        const auto expect_in_step = [&](const char* after) {
            EXPECT_EQ(memory_allocated() - hashmap_allocated(map.get()), others)
                << after << (strings ? " (owned keys and values)" : " (default descriptor)");
        };
        const auto key = [&](size_t i) { return strings ? text(keys[i].c_str()) : as_key(i + 1); };
        expect_in_step("making the map");
        for (size_t i = 0; i < std::size(keys); ++i) hashmap_insert(map.get(), key(i), text("value-1"));
        expect_in_step("inserting");
        hashmap_insert(map.get(), key(2), text("value-2"));
        expect_in_step("replacing a value");
        {
            MapIter found = own(hashmap_find(map.get(), key(3))), begin = own(hashmap_begin(map.get()));
            MapIter missing = own(hashmap_find(map.get(), strings ? text("none") : as_key(99)));
            expect_in_step("making iterators");
            hashmap_erase(map.get(), begin.get());
            expect_in_step("erasing");
        } // releasing them: alloc_failure_test.cpp
        hashmap_remove(map.get(), key(4));
        expect_in_step("removing");
        EXPECT_EQ(hashmap_allocated(own(hashmap_duplicate(map.get())).get()), hashmap_allocated(map.get()))
            << "a copy holds what its original holds";
        hashmap_clear(map.get());
        expect_in_step("clearing");
    }
}

// An owned copy of the key, hashed by its first byte: the map finds its
// entries, also from an entry, by that hash and not by the pointer.
TEST_F(HashMap, OwnedKeysAreCopiesAndGoBackOnRemoval) {
    hashmap_info_t info = {};
    info.key_size = 8;
    info.key_hash = [](hashmap_t*, const void* key) { return static_cast<uint32_t>(*static_cast<const unsigned char*>(key)); };
    info.key_equal = [](hashmap_t*, const void* a, const void* b) -> int32_t { return std::memcmp(a, b, 8) == 0; };
    info.flags = HASHMAP_OWN_KEYS;
    Map map = own(hashmap_init(4, &info));
    const uint32_t empty = hashmap_allocated(map.get());
    char key[8] = "key-one";
    hashmap_entry_t* entry = hashmap_insert(map.get(), key, as_key(1));
    std::memcpy(key, "changed", 8);
    EXPECT_STREQ(as_text(hashmapiter_key(own(hashmap_begin(map.get())).get())), "key-one");
    EXPECT_STREQ(as_text(hashmapiter_key(own(hashmapiter_init_from_entry(map.get(), entry)).get())), "key-one");
    hashmap_remove(map.get(), "key-one"); // found by the copy's content
    EXPECT_TRUE(hashmap_count(map.get()) == 0 && hashmap_allocated(map.get()) == empty);
}

TEST_F(HashMap, RefusesWhatItCouldNotHandle) {
    hashmap_info_t unsized = {};
    unsized.flags = HASHMAP_OWN_VALUES;
    EXPECT_TRUE(hashmap_init(0, nullptr) == nullptr && hashmap_init(4, &unsized) == nullptr);
    unsized.value_size = 4;
    EXPECT_NE(own(hashmap_init(4, &unsized)), nullptr);
}

// Random inserts, replacements (by owned values of other sizes) and removals
// (of missing keys too, and from within chains) against a model: the
// entries must match, the count must follow the allocator, the iteration
// must visit each entry once, buckets ascending, and erasing through one
// iterator must take them in that order.
TEST_F(HashMap, MatchesAModelUnderRandomOperations) {
    hashmap_info_t info = owned_texts();
    const uint32_t others = memory_allocated();
    Map map = own(hashmap_init(7, &info));
    std::map<std::string, std::string> model, seen;
    std::mt19937 random(7);
    for (int step = 0; step < 2000; ++step) {
        const std::string key = "k" + std::to_string(random() % 60);
        if (random() % 3 == 0) {
            hashmap_remove(map.get(), key.c_str());
            model.erase(key);
        } else {
            const std::string value = std::string(random() % 30, 'v');
            ASSERT_NE(hashmap_insert(map.get(), text(key.c_str()), text(value.c_str())), nullptr);
            model[key] = value;
        }
    }
    ASSERT_EQ(hashmap_count(map.get()), static_cast<int32_t>(model.size()));
    EXPECT_EQ(hashmap_allocated(map.get()), memory_allocated() - others);
    std::vector<std::string> order, erased;
    uint32_t last_bucket = 0;
    MapIter iter = own(hashmap_begin(map.get()));
    for (bool more = !hashmapiter_is_end(iter.get()); more; more = hashmapiter_next(iter.get())) {
        const char* key = as_text(hashmapiter_key(iter.get()));
        EXPECT_GE(text_hash(nullptr, key) % 7, last_bucket);
        last_bucket = text_hash(nullptr, key) % 7;
        EXPECT_TRUE(seen.emplace(key, as_text(hashmapiter_dereference(iter.get()))).second);
        order.push_back(key);
    }
    EXPECT_EQ(seen, model);
    for (iter = own(hashmap_begin(map.get())); !hashmapiter_is_end(iter.get()); hashmap_erase(map.get(), iter.get()))
        erased.push_back(as_text(hashmapiter_key(iter.get())));
    EXPECT_TRUE(erased == order && hashmap_count(map.get()) == 0);
    hashmap_erase(map.get(), iter.get()); // at the end: nothing
}

TEST_F(HashMap, IntegralHashesKeepTheBitPattern) {
    EXPECT_EQ((std::vector<uint32_t>{hash(static_cast<char>(-23)), hash(-1L), hash(-1), hash(static_cast<char>(0x41))}),
              (std::vector<uint32_t>{4294967273u, 4294967295u, 4294967295u, 0x41u}));
}
