// SPDX-License-Identifier: MIT
// Time per element of keloutil's hash map (hashmap_*) and list (list_*)
// next to std::unordered_map, GLib's GHashTable and std::list.
//
// Hash maps hold integer keys and values as pointer-sized values: keloutil
// with its default descriptor (a key hashes to itself, keys compare by
// identity), std::unordered_map<uintptr_t, uintptr_t>, and, when the
// benchmark is built with GLib, a GHashTable with g_direct_hash and
// g_direct_equal. keloutil's map keeps the bucket count it was made with;
// std::unordered_map is given as many buckets (rehash) and a maximum load
// factor that keeps it from growing; GHashTable sizes itself as it fills and
// cannot be held to a bucket count. With 4096 buckets and 2048, 4096, 16384
// and 65536 keys, the load factors are 0.5, 1, 4 and 16. Operations:
//   insert     every key into an empty map (making the empty map and
//              releasing the full one are not timed)
//   find_hit   look up every key in shuffled order and read its value
//              (keloutil: hashmap_find, hashmapiter_dereference and
//              hashmapiter_uninit, as a caller must to get the value)
//   find_miss  the same with as many keys that are not in the map
//   has_hit    membership only (hashmap_has, count(), g_hash_table_contains)
//   has_miss   the same with absent keys
//   iterate    visit every pair once, summing keys and values
//   erase      remove every key in shuffled order (building the map is not
//              timed)
// Lists hold 10000 pointers: keloutil with its default descriptor (the
// pointers are stored as given) and std::list<void*>. Operations:
//   push       push every pointer at the tail of an empty list (list_push,
//              push_back; releasing the full list is not timed)
//   shift      take every element from the head (list_shift, front() and
//              pop_front(); building the list is not timed)
//   iterate    visit every element through iterators (list_begin,
//              list_iter_next, list_iter_dereference)
//   walk       keloutil only next to std::list's iteration: follow the
//              public entry links (list_head, entry->next)
// The counted allocator, which every entry comes from, is timed too:
//   alloc_free memory_allocate and memory_free of one block or a batch of
//              blocks of one size, next to calloc and free, and malloc, a
//              zero fill and free of the same sizes
// Before timing, each implementation is checked once: every key found with
// its value, no absent key found, the iteration visiting every pair, the
// map empty after the removals, the list giving back its elements in order,
// and keloutil leaving the counted allocator's total where it found it.
//
// Benchmarks are named "<container>/<operation>/<size>/<implementation>";
// after the run, summary tables give the time per element, keloutil's time
// relative to each peer, and the lookup times at each load factor.
#include "bench_support.hpp"

#include <keloutil/keloutil.h>

#include <benchmark/benchmark.h>

#ifdef KELOUTIL_BENCH_GLIB
#include <glib.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

const char* const program_name = "keloutil_bench_containers";

