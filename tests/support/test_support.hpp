// SPDX-License-Identifier: MIT
// Shared by the tests: fixtures that check the library's own leak counter
// (every test must leave memory_allocated() where it found it), owners for
// what the flat interface hands out, and small helpers.
#ifndef KELOUTIL_TESTS_TEST_SUPPORT_HPP
#define KELOUTIL_TESTS_TEST_SUPPORT_HPP

#include <gtest/gtest.h>
#include <keloutil/keloutil.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <stdlib.h>
#else
#include <unistd.h>
#endif

class LeakCheckedTest : public ::testing::Test {
protected:
    void SetUp() override { allocated_before_ = memory_allocated(); }
    void TearDown() override { EXPECT_EQ(memory_allocated(), allocated_before_) << "counted blocks leaked"; }

private:
    uint32_t allocated_before_ = 0;
};

template <class Param>
class LeakCheckedParamTest : public LeakCheckedTest, public ::testing::WithParamInterface<Param> {};

using Str = std::unique_ptr<str_t, decltype(&str_uninit)>;
inline Str own(str_t* s) { return Str(s, str_uninit); }
using Block = std::unique_ptr<void, decltype(&memory_free)>;
inline Block own_block(void* block) { return Block(block, memory_free); }
using List = std::unique_ptr<list_t, decltype(&list_uninit)>;
inline List own(list_t* list) { return List(list, list_uninit); }
using ListIter = std::unique_ptr<list_iter_t, decltype(&list_iter_uninit)>;
inline ListIter own(list_iter_t* iter) { return ListIter(iter, list_iter_uninit); }
using Map = std::unique_ptr<hashmap_t, decltype(&hashmap_uninit)>;
inline Map own(hashmap_t* map) { return Map(map, hashmap_uninit); }
using MapIter = std::unique_ptr<hashmapiter_t, decltype(&hashmapiter_uninit)>;
inline MapIter own(hashmapiter_t* iter) { return MapIter(iter, hashmapiter_uninit); }

// A string from UTF-8, or a null string for a null pointer.
inline Str make(const char* text) { return own(text ? str_from_utf8(text) : str_init()); }

inline std::string bytes(const void* data, size_t size) { return std::string(static_cast<const char*>(data), size); }

// Code units in host order, as bytes.
template <class Unit>
std::string units(std::initializer_list<Unit> list) {
    std::string out;
    for (Unit unit : list) out += bytes(&unit, sizeof unit);
    return out;
}

// The text for comparisons: "<null>" for a null string, "<NULL>" for no record.
inline std::string shown(const str_t* s) {
    return s == nullptr ? "<NULL>" : s->buffer == nullptr ? "<null>" : s->buffer;
}
inline std::string shown(const Str& s) { return shown(s.get()); }
// The text of the record, read without touching the conversion cache.
inline std::string shown(const TStr& s) { return shown(static_cast<const str_t*>(s.handle())); }
inline std::string printable(const char* text) { return text != nullptr ? text : "<NULL>"; }

// The bytes of a read-out up to and including its terminator of `unit`
// zero bytes; "<NULL>" for no read-out.
inline std::string terminated(const void* out, size_t unit) {
    if (out == nullptr) return "<NULL>";
    const auto* p = static_cast<const char*>(out);
    size_t size = 0;
    while (std::string(p + size, unit) != std::string(unit, '\0')) size += unit;
    return bytes(p, size + unit);
}
inline size_t unit_of(int32_t encoding) { return encoding == STR_ENC_UTF32 ? 4 : encoding >= STR_ENC_UTF16 ? 2 : 1; }
// The string converted by str_alloc, with its terminator; or what is wrong
// with a block that is not exactly the measure.
inline std::string allocated(const str_t* s, int32_t encoding) {
    const uint32_t before = memory_allocated();
    const auto block = own_block(str_alloc(s, encoding));
    const uint32_t size = memory_allocated() - before - MEMORY_HEADER_SIZE;
    // The measure as str_get finds it, in room for any text: from malloc,
    // which the fault injection leaves alone.
    const size_t room = s != nullptr ? 4 * static_cast<size_t>(s->capacity) + 16 : 0;
    void* out = std::malloc(room);
    const int32_t measure = out != nullptr ? str_get(s, out, static_cast<int32_t>(room), encoding) : 0;
    std::free(out);
    if (block != nullptr && size != static_cast<uint32_t>(measure))
        return "<a block of " + std::to_string(size) + " bytes for a measure of " + std::to_string(measure) + ">";
    return terminated(block.get(), unit_of(encoding));
}
// The string converted by str_wchar_alloc, with its terminator.
inline std::string wide(const str_t* s) { return terminated(own_block(str_wchar_alloc(s)).get(), sizeof(wchar_t)); }

