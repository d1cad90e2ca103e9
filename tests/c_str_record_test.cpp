// The str_t record: creation, assignment, buffers, lengths and read-out.
#include "test_support.hpp"

#include <utility>

class EveryEncoding : public LeakCheckedParamTest<std::pair<int32_t, size_t>> {};

TEST_P(EveryEncoding, EmptyIsNotNullAndNullReadsOutAsATerminator) {
    const auto [encoding, terminator] = GetParam();
    Str empty = own(str_from("", 0, encoding));
    EXPECT_TRUE(!str_null(empty.get()) && str_empty(empty.get()) && str_len(empty.get()) == 0);
    EXPECT_EQ(empty->capacity, 1);
    Str null_string = own(str_init());
    Block block = own_block(str_alloc(null_string.get(), encoding));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(bytes(block.get(), terminator), std::string(terminator, '\0'));
}

INSTANTIATE_TEST_SUITE_P(Encodings, EveryEncoding,
                         ::testing::Values(std::pair{STR_ENC_ASCII, 1}, std::pair{STR_ENC_UTF8, 1},
                                           std::pair{STR_ENC_UTF16, 2}, std::pair{STR_ENC_UTF16BE, 2},
                                           std::pair{STR_ENC_UTF16LE, 2}, std::pair{STR_ENC_UTF32, 4}));

using StrRecord = LeakCheckedTest;

TEST_F(StrRecord, NullAndEmptyAreDistinct) {
    Str from_null = own(str_from_cstr(nullptr));
    EXPECT_TRUE(str_null(from_null.get()) && str_null(own(str_from_utf8(nullptr)).get()));
    Str copy = own(str_dup(from_null.get()));
    EXPECT_TRUE(!str_null(copy.get()) && str_empty(copy.get())) << "the copy of a null string is empty";
    EXPECT_EQ(str_dup(nullptr), nullptr);

    Str s = make("x");
    EXPECT_EQ(str_clear(s.get()), 1);
    EXPECT_TRUE(str_null(s.get()));
    EXPECT_EQ(s->capacity, 0);
}

TEST_F(StrRecord, NoRecordIsANullString) {
    EXPECT_TRUE(str_null(nullptr) && str_empty(nullptr));
    EXPECT_TRUE(str_len(nullptr) == 0 && str_utf8_char_count(nullptr) == 0);
    EXPECT_EQ(str_clear(nullptr), 1);
    EXPECT_EQ(str_buffer(nullptr, 5), nullptr);
    EXPECT_EQ(str_alloc(nullptr, STR_ENC_UTF8), nullptr);
    EXPECT_EQ(str_wchar_alloc(nullptr), nullptr);
    str_uninit(nullptr);
    char out[4] = "zzz";
    int32_t size = sizeof out;
    EXPECT_EQ(str_cstr(nullptr, out, &size), 0);
    EXPECT_EQ(out[0], '\0');
}

TEST_F(StrRecord, SetFromItsOwnBufferWhileGrowing) {
    Str s = make("abc");
    // The ASCII text of 4 bytes (capacity 4) needs a new 5-byte buffer.
    str_set(s.get(), s->buffer, 4, STR_ENC_ASCII);
    EXPECT_EQ(s->capacity, 5);
    EXPECT_EQ(shown(s), "abc");
    str_ascii_set(s.get(), "abcdef", -1); // -1: up to the NUL
    EXPECT_EQ(shown(s), "abcdef");
    str_ascii_set(s.get(), "abcdef", 2);
    EXPECT_EQ(shown(s), "ab");
}

TEST_F(StrRecord, UnknownEncodingChangesNothing) {
    Str s = make("keep");
    for (int32_t encoding : {-1, 6, 1000}) {
        char out[16];
        EXPECT_EQ(str_set(s.get(), "x", 1, encoding), 1);
        EXPECT_EQ(shown(s), "keep");
        EXPECT_EQ(str_get(s.get(), out, sizeof out, encoding), 0);
        EXPECT_EQ(str_alloc(s.get(), encoding), nullptr);
        EXPECT_EQ(str_encoding_requires_bytes("x", 1, encoding, STR_ENC_UTF8), 0);
        EXPECT_EQ(str_encoding_requires_bytes("x", 1, STR_ENC_UTF8, encoding), 0);
    }
}