namespace {

// ---- the inputs -------------------------------------------------------------------

constexpr uint32_t bucket_count = 4096;

struct LoadFactor {
    const char* name; // as it appears in benchmark names
    double value;
    size_t keys;
};

const LoadFactor load_factors[] = {
    {"lf0.5", 0.5, bucket_count / 2},
    {"lf1", 1, bucket_count},
    {"lf4", 4, bucket_count * 4},
    {"lf16", 16, bucket_count * 16},
};

constexpr size_t max_keys = bucket_count * 16;
constexpr size_t list_elements = 10000;

// Distinct nonzero 32-bit keys. The first n of `present` are the keys of a
// map of n keys; `lookups` holds, for each load factor, the same keys in
// shuffled order; `absent` holds keys found in none of the maps.
struct Keys {
    std::vector<uintptr_t> present;
    std::vector<uintptr_t> absent;
    std::map<size_t, std::vector<uintptr_t>> lookups;
};

std::vector<uintptr_t> shuffled(std::vector<uintptr_t> keys, Prng& prng) {
    for (size_t i = keys.size(); i > 1; --i) std::swap(keys[i - 1], keys[prng.below(static_cast<uint32_t>(i))]);
    return keys;
}

Keys make_keys() {
    Prng prng(11);
    std::unordered_set<uintptr_t> seen;
    Keys keys;
    while (keys.present.size() + keys.absent.size() < 2 * max_keys) {
        const auto key = static_cast<uintptr_t>(static_cast<uint32_t>(prng.next()));
        if (key == 0 || !seen.insert(key).second) continue;
        (keys.present.size() < max_keys ? keys.present : keys.absent).push_back(key);
    }
    for (const LoadFactor& lf : load_factors) {
        keys.lookups[lf.keys] =
            shuffled(std::vector<uintptr_t>(keys.present.begin(), keys.present.begin() + lf.keys), prng);
    }
    return keys;
}

const Keys& keys() {
    static const Keys generated = make_keys();
    return generated;
}

uintptr_t value_of(uintptr_t key) { return key ^ 0x5A5A5A5Au; }

void* as_pointer(uintptr_t value) { return reinterpret_cast<void*>(value); }
uintptr_t as_number(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

// ---- the hash maps: one adapter per implementation -------------------------------------
//
// Each adapter makes an empty map on construction and releases it on
// destruction; find() returns the value or 0 for an absent key.

class KeloutilMap {
public:
    KeloutilMap() : map_(hashmap_init(bucket_count, nullptr)) {
        if (map_ == nullptr) fail("hashmap_init failed");
    }
    ~KeloutilMap() { hashmap_uninit(map_); }
    KeloutilMap(const KeloutilMap&) = delete;
    KeloutilMap& operator=(const KeloutilMap&) = delete;

    void insert(uintptr_t key, uintptr_t value) { hashmap_insert(map_, as_pointer(key), as_pointer(value)); }
    uintptr_t find(uintptr_t key) {
        hashmapiter_t* iter = hashmap_find(map_, as_pointer(key));
        const uintptr_t value = as_number(hashmapiter_dereference(iter));
        hashmapiter_uninit(iter);
        return value;
    }
    bool has(uintptr_t key) { return hashmap_has(map_, as_pointer(key)) != 0; }
    uintptr_t sum() {
        uintptr_t sum = 0;
        hashmapiter_t* iter = hashmap_begin(map_);
        for (bool more = hashmapiter_is_end(iter) == 0; more; more = hashmapiter_next(iter) != 0)
            sum += as_number(hashmapiter_key(iter)) + as_number(hashmapiter_dereference(iter));
        hashmapiter_uninit(iter);
        return sum;
    }
    void erase(uintptr_t key) { hashmap_remove(map_, as_pointer(key)); }
    size_t size() const { return static_cast<size_t>(hashmap_count(map_)); }

private:
    hashmap_t* map_;
};

// As many buckets as keloutil's map, and a maximum load factor so large that
// inserting never makes it grow. rehash() takes the next prime of the
// library's own list at or above the request: bucket_count() tells.
class StdMap {
public:
    StdMap() {
        map_.max_load_factor(1e9f);
        map_.rehash(bucket_count);
    }

    void insert(uintptr_t key, uintptr_t value) { map_.insert_or_assign(key, value); }
    uintptr_t find(uintptr_t key) const {
        const auto found = map_.find(key);
        return found != map_.end() ? found->second : 0;
    }
    bool has(uintptr_t key) const { return map_.count(key) != 0; }
    uintptr_t sum() const {
        uintptr_t sum = 0;
        for (const auto& [key, value] : map_) sum += key + value;
        return sum;
    }
    void erase(uintptr_t key) { map_.erase(key); }
    size_t size() const { return map_.size(); }
    size_t buckets() const { return map_.bucket_count(); }

private:
    std::unordered_map<uintptr_t, uintptr_t> map_;
};

#ifdef KELOUTIL_BENCH_GLIB
// GHashTable has no bucket count to set: it resizes itself as it fills.
class GlibMap {
public:
    GlibMap() : table_(g_hash_table_new(g_direct_hash, g_direct_equal)) {}
    ~GlibMap() { g_hash_table_destroy(table_); }
    GlibMap(const GlibMap&) = delete;
    GlibMap& operator=(const GlibMap&) = delete;

    void insert(uintptr_t key, uintptr_t value) { g_hash_table_insert(table_, as_pointer(key), as_pointer(value)); }
    uintptr_t find(uintptr_t key) const { return as_number(g_hash_table_lookup(table_, as_pointer(key))); }
    bool has(uintptr_t key) const { return g_hash_table_contains(table_, as_pointer(key)) != FALSE; }
    uintptr_t sum() const {
        uintptr_t sum = 0;
        GHashTableIter iter;
        gpointer key;
        gpointer value;
        g_hash_table_iter_init(&iter, table_);
        while (g_hash_table_iter_next(&iter, &key, &value)) sum += as_number(key) + as_number(value);
        return sum;
    }
    void erase(uintptr_t key) { g_hash_table_remove(table_, as_pointer(key)); }
    size_t size() const { return g_hash_table_size(table_); }

private:
    GHashTable* table_;
};
#endif

// ---- the hash map benchmarks --------------------------------------------------------------

template <class Map>
void fill(Map& map, size_t n) {
    const std::vector<uintptr_t>& present = keys().present;
    for (size_t i = 0; i < n; ++i) map.insert(present[i], value_of(present[i]));
}

template <class Map>
void map_insert(benchmark::State& state, size_t n) {
    const std::vector<uintptr_t>& present = keys().present;
    std::unique_ptr<Map> map;
    for (auto _ : state) {
        state.PauseTiming();
        map.reset(); // the previous iteration's full map
        map = std::make_unique<Map>();
        state.ResumeTiming();
        for (size_t i = 0; i < n; ++i) map->insert(present[i], value_of(present[i]));
        benchmark::ClobberMemory();
    }
}

// n lookups with `lookup` (Map::find or Map::has), of the map's keys in
// shuffled order (hit) or of absent keys, adding up the answers.
template <class Map, auto lookup>
void map_lookup(benchmark::State& state, size_t n, bool hit) {
    Map map;
    fill(map, n);
    const std::vector<uintptr_t>& looked_up = hit ? keys().lookups.at(n) : keys().absent;
    for (auto _ : state) {
        uintptr_t sum = 0;
        for (size_t i = 0; i < n; ++i) sum += (map.*lookup)(looked_up[i]);
        benchmark::DoNotOptimize(sum);
    }
}

template <class Map>
void map_iterate(benchmark::State& state, size_t n) {
    Map map;
    fill(map, n);
    for (auto _ : state) benchmark::DoNotOptimize(map.sum());
}

template <class Map>
void map_erase(benchmark::State& state, size_t n) {
    const std::vector<uintptr_t>& order = keys().lookups.at(n);
    std::unique_ptr<Map> map;
    for (auto _ : state) {
        state.PauseTiming();
        map.reset(); // the previous iteration's emptied map
        map = std::make_unique<Map>();
        fill(*map, n);
        state.ResumeTiming();
        for (size_t i = 0; i < n; ++i) map->erase(order[i]);
        benchmark::ClobberMemory();
    }
}

// Everything a map must answer, checked once per implementation and load
// factor before timing.
template <class Map>
void check_map(const char* implementation, size_t n) {
    const std::string where = std::string("hashmap/") + implementation + " with " + std::to_string(n) + " keys: ";
    Map map;
    fill(map, n);
    if (map.size() != n) fail(where + "holds " + std::to_string(map.size()) + " entries");
    uintptr_t expected_sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const uintptr_t key = keys().present[i];
        expected_sum += key + value_of(key);
        if (map.find(key) != value_of(key) || !map.has(key)) fail(where + "a key is not found with its value");
        if (map.find(keys().absent[i]) != 0 || map.has(keys().absent[i])) fail(where + "an absent key is found");
    }
    if (map.sum() != expected_sum) fail(where + "the iteration does not visit every pair once");
    for (uintptr_t key : keys().lookups.at(n)) map.erase(key);
    if (map.size() != 0) fail(where + "entries are left after removing every key");
}

// ---- the lists ----------------------------------------------------------------------------

// The stored pointers: the addresses of the elements of one array.
const std::vector<uintptr_t>& list_data() {
    static const std::vector<uintptr_t> data(list_elements);
    return data;
}

const void* element(size_t i) { return &list_data()[i]; }

class KeloutilList {
public:
    KeloutilList() : list_(list_init(nullptr)) {
        if (list_ == nullptr) fail("list_init failed");
    }
    ~KeloutilList() { list_uninit(list_); }
    KeloutilList(const KeloutilList&) = delete;
    KeloutilList& operator=(const KeloutilList&) = delete;

