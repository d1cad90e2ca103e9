// Shared by the tests: fixtures that check the library's own leak counter
// (every test must leave memory_allocated() where it found it), owners for
// what the flat interface hands out, and small helpers.
#ifndef KELOUTIL_TESTS_TEST_SUPPORT_HPP
#define KELOUTIL_TESTS_TEST_SUPPORT_HPP

#include <gtest/gtest.h>
#include <keloutil/keloutil.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

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

// A string from UTF-8, or a null string for a null pointer.
inline Str make(const char* text) { return own(text ? str_from_utf8(text) : str_init()); }

inline std::string bytes(const void* data, size_t size) { return std::string(static_cast<const char*>(data), size); }

// The text for comparisons: "<null>" for a null string, "<NULL>" for no record.
inline std::string shown(const str_t* s) {
    return s == nullptr ? "<NULL>" : s->buffer == nullptr ? "<null>" : s->buffer;
}
inline std::string shown(const Str& s) { return shown(s.get()); }
inline std::string printable(const char* text) { return text != nullptr ? text : "<NULL>"; }

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