TEST_F(StrRecord, CpyGrowsTheDestinationPastTheSource) {
    Str source = make("hello"), destination = make("hi"), big = make("a much longer text");
    EXPECT_EQ(str_cpy(source.get(), destination.get()), 5);
    EXPECT_EQ(shown(destination), "hello");
    EXPECT_EQ(destination->capacity, source->capacity + 1);
    const int32_t capacity = big->capacity;
    EXPECT_EQ(str_cpy(source.get(), big.get()), 5);
    EXPECT_EQ(big->capacity, capacity) << "large enough: no growth";
    EXPECT_EQ(str_cpy(source.get(), source.get()), 5);
    EXPECT_EQ(shown(source), "hello");

    Str null_source = make(nullptr);
    EXPECT_EQ(str_cpy(null_source.get(), destination.get()), 0);
    EXPECT_TRUE(str_null(destination.get()));
    EXPECT_EQ(str_cpy(nullptr, big.get()), 0);
    EXPECT_TRUE(str_null(big.get()));
    EXPECT_EQ(str_cpy(source.get(), nullptr), 0);
}

TEST_F(StrRecord, BufferGrowsToNPlusOneAndKeepsTheText) {
    Str s = make("ab");
    EXPECT_EQ(str_buffer(s.get(), 3), s->buffer);
    EXPECT_EQ(s->capacity, 3);
    EXPECT_STREQ(str_buffer(s.get(), 10), "ab");
    EXPECT_EQ(s->capacity, 11);

    Str null_string = make(nullptr);
    EXPECT_EQ(str_buffer(null_string.get(), 0), nullptr);
    EXPECT_STREQ(str_buffer(null_string.get(), 4), "");
    EXPECT_EQ(null_string->capacity, 5);
}

TEST_F(StrRecord, LengthsStopAtTheTerminator) {
    Str cut = own(str_from("\xE2", 1, STR_ENC_UTF8)); // a sequence cut short by the terminator
    EXPECT_EQ(str_len(cut.get()), 1);
    EXPECT_EQ(str_utf8_char_count(cut.get()), 1);
    EXPECT_EQ(str_utf8_len("\xE2"), 1);
    EXPECT_EQ(str_utf8_len(nullptr), 0);

    Str mixed = make("a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80"); // a é 日 😀
    EXPECT_EQ(str_len(mixed.get()), 10);
    EXPECT_EQ(str_utf8_char_count(mixed.get()), 4);

    const unsigned char marked[] = {0xFF, 0xFE, 'a', 0, 'b', 0, 0, 0};
    EXPECT_EQ(str_utf16_len(marked), 4) << "the mark is skipped and not counted";
    EXPECT_EQ(str_utf16le_len(marked), 6);
    const uint32_t wide[] = {0x1F600, 'x', 0};
    EXPECT_EQ(str_utf32_len(wide), 2) << "units, not bytes";
}

TEST_F(StrRecord, CstrReportsTheSizeItNeeds) {
    Str s = make("caf\xC3\xA9"); // café
    char out[8];
    int32_t size = 3;
    EXPECT_EQ(str_cstr(s.get(), out, &size), 0);
    EXPECT_EQ(size, 7); // measure (6: 4 characters, the decoded NUL and the terminator) + 1
    EXPECT_EQ(str_cstr(s.get(), out, &size), 6);
    EXPECT_STREQ(out, "caf?");
    EXPECT_EQ(str_cstrn(s.get(), out, sizeof out), out);
    EXPECT_STREQ(out, "caf?");
    EXPECT_STREQ(str_utf8_cstrn(s.get(), out, sizeof out), "caf\xC3\xA9");
}