    void push(const void* data) { list_push(list_, data); }
    void* shift() { return list_shift(list_); }
    uintptr_t sum() const {
        uintptr_t sum = 0;
        list_iter_t* iter = list_begin(list_);
        if (list_iter_entry(iter) != nullptr) {
            do sum += as_number(list_iter_dereference(iter));
            while (list_iter_next(iter) != 0);
        }
        list_iter_uninit(iter);
        return sum;
    }
    uintptr_t walk() const {
        uintptr_t sum = 0;
        for (const list_entry_t* entry = list_head(list_); entry != nullptr; entry = entry->next)
            sum += as_number(entry->data);
        return sum;
    }
    size_t size() const { return static_cast<size_t>(list_count(list_)); }

private:
    list_t* list_;
};

class StdList {
public:
    void push(const void* data) { list_.push_back(const_cast<void*>(data)); }
    void* shift() {
        void* data = list_.front();
        list_.pop_front();
        return data;
    }
    uintptr_t sum() const {
        uintptr_t sum = 0;
        for (void* data : list_) sum += as_number(data);
        return sum;
    }
    size_t size() const { return list_.size(); }

private:
    std::list<void*> list_;
};

template <class List>
void fill(List& list) {
    for (size_t i = 0; i < list_elements; ++i) list.push(element(i));
}

template <class List>
void list_push_all(benchmark::State& state) {
    std::unique_ptr<List> list;
    for (auto _ : state) {
        state.PauseTiming();
        list.reset(); // the previous iteration's full list
        list = std::make_unique<List>();
        state.ResumeTiming();
        for (size_t i = 0; i < list_elements; ++i) list->push(element(i));
        benchmark::ClobberMemory();
    }
}

template <class List>
void list_shift_all(benchmark::State& state) {
    std::unique_ptr<List> list;
    for (auto _ : state) {
        state.PauseTiming();
        list.reset(); // the previous iteration's emptied list
        list = std::make_unique<List>();
        fill(*list);
        state.ResumeTiming();
        uintptr_t sum = 0;
        for (size_t i = 0; i < list_elements; ++i) sum += as_number(list->shift());
        benchmark::DoNotOptimize(sum);
    }
}

template <class List>
void list_iterate(benchmark::State& state) {
    List list;
    fill(list);
    for (auto _ : state) benchmark::DoNotOptimize(list.sum());
}

void list_walk(benchmark::State& state) {
    KeloutilList list;
    fill(list);
    for (auto _ : state) benchmark::DoNotOptimize(list.walk());
}

template <class List>
void check_list(const char* implementation) {
    const std::string where = std::string("list/") + implementation + ": ";
    List list;
    fill(list);
    if (list.size() != list_elements) fail(where + "holds " + std::to_string(list.size()) + " elements");
    uintptr_t expected_sum = 0;
    for (size_t i = 0; i < list_elements; ++i) expected_sum += as_number(element(i));
    if (list.sum() != expected_sum) fail(where + "the iteration does not visit every element once");
    for (size_t i = 0; i < list_elements; ++i) {
        if (list.shift() != element(i)) fail(where + "shift does not give the elements back in order");
    }
    if (list.size() != 0) fail(where + "elements are left after shifting every one");
}

// ---- the counted allocator ------------------------------------------------------------------

// Each iteration takes blocks of one size and releases them: one at a time,
// as a lookup does with its iterator, or a batch, as a container does with
// its entries.
struct BlockSize {
    const char* name;
    uint32_t size;
    size_t batch;
};

const BlockSize block_sizes[] = {
    {"24Bx1", 24, 1},                             // the iterator of one lookup
    {"24Bx1000", 24, 1000},                       // the entries of a map or a list
    {"256Bx1000", 256, 1000},                     // larger records
    {"32KiBx1", bucket_count * sizeof(void*), 1}, // the bucket array of a 4096-bucket map
    {"1MiBx1", 1u << 20, 1},                      // a large block
};

template <class Allocate, class Release>
void alloc_batch(benchmark::State& state, const BlockSize& block, Allocate allocate, Release release) {
    std::vector<void*> blocks(block.batch);
    for (auto _ : state) {
        for (void*& b : blocks) {
            b = allocate(block.size);
            benchmark::DoNotOptimize(b);
        }
        for (void* b : blocks) release(b);
        benchmark::ClobberMemory();
    }
}

void* allocate_counted(uint32_t size) { return memory_allocate(size); }
void release_counted(void* block) { memory_free(block); }
void* allocate_calloc(uint32_t size) { return std::calloc(1, size); }
void* allocate_zeroed_malloc(uint32_t size) {
    void* block = std::malloc(size);
    if (block != nullptr) std::memset(block, 0, size);
    return block;
}
void release_heap(void* block) { std::free(block); }

// ---- registration and summary ------------------------------------------------------------

struct MapOperation {
    const char* name;
    void (*keloutil)(benchmark::State&, size_t);
    void (*std_map)(benchmark::State&, size_t);
    void (*glib)(benchmark::State&, size_t); // null without GLib
};

#ifdef KELOUTIL_BENCH_GLIB
#define GLIB_CASE(function) function
#else
#define GLIB_CASE(function) nullptr
#endif

template <class Map>
void map_find_hit(benchmark::State& state, size_t n) { map_lookup<Map, &Map::find>(state, n, true); }
template <class Map>
void map_find_miss(benchmark::State& state, size_t n) { map_lookup<Map, &Map::find>(state, n, false); }
template <class Map>
void map_has_hit(benchmark::State& state, size_t n) { map_lookup<Map, &Map::has>(state, n, true); }
template <class Map>
void map_has_miss(benchmark::State& state, size_t n) { map_lookup<Map, &Map::has>(state, n, false); }

const MapOperation map_operations[] = {
    {"insert", map_insert<KeloutilMap>, map_insert<StdMap>, GLIB_CASE(map_insert<GlibMap>)},
    {"find_hit", map_find_hit<KeloutilMap>, map_find_hit<StdMap>, GLIB_CASE(map_find_hit<GlibMap>)},
    {"find_miss", map_find_miss<KeloutilMap>, map_find_miss<StdMap>, GLIB_CASE(map_find_miss<GlibMap>)},
    {"has_hit", map_has_hit<KeloutilMap>, map_has_hit<StdMap>, GLIB_CASE(map_has_hit<GlibMap>)},
    {"has_miss", map_has_miss<KeloutilMap>, map_has_miss<StdMap>, GLIB_CASE(map_has_miss<GlibMap>)},
    {"iterate", map_iterate<KeloutilMap>, map_iterate<StdMap>, GLIB_CASE(map_iterate<GlibMap>)},
    {"erase", map_erase<KeloutilMap>, map_erase<StdMap>, GLIB_CASE(map_erase<GlibMap>)},
};

struct ListOperation {
    const char* name;
    void (*keloutil)(benchmark::State&);
    void (*std_list)(benchmark::State&);
};

// "walk" times keloutil's entry links; its peer is std::list's iteration.
const ListOperation list_operations[] = {
    {"push", list_push_all<KeloutilList>, list_push_all<StdList>},
    {"shift", list_shift_all<KeloutilList>, list_shift_all<StdList>},
    {"iterate", list_iterate<KeloutilList>, list_iterate<StdList>},
    {"walk", list_walk, list_iterate<StdList>},
};

std::string benchmark_name(const std::string& container, const std::string& operation, const std::string& size,
                           const std::string& implementation) {
    return container + "/" + operation + "/" + size + "/" + implementation;
}

// Elements per iteration of each registered benchmark, for the summary's
// time per element.
std::map<std::string, size_t>& elements_per_iteration() {
    static std::map<std::string, size_t> elements;
    return elements;
}

// Registers `function`, which handles `elements` elements per iteration, and
// counts them as its items processed.
template <class Function>
void register_one(const std::string& name, size_t elements, Function function) {
    elements_per_iteration()[name] = elements;
    const auto counted = [function, elements](benchmark::State& state) {
        function(state);
        state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(elements));
    };
    benchmark::RegisterBenchmark(name.c_str(), counted)->Unit(benchmark::kMicrosecond);
}

