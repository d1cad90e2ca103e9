// The str_t record: creation, assignment, buffers, lengths and read-out.
#include "test_support.hpp"

#include <cstring>

using StrRecord = LeakCheckedTest;

class EmptyFromEveryEncoding : public LeakCheckedParamTest<int32_t> {};

TEST_P(EmptyFromEveryEncoding, IsEmptyButNotNull) {
    Str s = own(str_from("", 0, GetParam()));
    EXPECT_FALSE(str_null(s.get()));
    EXPECT_TRUE(str_empty(s.get()));
    EXPECT_EQ(s->capacity, 1);
    EXPECT_EQ(str_len(s.get()), 0);
}

INSTANTIATE_TEST_SUITE_P(Encodings, EmptyFromEveryEncoding,
                         ::testing::Values(STR_ENC_ASCII, STR_ENC_UTF8, STR_ENC_UTF16, STR_ENC_UTF16BE,
                                           STR_ENC_UTF16LE, STR_ENC_UTF32));

TEST_F(StrRecord, NullAndEmptyAreDistinct) {
    Str from_null = own(str_from_cstr(nullptr));
    EXPECT_TRUE(str_null(from_null.get()));
    EXPECT_TRUE(str_null(own(str_from_utf8(nullptr)).get()));

    Str copy = own(str_dup(from_null.get()));
    EXPECT_FALSE(str_null(copy.get())); // the copy of a null string is empty, not null
    EXPECT_TRUE(str_empty(copy.get()));
    EXPECT_EQ(str_dup(nullptr), nullptr);

    Str s = own(str_from_utf8("x"));
    EXPECT_EQ(str_clear(s.get()), 1);
    EXPECT_TRUE(str_null(s.get()));
    EXPECT_EQ(s->capacity, 0);
}

TEST_F(StrRecord, NullRecordIsANullString) {
    EXPECT_TRUE(str_null(nullptr));
    EXPECT_TRUE(str_empty(nullptr));
    EXPECT_EQ(str_len(nullptr), 0);
    EXPECT_EQ(str_utf8_char_count(nullptr), 0);
    EXPECT_EQ(str_clear(nullptr), 1);
    EXPECT_EQ(str_buffer(nullptr, 5), nullptr);
    EXPECT_EQ(str_alloc(nullptr, STR_ENC_UTF8), nullptr);
    EXPECT_EQ(str_wchar_alloc(nullptr), nullptr);
    str_uninit(nullptr);
    char out[4] = "zzz";
    int32_t size = sizeof out;
    EXPECT_EQ(str_cstr(nullptr, out, &size), 0);
    EXPECT_EQ(out[0], '\0'); // a lone NUL
}

TEST_F(StrRecord, ShorterSetReusesTheBuffer) {
    Str s = own(str_from_utf8("hello world"));
    ASSERT_EQ(s->capacity, 12);
    const char* buffer = s->buffer;
    str_utf8_set(s.get(), "abc");
    EXPECT_EQ(text_of(s.get()), "abc");
    EXPECT_EQ(str_len(s.get()), 3);
    EXPECT_EQ(s->capacity, 12);
    EXPECT_EQ(s->buffer, buffer);
}

TEST_F(StrRecord, SetFromItsOwnBufferWhileGrowing) {
    Str s = own(str_from_utf8("abc"));
    // The ASCII text of 4 bytes (capacity 4) needs a new 5-byte buffer.
    str_set(s.get(), s->buffer, 4, STR_ENC_ASCII);
    EXPECT_EQ(s->capacity, 5);
    EXPECT_EQ(text_of(s.get()), "abc");
}

TEST_F(StrRecord, AsciiSetTakesMinusOneAsUpToTheNul) {
    Str s = own(str_init());
    str_ascii_set(s.get(), "abcdef", -1);
    EXPECT_EQ(text_of(s.get()), "abcdef");
    str_ascii_set(s.get(), "abcdef", 2);
    EXPECT_EQ(text_of(s.get()), "ab");
}

TEST_F(StrRecord, UnknownEncodingChangesNothing) {
    Str s = own(str_from_utf8("keep"));
    for (int32_t encoding : {-1, 6, 1000}) {
        EXPECT_EQ(str_set(s.get(), "x", 1, encoding), 1);
        EXPECT_EQ(text_of(s.get()), "keep");
        char out[16];
        EXPECT_EQ(str_get(s.get(), out, sizeof out, encoding), 0);
        EXPECT_EQ(str_alloc(s.get(), encoding), nullptr);
        EXPECT_EQ(str_encoding_requires_bytes("x", 1, encoding, STR_ENC_UTF8), 0);
        EXPECT_EQ(str_encoding_requires_bytes("x", 1, STR_ENC_UTF8, encoding), 0);
    }
}