// The first byte of each element, head to tail, '0' for a null one;
// "broken" when the prev chain or the count disagrees.
inline std::string elements(const list_t* list) {
    std::string forward, backward;
    const auto first = [](const list_entry_t* e) { return e->data ? *static_cast<const char*>(e->data) : '0'; };
    for (const list_entry_t* e = list->head; e != nullptr; e = e->next) forward += first(e);
    for (const list_entry_t* e = list->tail; e != nullptr; e = e->prev) backward.insert(0, 1, first(e));
    return forward == backward && static_cast<size_t>(list->count) == forward.size() ? forward : "broken";
}

// A map descriptor for NUL-terminated texts as owned keys and values,
// hashed by the sum of their bytes.
inline const char* as_text(const void* p) { return static_cast<const char*>(p); }
inline uint32_t text_size(hashmap_t*, const void* t) { return static_cast<uint32_t>(std::strlen(as_text(t)) + 1); }
inline uint32_t text_hash(hashmap_t*, const void* t) {
    uint32_t sum = 0;
    for (const char* p = as_text(t); *p != '\0'; ++p) sum += static_cast<unsigned char>(*p);
    return sum;
}
inline int32_t same_text(hashmap_t*, const void* a, const void* b) { return std::strcmp(as_text(a), as_text(b)) == 0; }
inline hashmap_info_t owned_texts() {
    return {nullptr, 0, 0, nullptr, text_size, text_size, same_text, text_hash, nullptr, nullptr, nullptr, nullptr,
            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, HASHMAP_OWN_KEYS | HASHMAP_OWN_VALUES};
}

inline bool little_endian_host() {
    const uint16_t probe = 1;
    unsigned char first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

inline bool on_windows() { return sizeof(wchar_t) == 2; }

// A path in the library's form ("\\" between components).
inline std::string library_form(const std::filesystem::path& path) {
    std::string text = path.u8string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

// The bytes of a file; empty when it cannot be read.
inline std::string read_file(const std::filesystem::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// What the tests need of the platform beyond the standard library.
#ifdef _WIN32
// Wide, so that a value of any characters reaches the library's wide reads.
inline void set_environment(const char* name, const std::string& value) {
    _wputenv_s(std::filesystem::u8path(name).wstring().c_str(), std::filesystem::u8path(value).wstring().c_str());
}
inline bool change_owner(const std::filesystem::path&, int) { return false; }
inline bool running_as_root() { return false; }
#else
inline void set_environment(const char* name, const std::string& value) {
    if (value.empty()) unsetenv(name);
    else setenv(name, value.c_str(), 1);
}
inline bool change_owner(const std::filesystem::path& path, int user) { return chown(path.c_str(), user, user) == 0; }
inline bool running_as_root() { return geteuid() == 0; }
#endif

// An environment variable set (empty: unset) for the life of the object,
// then put back; programs started meanwhile inherit it.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        const char* previous = std::getenv(name);
        previous_ = previous != nullptr ? previous : "";
        set_environment(name, value);
    }
    ~ScopedEnvironment() { set_environment(name_, previous_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::string previous_;
};

// A fresh directory under the system's temporary directory for each test;
// removed afterwards, with the working directory restored.
class TempDirTest : public LeakCheckedTest {
protected:
    void SetUp() override {
        LeakCheckedTest::SetUp();
        std::random_device random;
        do root_ = std::filesystem::temp_directory_path() / ("keloutil-test-" + std::to_string(random()));
        while (!std::filesystem::create_directory(root_));
        root_text_ = library_form(root_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
        LeakCheckedTest::TearDown();
    }

    std::filesystem::path previous_ = std::filesystem::current_path(), root_;
    std::string root_text_; // root_ in the library's form
};

#endif // KELOUTIL_TESTS_TEST_SUPPORT_HPP