void register_benchmarks() {
    for (const MapOperation& operation : map_operations) {
        for (const LoadFactor& lf : load_factors) {
            const size_t n = lf.keys;
            const std::pair<const char*, void (*)(benchmark::State&, size_t)> implementations[] = {
                {"keloutil", operation.keloutil}, {"std", operation.std_map}, {"glib", operation.glib}};
            for (const auto& [implementation, function] : implementations) {
                if (function == nullptr) continue;
                register_one(benchmark_name("hashmap", operation.name, lf.name, implementation), n,
                             [function = function, n](benchmark::State& state) { function(state, n); });
            }
        }
    }
    const std::string list_size = std::to_string(list_elements);
    for (const ListOperation& operation : list_operations) {
        const std::pair<const char*, void (*)(benchmark::State&)> implementations[] = {
            {"keloutil", operation.keloutil}, {"std", operation.std_list}};
        for (const auto& [implementation, function] : implementations) {
            // std::list's iteration is registered once, under "iterate".
            if (std::string(operation.name) == "walk" && std::string(implementation) == "std") continue;
            register_one(benchmark_name("list", operation.name, list_size, implementation), list_elements, function);
        }
    }
    for (const BlockSize& block : block_sizes) {
        const auto name = [&block](const char* implementation) {
            return benchmark_name("memory", "alloc_free", block.name, implementation);
        };
        register_one(name("keloutil"), block.batch, [&block](benchmark::State& state) {
            alloc_batch(state, block, allocate_counted, release_counted);
        });
        register_one(name("calloc"), block.batch, [&block](benchmark::State& state) {
            alloc_batch(state, block, allocate_calloc, release_heap);
        });
        register_one(name("malloc_zero"), block.batch, [&block](benchmark::State& state) {
            alloc_batch(state, block, allocate_zeroed_malloc, release_heap);
        });
    }
}

