// Shared by the tests: base fixtures that check the library's own leak
// counter (every test must leave memory_allocated() where it found it), and
// owners for what the flat interface hands out.
#ifndef KELOUTIL_TESTS_TEST_SUPPORT_HPP
#define KELOUTIL_TESTS_TEST_SUPPORT_HPP

#include <gtest/gtest.h>
#include <keloutil/keloutil.h>

#include <memory>
#include <string>

class LeakCheckedTest : public ::testing::Test {
protected:
    void SetUp() override { allocated_before_ = memory_allocated(); }
    void TearDown() override {
        EXPECT_EQ(memory_allocated(), allocated_before_) << "blocks of the counted allocator leaked";
    }

private:
    uint32_t allocated_before_ = 0;
};

template <class Param>
class LeakCheckedParamTest : public LeakCheckedTest, public ::testing::WithParamInterface<Param> {};

// Owns a str_t; releases it with str_uninit.
using Str = std::unique_ptr<str_t, decltype(&str_uninit)>;
inline Str own(str_t* s) { return Str(s, str_uninit); }

// Owns a block of the counted allocator; releases it with memory_free.
using Block = std::unique_ptr<void, decltype(&memory_free)>;
inline Block own_block(void* block) { return Block(block, memory_free); }

// Bytes as a std::string, for readable comparisons of encoded text.
inline std::string bytes(const void* data, size_t size) {
    return std::string(static_cast<const char*>(data), size);
}

inline std::string text_of(const str_t* s) { return s && s->buffer ? std::string(s->buffer) : std::string(); }

// A string from UTF-8, or a null string for a null pointer.
inline Str make(const char* text) { return own(text ? str_from_utf8(text) : str_init()); }

// The text of a string for comparisons: "<null>" for a null string and
// "<NULL>" for no record at all.
inline std::string shown(const str_t* s) { return s == nullptr ? "<NULL>" : s->buffer == nullptr ? "<null>" : s->buffer; }
inline std::string shown(const Str& s) { return shown(s.get()); }

// A text for test names: the text itself, or "<NULL>" for a null pointer.
inline std::string printable(const char* text) { return text != nullptr ? text : "<NULL>"; }

#endif // KELOUTIL_TESTS_TEST_SUPPORT_HPP
