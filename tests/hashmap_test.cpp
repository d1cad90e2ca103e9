// Hash maps: storing, iteration order, erasing, and the count of bytes.
#include "test_support.hpp"

#include <keloutil/keloutil.hpp>

#include <cstring>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Map = std::unique_ptr<hashmap_t, decltype(&hashmap_uninit)>;
using Iter = std::unique_ptr<hashmapiter_t, decltype(&hashmapiter_uninit)>;

Map make_map(uint32_t buckets, hashmap_info_t* info = nullptr) { return Map(hashmap_init(buckets, info), hashmap_uninit); }
Iter own_iter(hashmapiter_t* iter) { return Iter(iter, hashmapiter_uninit); }

void* as_key(uintptr_t value) { return reinterpret_cast<void*>(value); }
uintptr_t as_number(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

// The keys in iteration order.
std::vector<uintptr_t> keys_in_order(hashmap_t* map) {
    std::vector<uintptr_t> keys;
    Iter iter = own_iter(hashmap_begin(map));
    if (!hashmapiter_is_end(iter.get())) {
        do keys.push_back(as_number(hashmapiter_key(iter.get())));
        while (hashmapiter_next(iter.get()));
    }
    return keys;
}

// Keys that are NUL-terminated strings, stored as the map's own copies.
uint32_t string_size(hashmap_t*, const void* key) { return static_cast<uint32_t>(std::strlen(static_cast<const char*>(key)) + 1); }
uint32_t string_hash(hashmap_t*, const void* key) {
    uint32_t h = 2166136261u;
    for (const char* p = static_cast<const char*>(key); *p != '\0'; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 16777619u;
    return h;
}
int32_t string_equal(hashmap_t*, const void* a, const void* b) {
    return std::strcmp(static_cast<const char*>(a), static_cast<const char*>(b)) == 0;
}

hashmap_info_t string_keys() {
    hashmap_info_t info = {};
    info.key_size_of = string_size;
    info.key_hash = string_hash;
    info.key_equal = string_equal;
    info.value_size_of = string_size;
    info.flags = HASHMAP_OWN_KEYS | HASHMAP_OWN_VALUES;
    return info;
}

} // namespace

using HashMap = LeakCheckedTest;

TEST_F(HashMap, InsertingAnEqualKeyReplacesTheValue) {
    Map map = make_map(16);
    hashmap_insert(map.get(), as_key(7), as_key(100));
    hashmap_entry_t* entry = hashmap_insert(map.get(), as_key(7), as_key(200));
    EXPECT_EQ(hashmap_count(map.get()), 1);
    Iter found = own_iter(hashmap_find(map.get(), as_key(7)));
    EXPECT_EQ(as_number(hashmapiter_dereference(found.get())), 200u);
    Iter from_entry = own_iter(hashmapiter_init_from_entry(map.get(), entry));
    EXPECT_TRUE(hashmapiter_equal(found.get(), from_entry.get()));
    EXPECT_EQ(hashmap_has(map.get(), as_key(7)), 1);
    EXPECT_EQ(hashmap_has(map.get(), as_key(8)), 0);
}

TEST_F(HashMap, IteratesBucketsAscendingAndChainsOldestFirst) {
    Map map = make_map(4);
    for (uintptr_t key : {1, 5, 9, 2, 0}) hashmap_insert(map.get(), as_key(key), nullptr);
    EXPECT_EQ(keys_in_order(map.get()), (std::vector<uintptr_t>{0, 1, 5, 9, 2}));
    hashmap_remove(map.get(), as_key(5));
    hashmap_remove(map.get(), as_key(42)); // missing: nothing
    EXPECT_EQ(keys_in_order(map.get()), (std::vector<uintptr_t>{0, 1, 9, 2}));

    Map copy(hashmap_duplicate(map.get()), hashmap_uninit);
    EXPECT_EQ(keys_in_order(copy.get()), keys_in_order(map.get()));
    EXPECT_NE(hashmap_info(copy.get()), hashmap_info(map.get())); // a default descriptor of its own
}

TEST_F(HashMap, EmptyMapBeginsAtItsEnd) {
    Map map = make_map(8);
    Iter begin = own_iter(hashmap_begin(map.get()));
    Iter end = own_iter(hashmap_end(map.get()));
    EXPECT_TRUE(hashmapiter_equal(begin.get(), end.get()));
    EXPECT_EQ(hashmapiter_next(begin.get()), 0);
    EXPECT_EQ(hashmapiter_key(end.get()), nullptr);
    EXPECT_EQ(hashmapiter_dereference(end.get()), nullptr);
    EXPECT_EQ(hashmap_allocated(nullptr), memory_allocated());
}

TEST_F(HashMap, CountsItsRecordsAndLiveIterators) {
    Map map = make_map(10);
    const uint32_t expected = (sizeof(hashmap_t) + 4) + (10 * sizeof(void*) + 4) + (sizeof(hashmap_info_t) + 4);
    EXPECT_EQ(hashmap_allocated(map.get()), expected);
    Iter iter = own_iter(hashmap_begin(map.get()));
    EXPECT_EQ(hashmap_allocated(map.get()), expected + sizeof(hashmapiter_t) + 4);
    iter.reset();
    EXPECT_EQ(hashmap_allocated(map.get()), expected);
    hashmap_insert(map.get(), as_key(3), as_key(4));
    EXPECT_EQ(hashmap_allocated(map.get()), expected + sizeof(hashmap_entry_t) + 4);
    EXPECT_EQ(hashmap_has(map.get(), as_key(3)), 1);
    EXPECT_EQ(hashmap_allocated(map.get()), expected + sizeof(hashmap_entry_t) + 4);
}

// Only the map allocates here, so its count must move with the counted
// allocator's total through every operation: for entries and iterators, for
// owned keys the map allocates itself, and for values an alloc callback makes.
TEST_F(HashMap, CountFollowsTheAllocatorTotal) {
    hashmap_info_t info = string_keys();
    info.value_size_of = nullptr;
    info.value_size = 8;
    info.value_alloc = [](hashmap_t*) { return memory_allocate(24); }; // more than value_size: counted as taken
    for (hashmap_info_t* descriptor : {static_cast<hashmap_info_t*>(nullptr), &info}) {
        const bool strings = descriptor != nullptr;
        Map map = make_map(5, descriptor);
        const uint32_t others = memory_allocated() - hashmap_allocated(map.get());
        const auto expect_in_step = [&](const char* after) {
            EXPECT_EQ(memory_allocated() - hashmap_allocated(map.get()), others)
                << after << (strings ? " (owned keys and values)" : " (default descriptor)");
        };
        const std::string keys[] = {"alpha", "be", "c", "delta-delta", "e", "f", "g"};
        const auto key = [&](size_t i) { return strings ? const_cast<char*>(keys[i].c_str()) : as_key(i + 1); };
        for (size_t i = 0; i < std::size(keys); ++i) hashmap_insert(map.get(), key(i), const_cast<char*>("value-1"));
        expect_in_step("inserting");
        hashmap_insert(map.get(), key(2), const_cast<char*>("value-2"));
        expect_in_step("replacing a value");
        {
            Iter found = own_iter(hashmap_find(map.get(), key(3)));
            Iter missing = own_iter(hashmap_find(map.get(), strings ? const_cast<char*>("none") : as_key(99)));
            Iter begin = own_iter(hashmap_begin(map.get()));
            expect_in_step("making iterators");
            hashmap_erase(map.get(), begin.get());
            expect_in_step("erasing");
        }
        expect_in_step("releasing iterators");
        hashmap_remove(map.get(), key(4));
        expect_in_step("removing");
        Map copy(hashmap_duplicate(map.get()), hashmap_uninit);
        EXPECT_EQ(hashmap_allocated(copy.get()), hashmap_allocated(map.get())) << "a copy holds what its original holds";
        copy.reset();
        hashmap_clear(map.get());
        expect_in_step("clearing");
    }
}

TEST_F(HashMap, OwnedKeysAreCopiesAndGoBackOnRemoval) {
    hashmap_info_t info = {};
    info.key_size = 8;
    info.key_hash = [](hashmap_t*, const void* key) { return static_cast<uint32_t>(*static_cast<const unsigned char*>(key)); };
    info.key_equal = [](hashmap_t*, const void* a, const void* b) -> int32_t { return std::memcmp(a, b, 8) == 0; };
    info.flags = HASHMAP_OWN_KEYS;
    Map map = make_map(4, &info);
    const uint32_t empty = hashmap_allocated(map.get());
    char key[8] = "key-one";
    hashmap_insert(map.get(), key, as_key(1));
    std::memcpy(key, "changed", 8);
    Iter first = own_iter(hashmap_begin(map.get()));
    EXPECT_STREQ(static_cast<const char*>(hashmapiter_key(first.get())), "key-one");
    first.reset();
    EXPECT_EQ(hashmap_has(map.get(), "key-one"), 1);
    hashmap_remove(map.get(), "key-one");
    EXPECT_EQ(hashmap_count(map.get()), 0);
    EXPECT_EQ(hashmap_allocated(map.get()), empty);
}

TEST_F(HashMap, ReplacingAnOwnedValueCountsOnlyTheNewOne) {
    hashmap_info_t info = string_keys();
    Map replaced = make_map(8, &info);
    hashmap_insert(replaced.get(), const_cast<char*>("k"), const_cast<char*>("a short value"));
    hashmap_insert(replaced.get(), const_cast<char*>("k"), const_cast<char*>("a considerably longer value"));
    Map direct = make_map(8, &info);
    hashmap_insert(direct.get(), const_cast<char*>("k"), const_cast<char*>("a considerably longer value"));
    EXPECT_EQ(hashmap_allocated(replaced.get()), hashmap_allocated(direct.get()));
    Iter found = own_iter(hashmap_find(replaced.get(), "k"));
    EXPECT_STREQ(static_cast<const char*>(hashmapiter_dereference(found.get())), "a considerably longer value");
}

TEST_F(HashMap, EraseThroughOneIteratorEmptiesEveryChain) {
    Map map = make_map(3);
    for (uintptr_t key = 0; key < 20; ++key) hashmap_insert(map.get(), as_key(key), as_key(key * 10));
    Iter iter = own_iter(hashmap_begin(map.get()));
    std::vector<uintptr_t> erased;
    while (!hashmapiter_is_end(iter.get())) {
        erased.push_back(as_number(hashmapiter_key(iter.get())));
        hashmap_erase(map.get(), iter.get());
    }
    EXPECT_EQ(hashmap_count(map.get()), 0);
    EXPECT_EQ(erased.size(), 20u);
    EXPECT_EQ(erased.front(), 0u);
    EXPECT_EQ(erased[1], 3u); // the rest of bucket 0 first
    hashmap_erase(map.get(), iter.get()); // at the end: nothing
}

TEST_F(HashMap, RefusesWhatItCouldNotHandle) {
    EXPECT_EQ(hashmap_init(0, nullptr), nullptr);
    hashmap_info_t unsized = {};
    unsized.flags = HASHMAP_OWN_VALUES;
    EXPECT_EQ(hashmap_init(4, &unsized), nullptr);
    unsized.value_size = 4;
    Map map = make_map(4, &unsized);
    EXPECT_NE(map, nullptr);
}

// Random inserts, replacements and removals against a model; the entries
// must match and the iteration must visit each one once, buckets ascending.
TEST_F(HashMap, MatchesAModelUnderRandomOperations) {
    hashmap_info_t info = string_keys();
    Map map = make_map(7, &info);
    std::map<std::string, std::string> model;
    std::mt19937 random(7);
    for (int step = 0; step < 2000; ++step) {
        const std::string key = "k" + std::to_string(random() % 60);
        if (random() % 3 == 0) {
            hashmap_remove(map.get(), key.c_str());
            model.erase(key);
        } else {
            const std::string value = std::string(random() % 30, 'v');
            ASSERT_NE(hashmap_insert(map.get(), const_cast<char*>(key.c_str()), const_cast<char*>(value.c_str())), nullptr);
            model[key] = value;
        }
    }
    ASSERT_EQ(hashmap_count(map.get()), static_cast<int32_t>(model.size()));
    std::map<std::string, std::string> seen;
    uint32_t last_bucket = 0;
    Iter iter = own_iter(hashmap_begin(map.get()));
    for (bool more = !hashmapiter_is_end(iter.get()); more; more = hashmapiter_next(iter.get())) {
        const auto* key = static_cast<const char*>(hashmapiter_key(iter.get()));
        EXPECT_GE(string_hash(nullptr, key) % 7, last_bucket);
        last_bucket = string_hash(nullptr, key) % 7;
        EXPECT_TRUE(seen.emplace(key, static_cast<const char*>(hashmapiter_dereference(iter.get()))).second);
    }
    EXPECT_EQ(seen, model);
}

TEST_F(HashMap, IntegralHashesKeepTheBitPattern) {
    EXPECT_EQ(hash(static_cast<char>(-23)), 4294967273u);
    EXPECT_EQ(hash(-1L), 4294967295u);
    EXPECT_EQ(hash(-1), 4294967295u);
    EXPECT_EQ(hash(static_cast<char>(0x41)), 0x41u);
}