TEST_F(StrRecord, CpyGrowsTheDestinationPastTheSource) {
    Str source = own(str_from_utf8("hello"));
    Str destination = own(str_from_utf8("hi"));
    EXPECT_EQ(str_cpy(source.get(), destination.get()), 5);
    EXPECT_EQ(text_of(destination.get()), "hello");
    EXPECT_EQ(destination->capacity, source->capacity + 1);

    Str big = own(str_from_utf8("a much longer text"));
    const int32_t capacity = big->capacity;
    EXPECT_EQ(str_cpy(source.get(), big.get()), 5); // large enough: no growth
    EXPECT_EQ(big->capacity, capacity);

    EXPECT_EQ(str_cpy(source.get(), source.get()), 5);
    EXPECT_EQ(text_of(source.get()), "hello");

    Str null_source = own(str_init());
    EXPECT_EQ(str_cpy(null_source.get(), destination.get()), 0);
    EXPECT_TRUE(str_null(destination.get()));
    EXPECT_EQ(str_cpy(nullptr, big.get()), 0);
    EXPECT_TRUE(str_null(big.get()));
    EXPECT_EQ(str_cpy(source.get(), nullptr), 0);
}

TEST_F(StrRecord, BufferGrowsToNPlusOneAndKeepsTheText) {
    Str s = own(str_from_utf8("ab"));
    char* same = str_buffer(s.get(), 3);
    EXPECT_EQ(same, s->buffer);
    EXPECT_EQ(s->capacity, 3);
    char* grown = str_buffer(s.get(), 10);
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(s->capacity, 11);
    EXPECT_STREQ(grown, "ab");

    Str null_string = own(str_init());
    EXPECT_EQ(str_buffer(null_string.get(), 0), nullptr);
    char* fresh = str_buffer(null_string.get(), 4);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(null_string->capacity, 5);
    EXPECT_STREQ(fresh, "");
}

TEST_F(StrRecord, LengthsStopAtTheTerminator) {
    Str cut = own(str_from("\xE2", 1, STR_ENC_UTF8)); // a sequence cut short by the terminator
    EXPECT_EQ(str_len(cut.get()), 1);
    EXPECT_EQ(str_utf8_char_count(cut.get()), 1);
    EXPECT_EQ(str_utf8_len("\xE2"), 1);

    Str mixed = own(str_from_utf8("a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80")); // a é 日 😀
    EXPECT_EQ(str_len(mixed.get()), 10);
    EXPECT_EQ(str_utf8_char_count(mixed.get()), 4);
    EXPECT_EQ(str_utf8_len(nullptr), 0);

    const unsigned char marked[] = {0xFF, 0xFE, 'a', 0, 'b', 0, 0, 0};
    EXPECT_EQ(str_utf16_len(marked), 4); // the mark is skipped and not counted
    EXPECT_EQ(str_utf16le_len(marked), 6);
    const uint32_t wide[] = {0x1F600, 'x', 0};
    EXPECT_EQ(str_utf32_len(wide), 2); // units, not bytes
}

// 'abc' in a buffer of 12 bytes: reading out measures the whole buffer.
TEST_F(StrRecord, GetMeasuresTheWholeBuffer) {
    Str s = own(str_from_utf8("hello world"));
    str_utf8_set(s.get(), "abc");
    char out[16];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(str_get(s.get(), out, 12, STR_ENC_UTF8), 0);
    EXPECT_EQ(out[0], '#') << "a refused str_get writes nothing";
    EXPECT_EQ(str_get(s.get(), out, 13, STR_ENC_UTF8), 13);
    EXPECT_STREQ(out, "abc");

    unsigned char wide[16];
    EXPECT_EQ(str_get(s.get(), wide, 9, STR_ENC_UTF16LE), 0);
    EXPECT_EQ(str_get(s.get(), wide, 10, STR_ENC_UTF16LE), 10);
    EXPECT_EQ(bytes(wide, 8), bytes("a\0b\0c\0\0\0", 8));
}

TEST_F(StrRecord, CstrReportsTheSizeItNeeds) {
    Str s = own(str_from_utf8("caf\xC3\xA9")); // café
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

class NullStringReadOut : public LeakCheckedParamTest<std::pair<int32_t, int32_t>> {};

TEST_P(NullStringReadOut, AllocatesJustATerminator) {
    const auto [encoding, terminator] = GetParam();
    Str s = own(str_init());
    Block block = own_block(str_alloc(s.get(), encoding));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(bytes(block.get(), static_cast<size_t>(terminator)), std::string(static_cast<size_t>(terminator), '\0'));
}

INSTANTIATE_TEST_SUITE_P(Encodings, NullStringReadOut,
                         ::testing::Values(std::pair{STR_ENC_ASCII, 1}, std::pair{STR_ENC_UTF8, 1},
                                           std::pair{STR_ENC_UTF16, 2}, std::pair{STR_ENC_UTF16BE, 2},
                                           std::pair{STR_ENC_UTF16LE, 2}, std::pair{STR_ENC_UTF32, 4}));