// CPU time per element in nanoseconds.
double ns_per_element(const CollectingReporter::Run& run) {
    const double ns = run.GetAdjustedCPUTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
    return ns / static_cast<double>(elements_per_iteration().at(run.run_name.function_name));
}

// Markdown tables of CPU time per element and the time ratios: keloutil's
// time divided by the peer's, so above 1 means keloutil is slower.
void print_summary(const CollectingReporter& results) {
    std::vector<std::string> rows;
    const auto add_row = [&](const char* container, const std::string& operation, const std::string& size,
                             const std::string& peer_operation) {
        const double keloutil = results.figure(benchmark_name(container, operation, size, "keloutil"));
        const double std_peer = results.figure(benchmark_name(container, peer_operation, size, "std"));
        const double glib = results.figure(benchmark_name(container, peer_operation, size, "glib"));
        if (keloutil <= 0.0 && std_peer <= 0.0 && glib <= 0.0) return;
        rows.push_back(table_row({container, operation, size, format("%.2f", keloutil), format("%.2f", std_peer),
                                  format("%.2f", glib), ratio(keloutil, std_peer), ratio(keloutil, glib)}));
    };
    for (const MapOperation& operation : map_operations) {
        for (const LoadFactor& lf : load_factors) add_row("hashmap", operation.name, lf.name, operation.name);
    }
    const std::string list_size = std::to_string(list_elements);
    for (const ListOperation& operation : list_operations) {
        // keloutil's walk is compared with std::list's iteration.
        const bool walk = std::string(operation.name) == "walk";
        add_row("list", operation.name, list_size, walk ? "iterate" : operation.name);
    }
    print_table("CPU time per element in ns; ratios are keloutil's time / the peer's time: above 1 means keloutil "
                "is slower.",
                "| container | operation | size | keloutil | std | GLib | keloutil/std | keloutil/GLib |\n"
                "|---|---|---|---:|---:|---:|---:|---:|",
                rows);

    rows.clear();
    constexpr size_t steps = std::size(load_factors);
    for (const char* operation : {"find_hit", "find_miss", "has_hit", "has_miss"}) {
        for (const char* implementation : {"keloutil", "std", "glib"}) {
            double times[steps];
            for (size_t i = 0; i < steps; ++i)
                times[i] = results.figure(benchmark_name("hashmap", operation, load_factors[i].name, implementation));
            if (std::all_of(std::begin(times), std::end(times), [](double t) { return t <= 0.0; })) continue;
            rows.push_back(table_row({operation, implementation, format("%.2f", times[0]), format("%.2f", times[1]),
                                      format("%.2f", times[2]), format("%.2f", times[3]),
                                      ratio(times[steps - 1], times[0])}));
        }
    }
    print_table("Lookups as the load factor grows: ns per lookup at load factors 0.5, 1, 4 and 16, and the time at "
                "16 over the time at 0.5.",
                "| operation | implementation | lf 0.5 | lf 1 | lf 4 | lf 16 | lf 16 / lf 0.5 |\n"
                "|---|---|---:|---:|---:|---:|---:|",
                rows);

    rows.clear();
    for (const BlockSize& block : block_sizes) {
        const double keloutil = results.figure(benchmark_name("memory", "alloc_free", block.name, "keloutil"));
        const double calloc_time = results.figure(benchmark_name("memory", "alloc_free", block.name, "calloc"));
        const double malloc_time = results.figure(benchmark_name("memory", "alloc_free", block.name, "malloc_zero"));
        if (keloutil <= 0.0 && calloc_time <= 0.0 && malloc_time <= 0.0) continue;
        rows.push_back(table_row({block.name, format("%.1f", keloutil), format("%.1f", calloc_time),
                                  format("%.1f", malloc_time), ratio(keloutil, calloc_time),
                                  ratio(keloutil, malloc_time)}));
    }
    print_table("The counted allocator: ns per block (allocation and release); ratios are keloutil's time / the "
                "peer's time.",
                "| block | memory_allocate | calloc | malloc + zero fill | keloutil/calloc | keloutil/malloc+zero |\n"
                "|---|---:|---:|---:|---:|---:|",
                rows);
}

// Checks every implementation once, and that keloutil's containers give
// back every block of the counted allocator they took.
void check() {
    const uint32_t allocated = memory_allocated();
    for (const LoadFactor& lf : load_factors) {
        check_map<KeloutilMap>("keloutil", lf.keys);
        check_map<StdMap>("std", lf.keys);
#ifdef KELOUTIL_BENCH_GLIB
        check_map<GlibMap>("glib", lf.keys);
#endif
    }
    check_list<KeloutilList>("keloutil");
    check_list<StdList>("std");
    if (memory_allocated() != allocated) fail("keloutil's containers left blocks of the counted allocator behind");
}

} // namespace

int main(int argc, char** argv) {
    const auto prepare = [] {
        check();
        {
            StdMap std_map;
            const size_t requested = std_map.buckets();
            fill(std_map, max_keys);
            std::printf("hash maps: %u buckets for keloutil; std::unordered_map has %zu after rehash(%u) and %zu "
                        "with %zu keys\n",
                        bucket_count, requested, bucket_count, std_map.buckets(), max_keys);
        }
#ifdef KELOUTIL_BENCH_GLIB
        std::printf("GHashTable sizes itself as it fills (GLib %u.%u.%u)\n", glib_major_version, glib_minor_version,
                    glib_micro_version);
#else
        std::printf("built without GLib: the GHashTable cases are left out\n");
#endif
        std::printf("lists: %zu elements\n", list_elements);
        register_benchmarks();
    };
    return run_benchmarks(argc, argv, ns_per_element, prepare, print_summary);
}
